// The main dialog's procedure, for the entry and for the tests.
#ifndef VERSALO_UI_MAIN_DIALOG_H
#define VERSALO_UI_MAIN_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

#endif  // VERSALO_UI_MAIN_DIALOG_H
