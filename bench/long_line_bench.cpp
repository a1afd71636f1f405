// What one long line costs the search in memory: a list with a line of
// MIB mebibytes between two short ones is searched once for an ending the
// long line has and once for one it lacks; the process's peak memory is
// printed beside the line's size. Built natively and for Windows, to run
// under Wine.
//   long_line_bench FOLDER [MIB]   (writes FOLDER/rym.txt; default 300)
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/block_scan.h"
#include "search/ending_search.h"

namespace {

class CountingSink : public versalo::ResultSink {
 public:
  void Clear() override { count = 0; }
  void Add(std::string_view) override { ++count; }
  std::size_t count = 0;
};

// Peak resident memory of this process so far, in MiB.
double PeakMiB() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;  // KiB
#endif
}

bool WriteList(const std::string& path, std::size_t mib) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const std::string letters(1 << 20, 'a');
  bool ok = std::fputs("cat\n", out) >= 0;
  for (std::size_t i = 0; i < mib && ok; ++i) {
    ok = std::fwrite(letters.data(), 1, letters.size(), out) == letters.size();
  }
  ok = ok && std::fputs("ta\nhat\n", out) >= 0;
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: long_line_bench FOLDER [MIB]\n");
    return 2;
  }
  const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 300;
  const std::string path = std::string(argv[1]) + "/rym.txt";
  if (!WriteList(path, mib)) {
    std::fprintf(stderr, "long_line_bench: cannot write %s\n", path.c_str());
    return 1;
  }
  const double before = PeakMiB();
  versalo::WordListOptions options;
  options.path = path.c_str();
  CountingSink sink;
#ifdef _WIN32
  const char* arch = sizeof(void*) == 4 ? "Windows 32-bit" : "Windows 64-bit";
#else
  const char* arch = "native";
#endif
  std::printf("%s: the search's pass is the %s one\n", arch,
              versalo::ScanPathName(versalo::CurrentScanPath()));
  for (const char* ending : {"xx", "ta"}) {
    const versalo::SearchOutcome outcome = versalo::FindEndingMatches(ending, sink, options);
    if (outcome != versalo::SearchOutcome::Listed) {
      std::printf("%s, line of %zu MiB, ending %s: the list was not read to its end\n", arch,
                  mib, ending);
      continue;
    }
    const double peak = PeakMiB();
    std::printf("%s, line of %zu MiB, ending %s (%zu matches): peak memory %.0f MiB, "
                "%.2f times the line (%.0f MiB before the search)\n",
                arch, mib, ending, sink.count, peak, peak / static_cast<double>(mib), before);
  }
  std::remove(path.c_str());
  return 0;
}
