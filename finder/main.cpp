// versalo-find: the ending search on the command line.
#include <getopt.h>
#include <langinfo.h>
#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "finder/closest_rhymes.h"
#include "finder/held_search.h"
#include "finder/search_list.h"
#include "search/cp1251.h"
#include "search/ending_search.h"
#include "search/rhymes.h"

namespace {

constexpr int kListed = 0;
constexpr int kListMissing = 1;
constexpr int kBadEnding = 2;
constexpr int kWriteFailed = 3;

constexpr char kUsage[] =
    "Usage: versalo-find [OPTION]... [--] ENDING [LIST]\n"
    "Lists, in file order, every line of LIST (rym.txt in the current folder\n"
    "when none is given) that ends with exactly ENDING (at least 2 bytes in\n"
    "Windows-1251).\n"
    "In a UTF-8 locale the ending is converted to Windows-1251 and each line\n"
    "back to UTF-8; in any other locale bytes pass through unchanged.\n"
    "\n"
    "Options:\n"
    "  --order=ORDER      list the lines in this order: file (the default);\n"
    "                     reverse, by the letters read from the end of the line,\n"
    "                     so that the longest shared endings stand together;\n"
    "                     syllables, by syllable count, then in file order\n"
    "  --syllables=LIST   keep only lines of these syllable counts (one per vowel\n"
    "                     letter: а е и о у ъ ю я), e.g. 2 or 1,3-4\n"
    "  --sound            rhymes by sound: the voiced and voiceless consonants of\n"
    "                     the ending's final run (б/п, в/ф, г/к, д/т, ж/ш, з/с)\n"
    "                     also match their pairs, as 'град' sounds like 'брат'\n"
    "  -p, --pattern      '?' in ENDING stands for any one letter\n"
    "  --word             ENDING is a whole word: list its endings from 2 letters\n"
    "                     up, each with how many lines end so (ENDING<TAB>COUNT)\n"
    "  --rhymes           ENDING is a whole word: list its closest rhymes, every\n"
    "                     line that ends with at least its last 2 letters except\n"
    "                     the word itself, the longest shared ending first (the\n"
    "                     order chosen within each); takes --order, --syllables,\n"
    "                     --sound and -c\n"
    "  -c, --count        print only how many lines would be listed\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status: 0 after listing (also when nothing matches), 1 when the list\n"
    "cannot be opened or read to its end, 2 for a bad ending or usage, 3 when\n"
    "output fails.\n";

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "versalo-find: %s\n", message.c_str());
  if (status == kBadEnding) std::fputs("Try 'versalo-find --help'.\n", stderr);
  return status;
}

enum LongOnly { kOrder = 256, kSyllables, kSound, kWord, kRhymes, kHelp, kVersion };

constexpr option kOptions[] = {
    {"order", required_argument, nullptr, kOrder},
    {"syllables", required_argument, nullptr, kSyllables},
    {"sound", no_argument, nullptr, kSound},
    {"pattern", no_argument, nullptr, 'p'},
    {"word", no_argument, nullptr, kWord},
    {"rhymes", no_argument, nullptr, kRhymes},
    {"count", no_argument, nullptr, 'c'},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

int main(int argc, char** argv) {
  // Large blocks straight from the system and back: the pieces of a long
  // line are then returned one by one as they are joined, instead of
  // staying in the heap once glibc has raised its threshold for them.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  std::setlocale(LC_ALL, "");
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

  versalo::RhymeQuery query;
  bool held = false;  // an option needs the whole list in memory
  bool word = false, rhymes = false, count = false;
  opterr = 0;  // the messages are ours
  // "+": options come before the ending, so that an ending may follow
  // "--" and start with '-'.
  for (int c; (c = getopt_long(argc, argv, "+pc", kOptions, nullptr)) != -1;) {
    switch (c) {
      case kOrder:
        if (std::strcmp(optarg, "file") == 0) {
          query.order = versalo::ResultOrder::kFile;
        } else if (std::strcmp(optarg, "reverse") == 0) {
          query.order = versalo::ResultOrder::kReverse;
        } else if (std::strcmp(optarg, "syllables") == 0) {
          query.order = versalo::ResultOrder::kSyllables;
        } else {
          return Fail(kBadEnding, "--order is file, reverse or syllables, not '" + std::string(optarg) + "'");
        }
        held |= query.order != versalo::ResultOrder::kFile;
        break;
      case kSyllables:
        query.syllables.clear();
        if (!versalo::ParseSyllableCounts(optarg, query.syllables)) {
          return Fail(kBadEnding, "--syllables takes counts and ranges such as 2 or 1,3-4, not '" +
                                      std::string(optarg) + "'");
        }
        held = true;
        break;
      case kSound: query.sound = held = true; break;
      case 'p': query.patterns = held = true; break;
      case kWord: word = true; break;
      case kRhymes: rhymes = true; break;
      case 'c': count = true; break;
      case kHelp: std::fputs(kUsage, stdout); return kListed;
      case kVersion: std::printf("versalo-find %s\n", VERSALO_VERSION); return kListed;
      default:
        return Fail(kBadEnding, std::string("unknown option '") + argv[optind - 1] +
                                    "' (an ending that starts with '-' goes after --)");
    }
  }
  if (word && (held || count || rhymes)) return Fail(kBadEnding, "--word takes no other option");
  if (rhymes && query.patterns) return Fail(kBadEnding, "--rhymes takes a word, not a pattern: no -p");
  const int operands = argc - optind;
  if (operands < 1 || operands > 2) return Fail(kBadEnding, "give exactly one ENDING, and at most one LIST");

  const char* typed = argv[optind];
  std::string& ending = query.ending;
  ending = typed;
  if (utf8 && !versalo::Utf8ToCp1251(typed, ending)) {
    return Fail(kBadEnding, "the ending cannot be written in Windows-1251");
  }

  versalo::StdoutOutput out;
  versalo::FinderOptions options;
  options.utf8 = utf8;
  const bool named = operands == 2;
  if (named) options.path = argv[optind + 1];
  versalo::FinderResult result;
  if (word) {
    result = versalo::ListWordEndings(ending, out, options);
  } else if (rhymes) {
    result = versalo::SearchClosestRhymes(query, count, out, options);
  } else if (held) {
    result = versalo::SearchHeld(query, count, out, options);
  } else if (count) {
    result = versalo::CountList(ending, out, options);
  } else {
    result = versalo::SearchList(ending, out, options);
  }
  switch (result.outcome) {
    case versalo::SearchOutcome::EndingTooShort:
      return Fail(kBadEnding, word || rhymes ? "the word needs at least 2 bytes in Windows-1251"
                                   : "the ending needs at least 2 bytes in Windows-1251");
    case versalo::SearchOutcome::ListMissing:
      if (named) {
        std::fprintf(stderr, "versalo-find: %s: cannot be opened\n", options.path);
      } else {
        std::fputs("rym.txt?\n", stderr);
      }
      return kListMissing;
    case versalo::SearchOutcome::ListCutShort:
      std::fprintf(stderr,
                   "versalo-find: reading %s failed part way; the lines after that were not searched\n",
                   options.path);
      return kListMissing;
    case versalo::SearchOutcome::Listed:
      break;
  }
  if (result.write_failed || std::fflush(stdout) != 0) {
    return Fail(kWriteFailed, "cannot write the results");
  }
  return kListed;
}
