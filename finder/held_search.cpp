#include "finder/held_search.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
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

// Passes on the matches of the syllable counts a query keeps.
class KeptSyllables : public ResultSink {
 public:
  KeptSyllables(const RhymeQuery& query, ResultSink* out) : query_(query), out_(out) {}
  void Clear() override { out_->Clear(); }
  void Add(std::string_view line) override {
    if (KeepsSyllables(query_, SyllableCount(line))) out_->Add(line);
  }

 private:
  const RhymeQuery& query_;
  ResultSink* out_;
};

// Runs `one` on a thread of its own beside `other` on this one, or both
// here in turn when no thread can be started. What either throws is thrown
// here, once both are done.
void OnTwoThreads(const std::function<void()>& one, const std::function<void()>& other) {
  std::exception_ptr failed;
  std::thread thread;
  try {
    thread = std::thread([&] {
      try {
        one();
      } catch (...) {
        failed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    one();
  }
  try {
    other();
  } catch (...) {
    if (thread.joinable()) thread.join();
    throw;
  }
  if (thread.joinable()) thread.join();
  if (failed) std::rethrow_exception(failed);
}

}  // namespace

void HoldInLargePages() {
  constexpr std::uintptr_t kLargePage = 2 << 20;
  constexpr std::size_t kPad = 64 << 20;
  // Once: what the heap grew by is marked for good.
  static void* kept[2] = {};
  if (kept[0] != nullptr) return;
  // Blocks up to 32 MiB from the heap (more is glibc's limit), which grows
  // 64 MiB at a time and keeps what is freed.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TOP_PAD, kPad);
  mallopt(M_TRIM_THRESHOLD, 2 * kPad);
  // A block that makes the heap grow now, so that what it grew by can be
  // marked, and one that fills the heap up to the first whole large page
  // in it: both kept, untouched, so that what comes after begins there.
  // Under a sanitizer's allocator they lie outside the heap, and nothing is
  // marked.
  void* const grown = kept[0] = std::malloc(1 << 20);
  const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
  const auto end = reinterpret_cast<std::uintptr_t>(grown) + (1 << 20);
  const std::uintptr_t from = (end + 64 + kLargePage - 1) & ~(kLargePage - 1);
  if (grown == nullptr || from >= top || top - end > kPad + kLargePage) return;
  kept[1] = std::malloc(from - end - 64);
  madvise(reinterpret_cast<void*>(from), top - from, MADV_HUGEPAGE);  // a request, no more
}

PartHold HeldMatchesOf(const RhymeQuery& query) {
  return [&query](LineList& held, const WordListOptions& part) { return HoldRhymeLines(query, part, held); };
}

FinderResult WriteHeld(const LineList& held, std::span<const LineNumber> lines, SearchOutcome outcome,
                       bool count_only, Output& out, const FinderOptions& options) {
  if (count_only) return {outcome, !WriteCount(out, lines.size())};
  OutputSink sink(options.utf8, out);
  for (const LineNumber line : lines) {
    sink.Add(held.line(line));
    if (sink.failed()) break;
  }
  sink.Flush();
  return {outcome, sink.failed()};
}

FinderResult SearchHeld(const RhymeQuery& query, bool count_only, Output& out,
                        const FinderOptions& options) {
  if (query.ending.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  // Only another order holds the matches: a count is the same in any.
  if (query.order != ResultOrder::kFile && !count_only) {
    HoldInLargePages();
    LineList held;
    const SearchOutcome outcome = HoldParts(HeldMatchesOf(query), held, options);
    if (outcome != SearchOutcome::Listed && outcome != SearchOutcome::ListCutShort) return {outcome};
    return WriteHeld(held, OrderHeld(held, query, false, OnTwoThreads).lines, outcome, count_only, out, options);
  }
  // In file order, each match is written (or counted) as it is found, and
  // the list is read as the plain search reads it.
  const PartSearch search = [&query](ResultSink& sink, const WordListOptions& part) {
    if (query.syllables.empty()) return FindRhymeLines(query, sink, part);
    KeptSyllables kept(query, &sink);
    return FindRhymeLines(query, kept, part);
  };
  return count_only ? CountParts(search, out, options) : SearchParts(search, out, options);
}

FinderResult ListWordEndings(std::string_view word, Output& out, const FinderOptions& options) {
  if (word.size() < kMinEndingLength) return {SearchOutcome::EndingTooShort};
  HoldInLargePages();
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
