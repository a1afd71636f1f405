#include "finder/file_range.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace versalo {

FileRange::FileRange(int fd, std::uint64_t begin, std::uint64_t end, std::size_t block_size)
    : fd_(fd), at_(begin), end_(end), block_size_(block_size) {}

std::size_t FileRange::Lend(const char*& bytes, std::size_t max) {
  if (failed_ || cancelled_) return 0;
  if (at_ == end_) {
    read_to_end_ = true;
    return 0;
  }
  if (!block_) {
    block_.reset(new (std::nothrow) char[block_size_]);
    if (!block_) {
      failed_ = true;
      return 0;
    }
  }
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>({max, block_size_, end_ - at_}));
  std::size_t got = 0;
  while (got < want) {
    const ssize_t count = pread(fd_, block_.get() + got, want - got, static_cast<off_t>(at_ + got));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // An error, or the file ends before the range does.
      failed_ = true;
      return 0;
    }
    got += static_cast<std::size_t>(count);
  }
  bytes = block_.get();
  at_ += got;
  return got;
}

}  // namespace versalo
