#include "finder/closest_rhymes.h"

#include "finder/held_search.h"
#include "search/line_list.h"

namespace versalo {

FinderResult SearchClosestRhymes(const RhymeQuery& query, bool count_only, Output& out,
                                 const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  LentList list;
  if (!list.Open(options)) return {SearchOutcome::ListMissing};
  LineList held;
  const ClosestRhymes closest = FindClosestRhymes(list.reader(), query, held);
  const SearchOutcome outcome = closest.rhymes.outcome;
  if (outcome == SearchOutcome::ListMissing) return {outcome};
  return WriteHeld(held, closest.rhymes.lines, outcome, count_only, out, options);
}

}  // namespace versalo
