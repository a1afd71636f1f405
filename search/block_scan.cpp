#include "search/block_scan.h"

#include <bit>
#include <cstdint>

#include "search/bytes.h"
#include "search/sse2.h"
#include "search/word_list_reader.h"

// AVX2 is chosen at run time, so the program still starts on a processor
// without it; only the functions marked for it use its instructions.
#if defined(VERSALO_SSE2) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VERSALO_AVX2 1
#define VERSALO_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace versalo {

namespace {

bool IsNulOrSub(char c) { return IsByte(c, kNul) || IsByte(c, kSub); }

ScanPath WidestPath() {
#ifdef VERSALO_AVX2
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return ScanPath::kAvx2;
#endif
#ifdef VERSALO_SSE2
  return ScanPath::kSse2;
#else
  return ScanPath::kPlain;
#endif
}

ScanPath& Path() {
  static ScanPath path = WidestPath();
  return path;
}

// The first byte after a tail at `at` that its pass has not compared.
std::size_t PastTail(LineEndTail tail, std::size_t at) { return at + (tail.any_last ? 1 : 2); }

// Whether a text that holds a tail at `at` ends at `text_end`, which is
// before `end`: a line break follows (LF, or CR LF), and the bytes between
// the tail and the break hold none of LF, NUL and SUB. A CR right before
// LF belongs to the break, so a text that ends in CR is followed by a
// second CR.
bool EndsText(const char* block, LineEndTail tail, std::size_t at, std::size_t text_end, std::size_t end) {
  for (std::size_t gap = PastTail(tail, at); gap < text_end; ++gap) {
    if (IsByte(block[gap], kLf) || IsNulOrSub(block[gap])) return false;
  }
  if (IsByte(block[text_end], kLf)) return !IsByte(block[text_end - 1], kCr);
  return IsByte(block[text_end], kCr) && text_end + 1 < end && IsByte(block[text_end + 1], kLf);
}

// The pass one byte at a time, from `at` on, in a pass that began at the
// line start `from`. Each candidate is found at the first of the ending's
// last two bytes, which is how the vector passes find them too.
LineEndScan ScanPlain(const char* block, std::size_t from, std::size_t at, std::size_t end,
                      LineEndTail tail, std::size_t* ends, LineEndScan scan) {
  for (; at < end; ++at) {
    if (IsNulOrSub(block[at])) {
      scan.next = at;
      return scan;
    }
    if (!IsByte(block[at], tail.before_last) || at + 2 + tail.gap >= end ||
        (!tail.any_last && !IsByte(block[at + 1], tail.last)) ||
        (tail.three && (at == from || !IsByte(block[at - 1], tail.third_last)))) {
      continue;
    }
    const std::size_t text_end = at + 2 + tail.gap;
    if (!EndsText(block, tail, at, text_end, end)) continue;
    ends[scan.count++] = text_end;
    if (scan.count == kLineEndBatch) {
      scan.next = text_end + (IsByte(block[text_end], kLf) ? 1 : 2);
      scan.full = true;
      return scan;
    }
  }
  scan.next = end;
  return scan;
}

// Stops a vector pass before a step that might overflow `ends`: it ends
// just past the line break of the last candidate written.
bool MayOverflow(const char* block, const std::size_t* ends, LineEndScan& scan,
                 std::size_t step) {
  if (kLineEndBatch - scan.count >= step) return false;
  const std::size_t text_end = ends[scan.count - 1];
  scan.next = text_end + (IsByte(block[text_end], kLf) ? 1 : 2);
  scan.full = true;
  return true;
}

// The vector passes look one byte back for the tail's third byte, which the
// line at `from` does not have there: its first byte is looked at here
// (only for NUL and SUB, as no tail of three can start a line's text). True
// when the pass ends at it.
bool StepPastLineStart(const char* block, std::size_t& at, std::size_t end, LineEndTail tail,
                       LineEndScan& scan) {
  if (!tail.three || at == end) return false;
  if (IsNulOrSub(block[at])) {
    scan.next = at;
    return true;
  }
  ++at;
  return false;
}

// Writes the candidates of `mask` (bit n: a tail at `at` + n) that lie
// before the step's first NUL or SUB (bit n of `special`); true when there
// was one, which ends the pass there.
// With a gap, or any last byte, each candidate's bytes after its tail and
// its break are looked at here. The passes are built apart for endings
// with them and without (kGap), so that the plain search pays nothing for
// them.
template <bool kGap>
bool TakeStep(const char* block, std::size_t end, LineEndTail tail, std::size_t at, std::uint64_t mask,
              std::uint64_t special, std::size_t* ends, LineEndScan& scan) {
  if (special != 0) mask &= (std::uint64_t{1} << std::countr_zero(special)) - 1;
  for (; mask != 0; mask &= mask - 1) {
    const std::size_t start = at + static_cast<std::size_t>(std::countr_zero(mask));
    if (!kGap) {
      ends[scan.count++] = start + 2;
    } else if (EndsText(block, tail, start, start + 2 + tail.gap, end)) {
      ends[scan.count++] = start + 2 + tail.gap;
    }
  }
  if (special == 0) return false;
  scan.next = at + static_cast<std::size_t>(std::countr_zero(special));
  return true;
}

#ifdef VERSALO_SSE2
std::size_t FindNulOrSubSse2(const char* block, std::size_t at, std::size_t end) {
  const __m128i nul = _mm_setzero_si128();
  const __m128i sub = _mm_set1_epi8(static_cast<char>(kSub));
  const auto special = [&](std::size_t offset) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset));
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, nul), _mm_cmpeq_epi8(bytes, sub));
  };
  for (; at + 64 <= end; at += 64) {
    const __m128i any = _mm_or_si128(_mm_or_si128(special(at), special(at + 16)),
                                     _mm_or_si128(special(at + 32), special(at + 48)));
    if (_mm_movemask_epi8(any) != 0) break;
  }
  for (; at + 16 <= end; at += 16) {
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special(at)));
    if (mask != 0) return at + static_cast<std::size_t>(std::countr_zero(mask));
  }
  for (; at < end; ++at) {
    if (IsNulOrSub(block[at])) return at;
  }
  return end;
}

