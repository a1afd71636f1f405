#include "search/rhymes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "search/block_scan.h"
#include "search/bytes.h"
#include "search/word_list_reader.h"

namespace versalo {

namespace {

// The Windows-1251 letters the rules name.
constexpr unsigned char kVowels[] = {
    0xE0, 0xE5, 0xE8, 0xEE, 0xF3, 0xFA, 0xFE, 0xFF,  // а е и о у ъ ю я
    0xC0, 0xC5, 0xC8, 0xCE, 0xD3, 0xDA, 0xDE, 0xDF,  // А Е И О У Ъ Ю Я
};
constexpr unsigned char kObstruentPairs[][2] = {
    {0xE1, 0xEF}, {0xE2, 0xF4}, {0xE3, 0xEA},  // б п, в ф, г к
    {0xE4, 0xF2}, {0xE6, 0xF8}, {0xE7, 0xF1},  // д т, ж ш, з с
    {0xC1, 0xCF}, {0xC2, 0xD4}, {0xC3, 0xCA},  // Б П, В Ф, Г К
    {0xC4, 0xD2}, {0xC6, 0xD8}, {0xC7, 0xD1},  // Д Т, Ж Ш, З С
};
constexpr unsigned char kAny = '?';

unsigned char At(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// What one byte of an ending allows, counted from the ending's end.
struct Allowed {
  unsigned char byte = 0;
  unsigned char pair = 0;  // another byte it allows; the same when none
  bool any = false;
  bool Has(unsigned char c) const { return any || c == byte || c == pair; }
};

// The ending as what each of its bytes allows, from its last byte back.
std::vector<Allowed> Compile(const RhymeQuery& query) {
  std::vector<Allowed> from_end;
  bool in_final_run = query.sound;
  for (std::size_t i = query.ending.size(); i-- > 0;) {
    const unsigned char c = At(query.ending, i);
    Allowed allowed{c, c, query.patterns && c == kAny};
    const unsigned char pair = in_final_run ? ObstruentPair(c) : 0;
    if (pair != 0) allowed.pair = pair;
    in_final_run = pair != 0;
    from_end.push_back(allowed);
  }
  return from_end;
}

bool Matches(std::string_view line, const std::vector<Allowed>& from_end) {
  if (line.size() < from_end.size()) return false;
  for (std::size_t d = 0; d < from_end.size(); ++d) {
    if (!from_end[d].Has(At(line, line.size() - 1 - d))) return false;
  }
  return true;
}

// The byte `d` places from the end of a line, or -1 past its start.
int FromEnd(std::string_view line, std::size_t d) {
  return d < line.size() ? At(line, line.size() - 1 - d) : -1;
}

// The ending's last bytes, when each allows one byte only (and the last is
// no CR, which a held line's LF would turn into a CR LF): the reader's pass
// over a block then finds the few lines worth comparing. With `gap`, they
// may stand before a few '?' that end a pattern (a list read in turn: in a
// held list a text that ends in CR is followed by LF alone, which the pass
// takes for a break); then one such byte will do, and the pass takes the
// first '?' for the tail's last byte.
std::optional<LineEndTail> FixedTail(const std::vector<Allowed>& from_end, bool gap = false) {
  std::size_t any = 0;
  while (gap && any < kMaxTailGap + 1 && any < from_end.size() && from_end[any].any) ++any;
  std::string tail;
  for (std::size_t d = any; d < any + 3 && d < from_end.size(); ++d) {
    const Allowed& allowed = from_end[d];
    if (allowed.any || allowed.pair != allowed.byte) break;
    tail.insert(tail.begin(), static_cast<char>(allowed.byte));
  }
  if (tail.empty() || IsByte(tail.back(), kCr)) return std::nullopt;
  const bool any_last = tail.size() == 1;
  if (any_last ? any == 0 : any > kMaxTailGap) return std::nullopt;
  std::optional<LineEndTail> found = TailOf(any_last ? tail + tail : tail);
  if (found) {
    found->any_last = any_last;
    found->gap = static_cast<unsigned char>(any - any_last);
  }
  return found;
}

// How many of the ending's last bytes allow one byte only: every match ends
// with the same bytes there.
std::size_t FixedBytes(const std::vector<Allowed>& from_end) {
  std::size_t fixed = 0;
  while (fixed < from_end.size() && !from_end[fixed].any && from_end[fixed].pair == from_end[fixed].byte) ++fixed;
  return fixed;
}

// Walks the index as a tree: the lines in [first, last) of `order` share
// their last `d` bytes, and so stand sorted by the byte before those.
class IndexWalk {
 public:
  IndexWalk(const LineList& list, std::span<const LineNumber> order,
            const std::vector<Allowed>& from_end, std::vector<LineNumber>* out)
      : list_(list), order_(order), from_end_(from_end), out_(out) {}

  void Walk(std::size_t first, std::size_t last, std::size_t d) {
    if (first == last) return;
    if (d == from_end_.size()) {
      if (out_ != nullptr) out_->insert(out_->end(), order_.begin() + first, order_.begin() + last);
      if (runs != nullptr) runs->push_back({first, last});
      found_ += last - first;
      return;
    }
    const Allowed& allowed = from_end_[d];
    if (!allowed.any) {
      const unsigned char low = std::min(allowed.byte, allowed.pair);
      const unsigned char high = std::max(allowed.byte, allowed.pair);
      WalkByte(first, last, d, low);
      if (high != low) WalkByte(first, last, d, high);
      return;
    }
    // Any byte: each run of one byte in turn; the lines that end here first.
    for (std::size_t at = Below(first, last, d, 0); at < last;) {
      const int byte = Byte(at, d);
      const std::size_t end = Below(at, last, d, byte + 1);
      Walk(at, end, d + 1);
      at = end;
    }
  }

 private:
  int Byte(std::size_t at, std::size_t d) const { return FromEnd(list_.line(order_[at]), d); }
  // The first place in [first, last) whose byte `d` from the end is at least `byte`.
  std::size_t Below(std::size_t first, std::size_t last, std::size_t d, int byte) const {
    while (first < last) {
      const std::size_t middle = first + (last - first) / 2;
      if (Byte(middle, d) < byte) {
        first = middle + 1;
      } else {
        last = middle;
      }
    }
    return first;
  }
  void WalkByte(std::size_t first, std::size_t last, std::size_t d, unsigned char byte) {
    const std::size_t from = Below(first, last, d, byte);
    Walk(from, Below(from, last, d, byte + 1), d + 1);
  }

  const LineList& list_;
  std::span<const LineNumber> order_;
  const std::vector<Allowed>& from_end_;
  std::vector<LineNumber>* out_;  // null: only counted

 public:
  std::size_t found_ = 0;
  // When set, each run of the index's order found, [first, last), in
  // order: the matches stand together there.
  std::vector<std::pair<std::size_t, std::size_t>>* runs = nullptr;
};

// EndKey, a byte at a time.
std::uint64_t EndKeyByBytes(std::string_view line, std::size_t skip) {
  std::uint64_t key = 0;
  for (std::size_t d = skip; d < skip + 8; ++d) key = key << 8 | (d < line.size() ? At(line, line.size() - 1 - d) : 0);
  return key;
}

// Eight bytes of a line read from its end into one number, from the byte
// `skip` places before its end back: a missing byte is 0, which no line's
// text holds, so a line that is the end of another comes before it.
// `readable` is where the text that holds the line begins: a line shorter
// than the key is read with the bytes before it, down to there, and those
// are masked off. Small enough to be inlined where keys are made.
inline std::uint64_t EndKey(std::string_view line, std::size_t skip, const char* readable) {
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes read as one little-endian number put the last of them
    // highest.
    const char* const end = line.data() + line.size();
    if (static_cast<std::size_t>(end - readable) >= skip + 8) {
      std::uint64_t key;
      std::memcpy(&key, end - skip - 8, 8);
      const std::size_t in_line = line.size() > skip ? line.size() - skip : 0;
      if (in_line >= 8) return key;
      return in_line == 0 ? 0 : key & ~std::uint64_t{0} << 8 * (8 - in_line);
    }
  }
  return EndKeyByBytes(line, skip);
}

// An item to sort with the key it is sorted by: twelve bytes of its line
// read from the end, an EndKey `high` and the nearer half of the next one
// `low`. Twelve bytes decide all but a few of a dictionary's lines at once:
// of the 84,176 lines of the Bulgarian list that end in та, 41,391 have
// the same last ten bytes as another, 2,962 the same last fourteen, and 132
// the same last eighteen. Sixteen bytes an item, not twenty-four, is a
// third less to move at each level of the sort.
struct Keyed {
  std::uint64_t high;
  std::uint32_t low;
  std::uint32_t at;  // its place; a list holds at most 2^32 - 1 lines
};
constexpr std::size_t kKeyBytes = 12;

// A function object rather than a function, so that std::sort inlines it.
constexpr auto kByKey = [](const Keyed& a, const Keyed& b) {
  if (a.high != b.high) return a.high < b.high;
  return a.low != b.low ? a.low < b.low : a.at < b.at;
};

bool SameKey(const Keyed& a, const Keyed& b) { return a.high == b.high && a.low == b.low; }

// Puts [first, last) into buckets by the byte of their keys at `shift`,
// keeping their order within each, through `scratch` (as many items, or
// none: then in place, which does not keep it); ends[b] is where bucket b
// ends. False, with nothing moved, when every key has the same byte there.
bool Bucket(Keyed* first, Keyed* last, int shift, Keyed* scratch, std::size_t (&ends)[256]) {
  const auto byte = [shift](const Keyed& item) {
    return static_cast<std::size_t>((shift >= 32 ? item.high >> (shift - 32) : item.low >> shift) & 0xFF);
  };
  std::fill(std::begin(ends), std::end(ends), 0);
  for (const Keyed* item = first; item != last; ++item) ++ends[byte(*item)];
  if (std::find(std::begin(ends), std::end(ends), static_cast<std::size_t>(last - first)) != std::end(ends)) {
    return false;
  }
  std::size_t next[256];
  std::size_t at = 0;
  for (std::size_t b = 0; b < 256; ++b) {
    next[b] = at;
    at += ends[b];
    ends[b] = at;
  }
  if (scratch != nullptr) {
    // Each item written to its bucket in `scratch`, in turn, and all
    // copied back. Swapped in place, each item would wait for the one
    // before it, and go to a place anywhere in the range: a cache miss
    // once the range outgrows the cache (twice the time in all).
    for (const Keyed* item = first; item != last; ++item) scratch[next[byte(*item)]++] = *item;
    std::copy(scratch, scratch + (last - first), first);
  } else {
    // Each item swapped straight into its bucket.
    for (std::size_t b = 0; b < 256; ++b) {
      while (next[b] < ends[b]) {
        Keyed item = first[next[b]];
        for (std::size_t to = byte(item); to != b; to = byte(item)) std::swap(item, first[next[to]++]);
        first[next[b]++] = item;
      }
    }
  }
  return true;
}

// Sorts [first, last) by key, then place, where the keys agree in the
// bits above `shift` + 8 (counted in the twelve bytes, `high` above
// `low`): into buckets by the byte at `shift`, through `scratch` as for
// Bucket, each bucket then by the next byte; a few items by comparing
// them.
void SortKeyed(Keyed* first, Keyed* last, int shift, Keyed* scratch) {
  for (;; shift -= 8) {
    if (last - first <= 32 || shift < 0) {
      std::sort(first, last, kByKey);
      return;
    }
    std::size_t ends[256];
    if (!Bucket(first, last, shift, scratch, ends)) continue;  // the same byte in every key
    for (std::size_t b = 0, from = 0; b < 256; from = ends[b++]) {
      if (ends[b] - from > 1) SortKeyed(first + from, first + ends[b], shift - 8, scratch ? scratch + from : nullptr);
    }
    return;
  }
}

// Puts `items` in reverse-dictionary order of their lines, text(item), each
// a line of `list`, keeping the order they came in among equal lines; all
// of the lines end with the same `shared` bytes. Each is sorted by the
// twelve bytes before those; the items whose keys are equal, and whose
// lines are longer than the key, by the next twelve, and so on.
template <typename Item, typename Text>
void SortFromEnd(std::vector<Item>& items, const LineList& list, Text text, std::size_t shared = 0,
                 const BothRunner* both = nullptr) {
  const char* const readable = list.text().data();
  const auto key = [&text, readable](const Item& item, std::uint32_t at, std::size_t skip) {
    const std::string_view line = text(item);
    return Keyed{EndKey(line, skip, readable), static_cast<std::uint32_t>(EndKey(line, skip + 8, readable) >> 32),
                 at};
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) keyed.push_back(key(items[i], static_cast<std::uint32_t>(i), shared));
  constexpr int kTop = 8 * kKeyBytes - 8;  // the shift of a key's first byte
  // A few items, which the cache holds, are sorted in place. So are very
  // many (a whole list's): their scratch would cost more in fresh memory
  // pages than it saves, and as much memory again. And so are any when
  // there is no memory for it.
  constexpr std::size_t kScratchFrom = 256, kScratchUpTo = 1 << 18;
  std::vector<Keyed> scratch;
  try {
    if (keyed.size() >= kScratchFrom && keyed.size() <= kScratchUpTo) scratch.resize(keyed.size());
  } catch (const std::bad_alloc&) {
  }
  const auto scratch_at = [&scratch](std::size_t at) { return scratch.empty() ? nullptr : scratch.data() + at; };
  // Parts of the items whose keys agree above `shift` + 8 are sorted, and
  // then each run of equal keys in them further, each at once, before the
  // next, so that only the runs within it wait: a run [first, last) shares
  // its last `skip` bytes, and all have more.
  struct Part {
    std::size_t first, last;
    int shift;
  };
  struct Run {
    std::size_t first, last, skip;
  };
  const auto sort_parts = [&](std::span<const Part> parts) {
    std::vector<Run> runs;
    const auto find_runs = [&](std::size_t first, std::size_t last, std::size_t skip) {
      for (std::size_t at = first; at < last;) {
        std::size_t end = at + 1;
        while (end < last && SameKey(keyed[end], keyed[at])) ++end;
        // A key's last byte is 0 when its lines end before it: equal lines.
        if (end - at > 1 && (keyed[at].low & 0xFF) != 0) runs.push_back({at, end, skip + kKeyBytes});
        at = end;
      }
    };
    for (const Part& part : parts) {
      SortKeyed(keyed.data() + part.first, keyed.data() + part.last, part.shift, scratch_at(part.first));
      find_runs(part.first, part.last, shared);
      while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        for (std::size_t i = run.first; i < run.last; ++i) keyed[i] = key(items[keyed[i].at], keyed[i].at, run.skip);
        SortKeyed(keyed.data() + run.first, keyed.data() + run.last, kTop, scratch_at(run.first));
        find_runs(run.first, run.last, run.skip);
      }
    }
  };
  const Part whole{0, keyed.size(), kTop};
  if (both == nullptr || !*both || keyed.size() < kSharedSortFrom) {
    sort_parts({&whole, 1});
  } else {
    // Many items, with two threads to run on: the largest part is put into
    // buckets by the first byte at which its keys differ, and each bucket
    // becomes a part, until none holds more than half of the items (or the
    // largest cannot be split: every key in it the same). A dictionary's
    // lines that end alike mostly go on alike: of the lines of the
    // Bulgarian list that end in та, four in five end in ата.
    std::vector<Part> parts{whole};
    for (;;) {
      const auto largest = std::max_element(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return a.last - a.first < b.last - b.first;
      });
      const Part part = *largest;
      if (part.last - part.first <= keyed.size() / 2) break;
      std::size_t ends[256];
      int shift = part.shift;
      while (shift >= 0 && !Bucket(keyed.data() + part.first, keyed.data() + part.last, shift,
                                   scratch_at(part.first), ends)) {
        shift -= 8;
      }
      if (shift < 0) break;
      parts.erase(largest);
      for (std::size_t b = 0, from = 0; b < 256; from = ends[b++]) {
        if (ends[b] - from > 1) parts.push_back({part.first + from, part.first + ends[b], shift - 8});
      }
    }
    // The largest parts first, each to the thread with fewer items so far.
    std::sort(parts.begin(), parts.end(),
              [](const Part& a, const Part& b) { return a.last - a.first > b.last - b.first; });
    std::vector<Part> halves[2];
    std::size_t sizes[2] = {};
    for (const Part& part : parts) {
      const int half = sizes[0] <= sizes[1] ? 0 : 1;
      halves[half].push_back(part);
      sizes[half] += part.last - part.first;
    }
    if (halves[1].empty()) {
      sort_parts(halves[0]);  // it could not be split
    } else {
      (*both)([&] { sort_parts(halves[0]); }, [&] { sort_parts(halves[1]); });
    }
  }
  // Into place through the keys, which are no longer needed: no copy of
  // the items.
  static_assert(sizeof(Item) <= sizeof(std::uint64_t));
  for (Keyed& item : keyed) item.high = static_cast<std::uint64_t>(items[item.at]);
  for (std::size_t i = 0; i < items.size(); ++i) items[i] = static_cast<Item>(keyed[i].high);
}

