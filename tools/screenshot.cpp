// Takes the README's picture: starts versalo.exe in a folder with a word
// list, searches for an ending, and writes the dialog as it is on screen.
//   screenshot VERSALO_EXE FOLDER ENDING OUT_BMP   (under Wine, code page 1251)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/ui/driver.h"

int main(int argc, char** argv) {
  const auto paths = versalo::testing::PathArguments(
      argc, argv, 4, "screenshot VERSALO_EXE FOLDER ENDING OUT_BMP");
  if (paths.empty()) return 2;
  // The ending as UTF-16: Wine hands argv over in the ANSI code page.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::wstring ending = count > 3 ? wide[3] : L"";
  LocalFree(wide);

  versalo::testing::Program program(paths[0], paths[1]);
  if (!program.started() || !program.Search(ending)) {
    std::fprintf(stderr, "screenshot: the dialog did not search\n");
    return 1;
  }
  SetForegroundWindow(program.dialog());
  RedrawWindow(program.dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const bool drawn = program.WaitForListDrawn();
  if (!drawn) std::fprintf(stderr, "screenshot: the list was not drawn\n");
  const bool written = drawn && program.Screenshot(paths[3]);
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  program.WaitForExit();
  return written ? 0 : 1;
}
