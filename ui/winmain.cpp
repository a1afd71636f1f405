// The program's entry: the main dialog, run modally until it is closed.
#include <windows.h>

#include "res/resource.h"
#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // 0 after the dialog is closed, -1 when it cannot be created. A wide
  // dialog: its texts do not pass through the system's ANSI code page.
  return static_cast<int>(
      DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0));
}
