// versalo-find: the ending search on the command line.
#include <langinfo.h>
#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "finder/search_list.h"
#include "search/cp1251.h"
#include "search/ending_search.h"

namespace {

constexpr int kListed = 0;
constexpr int kListMissing = 1;
constexpr int kBadEnding = 2;
constexpr int kWriteFailed = 3;

constexpr char kUsage[] =
    "Usage: versalo-find [--] ENDING\n"
    "Lists, in file order, every line of rym.txt in the current folder that\n"
    "ends with exactly ENDING (at least 2 bytes in Windows-1251).\n"
    "In a UTF-8 locale the ending is converted to Windows-1251 and each line\n"
    "back to UTF-8; in any other locale bytes pass through unchanged.\n"
    "Exit status: 0 after listing (also when nothing matches), 1 when rym.txt\n"
    "cannot be opened or read to its end, 2 for a bad ending or usage, 3 when output fails.\n";

int Fail(int status, const char* message) {
  std::fprintf(stderr, "versalo-find: %s\n", message);
  if (status == kBadEnding) std::fputs("Try 'versalo-find --help'.\n", stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Large blocks straight from the system and back: the pieces of a long
  // line are then returned one by one as they are joined, instead of
  // staying in the heap once glibc has raised its threshold for them.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  std::setlocale(LC_ALL, "");
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--help") == 0 && argc == 2) {
    std::fputs(kUsage, stdout);
    return kListed;
  }
  if (arg < argc && std::strcmp(argv[arg], "--") == 0) {
    ++arg;
  } else if (arg < argc && argv[arg][0] == '-' && argv[arg][1] != '\0') {
    return Fail(kBadEnding, "unknown option (an ending that starts with '-' goes after --)");
  }
  if (argc - arg != 1) return Fail(kBadEnding, "give exactly one ENDING");

  std::string ending = argv[arg];
  if (utf8 && !versalo::Utf8ToCp1251(argv[arg], ending)) {
    return Fail(kBadEnding, "the ending cannot be written in Windows-1251");
  }

  versalo::StdoutOutput out;
  versalo::FinderOptions options;
  options.utf8 = utf8;
  const versalo::FinderResult result = versalo::SearchList(ending, out, options);
  switch (result.outcome) {
    case versalo::SearchOutcome::EndingTooShort:
      return Fail(kBadEnding, "the ending needs at least 2 bytes in Windows-1251");
    case versalo::SearchOutcome::ListMissing:
      std::fputs("rym.txt?\n", stderr);
      return kListMissing;
    case versalo::SearchOutcome::ListCutShort:
      std::fputs("versalo-find: reading rym.txt failed part way; the lines after that were not searched\n", stderr);
      return kListMissing;
    case versalo::SearchOutcome::Listed:
      break;
  }
  if (result.write_failed || std::fflush(stdout) != 0) {
    return Fail(kWriteFailed, "cannot write the results");
  }
  return kListed;
}
