// A stretch of rym.txt read into a block of its own, for a thread that
// searches part of the list while another searches the rest.
#ifndef VERSALO_FINDER_FILE_RANGE_H
#define VERSALO_FINDER_FILE_RANGE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "search/word_list_reader.h"

namespace versalo {

// Lends the bytes [begin, end) of an open file, read with pread so that
// ranges of one file can be read at once. A file that turns out shorter
// than `end` has shrunk since the search began: that is a read error.
class FileRange : public ListBytes {
 public:
  FileRange(int fd, std::uint64_t begin, std::uint64_t end, std::size_t block_size);
  std::size_t Lend(const char*& bytes, std::size_t max) override;
  bool failed() const override { return failed_; }
  // Lends nothing more, as if the range had ended; for a range whose lines
  // are no longer wanted.
  void Cancel() { cancelled_ = true; }
  // The reader asked past the range's end: it read the range to its end,
  // and did not stop at a SUB.
  bool read_to_end() const { return read_to_end_; }

 private:
  int fd_;
  std::uint64_t at_;
  std::uint64_t end_;
  std::size_t block_size_;
  std::unique_ptr<char[]> block_;
  std::atomic<bool> cancelled_{false};
  bool failed_ = false;
  bool read_to_end_ = false;
};

}  // namespace versalo

#endif  // VERSALO_FINDER_FILE_RANGE_H
