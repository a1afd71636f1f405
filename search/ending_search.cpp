#include "search/ending_search.h"

#include <cstring>
#include <span>

#include "search/block_scan.h"
#include "search/bytes.h"

namespace versalo {

namespace {

// Lists the matches of a plain run (see WordListReader::NextPlainRun) from
// the line ends that the reader's pass found with the ending's last two or
// three bytes: only those are compared in full.
void ScanRun(std::string_view run, std::span<const std::size_t> ends, std::string_view ending,
             ResultSink& sink) {
  // The pass has compared the last three bytes already.
  const bool compared = ending.size() <= 3;
  for (const std::size_t end : ends) {
    const std::string_view before = run.substr(0, end);
    if (!compared && !EndsWith(before, ending)) continue;
    // The ending holds no LF, so the line starts before it.
    sink.Add(before.substr(LineStartBefore(run.data(), 0, end - ending.size())));
  }
}

}  // namespace

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
  // An ending that no pass can find matches nothing; the line by line path
  // below finds that out without the passes' help.
  const std::optional<LineEndTail> tail = TailOf(ending);
  for (;;) {
    std::string_view run;
    std::span<const std::size_t> ends;
    while (tail && reader.NextPlainRun(run, *tail, ends)) ScanRun(run, ends, ending, sink);
    const LineRead read = reader.Next();
    if (read.end) break;
    if (EndsWith(read.line, ending)) sink.Add(read.line);
  }
  const bool cut_short = reader.failed();
  reader.Close();
  return cut_short ? SearchOutcome::ListCutShort : SearchOutcome::Listed;
}

}  // namespace versalo