// Sorts distinct line numbers: many by marking them in a bitmap of the
// list's lines and reading it back, few by sorting.
void ToFileOrder(std::size_t list_size, std::span<LineNumber> lines) {
  if (lines.size() < list_size / 64) {
    std::sort(lines.begin(), lines.end());
    return;
  }
  std::vector<std::uint64_t> marked((list_size + 63) / 64);
  for (const LineNumber line : lines) marked[line / 64] |= std::uint64_t{1} << (line % 64);
  std::size_t at = 0;
  for (std::size_t word = 0; word < marked.size(); ++word) {
    for (std::uint64_t bits = marked[word]; bits != 0; bits &= bits - 1) {
      lines[at++] = static_cast<LineNumber>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
  }
}

}  // namespace

bool IsVowel(unsigned char byte) {
  // Looked up in a table: every byte of every line is asked about.
  static const auto vowels = [] {
    std::array<bool, 256> table{};
    for (const unsigned char vowel : kVowels) table[vowel] = true;
    return table;
  }();
  return vowels[byte];
}

bool ParseSyllableCounts(const char* text, std::vector<std::size_t>& counts) {
  constexpr std::size_t kMost = 1000;
  std::vector<std::size_t> named;
  // The count that `text` starts with, moving `text` past it; false when
  // there is none, or it is more than kMost.
  const auto number = [&text](std::size_t& count) {
    if (*text < '0' || *text > '9') return false;
    count = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
      count = count * 10 + static_cast<std::size_t>(*text - '0');
      if (count > kMost) return false;
    }
    return true;
  };
  for (;;) {
    std::size_t first = 0, last = 0;
    if (!number(first)) return false;
    last = first;
    if (*text == '-') {
      ++text;
      if (!number(last) || last < first) return false;
    }
    for (std::size_t count = first; count <= last; ++count) named.push_back(count);
    if (*text == '\0') break;
    if (*text++ != ',') return false;
  }
  counts.insert(counts.end(), named.begin(), named.end());
  return true;
}

