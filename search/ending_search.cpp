#include "search/ending_search.h"

#include <bit>
#include <cstring>

#include "search/bytes.h"
#include "search/sse2.h"

namespace versalo {

namespace {

// Searches a plain run of lines (see WordListReader::NextPlainRun) without
// cutting it into lines first: it looks only at the line ends. The ending
// holds no LF, so equal bytes before a line end can never reach back into
// the line before.
class RunScanner {
 public:
  RunScanner(std::string_view ending, ResultSink& sink) : ending_(ending), sink_(sink) {}

  void Scan(std::string_view run) {
    std::size_t lf = 0;
#ifdef VERSALO_SSE2
    lf = ScanVector(run);
#endif
    for (lf = FindByte(run.data(), lf, run.size(), kLf); lf < run.size();
         lf = FindByte(run.data(), lf + 1, run.size(), kLf)) {
      CheckLineEnd(run, lf);
    }
  }

 private:
  // The line that ends at the LF at `lf` of `run`.
  void CheckLineEnd(std::string_view run, std::size_t lf) {
    std::size_t end = lf;
    if (end > 0 && IsByte(run[end - 1], kCr)) --end;  // CR LF is one LF
    if (!EndsWith(run.substr(0, end), ending_)) return;
    std::size_t start = end - ending_.size();
    while (start > 0 && !IsByte(run[start - 1], kLf)) --start;
    sink_.Add(run.substr(start, end - start));
  }

#ifdef VERSALO_SSE2
  // Checks 16 line ends at a time for the ending's last two bytes, before
  // LF or CR LF; only those are compared in full. Returns where the rest is
  // to be scanned from.
  std::size_t ScanVector(std::string_view run) {
    constexpr std::size_t kWidth = 16;
    constexpr std::size_t kBack = 3;  // looks back at most to lf - 3
    std::size_t lf = 0;
    // The first few line ends have too little before them to load from.
    for (; lf < kBack && lf < run.size(); ++lf) {
      if (IsByte(run[lf], kLf)) CheckLineEnd(run, lf);
    }
    const __m128i lf_bytes = _mm_set1_epi8(static_cast<char>(kLf));
    const __m128i cr_bytes = _mm_set1_epi8(static_cast<char>(kCr));
    const __m128i last = _mm_set1_epi8(ending_[ending_.size() - 1]);
    const __m128i before_last = _mm_set1_epi8(ending_[ending_.size() - 2]);
    const char* data = run.data();
    for (; lf + kWidth <= run.size(); lf += kWidth) {
      const auto at = [&](std::size_t back) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + lf - back));
      };
      const __m128i p0 = at(0), p1 = at(1), p2 = at(2), p3 = at(3);
      const __m128i is_lf = _mm_cmpeq_epi8(p0, lf_bytes);
      // ...xy LF
      const __m128i plain = _mm_and_si128(_mm_cmpeq_epi8(p1, last), _mm_cmpeq_epi8(p2, before_last));
      // ...xy CR LF
      const __m128i crlf = _mm_and_si128(
          _mm_cmpeq_epi8(p1, cr_bytes),
          _mm_and_si128(_mm_cmpeq_epi8(p2, last), _mm_cmpeq_epi8(p3, before_last)));
      unsigned mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(is_lf, _mm_or_si128(plain, crlf))));
      for (; mask != 0; mask &= mask - 1) {
        CheckLineEnd(run, lf + static_cast<std::size_t>(std::countr_zero(mask)));
      }
    }
    return lf;
  }
#endif

  std::string_view ending_;
  ResultSink& sink_;
};

}  // namespace

bool EndsWith(std::string_view line, std::string_view ending) {
  // memcmp compares as unsigned char.
  return line.size() >= ending.size() &&
         std::memcmp(line.data() + line.size() - ending.size(), ending.data(),
                     ending.size()) == 0;
}

SearchOutcome FindEndingMatches(std::string_view ending, ResultSink& sink,
                                const WordListOptions& list) {
  if (ending.size() < kMinEndingLength) return SearchOutcome::EndingTooShort;
  WordListReader reader;
  if (!reader.Open(list)) return SearchOutcome::ListMissing;
  sink.Clear();
  // No line holds an LF, so an ending with one matches nothing; the line by
  // line path below finds that out without the run scanner's help.
  const bool scan_runs = ending.find(static_cast<char>(kLf)) == std::string_view::npos;
  RunScanner scanner(ending, sink);
  for (;;) {
    std::string_view run;
    while (scan_runs && reader.NextPlainRun(run)) scanner.Scan(run);
    const LineRead read = reader.Next();
    if (read.end) break;
    if (EndsWith(read.line, ending)) sink.Add(read.line);
  }
  const bool cut_short = reader.failed();
  reader.Close();
  return cut_short ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
}

}  // namespace versalo
