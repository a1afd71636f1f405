// versalo-find's search of the word list. A large list is searched in two
// halves at once, the second half's matches held until the first half's
// are out; a smaller one is mapped when it can be, and read as usual
// otherwise. The output is the same either way.
#ifndef VERSALO_FINDER_SEARCH_LIST_H
#define VERSALO_FINDER_SEARCH_LIST_H

#include <cstddef>
#include <string_view>

#include "finder/output.h"
#include "search/ending_search.h"

namespace versalo {

struct FinderOptions {
  const char* path = kWordListName;
  // Two threads' blocks of this size stay in the processor's cache (on
  // the 1 GiB list in halves: 93 ms, against 104-113 ms with 256 KiB).
  std::size_t block_size = 128 * 1024;
  // A list at least this large is searched in two halves at once; below
  // it, the second thread costs about what it saves.
  std::size_t split_from = 32 << 20;
  bool utf8 = false;
};

struct FinderResult {
  SearchOutcome outcome;
  bool write_failed = false;
};

FinderResult SearchList(std::string_view ending, Output& out, const FinderOptions& options = {});

}  // namespace versalo

#endif  // VERSALO_FINDER_SEARCH_LIST_H
