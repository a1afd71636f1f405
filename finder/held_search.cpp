#include "finder/held_search.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Keeps the matches' text, one after another, and where each ends.
class KeptLines : public ResultSink {
 public:
  void Clear() override {
    text_.clear();
    ends_.clear();
  }
  void Add(std::string_view line) override {
    text_.append(line);
    ends_.push_back(text_.size());
  }
  // The lines kept, in the order they came; valid while this lives.
  std::vector<std::string_view> lines() const {
    std::vector<std::string_view> lines;
    lines.reserve(ends_.size());
    std::size_t start = 0;
    for (const std::size_t end : ends_) {
      lines.emplace_back(text_.data() + start, end - start);
      start = end;
    }
    return lines;
  }

 private:
  std::string text_;
  std::vector<std::size_t> ends_;
};

}  // namespace

FinderResult SearchHeld(const RhymeQuery& query, bool count_only, Output& out,
                        const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  ListFile file;
  if (!file.Open(options.path)) return {SearchOutcome::ListMissing};
  std::optional<ListFile::Part> part;
  std::optional<ListFile::Stream> stream;
  ListBytes* lender = nullptr;
  if (file.mapped()) {
    lender = &part.emplace(file, 0, file.bytes().size());
  } else {
    lender = &stream.emplace(file, options.block_size);
  }
  WordListOptions reader{options.path, options.block_size};
  reader.lender = lender;
  KeptLines kept;
  SearchOutcome outcome;
  try {
    outcome = FindRhymeLines(query, kept, reader);
  } catch (const std::bad_alloc&) {
    outcome = SearchOutcome::ListCutShort;
  }
  if (outcome != SearchOutcome::Listed && outcome != SearchOutcome::ListCutShort) return {outcome};
  std::vector<std::string_view> lines = kept.lines();
  OrderMatches(query, lines);
  if (count_only) return {outcome, !WriteCount(out, lines.size())};
  OutputSink sink(options.utf8, out);
  for (const std::string_view line : lines) {
    sink.Add(line);
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
