// The reader's passes over a block of the word list, in a plain version and
// in vector versions for the processors that have them. Every version gives
// the same answers; the reader (word_list_reader.h) says what they mean for
// the line rules.
#ifndef VERSALO_SEARCH_BLOCK_SCAN_H
#define VERSALO_SEARCH_BLOCK_SCAN_H

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace versalo {

// How the passes run. The program takes the widest the processor has;
// tests and benchmarks choose each in turn.
enum class ScanPath { kPlain, kSse2, kAvx2 };

// The paths this build can take on this processor, narrowest first.
const std::vector<ScanPath>& AvailableScanPaths();
// The path the passes take from now on; it must be an available one.
void UseScanPath(ScanPath path);
ScanPath CurrentScanPath();
const char* ScanPathName(ScanPath path);

// Index of the first NUL or SUB in [from, end) of `block`, or `end`.
std::size_t FindNulOrSub(const char* block, std::size_t from, std::size_t end);

// Where the line that holds the byte before `at` starts: just past the last
// LF in [from, at) of `block`, or `from` when there is none there.
std::size_t LineStartBefore(const char* block, std::size_t from, std::size_t at);

// Writes where the LFs in [from, end) of `block` lie, in order, to `at`, at
// most `most` of them, and returns how many; `from` moves past the last one
// written, or to `end` when there were no more.
std::size_t FindLineFeeds(const char* block, std::size_t& from, std::size_t end, std::size_t* at,
                          std::size_t most);

// What a pass looks for before a line end: the last two bytes of an ending,
// and the one before them when the ending has three or more. None of them
// is LF, NUL or SUB. With a `gap`, they stand that many bytes before the
// line's end, and the bytes between may be any of the line's text (neither
// LF, NUL nor SUB): for a pattern whose last bytes are '?'. With
// `any_last`, `last` is not looked at and may be any of the line's text
// too: for a pattern with one fixed byte before its '?'.
struct LineEndTail {
  unsigned char third_last;  // looked for only when `three`
  unsigned char before_last;
  unsigned char last;
  bool three;
  unsigned char gap = 0;  // at most kMaxTailGap
  bool any_last = false;
};

inline constexpr unsigned char kMaxTailGap = 8;

// The tail of an ending of two bytes or more; none when the ending holds an
// LF, a NUL or a SUB, which no line's text holds, so that no pass can find.
std::optional<LineEndTail> TailOf(std::string_view ending);

struct LineEndScan {
  // Candidates written to `ends`.
  std::size_t count = 0;
  // Where the pass stopped: at the first NUL or SUB, at `end`, or, when
  // `ends` filled up, just past the line break of the last candidate.
  std::size_t next = 0;
  bool full = false;
};

// How many candidates one pass writes at most; `ends` must hold this many.
inline constexpr std::size_t kLineEndBatch = 1024;

// One pass over [from, end) of `block`, where `from` is the start of a
// line: finds the first NUL or SUB and, before it, every line that ends
// with LF or CR LF and whose text ends with `tail` (and its gap). Writes
// the index just past each such text to `ends`, in file order.
LineEndScan ScanLineEnds(const char* block, std::size_t from, std::size_t end, LineEndTail tail,
                         std::size_t* ends);

}  // namespace versalo

#endif  // VERSALO_SEARCH_BLOCK_SCAN_H