std::size_t SyllableCount(std::string_view line) {
  std::size_t count = 0;
  for (const char c : line) count += IsVowel(static_cast<unsigned char>(c));
  return count;
}

unsigned char ObstruentPair(unsigned char byte) {
  for (const auto& pair : kObstruentPairs) {
    if (byte == pair[0]) return pair[1];
    if (byte == pair[1]) return pair[0];
  }
  return 0;
}

int CompareFromEnd(std::string_view a, std::string_view b) {
  std::size_t i = a.size(), j = b.size();
  while (i > 0 && j > 0) {
    const unsigned char x = At(a, --i), y = At(b, --j);
    if (x != y) return x < y ? -1 : 1;
  }
  return i > 0 ? 1 : (j > 0 ? -1 : 0);
}

ReverseIndex::ReverseIndex(const LineList& list) : order_(list.size()), syllables_(list.size()) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    order_[i] = static_cast<LineNumber>(i);
    syllables_[i] = static_cast<unsigned char>(std::min<std::size_t>(SyllableCount(list.line(i)), 255));
  }
  SortFromEnd(order_, list, [&list](LineNumber line) { return list.line(line); });
}

bool KeepsSyllables(const RhymeQuery& query, std::size_t syllables) {
  return query.syllables.empty() ||
         std::find(query.syllables.begin(), query.syllables.end(), syllables) != query.syllables.end();
}

