// versalo-find's search of the word list. The list is opened once. A
// regular file is read in parts at their offsets, and when it is large,
// searched in chunks by two threads at once, each chunk's matches held
// until those of the chunks before it are out; anything else is read from
// the same descriptor to its end. The output is the same either way, and
// the first failed write ends the search.
#ifndef VERSALO_FINDER_SEARCH_LIST_H
#define VERSALO_FINDER_SEARCH_LIST_H

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "finder/list_file.h"
#include "finder/output.h"
#include "search/ending_search.h"
#include "search/line_list.h"

namespace versalo {

struct FinderOptions {
  const char* path = kWordListName;
  // The blocks the reader asks for, each read into the same buffer (64,
  // 128, 256 and 512 KiB measured: 64 KiB costs a third more on a 1 GiB
  // list, the others alike).
  std::size_t block_size = 128 * 1024;
  // A regular file at least this large is searched in chunks by two
  // threads; below it, the second thread costs about what it saves
  // (measured: 16 MiB lists as fast either way, 32 MiB ones 8% faster in
  // halves).
  std::size_t split_from = 32 << 20;
  // The chunks' size, or half the list when that is less. Each chunk
  // begins at a line start, the first after its nominal start.
  std::size_t chunk_size = 4 << 20;
  bool utf8 = false;
};

struct FinderResult {
  SearchOutcome outcome;
  bool write_failed = false;
};

FinderResult SearchList(std::string_view ending, Output& out, const FinderOptions& options = {});

// The same search, writing only how many lines it lists, as a decimal
// number on a line; also when the list was cut short, then of the lines
// read.
FinderResult CountList(std::string_view ending, Output& out, const FinderOptions& options = {});

// A search of one part of the list, read by `list`: lists its matches in
// `sink`, in file order, with the outcomes of FindEndingMatches.
using PartSearch = std::function<SearchOutcome(ResultSink& sink, const WordListOptions& list)>;

// SearchList and CountList with another search of each part: the list is
// read the same way (in chunks by two threads when it is large), and its
// matches written the same way.
FinderResult SearchParts(const PartSearch& search, Output& out, const FinderOptions& options = {});
FinderResult CountParts(const PartSearch& search, Output& out, const FinderOptions& options = {});

// A search of one part of the list, read by `list`, that holds its matches
// in `held`, in file order (see HoldRhymeLines).
using PartHold = std::function<SearchOutcome(LineList& held, const WordListOptions& list)>;

// The matches of `hold` in the whole list, in file order, in `held`: the
// list read as SearchParts reads it, each chunk's matches held apart and
// then joined. ListMissing when the list cannot be opened; a read error, a
// line too long or memory running out ends the list (ListCutShort), and
// the lines held before stand.
SearchOutcome HoldParts(const PartHold& hold, LineList& held, const FinderOptions& options = {});

// Writes `count` as a decimal number on a line; false when that fails.
bool WriteCount(Output& out, std::size_t count);

}  // namespace versalo

#endif  // VERSALO_FINDER_SEARCH_LIST_H
