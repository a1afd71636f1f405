#include "finder/search_list.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "finder/list_file.h"
#include "search/bytes.h"

namespace versalo {

namespace {

// How much of a chunk's output may wait for the chunks before it: past it,
// its thread waits too, so a common ending costs no more memory than this
// a thread.
constexpr std::size_t kHeldLimit = 1 << 20;

// How far past a chunk's nominal start a line break is looked for: a list
// of very long lines makes fewer, longer chunks rather than looking through
// a line twice.
constexpr std::size_t kSplitReach = 64 * 1024;
constexpr std::size_t kBoundaryLook = 4096;  // bytes read at a time for it

// Where a chunk that would start at `from` starts: just after the first LF
// from there on, so that no line spans two chunks; `size` when there is
// none near (or the list cannot be read there).
std::size_t ChunkStart(const ListFile& list, std::size_t from, std::size_t size) {
  const std::size_t reach = from + std::min(kSplitReach, size - from);
  ListFile::Slice near(list, from, reach, kBoundaryLook);
  const char* bytes = nullptr;
  for (std::size_t at = from, count; (count = near.Lend(bytes, kBoundaryLook)) > 0; at += count) {
    const std::size_t lf = FindByte(bytes, 0, count, kLf);
    if (lf < count) return at + lf + 1;
  }
  return size;
}

// Where the chunks of a list read in parts start, every options.chunk_size
// bytes (or half the list, when that is less) or just after, and the
// list's size at the end: at least two chunks, where the list has a line
// break to split at.
std::vector<std::size_t> ChunkStarts(const ListFile& list, const FinderOptions& options) {
  const std::size_t size = list.size();
  const std::size_t chunk = std::max<std::size_t>(1, std::min(options.chunk_size, size / 2));
  std::vector<std::size_t> starts{0};
  for (std::size_t from = chunk; from < size;) {
    const std::size_t start = ChunkStart(list, from, size);
    if (start < size) starts.push_back(start);
    from = (start < size ? start : from) + chunk;
  }
  starts.push_back(size);
  return starts;
}

// The output of chunks searched two at a time, written in chunk order: a
// chunk's output is written only once every chunk before it is done and
// its output written. Until then it is held, up to kHeldLimit, after which
// the chunk's thread waits for its turn. A chunk that ends the list (a
// SUB, a read error, a line too long to hold, a failed write) ends the
// turns: what later chunks write is dropped.
class Turns {
 public:
  explicit Turns(Output& out) : out_(out) {}

  // Writes `bytes` for chunk `chunk`, or holds them in `held` until its
  // turn. False when a write fails.
  bool Write(std::size_t chunk, std::string& held, std::string_view bytes) {
    std::unique_lock lock(mutex_);
    if (turn_ != chunk && !ended_ && held.size() + bytes.size() <= kHeldLimit) {
      held.append(bytes);
      return true;
    }
    turned_.wait(lock, [&] { return turn_ == chunk || ended_; });
    if (ended_) return true;
    lock.unlock();
    // Only the chunk whose turn it is writes.
    return WriteHeld(held) && out_.Write(bytes);
  }

  // Chunk `chunk` is searched: at its turn, writes what it held and passes
  // the turn on, or, when it ended the list (`whole` false), ends the
  // turns. False when writing what it held failed.
  bool Finish(std::size_t chunk, std::string& held, bool whole) {
    std::unique_lock lock(mutex_);
    turned_.wait(lock, [&] { return turn_ == chunk || ended_; });
    if (ended_) return true;
    const bool written = WriteHeld(held);
    if (whole && written) {
      ++turn_;
    } else {
      ended_ = true;
    }
    turned_.notify_all();
    return written;
  }

  // A chunk before this one ended the list: it need not be searched.
  bool ended() {
    const std::lock_guard lock(mutex_);
    return ended_;
  }

 private:
  bool WriteHeld(std::string& held) {
    const bool written = held.empty() || out_.Write(held);
    held.clear();
    return written;
  }