namespace {

// Counts the matches' syllables (unless neither `by_syllables` nor the
// query needs them), keeps the counts asked for, and puts the lines in
// syllables order when the query asks for it; `lines` come in
// file order, or in reverse order. `starts`, when given, tells where each
// line starts, so that a sparse list need not look its lines up; it is
// kept beside the lines.
void OrderAndCount(const LineList& list, const ReverseIndex* index, const RhymeQuery& query,
                   RhymeResult& result, std::vector<std::size_t>* starts = nullptr, bool by_syllables = true) {
  std::vector<LineNumber>& lines = result.lines;
  // Each line's count, only when lines are left out or sorted by it (no
  // line that a list can hold has 2^32 vowels).
  const bool kept_by_count = !query.syllables.empty() || query.order == ResultOrder::kSyllables;
  std::vector<std::uint32_t> counts(kept_by_count ? lines.size() : 0);
  for (std::size_t i = 0; i < lines.size() && (kept_by_count || by_syllables); ++i) {
    const std::size_t count = index != nullptr && index->syllables(lines[i]) < 255
                                  ? index->syllables(lines[i])
                                  : SyllableCount(starts == nullptr ? list.line(lines[i])
                                                                    : list.line(lines[i], (*starts)[i]));
    if (kept_by_count) counts[i] = static_cast<std::uint32_t>(count);
    if (count >= result.by_syllables.size()) result.by_syllables.resize(count + 1);
    ++result.by_syllables[count];
  }
  if (!query.syllables.empty()) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!KeepsSyllables(query, counts[i])) continue;
      lines[kept] = lines[i];
      if (starts != nullptr) (*starts)[kept] = (*starts)[i];
      counts[kept++] = counts[i];
    }
    lines.resize(kept);
    if (starts != nullptr) starts->resize(kept);
    counts.resize(kept);
  }
  if (query.order == ResultOrder::kSyllables) {
    // A counting sort by syllables keeps file order within each count.
    std::vector<std::size_t> start(result.by_syllables.size() + 1);
    for (const std::uint32_t count : counts) ++start[count + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<LineNumber> sorted(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) sorted[start[counts[i]]++] = lines[i];
    lines = std::move(sorted);
  }
}

