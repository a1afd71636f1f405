// Resource and control identifiers, shared by the template and the code.
#ifndef VERSALO_RES_RESOURCE_H
#define VERSALO_RES_RESOURCE_H

#define IDD_MAIN 101
#define IDC_ENDING 1000
#define IDC_RESULTS 1002
#define IDC_CHECK 1003
#define IDC_SELINFO 1006

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// IDR_MAINFRAME is left undefined on purpose: the icon group is named by
// that string.

#endif  // VERSALO_RES_RESOURCE_H
