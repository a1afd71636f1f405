// The main dialog's procedure, for the entry and for the tests.
#ifndef VERSALO_UI_MAIN_DIALOG_H
#define VERSALO_UI_MAIN_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// Whether `font` has every Bulgarian letter. The dialog gives its controls
// another font when the template's has not.
bool FontDrawsCyrillic(HFONT font);

#endif  // VERSALO_UI_MAIN_DIALOG_H