// Puts the matches in `result.lines`, which come in file order, in the
// query's order, and keeps the syllable counts it asks for. `starts` as
// for OrderAndCount.
void Arrange(const LineList& list, const RhymeQuery& query, RhymeResult& result,
             std::vector<std::size_t>* starts = nullptr, bool by_syllables = true, const BothRunner* both = nullptr) {
  // Counted and kept in file order, which reads the lines in turn.
  OrderAndCount(list, nullptr, query, result, starts, by_syllables);
  if (query.order != ResultOrder::kReverse) return;
  const std::size_t shared = FixedBytes(Compile(query));
  if (starts == nullptr) {
    SortFromEnd(result.lines, list, [&list](LineNumber line) { return list.line(line); }, shared, both);
    return;
  }
  // Each match's place, sorted by its line, which even a sparse list
  // reaches at once through where it starts.
  std::vector<std::uint32_t> order(result.lines.size());
  std::iota(order.begin(), order.end(), std::uint32_t{0});
  SortFromEnd(order, list, [&](std::uint32_t i) { return list.line(result.lines[i], (*starts)[i]); }, shared, both);
  std::vector<LineNumber> lines(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) lines[i] = result.lines[order[i]];
  result.lines = std::move(lines);
}

}  // namespace

struct RhymeScan::Pattern {
  std::vector<Allowed> from_end;
  std::optional<LineEndTail> tail;  // see FixedTail
};

RhymeScan::RhymeScan(const LineList& list, RhymeQuery query)
    : list_(list), query_(std::move(query)), pattern_(std::make_unique<Pattern>()) {
  if (query_.ending.size() < kMinEndingLength) {
    result_.outcome = SearchOutcome::EndingTooShort;
    next_ = list_.size();
    return;
  }
  result_.outcome = list_.cut_short() ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
  const std::vector<Allowed>& from_end = pattern_->from_end = Compile(query_);
  pattern_->tail = FixedTail(from_end);
}

RhymeScan::~RhymeScan() = default;

void RhymeScan::Found(std::size_t start) {
  result_.lines.push_back(static_cast<LineNumber>(next_));
  starts_.push_back(start);
}

void RhymeScan::ScanLines(std::size_t end) {
  // Line by line in turn; a sparse list from where each line ends.
  for (; at_ < end && next_ < list_.size(); ++next_) {
    const std::string_view line = list_.line(next_, at_);
    if (Matches(line, pattern_->from_end)) Found(at_);
    at_ += line.size() + 1;
  }
}

void RhymeScan::ScanTails(std::size_t end) {
  const std::string_view text = list_.text();
  const char* bytes = text.data();
  // Compares the line whose text ends at `stop`, and moves to it when it
  // matches.
  const auto look_at = [&](std::size_t stop) {
    const std::size_t start = LineStartBefore(bytes, at_, stop);
    if (!Matches(text.substr(start, stop - start), pattern_->from_end)) return;
    next_ = list_.NumberAt(start, next_);
    at_ = start;
    Found(start);
  };
  std::size_t ends[kLineEndBatch];
  for (std::size_t from = at_; from < end;) {
    const LineEndScan scan = ScanLineEnds(bytes, from, end, *pattern_->tail, ends);
    for (std::size_t k = 0; k < scan.count; ++k) {
      // Before a CR (and its LF) the text goes on: it ends with the CR.
      if (!IsByte(bytes[ends[k]], kCr)) look_at(ends[k]);
    }
    if (!scan.full) break;
    from = scan.next;
  }
  // The pass sees only lines with a break; the last line may have none.
  if (end == text.size() && !text.empty() && !IsByte(text.back(), kLf)) look_at(end);
  next_ = end < text.size() ? list_.NumberAt(end, next_) : list_.size();
  at_ = end;
}

bool RhymeScan::Step(std::size_t bytes) {
  const std::size_t size = list_.text().size();
  if (next_ >= list_.size() || at_ >= size) {
    next_ = list_.size();
    return true;
  }
  // The slice: whole lines, to the line break at or after `bytes` bytes.
  std::size_t end = size;
  if (bytes <= size - at_) {
    const std::size_t lf = FindByte(list_.text().data(), at_ + std::max<std::size_t>(bytes, 1) - 1, size, kLf);
    end = lf == size ? size : lf + 1;
  }
  if (pattern_->tail) {
    ScanTails(end);
  } else {
    ScanLines(end);
  }
  if (end == size) next_ = list_.size();  // the last line may have no break
  return next_ >= list_.size();
}

RhymeResult RhymeScan::Finish() {
  Step(SIZE_MAX);
  if (result_.outcome == SearchOutcome::EndingTooShort) return std::move(result_);
  Arrange(list_, query_, result_, &starts_);
  return std::move(result_);
}

RhymeResult FindRhymes(const LineList& list, const ReverseIndex* index, const RhymeQuery& query) {
  if (index == nullptr || query.ending.size() < kMinEndingLength) {
    return RhymeScan(list, query).Finish();
  }
  RhymeResult result;
  result.outcome = list.cut_short() ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
  const std::vector<Allowed> from_end = Compile(query);
  IndexWalk(list, index->order(), from_end, &result.lines).Walk(0, index->order().size(), 0);
  if (query.order != ResultOrder::kReverse) ToFileOrder(list.size(), result.lines);
  OrderAndCount(list, index, query, result);
  return result;
}

RhymeQuery ClosestCandidates(const RhymeQuery& word) {
  RhymeQuery query;
  query.ending = word.ending.substr(word.ending.size() - kMinEndingLength);
  query.sound = word.sound;  // the final run is counted from the end alike
  query.order = word.order == ResultOrder::kReverse ? ResultOrder::kReverse : ResultOrder::kFile;
  return query;
}

