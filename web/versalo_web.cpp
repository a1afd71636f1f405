// The search core for the web page. The page's worker hands over the word
// list's bytes once; the list is then held here, in memory, and indexed when
// it is not too large, and every search runs on it. Endings come in UTF-8;
// the matches go back as UTF-8, one per line.
//
// A list is in Windows-1251, the program's code page, unless the worker
// found it to be UTF-8: then it is turned into Windows-1251 in place when
// every character it holds has a place there (so that syllables, sounds and
// patterns see letters), and otherwise searched as its UTF-8 bytes.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/cp1251.h"
#include "search/ending_search.h"
#include "search/front_coding.h"
#include "search/line_list.h"
#include "search/rhymes.h"

namespace {

// What a search ended with, as the page tells it apart.
enum Status : int {
  kListed = 0,
  kListMissing = 1,    // "rym.txt?"
  kTooShort = 2,       // fewer than 2 bytes in Windows-1251
  kNotCp1251 = 3,      // a character Windows-1251 cannot write
  kListCutShort = 4,   // only part of the list could be held
  kRunning = 5,        // a scan goes on: call versalo_search_step
};

// Lists with more lines than this are scanned, a slice at a time, instead
// of indexed: building the index would hold the worker for seconds, and its
// memory (five bytes a line, sixteen while it is built, and four for each
// line's offset) would count against a list that may be as large as the
// browser can hold.
constexpr std::size_t kIndexedLines = 4u << 20;

std::string g_incoming;
std::optional<versalo::FrontDecoder> g_decoder;  // decoding into g_incoming
std::string g_piece;  // the coded bytes the worker hands over next
versalo::LineList g_list;
std::unique_ptr<versalo::ReverseIndex> g_index;
bool g_have_list = false;
bool g_utf8 = false;  // the list stayed in UTF-8
std::unique_ptr<versalo::RhymeScan> g_scan;
versalo::RhymeResult g_result;
std::vector<versalo::RhymeGroup> g_groups;  // of the last closest rhymes
std::string g_text;  // rows, endings, counts or groups asked for last

// Characters, not bytes, in UTF-8 text: what is not a continuation byte.
std::size_t Utf8Characters(std::string_view text) {
  std::size_t count = 0;
  for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return count;
}

// The UTF-8 text in `bytes`, as Windows-1251, in place; false, with the
// bytes untouched, when a character has no place in Windows-1251. Pieces end
// at a character's start, so no character is cut.
bool Utf8ToCp1251InPlace(std::string& bytes) {
  constexpr std::size_t kPiece = 1 << 16;
  std::string piece;
  const auto ends_at = [&bytes](std::size_t from) {
    std::size_t end = std::min(bytes.size(), from + kPiece);
    while (end < bytes.size() && end > from && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    return end;
  };
  for (std::size_t from = 0; from < bytes.size();) {  // looked through first
    const std::size_t end = ends_at(from);
    if (!versalo::Utf8ToCp1251(std::string_view(bytes).substr(from, end - from), piece)) return false;
    from = end;
  }
  std::size_t to = 0;
  for (std::size_t from = 0; from < bytes.size();) {
    const std::size_t end = ends_at(from);
    versalo::Utf8ToCp1251(std::string_view(bytes).substr(from, end - from), piece);
    bytes.replace(to, piece.size(), piece);  // never past `from`: pieces only shrink
    to += piece.size();
    from = end;
  }
  bytes.resize(to);
  return true;
}

void AppendLine(std::string_view line, std::string& out) {
  if (g_utf8) {
    out.append(line);
  } else {
    versalo::AppendCp1251AsUtf8(line, out);
  }
}

// The ending typed, as the list's bytes; a status when it cannot be.
std::optional<Status> ListBytesOf(const char* typed, std::string& bytes) {
  if (!g_have_list) return kListMissing;
  if (g_utf8) {
    bytes = typed;
    if (Utf8Characters(bytes) < versalo::kMinEndingLength) return kTooShort;
  } else if (!versalo::Utf8ToCp1251(typed, bytes)) {
    return kNotCp1251;
  }
  if (bytes.size() < versalo::kMinEndingLength) return kTooShort;
  return std::nullopt;
}

// The options every search takes, as the exported functions get them.
// As the page's other bad input is, an order or syllable counts that mean
// nothing are taken for the default: file order, every count.
void SetOptions(versalo::RhymeQuery& query, int sound, int order, const char* syllables) {
  query.sound = sound != 0;
  query.order = order == 1   ? versalo::ResultOrder::kReverse
                : order == 2 ? versalo::ResultOrder::kSyllables
                             : versalo::ResultOrder::kFile;
  if (*syllables == '\0' || !versalo::ParseSyllableCounts(syllables, query.syllables)) {
    query.syllables.clear();
  }
}

Status StatusOf(const versalo::RhymeResult& result) {
  return result.outcome == versalo::SearchOutcome::ListCutShort ? kListCutShort : kListed;
}

}  // namespace

extern "C" {

// Room for a list of `size` bytes, which the worker fills, then hands over
// with versalo_list_ready. Null when memory runs out.
EMSCRIPTEN_KEEPALIVE char* versalo_list_buffer(std::size_t size) {
  g_decoder.reset();
  try {
    g_incoming.clear();
    g_incoming.shrink_to_fit();
    g_incoming.resize(size);
  } catch (const std::bad_alloc&) {
    g_incoming = std::string();
    return nullptr;
  }
  return g_incoming.data();
}

// The Bulgarian list comes front coded (search/front_coding.h), in pieces
// as it is downloaded, and is decoded straight into the buffer that
// versalo_list_ready makes the list: versalo_front_begin starts; for each
// piece, versalo_front_piece gives room for its `size` bytes (null when
// memory runs out), which the worker fills and hands over with
// versalo_front_feed (0 when the bytes are no front-coded list, or memory
// ran out); versalo_front_end tells whether they made a whole list (1) or
// not (0: versalo_list_ready must not follow).
EMSCRIPTEN_KEEPALIVE void versalo_front_begin() {
  g_incoming = std::string();
  g_decoder.emplace(g_incoming);
}

EMSCRIPTEN_KEEPALIVE char* versalo_front_piece(std::size_t size) {
  try {
    g_piece.resize(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return g_piece.data();
}

EMSCRIPTEN_KEEPALIVE int versalo_front_feed(std::size_t size) {
  if (!g_decoder || size > g_piece.size()) return 0;
  try {
    return g_decoder->Feed(std::string_view(g_piece).substr(0, size)) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    g_decoder.reset();
    g_incoming = std::string();
    return 0;
  }
}

EMSCRIPTEN_KEEPALIVE int versalo_front_end() {
  const bool whole = g_decoder && g_decoder->Finish() == versalo::FrontCodingOutcome::kDecoded;
  g_decoder.reset();
  g_piece = std::string();
  if (!whole) g_incoming = std::string();
  return whole ? 1 : 0;
}

// The buffer becomes the list; `utf8_list`: the worker found it to be UTF-8.
// Returns 1 when the list was turned into Windows-1251, 0 when it stays as
// it came, -1 when memory ran out (the list before stays).
EMSCRIPTEN_KEEPALIVE int versalo_list_ready(int utf8_list) {
  try {
    const bool converted = utf8_list != 0 && Utf8ToCp1251InPlace(g_incoming);
    g_scan.reset();
    g_index.reset();
    g_result = {};  // its lines were the old list's
    g_groups.clear();
    // A list too large to index keeps one line offset in kSparseStride:
    // it is read in turn, and costs about its own size.
    g_list = versalo::LineList(std::move(g_incoming), kIndexedLines);
    g_incoming = std::string();
    g_have_list = true;
    g_utf8 = utf8_list != 0 && !converted;
    return converted ? 1 : 0;
  } catch (const std::bad_alloc&) {
    g_incoming = std::string();
    return -1;
  }
}

// Finds the lines of a small list of its own and scans it, for their code
// alone: the held list and results stay as they were. A browser may give a
// WebAssembly function its optimized code only once it has run a while, and
// then to its later calls alone (V8 does), so the first list's lines and its
// first scan, each found in one long call, would run in the first, slower
// code; run while the list's download leaves the worker idle, this lets
// them run in the optimized code.
EMSCRIPTEN_KEEPALIVE void versalo_warm_up() {
  constexpr std::size_t kBytes = 256 << 10;
  // A few words of the Bulgarian list (Windows-1251), over and over: кота,
  // работа, парата, гробище.
  constexpr std::string_view kWords =
      "\xEA\xEE\xF2\xE0\n\xF0\xE0\xE1\xEE\xF2\xE0\n\xEF\xE0\xF0\xE0\xF2\xE0\n"
      "\xE3\xF0\xEE\xE1\xE8\xF9\xE5\n";
  try {
    for (int run = 0; run < 2; ++run) {
      std::string words;
      words.reserve(kBytes + kWords.size());
      while (words.size() < kBytes) words += kWords;
      const versalo::LineList list(std::move(words));
      versalo::RhymeQuery query;
      query.ending = "\xF9\xE5";  // ще
      query.patterns = true;
      versalo::RhymeScan scan(list, std::move(query));
      while (!scan.Step(kBytes)) {
      }
      scan.Finish();
    }
  } catch (const std::bad_alloc&) {
  }
}

// Builds the index when the list is small enough for it; 1 when there is
// one. Searches before it scan.
EMSCRIPTEN_KEEPALIVE int versalo_build_index() {
  if (!g_have_list || g_list.size() > kIndexedLines) return 0;
  try {
    g_index = std::make_unique<versalo::ReverseIndex>(g_list);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

EMSCRIPTEN_KEEPALIVE std::size_t versalo_list_lines() { return g_list.size(); }
EMSCRIPTEN_KEEPALIVE std::size_t versalo_index_memory() { return g_index ? g_index->memory() : 0; }

// Starts a search of the list for `ending` (UTF-8, zero-ended). `order`: 0
// file, 1 reverse, 2 syllables; `syllables`: the counts kept, as "1,3", or
// "" for all. With an index it is done at once; otherwise kRunning, and
// versalo_search_step goes on with it.
EMSCRIPTEN_KEEPALIVE int versalo_search(const char* ending, int patterns, int sound, int order,
                                        const char* syllables) {
  g_scan.reset();
  g_groups.clear();
  versalo::RhymeQuery query;
  if (const std::optional<Status> status = ListBytesOf(ending, query.ending)) return *status;
  query.patterns = patterns != 0;
  SetOptions(query, sound, order, syllables);
  if (g_index) {
    g_result = versalo::FindRhymes(g_list, g_index.get(), query);
    return StatusOf(g_result);
  }
  g_scan = std::make_unique<versalo::RhymeScan>(g_list, std::move(query));
  return kRunning;
}

// Looks at about `bytes` more bytes of the list in a running scan: kRunning
// while some are left, else how it ended.
EMSCRIPTEN_KEEPALIVE int versalo_search_step(std::size_t bytes) {
  if (!g_scan) return kListMissing;
  if (!g_scan->Step(bytes)) return kRunning;
  g_result = g_scan->Finish();
  g_scan.reset();
  return StatusOf(g_result);
}

EMSCRIPTEN_KEEPALIVE std::size_t versalo_result_count() { return g_result.lines.size(); }

// The text of results [first, first + count), each followed by LF.
EMSCRIPTEN_KEEPALIVE const char* versalo_rows(std::size_t first, std::size_t count) {
  g_text.clear();
  const std::size_t end = std::min(g_result.lines.size(), first + count);
  for (std::size_t i = first; i < end; ++i) {
    AppendLine(g_list.line(g_result.lines[i]), g_text);
    g_text += '\n';
  }
  return g_text.c_str();
}

// The matches by syllables before any were left out: "count,count,...",
// the k-th for k syllables.
EMSCRIPTEN_KEEPALIVE const char* versalo_by_syllables() {
  g_text.clear();
  for (std::size_t k = 0; k < g_result.by_syllables.size(); ++k) {
    if (k > 0) g_text += ',';
    g_text += std::to_string(g_result.by_syllables[k]);
  }
  return g_text.c_str();
}

// The endings of a word from two letters up, each as "ENDING\tCOUNT\n",
// left for versalo_text; a status as versalo_search's (kListed, or why the
// word cannot be searched).
EMSCRIPTEN_KEEPALIVE int versalo_word_endings(const char* word) {
  std::string bytes;
  if (const std::optional<Status> status = ListBytesOf(word, bytes)) return *status;
  g_text.clear();
  for (const versalo::EndingCount& ending : versalo::CountWordEndings(g_list, g_index.get(), bytes)) {
    // In a list kept as UTF-8, only whole characters make an ending.
    if (g_utf8 && (static_cast<unsigned char>(ending.ending[0]) & 0xC0) == 0x80) continue;
    if (g_utf8 && Utf8Characters(ending.ending) < versalo::kMinEndingLength) continue;
    AppendLine(ending.ending, g_text);
    g_text += '\t' + std::to_string(ending.count) + '\n';
  }
  return kListed;
}

// The closest rhymes of `word` (UTF-8, zero-ended; search/rhymes.h has the
// rules), with the options of versalo_search (`sound`, `order`: 0 file, 1
// reverse, 2 syllables; `syllables`: "1,3" or ""). Done at once, with the
// index or without: the lines that end with the word's last two letters
// are few enough. Returns a status as versalo_search's; when kListed or
// kListCutShort, the lines are the results that versalo_result_count,
// versalo_rows and versalo_by_syllables tell, longest shared ending first,
// and versalo_rhyme_groups tells their groups. A running search stops.
EMSCRIPTEN_KEEPALIVE int versalo_closest_rhymes(const char* word, int sound, int order,
                                                const char* syllables) {
  g_scan.reset();
  versalo::RhymeQuery query;
  if (const std::optional<Status> status = ListBytesOf(word, query.ending)) return *status;
  SetOptions(query, sound, order, syllables);
  versalo::ClosestRhymes closest = versalo::FindClosestRhymes(g_list, g_index.get(), query);
  g_result = std::move(closest.rhymes);
  g_groups = std::move(closest.groups);
  return StatusOf(g_result);
}

// The groups of the last closest rhymes, in the order of their lines, each
// as "ENDING\tCOUNT\n": the shared ending (UTF-8; in a list kept as UTF-8,
// from its first whole character) and how many of the results share it.
// The groups' counts add up to versalo_result_count; the first group's
// lines are results [0, count), the next group's follow, and so on.
EMSCRIPTEN_KEEPALIVE const char* versalo_rhyme_groups() {
  g_text.clear();
  for (const versalo::RhymeGroup& group : g_groups) {
    std::string_view ending = group.ending;
    while (g_utf8 && !ending.empty() && (static_cast<unsigned char>(ending[0]) & 0xC0) == 0x80) {
      ending.remove_prefix(1);
    }
    AppendLine(ending, g_text);
    g_text += '\t' + std::to_string(group.count) + '\n';
  }
  return g_text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* versalo_text() { return g_text.c_str(); }

}  // extern "C"
