#include "finder/search_list.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "finder/mapped_list.h"
#include "search/bytes.h"

namespace versalo {

namespace {

// How much of the second half's output may wait for the first half's: past
// it, the second half waits too, so a common ending costs no more memory
// than this.
constexpr std::size_t kHeldLimit = 64 * 1024;

// How far past the middle a line break is looked for: a list of very long
// lines is searched whole rather than looked through twice.
constexpr std::size_t kSplitReach = 64 * 1024;

// Where the second half starts: just after the first LF from the middle on,
// so that no line spans the two; the list's size when there is none near.
std::size_t SplitPoint(const MappedList& list) {
  const std::size_t middle = list.size() / 2;
  const std::size_t reach = std::min(kSplitReach, list.size() - middle);
  const std::size_t lf = FindByte(list.data(), middle, middle + reach, kLf);
  return lf == middle + reach ? list.size() : lf + 1;
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

}  // namespace

FinderResult SearchList(std::string_view ending, Output& out, const FinderOptions& options) {
  if (ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  MappedList mapped;
  if (!mapped.Open(options.path)) return SearchWhole(ending, out, options, nullptr);
  const std::size_t split = mapped.size() >= options.split_from ? SplitPoint(mapped) : mapped.size();
  MappedList::Part first(mapped, 0, split);
  if (split == mapped.size()) return SearchWhole(ending, out, options, &first);

  MappedList::Part second(mapped, split, mapped.size());
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
    MappedList::Part whole(mapped, 0, mapped.size());
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

}  // namespace versalo
