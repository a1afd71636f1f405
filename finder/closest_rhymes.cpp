#include "finder/closest_rhymes.h"

#include "finder/held_search.h"
#include "search/line_list.h"

namespace versalo {

FinderResult SearchClosestRhymes(const RhymeQuery& query, bool count_only, Output& out,
                                 const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  HoldInLargePages();
  LineList held;
  const RhymeQuery candidates = ClosestCandidates(query);
  const SearchOutcome outcome = HoldParts(HeldMatchesOf(candidates), held, options);
  if (outcome == SearchOutcome::ListMissing) return {outcome};
  return WriteHeld(held, RankHeld(held, query).rhymes.lines, outcome, count_only, out, options);
}

}  // namespace versalo
