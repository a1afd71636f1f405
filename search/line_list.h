// A word list held in memory, for the searches that look at it more than
// once (orders, syllables, rhymes by sound, patterns, an index). Its lines
// are the reader's (word_list_reader.h): the rules stay written there alone.
#ifndef VERSALO_SEARCH_LINE_LIST_H
#define VERSALO_SEARCH_LINE_LIST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace versalo {

// A line's number: its place in the list, from 0, in file order.
using LineNumber = std::uint32_t;

class LineList {
 public:
  LineList();
  // Takes the list's bytes and finds its lines. The bytes are rewritten in
  // place, each line's text followed by one LF (the last one's may be
  // missing), so the list costs its own size and one offset a line.
  explicit LineList(std::string bytes);

  std::size_t size() const { return starts_.size() - 1; }
  // The text of line `i` (no line break, no NUL).
  std::string_view line(std::size_t i) const {
    return {text_.data() + starts_[i], starts_[i + 1] - starts_[i] - 1};
  }
  // Memory held, in bytes.
  std::size_t memory() const { return text_.capacity() + starts_.capacity() * sizeof(std::size_t); }
  // Lines past the 4,294,967,295th were left out: a line number could not
  // name them.
  bool cut_short() const { return cut_short_; }

 private:
  std::string text_;
  // Where each line starts in text_, and one more: where a line after the
  // last would start.
  std::vector<std::size_t> starts_;
  bool cut_short_ = false;
};

}  // namespace versalo

#endif  // VERSALO_SEARCH_LINE_LIST_H
