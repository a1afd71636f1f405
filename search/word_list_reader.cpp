#include "search/word_list_reader.h"

#include <algorithm>
#include <bit>
#include <new>

#include "search/bytes.h"

namespace versalo {

namespace {

constexpr LineRead kEnd{true, {}};

}  // namespace

WordListReader::~WordListReader() { Close(); }

bool WordListReader::Open(const WordListOptions& options) {
  Close();
  block_size_ = options.block_size > 0 ? options.block_size : 1;
  max_line_ = options.max_line;
  lender_ = options.lender;
  pos_ = end_ = special_ = 0;
  special_known_ = sub_cut_ = false;
  exhausted_ = done_ = failed_ = false;
  line_.clear();
  ReleasePieces();
  line_cut_ = line_raw_ = line_ends_cr_ = false;

  if (lender_ == nullptr) {
    // Binary mode: the line rules are ours, not the C runtime's. fopen's
    // "r" shares the file for reading and writing on Windows too, so an
    // editor holding the list open does not stop a search.
    file_ = std::fopen(options.path, "rb");
    if (file_ == nullptr) {
      Close();
      return false;
    }
    // The blocks are the buffer; a second one in stdio would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  try {
    if (lender_ == nullptr) block_.reset(new char[block_size_]);
    ends_.reset(new std::size_t[kLineEndBatch]);
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
  lender_ = nullptr;
  data_ = nullptr;
  block_.reset();
  ends_.reset();
  ReleasePieces();
  done_ = true;
}

bool WordListReader::Fill() {
  pos_ = end_ = special_ = 0;
  special_known_ = sub_cut_ = false;
  if (exhausted_) return false;
  std::size_t got = 0;
  if (lender_ != nullptr) {
    got = lender_->Lend(data_, block_size_);
    failed_ = got == 0 && lender_->failed();
  } else {
    data_ = block_.get();
    got = std::fread(block_.get(), 1, block_size_, file_);
    failed_ = got == 0 && std::ferror(file_) != 0;
  }
  if (got == 0) {
    exhausted_ = true;
    return false;
  }
  // NUL and SUB are looked for as the block is used, by the same pass that
  // finds its lines.
  end_ = got;
  return true;
}

void WordListReader::MetSpecial(std::size_t at) {
  special_known_ = true;
  special_ = at;
  if (at == end_) {
    sub_cut_ = true;
  } else if (IsByte(data_[at], kSub)) {
    // What follows SUB is never looked at.
    end_ = at;
    exhausted_ = sub_cut_ = true;
  } else if (!sub_cut_) {
    // A NUL: its line goes on past it, so a SUB after it must be known.
    const std::size_t sub = FindByte(data_, at, end_, kSub);
    if (sub < end_) {
      end_ = sub;
      exhausted_ = true;
    }
    sub_cut_ = true;
  }
}

std::size_t WordListReader::PlainRunEnd() const {
  // Inside a long line no LF comes at all: say so without walking back.
  if (FindByte(data_, pos_, special_, kLf) == special_) return pos_;
  std::size_t stop = special_;
  while (!IsByte(data_[stop - 1], kLf)) --stop;
  return stop;
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

std::string_view WordListReader::BlockLine(std::size_t start, std::size_t len,
                                           std::size_t nul) {
  const char* bytes = data_ + start;
  if (len > 0 && IsByte(bytes[len - 1], kCr)) --len;  // CR LF is one LF
  if (nul < start + len) len = nul - start;  // NUL ends the text
  return {bytes, len};
}

bool WordListReader::NextPlainRun(std::string_view& run, LineEndTail tail,
                                  std::span<const std::size_t>& ends) {
  // A line in a run is shorter than a block; with a tighter limit, lines
  // go one by one through Next, which enforces it.
  if (done_ || line_raw_ || max_line_ < block_size_) return false;
  if (pos_ == end_ && !Fill()) return false;
  const LineEndScan scan = ScanLineEnds(data_, pos_, end_, tail, ends_.get());
  std::size_t stop = scan.next;  // when full, the end of the last candidate's line
  if (!scan.full) {
    // Up to the last LF before the NUL the pass met, if any (a SUB has cut
    // the block).
    MetSpecial(scan.next);
    stop = PlainRunEnd();
    if (stop == pos_) return false;
  }
  for (std::size_t i = 0; i < scan.count; ++i) ends_[i] -= pos_;
  ends = std::span<const std::size_t>(ends_.get(), scan.count);
  run = std::string_view(data_ + pos_, stop - pos_);
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
    std::size_t lf = FindByte(data_, start, end_, kLf);
    // Only this line's bytes are looked at for NUL and SUB, so that the end
    // of a line from the block before costs no pass over the whole block.
    const std::size_t special =
        special_known_ && special_ >= start ? special_ : FindNulOrSub(data_, start, lf);
    if (special < lf) {
      MetSpecial(special);
      lf = std::min(lf, end_);  // an LF after SUB is no LF
    }
    if (start == end_) continue;  // a SUB at the line's start ended the data
    pos_ = lf < end_ ? lf + 1 : end_;

    if (lf < end_ && !line_raw_) {
      // The whole line lies in this block: no copy.
      const std::string_view line = BlockLine(start, lf - start, special);
      if (line.size() > max_line_) return Fail();
      return {false, line};
    }
    // The line spans blocks: gather it.
    if (!Append(data_ + start, lf - start)) return Fail();
    if (lf < end_) {
      if (!JoinPieces()) return Fail();
      if (line_ends_cr_ && !line_cut_) line_.pop_back();  // CR LF is one LF
      line_raw_ = false;
      return {false, line_};
    }
  }
}

}  // namespace versalo
