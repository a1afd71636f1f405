#include "finder/search_list.h"

#include <algorithm>
#include <exception>
#include <string>
#include <thread>

#include "finder/list_file.h"
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
std::size_t SplitPoint(std::string_view list) {
  const std::size_t middle = list.size() / 2;
  const std::size_t reach = std::min(kSplitReach, list.size() - middle);
  const std::size_t lf = FindByte(list.data(), middle, middle + reach, kLf);
  return lf == middle + reach ? list.size() : lf + 1;
}

// The reader's options for bytes lent by `lender`, in the finder's blocks.
WordListOptions LentBy(const FinderOptions& options, ListBytes& lender) {
  WordListOptions reader{options.path, options.block_size};
  reader.lender = &lender;
  return reader;
}

FinderResult SearchWhole(const PartSearch& search, Output& out, const FinderOptions& options,
                         ListFile& list, ListBytes& lender) {
  OutputSink sink(options.utf8, out, &list);
  const SearchOutcome outcome = search(sink, LentBy(options, lender));
  sink.Flush();
  return {outcome, sink.failed()};
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

bool LentList::Open(const FinderOptions& options) {
  if (!file_.Open(options.path)) return false;
  ListBytes* lender = nullptr;
  if (file_.mapped()) {
    lender = &part_.emplace(file_, 0, file_.bytes().size());
  } else {
    lender = &stream_.emplace(file_, options.block_size);
  }
  reader_ = LentBy(options, *lender);
  return true;
}

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
  if (!list.Open(options.path)) return {SearchOutcome::ListMissing};
  if (!list.mapped()) {
    ListFile::Stream stream(list, options.block_size);
    return SearchWhole(search, out, options, list, stream);
  }
  const std::string_view bytes = list.bytes();
  const std::size_t split = bytes.size() >= options.split_from ? SplitPoint(bytes) : bytes.size();
  ListFile::Part first(list, 0, split);
  if (split == bytes.size()) return SearchWhole(search, out, options, list, first);

  ListFile::Part second(list, split, bytes.size());
  HeldOutput held(out, kHeldLimit);
  OutputSink second_sink(options.utf8, held, &list);
  const WordListOptions second_list = LentBy(options, second);
  SearchOutcome second_outcome = SearchOutcome::ListCutShort;
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        second_outcome = search(second_sink, second_list);
        second_sink.Flush();
      } catch (const std::exception&) {
        second_outcome = SearchOutcome::ListCutShort;
      }
    });
  } catch (const std::exception&) {
    ListFile::Part whole(list, 0, bytes.size());
    return SearchWhole(search, out, options, list, whole);
  }

  OutputSink first_sink(options.utf8, out, &list);
  const SearchOutcome first_outcome = search(first_sink, LentBy(options, first));
  first_sink.Flush();
  // The second half's lines count only after the whole first half: not
  // after a SUB, a read error, a line too long to hold in it, or a failed
  // write, which stops the list.
  const bool first_whole =
      first_outcome == SearchOutcome::Listed && first.read_to_end() && !first_sink.failed();
  bool held_written = true;
  if (first_whole) {
    held_written = held.Release();
    if (!held_written) list.Stop();
  } else {
    second.Cancel();
    held.Discard();
  }
  worker.join();
  if (!first_whole) return {first_outcome, first_sink.failed()};
  const SearchOutcome outcome = second_outcome == SearchOutcome::Listed
                                    ? SearchOutcome::Listed
                                    : SearchOutcome::ListCutShort;
  return {outcome, !held_written || second_sink.failed()};
}

}  // namespace versalo
