// versalo-find's searches beyond the plain one. Other orders, syllables,
// rhymes by sound and patterns read the list as the plain search does (in
// blocks, a large list in chunks by two threads): in file order each match
// is written as it is found; another order holds only the matches, and
// sorts those. A word's endings read the whole list into memory once and
// search it there.
#ifndef VERSALO_FINDER_HELD_SEARCH_H
#define VERSALO_FINDER_HELD_SEARCH_H

#include <span>
#include <string_view>

#include "finder/output.h"
#include "finder/search_list.h"
#include "search/line_list.h"
#include "search/rhymes.h"

namespace versalo {

// Lists the lines that match `query`, in its order, or, with
// `count_only`, only how many there are, as a decimal number on a line.
FinderResult SearchHeld(const RhymeQuery& query, bool count_only, Output& out,
                        const FinderOptions& options);

// Lists the endings of `word` from two bytes up, shortest first, each as
// "ENDING<TAB>COUNT".
FinderResult ListWordEndings(std::string_view word, Output& out, const FinderOptions& options);

// Takes the memory for what a search holds from now on in pages of 2 MiB
// where the system allows: matches are written once and read a few times,
// megabytes of them for a common ending, and every 4 KiB page first touched
// costs a fault of its own (about 5 µs each on the machines we measured,
// so that a search of the Bulgarian list that held 3 MiB spent a third of
// its time in them). Freed memory then stays with the process until it
// ends, which a search that holds its results does anyway.
void HoldInLargePages();

// Holds the matches of `query` in a part of the list (HoldRhymeLines), for
// HoldParts; `query` must outlive it.
PartHold HeldMatchesOf(const RhymeQuery& query);

// Writes the lines `lines` of `held`, or with `count_only` how many they
// are, after a search that ended with `outcome`.
FinderResult WriteHeld(const LineList& held, std::span<const LineNumber> lines, SearchOutcome outcome,
                       bool count_only, Output& out, const FinderOptions& options);

}  // namespace versalo

#endif  // VERSALO_FINDER_HELD_SEARCH_H