// 32 bytes a step. A step is looked at closely only when it holds a NUL or
// SUB, or the tail followed by LF or CR; the CR is then checked for its LF.
template <bool kGap>
LineEndScan ScanSse2(const char* block, std::size_t from, std::size_t end, LineEndTail tail,
                     std::size_t* ends) {
  constexpr std::size_t kStep = 32;
  const std::size_t gap = kGap ? tail.gap : 0;
  const __m128i nul = _mm_setzero_si128();
  const __m128i sub = _mm_set1_epi8(static_cast<char>(kSub));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLf));
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCr));
  const __m128i first = _mm_set1_epi8(static_cast<char>(tail.before_last));
  const __m128i second = _mm_set1_epi8(static_cast<char>(tail.last));
  const __m128i third = _mm_set1_epi8(static_cast<char>(tail.third_last));
  const __m128i any_second = kGap && tail.any_last ? _mm_set1_epi8(-1) : _mm_setzero_si128();
  // A CR right before LF belongs to the break, so when the text ends in CR
  // only a second CR before the LF will do.
  const __m128i lf_after_text = tail.last == kCr && gap == 0 ? _mm_setzero_si128() : _mm_set1_epi8(-1);
  const auto load = [&](std::size_t offset) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset));
  };
  struct Half {
    __m128i special, tail_lf, tail_cr;
  };
  const auto look = [&](std::size_t offset) {
    const __m128i b0 = load(offset), b1 = load(offset + 1), b2 = load(offset + 2 + gap);
    const __m128i seconds = _mm_cmpeq_epi8(b1, second);
    const __m128i two = _mm_and_si128(_mm_cmpeq_epi8(b0, first), kGap ? _mm_or_si128(seconds, any_second) : seconds);
    // The byte before a tail of three; never before the pass's first byte.
    const __m128i tails = tail.three ? _mm_and_si128(two, _mm_cmpeq_epi8(load(offset - 1), third)) : two;
    return Half{_mm_or_si128(_mm_cmpeq_epi8(b0, nul), _mm_cmpeq_epi8(b0, sub)),
                _mm_and_si128(tails, _mm_and_si128(_mm_cmpeq_epi8(b2, lf), lf_after_text)),
                _mm_and_si128(tails, _mm_cmpeq_epi8(b2, cr))};
  };
  const auto line_ends = [&](const Half& half, std::size_t offset) {
    const __m128i crlf = _mm_and_si128(half.tail_cr, _mm_cmpeq_epi8(load(offset + 3 + gap), lf));
    return static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(half.tail_lf, crlf))));
  };
  LineEndScan scan;
  std::size_t at = from;
  if (StepPastLineStart(block, at, end, tail, scan)) return scan;
  for (; at + kStep + 3 + gap <= end; at += kStep) {
    if (MayOverflow(block, ends, scan, kStep)) return scan;
    const Half a = look(at), b = look(at + 16);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_or_si128(a.special, b.special),
                                                  _mm_or_si128(a.tail_lf, b.tail_lf)),
                                     _mm_or_si128(a.tail_cr, b.tail_cr));
    if (_mm_movemask_epi8(any) == 0) continue;
    const std::uint64_t mask = line_ends(a, at) | line_ends(b, at + 16) << 16;
    const std::uint64_t special =
        static_cast<unsigned>(_mm_movemask_epi8(a.special)) |
        static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(b.special))) << 16;
    if (TakeStep<kGap>(block, end, tail, at, mask, special, ends, scan)) return scan;
  }
  return ScanPlain(block, from, at, end, tail, ends, scan);
}
#endif

