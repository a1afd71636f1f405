// How long the dialog's search command takes to return, measured from
// another process: the real versalo.exe, started in a folder with a word
// list, its button pressed for each ending.
//   dialog_bench VERSALO_EXE FOLDER RUNS ENDING...   (endings in UTF-8)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ui/driver.h"

namespace {

// The arguments as UTF-16: Wine hands argv over in the ANSI code page.
std::vector<std::wstring> WideArguments() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> result(args, args + count);
  LocalFree(args);
  return result;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: dialog_bench VERSALO_EXE FOLDER RUNS ENDING...\n");
    return 2;
  }
  using versalo::testing::Program;
  using versalo::testing::WindowsPath;
  Program program(WindowsPath(argv[1]), WindowsPath(argv[2]));
  if (!program.started()) {
    std::fprintf(stderr, "dialog_bench: no dialog appeared\n");
    return 1;
  }
  const int runs = std::max(1, std::atoi(argv[3]));
  const std::vector<std::wstring> wide_args = WideArguments();
  for (int arg = 4; arg < argc; ++arg) {
    const std::wstring& ending = wide_args[arg];
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
      program.SetEditText(ending);
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      const bool returned = program.Press();
      QueryPerformanceCounter(&stop);
      if (!returned) {
        std::fprintf(stderr, "dialog_bench: the search for %ls did not return\n", ending.c_str());
        return 1;
      }
      times.push_back(Seconds(start, stop));
    }
    std::sort(times.begin(), times.end());
    const LRESULT entries = SendMessageW(program.list(), LB_GETCOUNT, 0, 0);
    std::printf("dialog %-8ls %7ld entries  median %8.1f ms  min %8.1f ms  max %8.1f ms\n",
                ending.c_str(), static_cast<long>(entries), times[times.size() / 2] * 1e3,
                times.front() * 1e3, times.back() * 1e3);
  }
  PostMessageW(program.dialog(), WM_CLOSE, 0, 0);
  program.WaitForExit();
  return 0;
}
