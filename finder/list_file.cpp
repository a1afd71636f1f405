#include "finder/list_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <new>

namespace versalo {

namespace {

// The mapping the SIGBUS handler may mend; one at a time. Set before any
// thread searches it; the handler may run on any of them.
std::atomic<const char*> g_base{nullptr};
std::atomic<std::size_t> g_span{0};  // the mapping's length in whole pages
std::atomic<std::size_t> g_page{0};
std::atomic<bool> g_shrank{false};
struct sigaction g_previous;

// Pages are let go behind the reader in steps of this size, so that the
// list never counts as the process's memory: only what is being searched
// is mapped in.
constexpr std::size_t kReleaseStep = 1 << 20;

void OnBus(int, siginfo_t* info, void*) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const auto base = reinterpret_cast<std::uintptr_t>(g_base.load());
  if (base != 0 && at >= base && at < base + g_span) {
    // Zero pages over what the file lost, from the faulting page on; the
    // instruction that faulted then reads zeros. mmap is a plain system
    // call on Linux, and lock-free atomics are safe here.
    const std::uintptr_t page = at & ~(std::uintptr_t{g_page.load()} - 1);
    void* zeros = mmap(reinterpret_cast<void*>(page), base + g_span - page, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      g_shrank = true;
      return;
    }
  }
  // Not ours, or not mendable: the fault kills the process as it would
  // have without this handler.
  signal(SIGBUS, SIG_DFL);
}

// Reads at most `count` bytes into `buffer`, which is made `block` bytes
// large at the first call: at `offset`, or where the descriptor stands when
// that is negative. The bytes read, or -1 when there is no buffer or the
// read failed.
ssize_t ReadBlock(int fd, std::unique_ptr<char[]>& buffer, std::size_t block, std::size_t count,
                  off_t offset) {
  if (buffer == nullptr) {
    buffer.reset(new (std::nothrow) char[block]);
    if (buffer == nullptr) return -1;
  }
  for (;;) {
    const ssize_t got =
        offset < 0 ? read(fd, buffer.get(), count) : pread(fd, buffer.get(), count, offset);
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace

ListFile::~ListFile() { Close(); }

bool ListFile::Open(const char* path, Access access) {
  Close();
  stopped_ = false;
  fd_ = open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat info;
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      static_cast<std::uintmax_t>(info.st_size) > SIZE_MAX) {
    return true;  // read, not mapped
  }
  const std::size_t size = static_cast<std::size_t>(info.st_size);
  if (access == Access::kReadParts) {
    size_ = size;
    in_parts_ = true;
    return true;
  }
  void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (base == MAP_FAILED) return true;
  base_ = static_cast<const char*>(base);
  size_ = size;
  madvise(base, size_, MADV_SEQUENTIAL);
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  g_page = page;
  g_span = (size_ + page - 1) / page * page;
  g_shrank = false;
  g_base = base_;
  struct sigaction action {};
  action.sa_sigaction = OnBus;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &g_previous);
  return true;
}

void ListFile::Close() {
  if (base_ != nullptr) {
    g_base = nullptr;
    sigaction(SIGBUS, &g_previous, nullptr);
    munmap(const_cast<char*>(base_), size_);
    base_ = nullptr;
  }
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  size_ = 0;
  in_parts_ = false;
}

bool ListFile::Shrank() const {
  struct stat info;
  return g_shrank || fstat(fd_, &info) != 0 ||
         static_cast<std::uintmax_t>(info.st_size) < size_;
}

std::size_t ListFile::Range::Next(std::size_t max) {
  if (failed_ || cancelled_ || list_.stopped()) return 0;
  if (lent_ == end_) {
    read_to_end_ = true;
    return 0;
  }
  return max < end_ - lent_ ? max : end_ - lent_;
}

ListFile::Part::Part(const ListFile& list, std::size_t begin, std::size_t end)
    // Pages are let go in whole steps from the part's first step boundary,
    // so that two parts never let go of a page the other still reads.
    : Range(list, begin, end),
      released_((begin + kReleaseStep - 1) / kReleaseStep * kReleaseStep) {}

std::size_t ListFile::Part::Lend(const char*& bytes, std::size_t max) {
  if (failed_ || cancelled_ || list_.stopped()) return 0;
  // What was lent before is no longer looked at: let its pages go.
  const std::size_t behind = lent_ / kReleaseStep * kReleaseStep;
  if (behind > released_) {
    madvise(const_cast<char*>(list_.base_) + released_, behind - released_, MADV_DONTNEED);
    released_ = behind;
  }
  if (list_.Shrank()) {
    failed_ = true;
    return 0;
  }
  const std::size_t count = Next(max);
  bytes = list_.base_ + lent_;
  lent_ += count;
  return count;
}

ListFile::Slice::Slice(const ListFile& list, std::size_t begin, std::size_t end,
                       std::size_t block)
    : Range(list, begin, end), block_(block > 0 ? block : 1) {}

void ListFile::Slice::Restart(std::size_t begin, std::size_t end) {
  lent_ = begin;
  end_ = end;
  cancelled_ = false;
  failed_ = read_to_end_ = false;
}

std::size_t ListFile::Slice::Lend(const char*& bytes, std::size_t max) {
  const std::size_t count = Next(max < block_ ? max : block_);
  if (count == 0) return 0;
  const ssize_t got = ReadBlock(list_.fd_, buffer_, block_, count, static_cast<off_t>(lent_));
  // Nothing where the list had bytes when it was opened: it shrank.
  if (got <= 0) {
    failed_ = true;
    return 0;
  }
  bytes = buffer_.get();
  lent_ += static_cast<std::size_t>(got);
  return static_cast<std::size_t>(got);
}

ListFile::Stream::Stream(const ListFile& list, std::size_t block)
    : list_(list), block_(block > 0 ? block : 1) {}

std::size_t ListFile::Stream::Lend(const char*& bytes, std::size_t max) {
  if (failed_ || list_.stopped()) return 0;
  const ssize_t got = ReadBlock(list_.fd_, buffer_, block_, max < block_ ? max : block_, -1);
  if (got < 0) {
    failed_ = true;
    return 0;
  }
  bytes = buffer_.get();
  return static_cast<std::size_t>(got);
}

}  // namespace versalo
