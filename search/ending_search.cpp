#include "search/ending_search.h"

#include <cstring>

namespace versalo {

bool EndsWith(std::string_view line, std::string_view ending) {
  // memcmp compares as unsigned char.
  return line.size() >= ending.size() &&
         std::memcmp(line.data() + line.size() - ending.size(), ending.data(),
                     ending.size()) == 0;
}

SearchOutcome FindEndingMatches(std::string_view ending, ResultSink& sink,
                                const WordListOptions& list) {
  if (ending.size() < kMinEndingLength) return SearchOutcome::EndingTooShort;
  WordListReader reader;
  if (!reader.Open(list)) return SearchOutcome::ListMissing;
  sink.Clear();
  for (LineRead read = reader.Next(); !read.end; read = reader.Next()) {
    if (EndsWith(read.line, ending)) sink.Add(read.line);
  }
  const bool cut_short = reader.failed();
  reader.Close();
  return cut_short ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
}

}  // namespace versalo
