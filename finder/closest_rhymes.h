// versalo-find's closest rhymes of a word: the list is read where it lies,
// as the plain search reads it, and only the lines that end with the word's
// last two bytes are held; they alone are then ordered.
#ifndef VERSALO_FINDER_CLOSEST_RHYMES_H
#define VERSALO_FINDER_CLOSEST_RHYMES_H

#include "finder/output.h"
#include "finder/search_list.h"
#include "search/rhymes.h"

namespace versalo {

// Lists the closest rhymes of `query.ending`, a word, in the query's order
// within each shared length, or, with `count_only`, only how many there
// are, as a decimal number on a line.
FinderResult SearchClosestRhymes(const RhymeQuery& query, bool count_only, Output& out,
                                 const FinderOptions& options);

}  // namespace versalo

#endif  // VERSALO_FINDER_CLOSEST_RHYMES_H
