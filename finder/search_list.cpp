#include "finder/search_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include "finder/file_range.h"
#include "finder/mapped_list.h"

namespace versalo {

namespace {

// How much of the second half's output may wait for the first half's: past
// it, the second half waits too, so a common ending costs no more memory
// than this.
constexpr std::size_t kHeldLimit = 64 * 1024;

// How far past the middle a line break is looked for: a list of very long
// lines is searched whole.
constexpr std::size_t kSplitReach = 64 * 1024;

// Where the second half starts: just after the first LF from the middle on,
// so that no line spans the two; `size` when there is none near.
std::uint64_t SplitPoint(int fd, std::uint64_t size) {
  const std::uint64_t middle = size / 2;
  std::vector<char> window(static_cast<std::size_t>(std::min<std::uint64_t>(kSplitReach, size - middle)));
  const ssize_t got = pread(fd, window.data(), window.size(), static_cast<off_t>(middle));
  const void* lf = got > 0 ? std::memchr(window.data(), kLf, static_cast<std::size_t>(got)) : nullptr;
  if (lf == nullptr) return size;
  return middle + static_cast<std::uint64_t>(static_cast<const char*>(lf) - window.data()) + 1;
}

FinderResult SearchWhole(std::string_view ending, Output& out, const FinderOptions& options,
                         ListBytes* lender) {
  OutputSink sink(options.utf8, out);
  WordListOptions list{options.path, options.block_size};
  list.lender = lender;
  const SearchOutcome outcome = FindEndingMatches(ending, sink, list);
  sink.Flush();
  return {outcome, sink.failed()};
}

// The first half on this thread, straight to `out`; the second on another,
// held until the first half is out.
FinderResult SearchInHalves(std::string_view ending, Output& out, const FinderOptions& options,
                            int fd, std::uint64_t split, std::uint64_t size) {
  FileRange first(fd, 0, split, options.block_size), second(fd, split, size, options.block_size);
  HeldOutput held(out, kHeldLimit);
  OutputSink second_sink(options.utf8, held);
  WordListOptions second_list{options.path, options.block_size};
  second_list.lender = &second;
  SearchOutcome second_outcome = SearchOutcome::ListCutShort;
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        second_outcome = FindEndingMatches(ending, second_sink, second_list);
        second_sink.Flush();
      } catch (const std::exception&) {
        second_outcome = SearchOutcome::ListCutShort;
      }
    });
  } catch (const std::exception&) {
    FileRange whole(fd, 0, size, options.block_size);
    return SearchWhole(ending, out, options, &whole);
  }

  OutputSink first_sink(options.utf8, out);
  WordListOptions first_list{options.path, options.block_size};
  first_list.lender = &first;
  const SearchOutcome first_outcome = FindEndingMatches(ending, first_sink, first_list);
  first_sink.Flush();
  // The second half's lines count only after the whole first half: not
  // after a SUB, a read error or a line too long to hold in it.
  const bool first_whole = first_outcome == SearchOutcome::Listed && first.read_to_end();
  bool held_written = true;
  if (first_whole) {
    held_written = held.Release();
  } else {
    second.Cancel();
    held.Discard();
  }
  worker.join();
  if (!first_whole) return {first_outcome, first_sink.failed()};
  const SearchOutcome outcome = second_outcome == SearchOutcome::Listed
                                    ? SearchOutcome::Listed
                                    : SearchOutcome::ListCutShort;
  return {outcome, first_sink.failed() || !held_written || second_sink.failed()};
}

}  // namespace

FinderResult SearchList(std::string_view ending, Output& out, const FinderOptions& options) {
  if (ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  // A large list: in two halves at once, each read in blocks that stay in
  // the processor's cache.
  const int fd = open(options.path, O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) >= options.split_from && info.st_size > 0) {
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t split = SplitPoint(fd, size);
    if (split < size) {
      const FinderResult result = SearchInHalves(ending, out, options, fd, split, size);
      close(fd);
      return result;
    }
  }
  if (fd >= 0) close(fd);
  // A smaller one is mapped, which spares copying it; what cannot be mapped
  // is read as usual.
  MappedList mapped;
  if (!mapped.Open(options.path)) return SearchWhole(ending, out, options, nullptr);
  MappedList::Part whole(mapped, 0, mapped.size());
  return SearchWhole(ending, out, options, &whole);
}

}  // namespace versalo
