#include "finder/held_search.h"

#include <new>
#include <optional>
#include <string>

#include "finder/list_file.h"
#include "search/line_list.h"

namespace versalo {

namespace {

// The list, read whole; nothing when it cannot be opened. `cut_short`: a
// read failed part way, or memory ran out, and the list holds what came
// before.
std::optional<LineList> ReadWhole(const FinderOptions& options, bool& cut_short) {
  ListFile file;
  if (!file.Open(options.path)) return std::nullopt;
  std::string bytes;
  ListFile::Stream stream(file, 1 << 20);
  try {
    if (file.mapped()) bytes.reserve(file.bytes().size());
    const char* lent = nullptr;
    for (std::size_t got; (got = stream.Lend(lent, 1 << 20)) > 0;) bytes.append(lent, got);
    cut_short = stream.failed();
    return LineList(std::move(bytes));
  } catch (const std::bad_alloc&) {
    cut_short = true;
    return LineList();
  }
}

}  // namespace

FinderResult SearchHeld(const RhymeQuery& query, bool count_only, Output& out,
                        const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  bool cut_short = false;
  const std::optional<LineList> list = ReadWhole(options, cut_short);
  if (!list) return {SearchOutcome::ListMissing};
  const RhymeResult result = FindRhymes(*list, nullptr, query);
  const SearchOutcome outcome = cut_short ? SearchOutcome::ListCutShort : result.outcome;
  if (count_only) return {outcome, !WriteCount(out, result.lines.size())};
  OutputSink sink(options.utf8, out);
  for (const LineNumber line : result.lines) {
    sink.Add(list->line(line));
    if (sink.failed()) break;
  }
  sink.Flush();
  return {outcome, sink.failed()};
}

FinderResult ListWordEndings(std::string_view word, Output& out, const FinderOptions& options) {
  if (word.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  bool cut_short = false;
  const std::optional<LineList> list = ReadWhole(options, cut_short);
  if (!list) return {SearchOutcome::ListMissing};
  // Each as a line of the list's code page: the tab and the digits are
  // the same bytes in UTF-8.
  OutputSink sink(options.utf8, out);
  for (const EndingCount& ending : CountWordEndings(*list, nullptr, word)) {
    sink.Add(ending.ending + '\t' + std::to_string(ending.count));
  }
  sink.Flush();
  return {cut_short ? SearchOutcome::ListCutShort : SearchOutcome::Listed, sink.failed()};
}

}  // namespace versalo
