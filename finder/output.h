// versalo-find's output: each match as a line, in file order.
#ifndef VERSALO_FINDER_OUTPUT_H
#define VERSALO_FINDER_OUTPUT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "finder/list_file.h"
#include "search/ending_search.h"

namespace versalo {

// Where output bytes go: standard output in the program, a string in tests.
class Output {
 public:
  virtual ~Output() = default;
  // False when the bytes could not all be written.
  virtual bool Write(std::string_view bytes) = 0;
};

class StdoutOutput : public Output {
 public:
  bool Write(std::string_view bytes) override;
};

// Writes each match as a line, through a buffer of its own so that a common
// ending costs few writes; in UTF-8 when asked, else byte for byte.
//
// No byte that was not in the list may reach the output. A write can wait
// on a full pipe, and a mapped list can shrink meanwhile, so a line whose
// bytes lie in the mapping is copied whole before anything is written. A
// line's text never holds a NUL, and the pages a list lost read as zeros:
// a copy with a NUL in it was torn by a shrink, and it is dropped (the next
// block the reader asks for then fails). Any other line is the reader's own
// copy, which nothing can change, and goes out a piece at a time, so that a
// huge line never has a second copy.
//
// The first write that fails stops the list, so the search ends there; the
// lines after it are not written.
class OutputSink : public ResultSink {
 public:
  // `list` is the list the lines come from, when it is mapped or may be
  // stopped; none in tests of the output alone.
  OutputSink(bool utf8, Output& out, ListFile* list = nullptr)
      : utf8_(utf8), out_(out), list_(list) {
    buffer_.reserve(kFlushAt + 256);
  }
  ~OutputSink() override { Flush(); }

  void Clear() override {}
  void Add(std::string_view line) override;
  void Flush();
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kFlushAt = 64 * 1024;
  // Appends line text to the buffer, converted when asked.
  void Append(std::string_view text);
  // The line's bytes lie in the list's mapping.
  bool Lent(std::string_view line) const;

  bool utf8_;
  Output& out_;
  ListFile* list_;
  bool failed_ = false;
  std::string buffer_;
};

}  // namespace versalo

#endif  // VERSALO_FINDER_OUTPUT_H
