#include "search/line_list.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

LineList::LineList() : starts_{1} {}

LineList::LineList(std::string bytes) : text_(std::move(bytes)) {
  // One offset a line at most, and no regrowing: a list may be large.
  starts_.reserve(static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n')) + 2);
  starts_.push_back(0);
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
  for (LineRead read = reader.Next(); !read.end; read = reader.Next()) {
    if (starts_.size() > std::numeric_limits<LineNumber>::max()) {
      cut_short_ = true;
      break;
    }
    std::memmove(text_.data() + at, read.line.data(), read.line.size());
    at += read.line.size();
    if (at < text_.size()) text_[at] = static_cast<char>(kLf);
    ++at;
    starts_.push_back(at);
  }
  reader.Close();
  // Never reallocated: a copy would hold the list twice for a moment.
  text_.resize(std::min(at, text_.size()));
}

}  // namespace versalo
