#include "search/front_coding.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "search/sse2.h"

namespace versalo {

namespace {

constexpr char kMagic[] = {'V', 'F', 'C', '1'};
// Bytes written past a line's end, which the next line writes over: lines
// are copied sixteen bytes at a time.
constexpr std::size_t kSlack = 16;

// Where the first LF is among the 16 bytes at `at`; 16 when there is none.
std::size_t LfAmong16(const char* at) {
#if VERSALO_SSE2
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
  return found == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(found));
#else
  std::size_t i = 0;
  while (i < 16 && at[i] != '\n') ++i;
  return i;
#endif
}

}  // namespace

FrontDecoder::FrontDecoder(std::string& out)
    : out_(out), list_start_(out.size()), size_(out.size()), line_start_(out.size()) {}

// Room for `more` bytes past size_, and the slack. The string's capacity
// grows by doubling, but its size only a step past what is needed: fresh
// memory costs a page fault a page on first touch, and the bytes past the
// list's end are never touched.
void FrontDecoder::Reserve(std::size_t more) {
  constexpr std::size_t kStep = 64 << 10;
  if (out_.size() - size_ >= more + kSlack) return;
  if (out_.capacity() < size_ + more + kSlack) out_.reserve(std::max(out_.capacity() * 2, size_ + more + kSlack));
  out_.resize(std::min(out_.capacity(), std::max(out_.size() + kStep, size_ + more + kSlack)));
}

bool FrontDecoder::Feed(std::string_view piece) {
  const char* in = piece.data();
  const char* const end = in + piece.size();
  while (stage_ == Stage::kHeader && in < end) {
    const auto byte = static_cast<unsigned char>(*in++);
    if (header_seen_ < sizeof kMagic) {
      if (byte != static_cast<unsigned char>(kMagic[header_seen_])) stage_ = Stage::kRefused;
    } else if (header_seen_ == sizeof kMagic) {
      flags_ = byte;
      if (flags_ > 3) stage_ = Stage::kRefused;
    } else {
      expected_ |= static_cast<unsigned long long>(byte) << (8 * (header_seen_ - sizeof kMagic - 1));
    }
    ++header_seen_;
    if (stage_ == Stage::kHeader && header_seen_ == sizeof kMagic + 1 + ((flags_ & 2) != 0 ? 8 : 0)) {
      stage_ = Stage::kShared;
      // Room for the whole list at once, when its size is given (up to a
      // size any list here may have: a larger one grows as it comes), and
      // for what the copies write past a line's end and ask for past it.
      // Only a head start: where that much memory cannot be had at once (a
      // 32-bit process, a size that lies), the list grows as it comes, and
      // a size that lies is refused at the end.
      constexpr unsigned long long kMostAtOnce = 1ull << 30;
      if ((flags_ & 2) != 0) {
        try {
          out_.reserve(size_ + static_cast<std::size_t>(std::min(expected_, kMostAtOnce)) + 255 + 2 * kSlack + 16);
        } catch (const std::bad_alloc&) {
        }
      }
    }
  }
  if (stage_ == Stage::kRefused) return false;
  char* out = out_.data();
  std::size_t size = size_;
  // Room for `more` bytes at `size`, and the slack.
  const auto room = [&](std::size_t more) {
    if (out_.size() - size >= more + kSlack) return;
    size_ = size;
    Reserve(more);
    out = out_.data();
  };
  while (in < end) {
    if (stage_ == Stage::kShared) {
      const auto shared = static_cast<unsigned char>(*in++);
      if (shared > previous_size_) {
        stage_ = Stage::kRefused;
        break;
      }
      room(shared);
      line_start_ = size;
      // The line before ends just before this one starts; a copy may read
      // past it into this line's room, but keeps only the bytes before it.
      for (std::size_t k = 0; k < shared; k += 16) std::memmove(out + size + k, out + previous_ + k, 16);
      size += shared;
      stage_ = Stage::kRest;
    }
    // The rest of the line, sixteen bytes at a time while the piece has
    // them, then byte by byte.
    std::size_t lf = 16;
    while (end - in >= 16) {
      room(16);
      std::memcpy(out + size, in, 16);
      lf = LfAmong16(in);
      if (lf < 16) break;
      size += 16;
      in += 16;
    }
    if (lf < 16) {
      size += lf + 1;
      in += lf + 1;
    } else {
      room(static_cast<std::size_t>(end - in));
      while (in < end && *in != '\n') out[size++] = *in++;
      if (in == end) break;
      out[size++] = *in++;
    }
    previous_ = line_start_;
    previous_size_ = size - 1 - line_start_;
    stage_ = Stage::kShared;
  }
  size_ = size;
  return stage_ != Stage::kRefused;
}

FrontCodingOutcome FrontDecoder::Finish() {
  FrontCodingOutcome outcome = FrontCodingOutcome::kDecoded;
  if (stage_ == Stage::kRefused) {
    outcome = FrontCodingOutcome::kNotFrontCoded;
  } else if (stage_ != Stage::kShared) {  // in the header, or in a line
    outcome = FrontCodingOutcome::kCutShort;
    size_ = line_start_;                  // only whole lines stand
  } else {
    if ((flags_ & 1) == 0 && size_ > line_start_) --size_;  // the last line had no line feed
    if ((flags_ & 2) != 0 && size_ - list_start_ != expected_) outcome = FrontCodingOutcome::kNotFrontCoded;
  }
  out_.resize(size_);
  return outcome;
}

}  // namespace versalo