#ifdef VERSALO_AVX2
// As ScanSse2, 64 bytes a step, and at first with a cheaper look at each:
// only for the tail, or a NUL or SUB. Where the tail is common inside lines
// that look flags many steps for nothing, so after kCheapMisses of those
// the pass goes on with the closer look of ScanSse2.
template <bool kGap>
VERSALO_TARGET_AVX2 LineEndScan ScanAvx2(const char* block, std::size_t from, std::size_t end,
                                         LineEndTail tail, std::size_t* ends) {
  constexpr std::size_t kStep = 64;
  const std::size_t gap = kGap ? tail.gap : 0;
  constexpr int kCheapMisses = 64;
  const __m256i sub = _mm256_set1_epi8(static_cast<char>(kSub));
  const __m256i lf = _mm256_set1_epi8(static_cast<char>(kLf));
  const __m256i cr = _mm256_set1_epi8(static_cast<char>(kCr));
  const __m256i first = _mm256_set1_epi8(static_cast<char>(tail.before_last));
  const __m256i second = _mm256_set1_epi8(static_cast<char>(tail.last));
  const __m256i third = _mm256_set1_epi8(static_cast<char>(tail.third_last));
  const __m256i any_second = kGap && tail.any_last ? _mm256_set1_epi8(-1) : _mm256_setzero_si256();
  const __m256i lf_after_text = tail.last == kCr && gap == 0 ? _mm256_setzero_si256() : _mm256_set1_epi8(-1);
  const auto load = [&](std::size_t offset) VERSALO_TARGET_AVX2 {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + offset));
  };
  struct Half {
    __m256i special, tails;
  };
  const auto look = [&](std::size_t offset) VERSALO_TARGET_AVX2 {
    const __m256i b0 = load(offset);
    const __m256i seconds = _mm256_cmpeq_epi8(load(offset + 1), second);
    const __m256i two =
        _mm256_and_si256(_mm256_cmpeq_epi8(b0, first), kGap ? _mm256_or_si256(seconds, any_second) : seconds);
    return Half{_mm256_or_si256(_mm256_cmpeq_epi8(b0, _mm256_setzero_si256()), _mm256_cmpeq_epi8(b0, sub)),
                tail.three ? _mm256_and_si256(two, _mm256_cmpeq_epi8(load(offset - 1), third)) : two};
  };
  // The closer look: tails followed by LF or CR.
  const auto before_break = [&](__m256i tails, std::size_t offset) VERSALO_TARGET_AVX2 {
    const __m256i b2 = load(offset + 2 + gap);
    return _mm256_and_si256(tails, _mm256_or_si256(_mm256_cmpeq_epi8(b2, lf), _mm256_cmpeq_epi8(b2, cr)));
  };
  const auto line_ends = [&](__m256i tails, std::size_t offset) VERSALO_TARGET_AVX2 {
    const __m256i b2 = load(offset + 2 + gap);
    const __m256i plain = _mm256_and_si256(_mm256_cmpeq_epi8(b2, lf), lf_after_text);
    const __m256i crlf = _mm256_and_si256(_mm256_cmpeq_epi8(b2, cr), _mm256_cmpeq_epi8(load(offset + 3 + gap), lf));
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(tails, _mm256_or_si256(plain, crlf)))));
  };
  LineEndScan scan;
  std::size_t at = from;
  if (StepPastLineStart(block, at, end, tail, scan)) return scan;
  int cheap_misses = 0;
  for (; at + kStep + 3 + gap <= end; at += kStep) {
    if (MayOverflow(block, ends, scan, kStep)) return scan;
    const Half a = look(at), b = look(at + 32);
    __m256i tails_a = a.tails, tails_b = b.tails;
    if (cheap_misses >= kCheapMisses) {
      tails_a = before_break(tails_a, at);
      tails_b = before_break(tails_b, at + 32);
    }
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(a.special, b.special), _mm256_or_si256(tails_a, tails_b));
    if (_mm256_testz_si256(any, any)) continue;
    const std::uint64_t mask = line_ends(tails_a, at) | line_ends(tails_b, at + 32) << 32;
    const std::uint64_t special =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(a.special)) |
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(b.special))) << 32;
    if (mask == 0 && special == 0) ++cheap_misses;
    if (TakeStep<kGap>(block, end, tail, at, mask, special, ends, scan)) return scan;
  }
  return ScanPlain(block, from, at, end, tail, ends, scan);
}
#endif

}  // namespace

