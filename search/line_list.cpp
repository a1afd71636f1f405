#include "search/line_list.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "search/block_scan.h"
#include "search/bytes.h"
#include "search/word_list_reader.h"

namespace versalo {

namespace {

// Lends the whole list to the reader as one block.
class WholeBytes : public ListBytes {
 public:
  explicit WholeBytes(std::string& bytes) : bytes_(bytes) {}
  std::size_t Lend(const char*& bytes, std::size_t) override {
    if (lent_) return 0;
    lent_ = true;
    bytes = bytes_.data();
    return bytes_.size();
  }
  bool failed() const override { return false; }

 private:
  std::string& bytes_;
  bool lent_ = false;
};

}  // namespace

LineList::LineList() : starts_(1, 0) {}

void LineList::Add(std::string_view line) {
  // A dense list's offsets end with where the next line starts: past the
  // last one's LF, which this line's text then follows.
  if (lines_ == std::numeric_limits<LineNumber>::max()) {
    cut_short_ = true;
    return;
  }
  starts_.push_back(text_.size() + line.size() + 1);
  try {
    text_.append(line);
    text_ += static_cast<char>(kLf);
  } catch (...) {
    starts_.pop_back();
    text_.resize(starts_.back());
    throw;
  }
  ++lines_;
}

void LineList::Reserve(std::size_t bytes, std::size_t lines) {
  text_.reserve(bytes);
  starts_.reserve(lines + 1);
}

std::string_view LineList::LineFrom(std::size_t at) const {
  const void* lf = std::memchr(text_.data() + at, '\n', text_.size() - at);
  const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data())
                             : text_.size();
  return {text_.data() + at, end - at};
}

std::size_t LineList::NumberAt(std::size_t at, std::size_t after) const {
  // The last line with an offset at or before `at`, sought in steps that
  // double from `after` (matches found in turn lie close together), then
  // on from there.
  std::size_t low = after / stride_, step = 1;
  while (low + step < starts_.size() && starts_[low + step] <= at) {
    low += step;
    step *= 2;
  }
  const auto past = std::upper_bound(starts_.begin() + static_cast<std::ptrdiff_t>(low),
                                     starts_.begin() + static_cast<std::ptrdiff_t>(std::min(starts_.size(), low + step)), at);
  const std::size_t known = static_cast<std::size_t>(past - starts_.begin()) - 1;
  std::size_t number = known * stride_;
  for (std::size_t from = starts_[known]; from < at; from += LineFrom(from).size() + 1) ++number;
  return number;
}

LineList::LineList(std::string bytes, std::size_t dense_up_to) : text_(std::move(bytes)) {
  // At most one line an LF, and one more; the offsets are reserved at once,
  // never regrown: a list may be large.
  const std::size_t most = static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1;
  stride_ = most > dense_up_to ? kSparseStride : 1;
  starts_.reserve(most / stride_ + 2);
  // Counts a line that starts at `start`, and keeps where it starts when
  // the list keeps an offset for it; false, with the list cut short, when
  // the list can number no more lines.
  const auto add_line = [this](std::size_t start) {
    if (lines_ == std::numeric_limits<LineNumber>::max()) {
      cut_short_ = true;
      return false;
    }
    if (lines_ % stride_ == 0) starts_.push_back(start);
    ++lines_;
    return true;
  };
  // A text without CR, NUL or SUB is its lines as it stands: each LF ends
  // one, and the bytes after the last LF, if any, are one more.
  if (std::memchr(text_.data(), kCr, text_.size()) == nullptr &&
      FindNulOrSub(text_.data(), 0, text_.size()) == text_.size()) {
    std::size_t start = 0;  // of the next line
    std::size_t lfs[256];
    bool whole = true;
    for (std::size_t from = 0, found; whole && (found = FindLineFeeds(text_.data(), from, text_.size(), lfs, 256)) > 0;) {
      for (std::size_t i = 0; i < found && (whole = add_line(start)); ++i) start = lfs[i] + 1;
    }
    if (whole && start < text_.size() && add_line(start)) start = text_.size() + 1;
    if (stride_ == 1) starts_.push_back(start);
    text_.resize(std::min(start, text_.size()));
    return;
  }
  WholeBytes whole(text_);
  WordListOptions options;
  options.block_size = text_.empty() ? 1 : text_.size();
  options.lender = &whole;
  WordListReader reader;
  reader.Open(options);
  // Each line is moved to where the lines before it end. A line's text
  // with its LF is never longer than its bytes with their break, so
  // nothing the reader has yet to read is written over. A last line without
  // a break gets none: the offsets alone tell where it ends.
  std::size_t at = 0;
  for (LineRead read = reader.Next(); !read.end && add_line(at); read = reader.Next()) {
    std::memmove(text_.data() + at, read.line.data(), read.line.size());
    at += read.line.size();
    if (at < text_.size()) text_[at] = static_cast<char>(kLf);
    ++at;
  }
  if (stride_ == 1) starts_.push_back(at);
  reader.Close();
  // Never reallocated: a copy would hold the list twice for a moment.
  text_.resize(std::min(at, text_.size()));
}

}  // namespace versalo
