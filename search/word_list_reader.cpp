#include "search/word_list_reader.h"

#include <cstring>
#include <new>

namespace versalo {

namespace {

// Index of the first `byte` in [from, end) of `block`, or `end`.
std::size_t FindByte(const char* block, std::size_t from, std::size_t end,
                     unsigned char byte) {
  const void* hit = std::memchr(block + from, byte, end - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - block)
             : end;
}

bool IsCr(char c) { return static_cast<unsigned char>(c) == kCr; }

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
  block_.reset(new char[block_size_]);
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
  const std::size_t sub = FindByte(block_.get(), 0, got, kSub);
  if (sub < got) {
    // SUB ends the file: what follows it is never looked at.
    got = sub;
    exhausted_ = true;
    if (got == 0) return false;
  }
  end_ = got;
  nul_ = FindByte(block_.get(), 0, end_, kNul);
  return true;
}

LineRead WordListReader::Fail() {
  failed_ = true;
  done_ = true;
  return kEnd;
}

bool WordListReader::Append(const char* bytes, std::size_t count) {
  if (!line_raw_) {
    line_.clear();
    line_cut_ = line_ends_cr_ = false;
    line_raw_ = true;
  }
  if (count == 0 || line_cut_) {
    if (count > 0) line_ends_cr_ = IsCr(bytes[count - 1]);
    return true;
  }
  line_ends_cr_ = IsCr(bytes[count - 1]);
  const std::size_t nul = FindByte(bytes, 0, count, kNul);
  line_cut_ = nul < count;
  // A trailing CR may yet turn out to be half of a CR LF, so it does not
  // count against the limit until the line's end is known.
  const std::size_t text = line_.size() + nul - (line_ends_cr_ && !line_cut_);
  if (text > max_line_) return false;
  try {
    line_.append(bytes, nul);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::string_view WordListReader::BlockLine(std::size_t start, std::size_t len) {
  const char* bytes = block_.get() + start;
  if (len > 0 && IsCr(bytes[len - 1])) --len;  // CR LF is one LF
  if (nul_ < start) nul_ = FindByte(block_.get(), start, end_, kNul);
  if (nul_ < start + len) len = nul_ - start;  // NUL ends the text
  return {bytes, len};
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
      if (line_.size() > max_line_) return Fail();
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
      if (line_ends_cr_ && !line_cut_) line_.pop_back();  // CR LF is one LF
      line_raw_ = false;
      return {false, line_};
    }
  }
}

}  // namespace versalo
