#include "search/word_list_reader.h"

#include <algorithm>
#include <bit>
#include <new>

#include "search/bytes.h"
#include "search/sse2.h"

namespace versalo {

namespace {

// Index of the first NUL or SUB in [from, end) of `block`, or `end`. Those
// two bytes end a stretch of plain lines, so one pass looks for both.
std::size_t FindNulOrSub(const char* block, std::size_t from, std::size_t end) {
  std::size_t at = from;
#ifdef VERSALO_SSE2
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
#endif
  for (; at < end; ++at) {
    if (IsByte(block[at], kNul) || IsByte(block[at], kSub)) return at;
  }
  return end;
}

constexpr LineRead kEnd{true, {}};

}  // namespace

WordListReader::~WordListReader() { Close(); }

bool WordListReader::Open(const WordListOptions& options) {
  Close();
  block_size_ = options.block_size > 0 ? options.block_size : 1;
  max_line_ = options.max_line;
  pos_ = end_ = nul_ = 0;
  exhausted_ = done_ = failed_ = false;
  line_.clear();
  ReleasePieces();
  line_cut_ = line_raw_ = line_ends_cr_ = false;

  // Binary mode: the line rules are ours, not the C runtime's. fopen's "r"
  // shares the file for reading and writing on Windows too, so an editor
  // holding the list open does not stop a search.
  file_ = std::fopen(options.path, "rb");
  if (file_ == nullptr) {
    Close();
    return false;
  }
  // The blocks are the buffer; a second one in stdio would only copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  try {
    block_.reset(new char[block_size_]);
  } catch (const std::bad_alloc&) {
    Close();
    return false;
  }
  // Some platforms open a folder and fail only on the first read: a file we
  // cannot read at all counts as one we cannot open.
  if (!Fill() && failed_) {
    Close();
    return false;
  }
  return true;
}

void WordListReader::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  block_.reset();
  ReleasePieces();
  done_ = true;
}

bool WordListReader::Fill() {
  pos_ = end_ = nul_ = 0;
  if (exhausted_) return false;
  std::size_t got = std::fread(block_.get(), 1, block_size_, file_);
  if (got == 0) {
    exhausted_ = true;
    failed_ = std::ferror(file_) != 0;
    return false;
  }
  // The first NUL, and the SUB that ends the file: what follows SUB is
  // never looked at.
  std::size_t sub = FindNulOrSub(block_.get(), 0, got);
  nul_ = got;
  if (sub < got && IsByte(block_[sub], kNul)) {
    nul_ = sub;
    sub = FindByte(block_.get(), sub, got, kSub);
  }
  if (sub < got) {
    got = sub;
    nul_ = std::min(nul_, got);
    exhausted_ = true;
    if (got == 0) return false;
  }
  end_ = got;
  return true;
}

LineRead WordListReader::Fail() {
  failed_ = true;
  done_ = true;
  ReleasePieces();
  return kEnd;
}

void WordListReader::ReleasePieces() {
  pieces_.clear();
  pieces_.shrink_to_fit();
  in_pieces_ = 0;
}

void WordListReader::Gather(const char* bytes, std::size_t count) {
  while (count > 0) {
    // Up to a piece's size the line grows as strings do; past it, it
    // fills the room it has, then goes on in a new piece.
    const std::size_t room = std::max(line_.capacity(), kPiece) - line_.size();
    const std::size_t take = std::min(room, count);
    if (line_.size() + take > line_.capacity()) {
      line_.reserve(std::min(kPiece, std::max(line_.size() + take, 2 * line_.capacity())));
    }
    line_.append(bytes, take);
    bytes += take;
    count -= take;
    if (count > 0) {
      in_pieces_ += line_.size();
      pieces_.push_back(std::move(line_));
      line_ = std::string();
      line_.reserve(kPiece);
    }
  }
}

bool WordListReader::JoinPieces() {
  if (pieces_.empty()) return true;
  try {
    std::string whole;
    whole.reserve(in_pieces_ + line_.size());
    for (std::string& piece : pieces_) {
      whole.append(piece);
      std::string().swap(piece);  // gone as soon as it is copied
    }
    whole.append(line_);
    line_ = std::move(whole);
  } catch (const std::bad_alloc&) {
    ReleasePieces();
    return false;
  }
  ReleasePieces();
  return true;
}

bool WordListReader::Append(const char* bytes, std::size_t count) {
  if (!line_raw_) {
    line_.clear();
    line_cut_ = line_ends_cr_ = false;
    line_raw_ = true;
  }
  if (count == 0) return true;
  line_ends_cr_ = IsByte(bytes[count - 1], kCr);
  if (line_cut_) return true;  // past its NUL, a line holds nothing more
  const std::size_t nul = FindNulOrSub(bytes, 0, count);  // no SUB is left
  line_cut_ = nul < count;
  // A trailing CR may yet turn out to be half of a CR LF, so it does not
  // count against the limit until the line's end is known.
  const std::size_t text = in_pieces_ + line_.size() + nul - (line_ends_cr_ && !line_cut_);
  if (text > max_line_) return false;
  try {
    Gather(bytes, nul);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::string_view WordListReader::BlockLine(std::size_t start, std::size_t len) {
  const char* bytes = block_.get() + start;
  if (len > 0 && IsByte(bytes[len - 1], kCr)) --len;  // CR LF is one LF
  if (nul_ < start) nul_ = FindNulOrSub(block_.get(), start, end_);  // no SUB is left
  if (nul_ < start + len) len = nul_ - start;  // NUL ends the text
  return {bytes, len};
}

bool WordListReader::NextPlainRun(std::string_view& run) {
  // A line in a run is shorter than a block; with a tighter limit, lines
  // go one by one through Next, which enforces it.
  if (done_ || line_raw_ || max_line_ < block_size_) return false;
  if (pos_ == end_ && !Fill()) return false;
  if (nul_ < pos_) nul_ = FindNulOrSub(block_.get(), pos_, end_);  // no SUB is left
  // Up to the last LF before the next NUL, if any (SUB has already cut the
  // block short).
  std::size_t stop = nul_;
  // Inside a long line no LF comes at all: say so without walking back.
  if (FindByte(block_.get(), pos_, stop, kLf) == stop) return false;
  while (!IsByte(block_[stop - 1], kLf)) --stop;
  run = std::string_view(block_.get() + pos_, stop - pos_);
  pos_ = stop;
  return true;
}

LineRead WordListReader::Next() {
  if (done_) return kEnd;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (failed_) return Fail();
      done_ = true;
      if (!line_raw_) return kEnd;
      // The last line has no line break: it is returned whole, and a CR at
      // its end is data.
      if (!JoinPieces() || line_.size() > max_line_) return Fail();
      return {false, line_};
    }
    const std::size_t start = pos_;
    const std::size_t lf = FindByte(block_.get(), start, end_, kLf);
    pos_ = lf < end_ ? lf + 1 : end_;

    if (lf < end_ && !line_raw_) {
      // The whole line lies in this block: no copy.
      const std::string_view line = BlockLine(start, lf - start);
      if (line.size() > max_line_) return Fail();
      return {false, line};
    }
    // The line spans blocks: gather it.
    if (!Append(block_.get() + start, lf - start)) return Fail();
    if (lf < end_) {
      if (!JoinPieces()) return Fail();
      if (line_ends_cr_ && !line_cut_) line_.pop_back();  // CR LF is one LF
      line_raw_ = false;
      return {false, line_};
    }
  }
}

}  // namespace versalo