const std::vector<ScanPath>& AvailableScanPaths() {
  static const std::vector<ScanPath> paths = [] {
    std::vector<ScanPath> all{ScanPath::kPlain};
    if (WidestPath() != ScanPath::kPlain) all.push_back(ScanPath::kSse2);
    if (WidestPath() == ScanPath::kAvx2) all.push_back(ScanPath::kAvx2);
    return all;
  }();
  return paths;
}

void UseScanPath(ScanPath path) { Path() = path; }

ScanPath CurrentScanPath() { return Path(); }

const char* ScanPathName(ScanPath path) {
  switch (path) {
    case ScanPath::kPlain:
      return "plain";
    case ScanPath::kSse2:
      return "SSE2";
    case ScanPath::kAvx2:
      return "AVX2";
  }
  return "?";
}

std::size_t FindNulOrSub(const char* block, std::size_t from, std::size_t end) {
#ifdef VERSALO_SSE2
  if (Path() != ScanPath::kPlain) return FindNulOrSubSse2(block, from, end);
#endif
  for (; from < end; ++from) {
    if (IsNulOrSub(block[from])) return from;
  }
  return end;
}

std::size_t LineStartBefore(const char* block, std::size_t from, std::size_t at) {
#ifdef VERSALO_SSE2
  // A word list's lines are short: most starts lie in the first 16 bytes.
  if (Path() != ScanPath::kPlain) {
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLf));
    for (; at - from >= 16; at -= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + at - 16));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
      if (mask != 0) return at - 16 + static_cast<std::size_t>(std::bit_width(mask));
    }
  }
#endif
  for (; at > from; --at) {
    if (IsByte(block[at - 1], kLf)) return at;
  }
  return from;
}

std::size_t FindLineFeeds(const char* block, std::size_t& from, std::size_t end, std::size_t* at,
                          std::size_t most) {
  std::size_t count = 0;
#ifdef VERSALO_SSE2
  if (Path() != ScanPath::kPlain) {
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLf));
    for (; from + 16 <= end; from += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + from));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
      if (static_cast<std::size_t>(std::popcount(mask)) > most - count) {
        // Not all of them fit: the rest of the step is looked at again.
        for (; count < most; mask &= mask - 1) at[count++] = from + static_cast<std::size_t>(std::countr_zero(mask));
        from = at[count - 1] + 1;
        return count;
      }
      for (; mask != 0; mask &= mask - 1) at[count++] = from + static_cast<std::size_t>(std::countr_zero(mask));
    }
  }
#endif
  for (; from < end && count < most; ++from) {
    if (IsByte(block[from], kLf)) at[count++] = from;
  }
  return count;
}

std::optional<LineEndTail> TailOf(std::string_view ending) {
  constexpr char kNeverInText[] = {static_cast<char>(kLf), static_cast<char>(kNul),
                                   static_cast<char>(kSub)};
  if (ending.find_first_of(std::string_view(kNeverInText, 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t size = ending.size();
  return LineEndTail{static_cast<unsigned char>(size >= 3 ? ending[size - 3] : 0),
          static_cast<unsigned char>(ending[size - 2]), static_cast<unsigned char>(ending[size - 1]),
          size >= 3};
}

LineEndScan ScanLineEnds(const char* block, std::size_t from, std::size_t end, LineEndTail tail,
                         std::size_t* ends) {
  // Without a gap or any last byte, every tail before a break is a match.
  [[maybe_unused]] const bool exact = tail.gap == 0 && !tail.any_last;
  switch (Path()) {
#ifdef VERSALO_AVX2
    case ScanPath::kAvx2:
      return exact ? ScanAvx2<false>(block, from, end, tail, ends) : ScanAvx2<true>(block, from, end, tail, ends);
#endif
#ifdef VERSALO_SSE2
    case ScanPath::kSse2:
      return exact ? ScanSse2<false>(block, from, end, tail, ends) : ScanSse2<true>(block, from, end, tail, ends);
#endif
    default:
      return ScanPlain(block, from, from, end, tail, ends, {});
  }
}

}  // namespace versalo
