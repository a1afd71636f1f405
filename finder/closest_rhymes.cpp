#include "finder/closest_rhymes.h"

#include <memory>

#include "finder/list_file.h"
#include "search/line_list.h"

namespace versalo {

FinderResult SearchClosestRhymes(const RhymeQuery& query, bool count_only, Output& out,
                                 const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  ListFile list;
  if (!list.Open(options.path)) return {SearchOutcome::ListMissing};
  // Lent from the mapping, or read from the descriptor it was opened with.
  std::unique_ptr<ListBytes> lender;
  if (list.mapped()) {
    lender = std::make_unique<ListFile::Part>(list, 0, list.bytes().size());
  } else {
    lender = std::make_unique<ListFile::Stream>(list, options.block_size);
  }
  WordListOptions reader{options.path, options.block_size};
  reader.lender = lender.get();
  LineList held;
  const ClosestRhymes closest = FindClosestRhymes(reader, query, held);
  const SearchOutcome outcome = closest.rhymes.outcome;
  if (outcome == SearchOutcome::ListMissing) return {outcome};
  if (count_only) return {outcome, !WriteCount(out, closest.rhymes.lines.size())};
  OutputSink sink(options.utf8, out);
  for (const LineNumber line : closest.rhymes.lines) {
    sink.Add(held.line(line));
    if (sink.failed()) break;
  }
  sink.Flush();
  return {outcome, sink.failed()};
}

}  // namespace versalo