namespace {

// A candidate of a word's closest rhymes: its line, whether it is one of
// the rhymes (not the word itself), the bytes it shares with the word and
// its syllables.
struct Rank {
  LineNumber number;
  bool rhyme;
  std::size_t shared, syllables;
};

// What each byte of a query's word, from its end, allows: the word is no
// pattern ('?' is itself), but by sound its final run allows the pairs.
std::vector<Allowed> WordFromEnd(const RhymeQuery& query) {
  RhymeQuery whole = query;
  whole.patterns = false;
  return Compile(whole);
}

std::size_t SyllablesOf(const LineList& list, const ReverseIndex* index, LineNumber line) {
  return index != nullptr && index->syllables(line) < 255 ? index->syllables(line) : SyllableCount(list.line(line));
}

// The closest rhymes of `query.ending` among `count` candidates, each told
// by rank(i) (which may be asked again of the same i), in file order or in
// reverse order when the query asks for it: grouped by the bytes shared,
// longest first, and, in syllables order, by syllables within.
template <typename RankOf>
ClosestRhymes GroupClosest(const LineList& list, const RhymeQuery& query, std::size_t count, RankOf rank) {
  ClosestRhymes closest;
  RhymeResult& result = closest.rhymes;
  result.outcome = list.cut_short() ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
  const std::string& word = query.ending;
  // By shared length, longest first (each length a group), and, in
  // syllables order, by syllables within.
  std::vector<std::size_t> by_length(word.size() + 1);  // [word.size() - shared]
  for (std::size_t i = 0; i < count; ++i) {
    const Rank ranked = rank(i);
    if (!ranked.rhyme) continue;
    if (ranked.syllables >= result.by_syllables.size()) result.by_syllables.resize(ranked.syllables + 1);
    ++result.by_syllables[ranked.syllables];
    if (KeepsSyllables(query, ranked.syllables)) ++by_length[word.size() - ranked.shared];
  }
  for (std::size_t length = word.size(); length >= kMinEndingLength; --length) {
    const std::size_t lines = by_length[word.size() - length];
    if (lines > 0) closest.groups.push_back({word.substr(word.size() - length), lines});
  }
  const bool by_syllables = query.order == ResultOrder::kSyllables;
  const std::size_t kinds = by_syllables ? result.by_syllables.size() : 1;
  const auto slot = [&](const Rank& ranked) {
    return (word.size() - ranked.shared) * kinds + (by_syllables ? ranked.syllables : 0);
  };
  std::vector<std::size_t> start(by_length.size() * kinds + 1);
  if (by_syllables) {
    for (std::size_t i = 0; i < count; ++i) {
      const Rank ranked = rank(i);
      if (ranked.rhyme && KeepsSyllables(query, ranked.syllables)) ++start[slot(ranked) + 1];
    }
  } else {
    std::copy(by_length.begin(), by_length.end(), start.begin() + 1);
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  result.lines.resize(start.back());
  for (std::size_t i = 0; i < count; ++i) {
    const Rank ranked = rank(i);
    if (ranked.rhyme && KeepsSyllables(query, ranked.syllables)) result.lines[start[slot(ranked)]++] = ranked.number;
  }
  return closest;
}

// The closest rhymes among the candidates, the lines that end with the
// word's last bytes, in file order or in reverse order when the query asks
// for it: `candidates`, or with `all` every line of `list` in file order.
// Each candidate's line is read once, and what it told kept in twelve
// bytes for the passes after the first, which reading the line again cost
// more than.
ClosestRhymes RankClosest(const LineList& list, const RhymeQuery& query, std::span<const LineNumber> candidates,
                          bool all = false) {
  const std::string& word = query.ending;
  const std::vector<Allowed> from_end = WordFromEnd(query);
  // `shared` 0: the word itself, no rhyme (a rhyme shares two bytes or
  // more). No line that a list can hold has 2^32 vowels.
  struct Told {
    LineNumber number;
    std::uint32_t shared, syllables;
  };
  std::vector<Told> told(all ? list.size() : candidates.size());
  for (std::size_t i = 0; i < told.size(); ++i) {
    Told& it = told[i];
    it.number = all ? static_cast<LineNumber>(i) : candidates[i];
    const std::string_view line = list.line(it.number);
    if (line == word) continue;
    std::size_t shared = kMinEndingLength;
    while (shared < from_end.size() && shared < line.size() &&
           from_end[shared].Has(At(line, line.size() - 1 - shared))) {
      ++shared;
    }
    it.shared = static_cast<std::uint32_t>(shared);
    it.syllables = static_cast<std::uint32_t>(SyllableCount(line));
  }
  return GroupClosest(list, query, told.size(), [&told](std::size_t i) {
    const Told& it = told[i];
    return Rank{it.number, it.shared != 0, it.shared, it.syllables};
  });
}

// The closest rhymes through the index, reading no candidate's line but
// the word's equals: in the index's order the lines that share at least k
// of the word's last bytes stand together, in a run (in a few runs by
// sound), within the runs of k - 1; each candidate shares the longest k
// whose runs hold its place. The candidates are then put in file order
// within each length, unless the query asks for reverse order, which is
// the index's.
ClosestRhymes RankIndexed(const LineList& list, const ReverseIndex& index, const RhymeQuery& query) {
  const std::string& word = query.ending;
  const std::vector<Allowed> from_end = WordFromEnd(query);
  const std::span<const LineNumber> order = index.order();
  using Runs = std::vector<std::pair<std::size_t, std::size_t>>;
  Runs runs, longer;
  // The candidates' places in the index's order, ascending, and the bytes
  // each shares with the word.
  std::vector<std::uint32_t> places;
  std::vector<std::uint32_t> shared;
  for (std::size_t length = kMinEndingLength; length <= from_end.size(); ++length) {
    const std::vector<Allowed> ending(from_end.begin(), from_end.begin() + static_cast<std::ptrdiff_t>(length));
    IndexWalk walk(list, order, ending, nullptr);
    walk.runs = &longer;
    longer.clear();
    if (length == kMinEndingLength) {
      walk.Walk(0, order.size(), 0);
      for (const auto& [first, last] : longer) {
        for (std::size_t at = first; at < last; ++at) places.push_back(static_cast<std::uint32_t>(at));
      }
      shared.assign(places.size(), static_cast<std::uint32_t>(length));
    } else {
      for (const auto& [first, last] : runs) walk.Walk(first, last, length - 1);
      for (const auto& [first, last] : longer) {
        const std::size_t i = static_cast<std::size_t>(
            std::lower_bound(places.begin(), places.end(), static_cast<std::uint32_t>(first)) - places.begin());
        std::fill(shared.begin() + static_cast<std::ptrdiff_t>(i),
                  shared.begin() + static_cast<std::ptrdiff_t>(i + (last - first)),
                  static_cast<std::uint32_t>(length));
      }
    }
    if (longer.empty()) break;
    runs.swap(longer);
  }
  // The candidates, as ranked, in the order the query asks for.
  if (query.order != ResultOrder::kReverse) {
    // By length (the order GroupClosest keeps), then by line number.
    std::vector<std::size_t> start(word.size() + 2);
    for (const std::uint32_t length : shared) ++start[word.size() - length + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<LineNumber> lines(places.size());
    for (std::size_t i = 0; i < places.size(); ++i) lines[start[word.size() - shared[i]]++] = order[places[i]];
    for (std::size_t at = 0, group = 0; group + 1 < start.size(); at = start[group++]) {
      ToFileOrder(list.size(), std::span<LineNumber>(lines).subspan(at, start[group] - at));
      std::fill(shared.begin() + static_cast<std::ptrdiff_t>(at),
                shared.begin() + static_cast<std::ptrdiff_t>(start[group]),
                static_cast<std::uint32_t>(word.size() - group));
    }
    for (std::size_t i = 0; i < lines.size(); ++i) places[i] = lines[i];
  } else {
    for (std::uint32_t& place : places) place = order[place];
  }
  // `places` now holds the candidates' lines.
  std::vector<std::uint32_t> syllables(places.size());
  std::vector<bool> rhyme(places.size(), true);
  for (std::size_t i = 0; i < places.size(); ++i) {
    syllables[i] = static_cast<std::uint32_t>(SyllablesOf(list, &index, places[i]));
    if (shared[i] == word.size() && list.line(places[i]) == word) rhyme[i] = false;
  }
  return GroupClosest(list, query, places.size(), [&](std::size_t i) {
    return Rank{places[i], rhyme[i], shared[i], syllables[i]};
  });
}

}  // namespace

ClosestRhymes FindClosestRhymes(const LineList& list, const ReverseIndex* index, const RhymeQuery& query) {
  if (query.ending.size() < kMinEndingLength) {
    ClosestRhymes closest;
    closest.rhymes.outcome = SearchOutcome::EndingTooShort;
    return closest;
  }
  if (index != nullptr) return RankIndexed(list, *index, query);
  const RhymeResult candidates = FindRhymes(list, nullptr, ClosestCandidates(query));
  return RankClosest(list, query, candidates.lines);
}

namespace {

// Holds each line it is given in a list of its own.
class HeldLines : public ResultSink {
 public:
  explicit HeldLines(LineList& held) : held_(held) {}
  void Clear() override {
    held_ = LineList();
    try {
      // Most searches' matches, with no copy as they come: only the pages
      // written to are ever taken.
      held_.Reserve(8 << 20, 1 << 19);
    } catch (const std::bad_alloc&) {
    }
  }
  void Add(std::string_view line) override { held_.Add(line); }

 private:
  LineList& held_;
};

}  // namespace

SearchOutcome HoldRhymeLines(const RhymeQuery& query, const WordListOptions& list_file, LineList& held) {
  HeldLines sink(held);
  SearchOutcome outcome;
  try {
    outcome = FindRhymeLines(query, sink, list_file);
  } catch (const std::bad_alloc&) {
    outcome = SearchOutcome::ListCutShort;  // the lines held so far stand
  }
  if (outcome == SearchOutcome::Listed && held.cut_short()) outcome = SearchOutcome::ListCutShort;
  return outcome;
}

namespace {

// Line numbers 0 to size - 1.
std::vector<LineNumber> AllLines(std::size_t size) {
  std::vector<LineNumber> lines(size);
  std::iota(lines.begin(), lines.end(), LineNumber{0});
  return lines;
}

}  // namespace

RhymeResult OrderHeld(const LineList& held, const RhymeQuery& query, bool by_syllables, const BothRunner& both) {
  RhymeResult result;
  result.outcome = held.cut_short() ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
  result.lines = AllLines(held.size());
  Arrange(held, query, result, nullptr, by_syllables, &both);
  if (!by_syllables) result.by_syllables.clear();
  return result;
}

RhymeResult FindRhymes(const WordListOptions& list_file, const RhymeQuery& query, LineList& held) {
  const SearchOutcome outcome = HoldRhymeLines(query, list_file, held);
  RhymeResult result;
  if (outcome == SearchOutcome::Listed || outcome == SearchOutcome::ListCutShort) result = OrderHeld(held, query);
  result.outcome = outcome;
  return result;
}

ClosestRhymes RankHeld(const LineList& held, const RhymeQuery& query) {
  // Every line held is a candidate, in file order, or sorted in reverse
  // order when the query asks for it.
  if (query.order != ResultOrder::kReverse) return RankClosest(held, query, {}, true);
  std::vector<LineNumber> candidates = AllLines(held.size());
  SortFromEnd(candidates, held, [&held](LineNumber line) { return held.line(line); },
              FixedBytes(Compile(ClosestCandidates(query))));
  return RankClosest(held, query, candidates);
}

ClosestRhymes FindClosestRhymes(const WordListOptions& list_file, const RhymeQuery& query, LineList& held) {
  const SearchOutcome outcome = query.ending.size() < kMinEndingLength
                                    ? SearchOutcome::EndingTooShort
                                    : HoldRhymeLines(ClosestCandidates(query), list_file, held);
  ClosestRhymes closest;
  if (outcome == SearchOutcome::Listed || outcome == SearchOutcome::ListCutShort) closest = RankHeld(held, query);
  closest.rhymes.outcome = outcome;
  return closest;
}

SearchOutcome FindRhymeLines(const RhymeQuery& query, ResultSink& sink,
                             const WordListOptions& list) {
  if (query.ending.size() < kMinEndingLength) return SearchOutcome::EndingTooShort;
  WordListReader reader;
  if (!reader.Open(list)) return SearchOutcome::ListMissing;
  sink.Clear();
  const std::vector<Allowed> from_end = Compile(query);
  // With fixed last bytes, only the lines the reader's pass finds by them
  // are compared. Otherwise every line of a plain run is compared; the pass
  // is then asked for bytes few lines end with (CR CR), and what it finds
  // is not used.
  const std::optional<LineEndTail> tail = FixedTail(from_end, true);
  const LineEndTail pass = tail ? *tail : LineEndTail{0, kCr, kCr, false};
  // Without them, the last byte of the ending that allows one byte only,
  // and how far it stands from the end: only the lines with it there are
  // compared. Not a CR, which a break may hold, nor a byte no line's text
  // holds (LF, NUL, SUB): that ending matches nothing, line by line.
  std::optional<std::pair<std::size_t, char>> anchor;
  for (std::size_t d = 0; !tail && d < from_end.size() && d < 8; ++d) {
    const Allowed& allowed = from_end[d];
    if (allowed.any || allowed.pair != allowed.byte) continue;
    const unsigned char byte = allowed.byte;
    if (byte != kCr && byte != kLf && byte != kNul && byte != kSub) anchor.emplace(d, static_cast<char>(byte));
    break;
  }
  for (;;) {
    std::string_view run;
    std::span<const std::size_t> ends;
    while (reader.NextPlainRun(run, pass, ends)) {
      if (tail) {
        for (const std::size_t end : ends) {
          const std::size_t start = LineStartBefore(run.data(), 0, end);
          const std::string_view line = run.substr(start, end - start);
          if (Matches(line, from_end)) sink.Add(line);
        }
        continue;
      }
      // A run ends just after an LF; a CR before it belongs to the break.
      const auto look_at = [&](std::size_t start, std::size_t lf) {
        const std::size_t end = lf > start && IsByte(run[lf - 1], kCr) ? lf - 1 : lf;
        const std::string_view line = run.substr(start, end - start);
        if (Matches(line, from_end)) sink.Add(line);
      };
      if (!anchor) {
        for (std::size_t start = 0; start < run.size();) {
          const std::size_t lf = FindByte(run.data(), start, run.size(), kLf);
          look_at(start, lf);
          start = lf + 1;
        }
        continue;
      }
      // Only the lines whose break comes just after the fixed byte, `d`
      // bytes and a CR at most after it.
      const std::size_t d = anchor->first;
      for (std::size_t from = 0; from < run.size();) {
        const std::size_t at = FindByte(run.data(), from, run.size(), anchor->second);
        if (at == run.size()) break;
        // A few bytes: a call to look through them would cost more.
        const std::size_t limit = std::min(run.size(), at + d + 3);
        std::size_t lf = at + 1;
        while (lf < limit && !IsByte(run[lf], kLf)) ++lf;
        if (lf == limit) {
          from = at + 1;
          continue;
        }
        look_at(LineStartBefore(run.data(), 0, at), lf);
        from = lf + 1;
      }
    }
    const LineRead read = reader.Next();
    if (read.end) break;
    if (Matches(read.line, from_end)) sink.Add(read.line);
  }
  const bool cut_short = reader.failed();
  reader.Close();
  return cut_short ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
}

std::vector<EndingCount> CountWordEndings(const LineList& list, const ReverseIndex* index,
                                          std::string_view word) {
  std::vector<EndingCount> endings;
  for (std::size_t length = kMinEndingLength; length <= word.size(); ++length) {
    endings.push_back({std::string(word.substr(word.size() - length)), 0});
  }
  if (endings.empty()) return endings;
  if (index != nullptr) {
    for (EndingCount& ending : endings) {
      RhymeQuery query;
      query.ending = ending.ending;
      const std::vector<Allowed> from_end = Compile(query);
      IndexWalk walk(list, index->order(), from_end, nullptr);
      walk.Walk(0, index->order().size(), 0);
      ending.count = walk.found_;
    }
    return endings;
  }
  // One pass: a line that shares its last k bytes with the word counts for
  // every ending up to k.
  for (std::size_t i = 0, at = 0; i < list.size(); ++i) {
    const std::string_view line = list.line(i, at);
    at += line.size() + 1;
    std::size_t shared = 0;
    while (shared < word.size() && shared < line.size() &&
           line[line.size() - 1 - shared] == word[word.size() - 1 - shared]) {
      ++shared;
    }
    for (std::size_t length = kMinEndingLength; length <= shared; ++length) {
      ++endings[length - kMinEndingLength].count;
    }
  }
  return endings;
}

}  // namespace versalo
