// The search: every line of the word list that ends with the given bytes.
#ifndef VERSALO_SEARCH_ENDING_SEARCH_H
#define VERSALO_SEARCH_ENDING_SEARCH_H

#include <cstddef>
#include <string_view>

#include "search/word_list_reader.h"

namespace versalo {

// The shortest ending searched, in bytes.
inline constexpr std::size_t kMinEndingLength = 2;

enum class SearchOutcome {
  EndingTooShort,  // nothing was opened, read or changed
  ListMissing,     // the word list could not be opened; the sink is untouched
  Listed,          // the sink was cleared and got every match, maybe none
  ListCutShort,    // as Listed, but a read error or a line too long to hold
                   // ended the list early: later lines were not searched
};

// Receives the results of one search.
//
// A search that ends with EndingTooShort or ListMissing makes no call at all,
// so the previous results stay. Otherwise (Listed, ListCutShort) Clear comes exactly once, after the
// word list has opened and before its first line is read, and then Add once
// for each matching line, in file order, the moment the line is read.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  // Removes every entry.
  virtual void Clear() = 0;
  // Appends `line` as a new entry after the others; duplicates stay. The
  // bytes are valid only during the call. Nothing is reported back: an entry
  // the sink cannot take is lost, and the search goes on.
  virtual void Add(std::string_view line) = 0;
};

// True when the last bytes of `line` equal `ending`, compared byte by byte
// as unsigned values (no folding of any kind).
bool EndsWith(std::string_view line, std::string_view ending);

// Lists in `sink` every line of the word list that ends with `ending`.
// Holds nothing between calls: every call reads the file as it is then.
SearchOutcome FindEndingMatches(std::string_view ending, ResultSink& sink,
                                const WordListOptions& list = {});

}  // namespace versalo

#endif  // VERSALO_SEARCH_ENDING_SEARCH_H