  Output& out_;
  std::mutex mutex_;
  std::condition_variable turned_;
  std::size_t turn_ = 0;
  bool ended_ = false;
};

// The output of one thread's chunks, through the turns: of `chunk` now.
class ChunkOutput : public Output {
 public:
  explicit ChunkOutput(Turns& turns) : turns_(turns) {}
  bool Write(std::string_view bytes) override { return turns_.Write(chunk, held, bytes); }
  bool Finish(bool whole) { return turns_.Finish(chunk, held, whole); }

  std::size_t chunk = 0;
  std::string held;  // what waits for the chunk's turn

 private:
  Turns& turns_;
};

// Runs `chunks(first, stride)` on two threads, which take every other
// chunk from 0 and from 1; on this one alone, every chunk, when no thread
// can be started.
template <typename Chunks>
void InTwoThreads(const Chunks& chunks) {
  std::thread worker;
  try {
    worker = std::thread(chunks, 1, 2);
  } catch (const std::exception&) {
  }
  chunks(0, worker.joinable() ? 2 : 1);
  if (worker.joinable()) worker.join();
}

// Adds the lines of `from` after those of `to`; may throw std::bad_alloc.
void AddLines(const LineList& from, LineList& to) {
  for (std::size_t i = 0, at = 0; i < from.size(); ++i) {
    const std::string_view line = from.line(i, at);
    at += line.size() + 1;
    to.Add(line);
  }
}

// The reader's options for bytes lent by `lender`, in the finder's blocks.
WordListOptions LentBy(const FinderOptions& options, ListBytes& lender) {
  WordListOptions reader{options.path, options.block_size};
  reader.lender = &lender;
  return reader;
}

// Gives `whole` the open `list` as one part, read from its descriptor to
// its end (no regular file) or in blocks (a list too small to split), and
// returns what it returns; nothing for a list to be searched in chunks.
template <typename Whole>
auto UnlessSplit(ListFile& list, const FinderOptions& options, const Whole& whole)
    -> std::optional<decltype(whole(std::declval<ListBytes&>()))> {
  if (!list.in_parts()) {
    ListFile::Stream stream(list, options.block_size);
    return whole(stream);
  }
  if (list.size() < options.split_from) {
    ListFile::Slice all(list, 0, list.size(), options.block_size);
    return whole(all);
  }
  return std::nullopt;
}

// Counts the lines written to it; the lines hold no LF of their own.
class CountingOutput : public Output {
 public:
  bool Write(std::string_view bytes) override {
    lines += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    return true;
  }
  std::size_t lines = 0;
};

// The plain search of `ending` in each part.
PartSearch EndingSearch(std::string_view ending) {
  return [ending](ResultSink& sink, const WordListOptions& list) { return FindEndingMatches(ending, sink, list); };
}

}  // namespace

bool WriteCount(Output& out, std::size_t count) { return out.Write(std::to_string(count) + '\n'); }

FinderResult CountList(std::string_view ending, Output& out, const FinderOptions& options) {
  if (ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  return CountParts(EndingSearch(ending), out, options);
}

FinderResult CountParts(const PartSearch& search, Output& out, const FinderOptions& options) {
  CountingOutput counted;
  FinderResult result = SearchParts(search, counted, options);
  if (result.outcome == SearchOutcome::Listed || result.outcome == SearchOutcome::ListCutShort) {
    result.write_failed = !WriteCount(out, counted.lines);
  }
  return result;
}

FinderResult SearchList(std::string_view ending, Output& out, const FinderOptions& options) {
  if (ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  return SearchParts(EndingSearch(ending), out, options);
}

FinderResult SearchParts(const PartSearch& search, Output& out, const FinderOptions& options) {
  ListFile list;
  if (!list.Open(options.path, ListFile::Access::kReadParts)) return {SearchOutcome::ListMissing};
  const auto whole = UnlessSplit(list, options, [&](ListBytes& lender) {
    OutputSink sink(options.utf8, out, &list);
    const SearchOutcome outcome = search(sink, LentBy(options, lender));
    sink.Flush();
    return FinderResult{outcome, sink.failed()};
  });
  if (whole) return *whole;
  const std::vector<std::size_t> starts = ChunkStarts(list, options);
  const std::size_t chunks = starts.size() - 1;
  struct Searched {
    SearchOutcome outcome = SearchOutcome::ListCutShort;
    bool whole = false;
    bool write_failed = false;
  };
  std::vector<Searched> searched(chunks);
  Turns turns(out);
  // Searches every `stride`th chunk from `first` on, in turn with the
  // other thread's.
  const auto search_chunks = [&](std::size_t first, std::size_t stride) {
    // One block, one sink and one held output serve all the thread's
    // chunks: a failed write ends them all anyway.
    ListFile::Slice slice(list, 0, 0, options.block_size);
    ChunkOutput chunk_out(turns);
    OutputSink sink(options.utf8, chunk_out, &list);
    for (std::size_t k = first; k < chunks && !turns.ended(); k += stride) {
      slice.Restart(starts[k], starts[k + 1]);
      chunk_out.chunk = k;
      Searched& result = searched[k];
      try {
        result.outcome = search(sink, LentBy(options, slice));
      } catch (const std::exception&) {
        result.outcome = SearchOutcome::ListCutShort;
      }
      sink.Flush();
      result.whole =
          result.outcome == SearchOutcome::Listed && slice.read_to_end() && !sink.failed();
      const bool held_written = chunk_out.Finish(result.whole);
      result.write_failed = sink.failed() || !held_written;
      result.whole = result.whole && held_written;
      // The chunks after one that ended the list are not wanted.
      if (!result.whole) list.Stop();
    }
  };
  InTwoThreads(search_chunks);
  for (const Searched& result : searched) {
    if (!result.whole) return {result.outcome, result.write_failed};
  }
  return {SearchOutcome::Listed, false};
}

SearchOutcome HoldParts(const PartHold& hold, LineList& held, const FinderOptions& options) {
  ListFile list;
  if (!list.Open(options.path, ListFile::Access::kReadParts)) return SearchOutcome::ListMissing;
  const auto whole = UnlessSplit(list, options, [&](ListBytes& lender) { return hold(held, LentBy(options, lender)); });
  if (whole) return *whole;
  const std::vector<std::size_t> starts = ChunkStarts(list, options);
  const std::size_t chunks = starts.size() - 1;
  struct Held {
    LineList lines;
    SearchOutcome outcome = SearchOutcome::ListCutShort;
    bool whole = false;
  };
  std::vector<Held> parts(chunks);
  // The first chunk that ended the list (a SUB, a read error, memory run
  // out): the chunks after it are not wanted, and are not begun. The ones
  // before it go on, so it cannot stop the list's reading.
  std::atomic<std::size_t> first_end{chunks};
  InTwoThreads([&](std::size_t first, std::size_t stride) {
    ListFile::Slice slice(list, 0, 0, options.block_size);
    for (std::size_t k = first; k < chunks && k <= first_end; k += stride) {
      slice.Restart(starts[k], starts[k + 1]);
      Held& part = parts[k];
      try {
        part.outcome = hold(part.lines, LentBy(options, slice));
      } catch (const std::exception&) {
        part.outcome = SearchOutcome::ListCutShort;
      }
      // In memory of its own size: what a hold takes at first is room for
      // a whole list's matches, and every chunk's stands until the end.
      try {
        LineList fitted;
        fitted.Reserve(part.lines.text().size(), part.lines.size());
        AddLines(part.lines, fitted);
        part.lines = std::move(fitted);
      } catch (const std::bad_alloc&) {
      }
      part.whole = part.outcome == SearchOutcome::Listed && slice.read_to_end();
      for (std::size_t end = first_end; !part.whole && k < end && !first_end.compare_exchange_weak(end, k);) {
      }
    }
  });
  // In chunk order, up to the first that ended the list.
  held = std::move(parts[0].lines);
  for (std::size_t k = 1; k < chunks && parts[k - 1].whole; ++k) {
    try {
      AddLines(parts[k].lines, held);
    } catch (const std::bad_alloc&) {
      return SearchOutcome::ListCutShort;
    }
    parts[k].lines = LineList();
  }
  for (const Held& part : parts) {
    if (!part.whole) return held.cut_short() ? SearchOutcome::ListCutShort : part.outcome;
  }
  return held.cut_short() ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
}

}  // namespace versalo
