// A word list held in memory, for the searches that look at it more than
// once (orders, syllables, rhymes by sound, patterns, an index). Its lines
// are the reader's (word_list_reader.h): the rules stay written there alone.
#ifndef VERSALO_SEARCH_LINE_LIST_H
#define VERSALO_SEARCH_LINE_LIST_H

#include <cstddef>
#include <cstdint>
#include <cstring>
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
  // missing), so the list costs its own size and one offset a line; or,
  // past `dense_up_to` lines, one offset every kSparseStride lines, which
  // makes reaching a line by its number slower but leaves a huge list about
  // its own size (reading lines in turn, with LineFrom, costs the same).
  explicit LineList(std::string bytes, std::size_t dense_up_to = SIZE_MAX);

  static constexpr std::size_t kSparseStride = 16;

  // Adds a line after the others, for a list kept a line at a time (the
  // matches of a list read in turn): `line` is a line's text as the reader
  // gives it, no LF in it. Only on a dense list; may throw std::bad_alloc,
  // and the lines added before stand.
  void Add(std::string_view line);
  // Room for `bytes` of text and `lines` lines, so that adding them copies
  // nothing.
  void Reserve(std::size_t bytes, std::size_t lines);

  std::size_t size() const { return lines_; }
  // One offset a line: line() costs no more than LineFrom.
  bool dense() const { return stride_ == 1; }
  // The text of line `i` (no line break, no NUL).
  std::string_view line(std::size_t i) const {
    if (stride_ == 1) return {text_.data() + starts_[i], starts_[i + 1] - starts_[i] - 1};
    std::size_t at = starts_[i / kSparseStride];
    for (std::size_t k = i % kSparseStride; k > 0; --k) at += LineFrom(at).size() + 1;
    return LineFrom(at);
  }
  // Line `i`, which starts at byte `at`: for reading lines in turn, the
  // quicker of line() and LineFrom().
  std::string_view line(std::size_t i, std::size_t at) const {
    return dense() ? line(i) : LineFrom(at);
  }
  // The number of the line that starts at byte `at` of the list held;
  // sought from line `after` on, which must not be past it.
  std::size_t NumberAt(std::size_t at, std::size_t after = 0) const;
  // The text of the line that starts at byte `at` of the list held; the
  // next line starts just past it and its LF.
  std::string_view LineFrom(std::size_t at) const;
  // The lines held, each followed by LF (the last one's may be missing).
  std::string_view text() const { return text_; }
  // Memory held, in bytes.
  std::size_t memory() const { return text_.capacity() + starts_.capacity() * sizeof(std::size_t); }
  // Lines past the 4,294,967,295th were left out: a line number could not
  // name them.
  bool cut_short() const { return cut_short_; }

 private:
  std::string text_;
  // Where each line starts in text_ (or every kSparseStride-th line), and,
  // dense, one more: where a line after the last would start.
  std::vector<std::size_t> starts_;
  std::size_t stride_ = 1;
  std::size_t lines_ = 0;
  bool cut_short_ = false;
};

}  // namespace versalo

#endif  // VERSALO_SEARCH_LINE_LIST_H
