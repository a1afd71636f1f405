// The search core for the web page: the page's worker puts the word list in
// the module's file system (the Bulgarian one in memory, the user's own as a
// file read where it lies) and asks for endings in UTF-8; the
// matches come back as UTF-8, one per line. A list is in Windows-1251, the
// program's code page, unless the worker found it to be UTF-8: then the
// ending is searched as its UTF-8 bytes and the lines pass as they are.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "search/cp1251.h"
#include "search/ending_search.h"

namespace {

// What a search ended with, as the page tells it apart.
enum Status : int {
  kListed = 0,
  kListMissing = 1,    // "rym.txt?"
  kTooShort = 2,       // fewer than 2 bytes in Windows-1251
  kNotCp1251 = 3,      // a character Windows-1251 cannot write
  kListCutShort = 4,   // a read failed, or a line too long to hold
};

// The matches, each followed by LF (no line holds one).
class Utf8Sink : public versalo::ResultSink {
 public:
  void Clear() override {
    text.clear();
    count = 0;
  }
  void Add(std::string_view line) override {
    if (utf8_list) {
      text.append(line);
    } else {
      versalo::AppendCp1251AsUtf8(line, text);
    }
    text += '\n';
    ++count;
  }
  bool utf8_list = false;
  std::string text;
  int count = 0;
};

// Characters, not bytes, in UTF-8 text: what is not a continuation byte.
std::size_t Utf8Characters(std::string_view text) {
  std::size_t count = 0;
  for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return count;
}

Utf8Sink g_results;

}  // namespace

extern "C" {

// Searches the list at `path` for the lines that end with `ending` (UTF-8,
// zero-ended);
// `utf8_list`: the list is in UTF-8, not Windows-1251. There the ending needs
// two characters, as it needs two bytes of Windows-1251 in a list of that
// code page. The results of the last search that listed stay until the next
// one does.
EMSCRIPTEN_KEEPALIVE int versalo_search(const char* ending, int utf8_list, const char* path) {
  std::string bytes;
  if (utf8_list) {
    bytes = ending;
    if (Utf8Characters(bytes) < versalo::kMinEndingLength) return kTooShort;
  } else if (!versalo::Utf8ToCp1251(ending, bytes)) {
    return kNotCp1251;
  }
  g_results.utf8_list = utf8_list != 0;
  versalo::WordListOptions list;
  list.path = path;
  // A file of one's own is read a block at a time through the browser's
  // FileReaderSync, which costs per call: large blocks (measured on a
  // 100 MB list: ище in 0.94 s with 4 MiB blocks, 0.65 s with 16 MiB, no
  // better with 32).
  list.block_size = 16 << 20;
  switch (versalo::FindEndingMatches(bytes, g_results, list)) {
    case versalo::SearchOutcome::EndingTooShort: return kTooShort;
    case versalo::SearchOutcome::ListMissing: return kListMissing;
    case versalo::SearchOutcome::ListCutShort: return kListCutShort;
    case versalo::SearchOutcome::Listed: return kListed;
  }
  return kListMissing;
}

EMSCRIPTEN_KEEPALIVE const char* versalo_results() { return g_results.text.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t versalo_results_size() { return g_results.text.size(); }
EMSCRIPTEN_KEEPALIVE int versalo_result_count() { return g_results.count; }

}  // extern "C"
