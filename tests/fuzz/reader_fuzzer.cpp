// Differential fuzzing of the reader and the search against the plain model
// of the line rules, on every pass the build has here (plain, SSE2, AVX2),
// reading the file, mapping it, from lent bytes, and as versalo-find
// searches it, in halves or chunks at once; and the list held in memory, its
// matches found by a scan and through the reverse index, in every order;
// read in place, holding only the matches or listing them as they come, as
// versalo-find's options do; a word's closest rhymes, with each order and
// syllable counts kept; and the front coding the page's list comes in,
// decoded in pieces, against the encoder's model and a plain decoder.
// The input's first byte picks the block size and the second the ending's
// length; the ending is the input's last bytes, the rest is the word list.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "finder/held_search.h"
#include "finder/list_file.h"
#include "finder/search_list.h"
#include "search/ending_search.h"
#include "search/front_coding.h"
#include "search/line_list.h"
#include "search/rhymes.h"
#include "search/word_list_reader.h"
#include "tests/search/line_model.h"

namespace {

class RecordingSink : public versalo::ResultSink {
 public:
  void Clear() override {
    ++clears;
    lines.clear();
  }
  void Add(std::string_view line) override { lines.emplace_back(line); }
  int clears = 0;
  std::vector<std::string> lines;
};

class StringOutput : public versalo::Output {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

const std::string& ListPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/versalo-fuzz-" +
           std::to_string(getpid()) + ".txt";
  }();
  return path;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "reader_fuzzer: %s differs from the model\n", what);
    std::abort();
  }
}

// The front coding read as plainly as it can be: the outcome, and the list
// (whole lines only, when cut short; nothing to compare when refused).
std::pair<versalo::FrontCodingOutcome, std::string> ModelFrontDecode(std::string_view coded) {
  using Outcome = versalo::FrontCodingOutcome;
  const std::string_view magic = "VFC1";
  if (coded.substr(0, 4) != magic.substr(0, std::min<std::size_t>(4, coded.size()))) {
    return {Outcome::kNotFrontCoded, ""};
  }
  if (coded.size() < 5) return {Outcome::kCutShort, ""};
  if (coded[4] != 0 && coded[4] != 1) return {Outcome::kNotFrontCoded, ""};
  std::string list, previous;
  for (std::size_t at = 5; at < coded.size();) {
    const auto shared = static_cast<unsigned char>(coded[at++]);
    if (shared > previous.size()) return {Outcome::kNotFrontCoded, ""};
    const std::size_t lf = coded.find('\n', at);
    if (lf == std::string_view::npos) return {Outcome::kCutShort, list};
    previous = previous.substr(0, shared) + std::string(coded.substr(at, lf - at));
    list += previous + '\n';
    at = lf + 1;
  }
  if (coded[4] == 0 && !list.empty()) list.pop_back();
  return {Outcome::kDecoded, list};
}

// `coded` decoded in pieces of `piece` bytes.
std::pair<versalo::FrontCodingOutcome, std::string> FrontDecode(std::string_view coded, std::size_t piece) {
  std::string list;
  versalo::FrontDecoder decoder(list);
  for (std::size_t at = 0; at < coded.size(); at += piece) decoder.Feed(coded.substr(at, piece));
  const versalo::FrontCodingOutcome outcome = decoder.Finish();
  return {outcome, list};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Small blocks put every rule across a boundary, larger ones let the
  // vector passes run; now and then the program's own block size.
  const std::size_t block_size = data[0] == 255   ? 256 * 1024
                                 : data[0] >= 128 ? 64 + (data[0] - 128) * 4u
                                                  : 1 + data[0] % 64u;
  const std::size_t ending_size = std::min<std::size_t>(data[1] % 8, size - 2);
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string_view bytes = rest.substr(0, rest.size() - ending_size);
  const std::string_view ending = rest.substr(rest.size() - ending_size);

  std::FILE* file = std::fopen(ListPath().c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  versalo::WordListOptions options;
  options.path = ListPath().c_str();
  options.block_size = block_size;

  // The list front coded as the page gets it, and back, in the fuzzed
  // pieces; and the fuzzed bytes as front-coded lines, whatever they hold.
  Check(FrontDecode(versalo::testing::ModelFrontCode(bytes), block_size) ==
            std::pair{versalo::FrontCodingOutcome::kDecoded, std::string(bytes)},
        "the front-coded list");
  {
    const std::string coded = "VFC1" + std::string(1, static_cast<char>(data[1] & 1)) + std::string(bytes);
    const auto model = ModelFrontDecode(coded);
    const auto decoded = FrontDecode(coded, block_size);
    Check(decoded.first == model.first &&
              (model.first == versalo::FrontCodingOutcome::kNotFrontCoded || decoded.second == model.second),
          "the front decoding");
  }

  const std::vector<std::string> expected = versalo::testing::ModelLines(bytes);
  const bool searchable = ending.size() >= versalo::kMinEndingLength;
  const std::vector<std::string> matches =
      searchable ? versalo::testing::ModelMatches(bytes, ending) : std::vector<std::string>{};
  versalo::testing::ForEachScanPath([&](versalo::ScanPath) {
    // Line by line.
    std::vector<std::string> lines;
    versalo::WordListReader reader;
    Check(reader.Open(options), "opening");
    for (versalo::LineRead read = reader.Next(); !read.end; read = reader.Next()) {
      lines.emplace_back(read.line);
    }
    Check(!reader.failed(), "the end of the list");
    reader.Close();
    Check(lines == expected, "the lines");

    // Through the runs whose pass reports the lines that end with the
    // ending's tail, which must be exactly those.
    const std::optional<versalo::LineEndTail> tail =
        searchable ? versalo::TailOf(ending) : std::nullopt;
    if (tail) {
      lines.clear();
      Check(reader.Open(options), "opening");
      for (;;) {
        std::string_view run;
        std::span<const std::size_t> ends;
        while (reader.NextPlainRun(run, *tail, ends)) {
          Check(!run.empty() && run.back() == '\n', "a run's end");
          Check(std::vector<std::size_t>(ends.begin(), ends.end()) ==
                    versalo::testing::ModelTailEnds(run, *tail),
                "the line ends a pass reports");
          for (const std::string& line : versalo::testing::ModelLines(run)) lines.push_back(line);
        }
        const versalo::LineRead read = reader.Next();
        if (read.end) break;
        lines.emplace_back(read.line);
      }
      Check(lines == expected, "the lines through runs");
    }

    // The search, through plain runs where the reader offers them: from the
    // file, from its mapping, from versalo-find's reads of its descriptor and
    // from lent bytes.
    // (A stream reads the descriptor, whose offset the mapping leaves alone.)
    versalo::ListFile mapped;
    Check(mapped.Open(options.path) && (mapped.mapped() || bytes.empty()), "mapping");
    versalo::ListFile::Part whole(mapped, 0, mapped.bytes().size());
    versalo::ListFile::Stream stream(mapped, block_size);
    versalo::testing::StringLender lender{std::string(bytes)};
    versalo::WordListOptions from_mapping = options, from_stream = options, from_lender = options;
    from_mapping.lender = bytes.empty() ? nullptr : &whole;
    from_stream.lender = &stream;
    from_lender.lender = &lender;
    for (const versalo::WordListOptions& list : {options, from_mapping, from_stream, from_lender}) {
      RecordingSink sink;
      const versalo::SearchOutcome outcome = versalo::FindEndingMatches(ending, sink, list);
      if (!searchable) {
        Check(outcome == versalo::SearchOutcome::EndingTooShort && sink.clears == 0,
              "a too short ending");
      } else {
        Check(outcome == versalo::SearchOutcome::Listed && sink.clears == 1, "the outcome");
        Check(sink.lines == matches, "the matches");
      }
    }

    // versalo-find's search, in two halves whenever there is a line break
    // near the middle, or now and then in chunks of 1 to 346 bytes.
    StringOutput out;
    versalo::FinderOptions finder;
    finder.path = options.path;
    finder.block_size = block_size;
    finder.split_from = 0;
    if (data[1] >= 128) finder.chunk_size = 1 + (data[1] / 8u - 16) * 23u;
    const versalo::FinderResult result = versalo::SearchList(ending, out, finder);
    std::string listed;
    for (const std::string& line : matches) listed += line + '\n';
    Check(result.outcome == (searchable ? versalo::SearchOutcome::Listed
                                        : versalo::SearchOutcome::EndingTooShort) &&
              out.text == listed,
          "the search in halves or chunks");
  });

  // Held in memory: the same lines; a scan and the index find the same, in
  // file order the plain search's matches. The ending's first byte, if it
  // is not needed, picks the sound rule and patterns in turn.
  const versalo::LineList held{std::string(bytes)};
  const versalo::LineList sparse{std::string(bytes), 0};  // one offset every few lines
  for (const versalo::LineList* list : {&held, &sparse}) {
    std::vector<std::string> held_lines;
    for (std::size_t i = 0; i < list->size(); ++i) held_lines.emplace_back(list->line(i));
    Check(held_lines == expected, "the lines held in memory");
  }
  const versalo::ReverseIndex index(held);
  for (int order = 0; order < 3; ++order) {
    versalo::RhymeQuery query;
    query.ending = std::string(ending);
    query.order = static_cast<versalo::ResultOrder>(order);
    const versalo::RhymeResult plain = versalo::FindRhymes(held, nullptr, query);
    if (order == 0 && searchable) {
      std::vector<std::string> found;
      for (const versalo::LineNumber line : plain.lines) found.emplace_back(held.line(line));
      Check(found == matches, "the held list's matches");
    }
    Check(versalo::FindRhymes(held, &index, query).lines == plain.lines, "the index");
    Check(versalo::FindRhymes(sparse, nullptr, query).lines == plain.lines, "the sparse list");
    query.sound = (data[1] & 0x40) != 0;
    query.patterns = (data[1] & 0x80) != 0;
    Check(versalo::FindRhymes(held, &index, query).lines ==
              versalo::FindRhymes(held, nullptr, query).lines,
          "the index, with sound or patterns");
    // Read in place, as versalo-find's options search: only the matches
    // held and put in order, or, in file order, each listed as it is read
    // and kept by syllables; both the held list's lines, in its order. The
    // block size's high bits pick syllable counts to keep.
    if (searchable) {
      if ((data[0] & 0xC0) != 0) query.syllables = {std::size_t{data[0]} / 64 - 1, 2};
      const versalo::RhymeResult held_found = versalo::FindRhymes(held, nullptr, query);
      std::string listed;
      std::vector<std::string> found_texts;
      for (const versalo::LineNumber line : held_found.lines) {
        found_texts.emplace_back(held.line(line));
        listed += found_texts.back() + '\n';
      }
      versalo::LineList kept;
      const versalo::RhymeResult read = versalo::FindRhymes(options, query, kept);
      std::vector<std::string> read_texts;
      for (const versalo::LineNumber line : read.lines) read_texts.emplace_back(kept.line(line));
      Check(read.outcome == versalo::SearchOutcome::Listed && read_texts == found_texts &&
                read.by_syllables == held_found.by_syllables,
            "the matches read in place and held");
      if (order == 0) {
        RecordingSink streamed;
        Check(versalo::FindRhymeLines(query, streamed, options) == versalo::SearchOutcome::Listed &&
                  streamed.clears == 1,
              "the outcome read in place");
        std::erase_if(streamed.lines, [&query](const std::string& line) {
          return !versalo::KeepsSyllables(query, versalo::SyllableCount(line));
        });
        Check(streamed.lines == found_texts, "the matches read in place, in file order");
      }
      {
        const bool count_only = (data[0] & 1) != 0;  // now and then only the count
        StringOutput out;
        versalo::FinderOptions finder;
        finder.path = options.path;
        finder.block_size = block_size;
        finder.split_from = 0;  // in file order, in halves or chunks as the plain search
        if (data[1] >= 128) finder.chunk_size = 1 + (data[1] / 8u - 16) * 23u;
        const versalo::FinderResult result = versalo::SearchHeld(query, count_only, out, finder);
        Check(result.outcome == versalo::SearchOutcome::Listed &&
                  out.text == (count_only ? std::to_string(found_texts.size()) + '\n' : listed),
              "versalo-find's options");
      }
    }

    // The closest rhymes of the ending as a word: in file order without
    // sound, the model's lines by shared length, longest first; otherwise
    // a scan, the index, the sparse list and the list read in turn (from
    // the file, in the fuzzed blocks) all agree.
    query.patterns = false;
    query.syllables.clear();
    const versalo::ClosestRhymes closest = versalo::FindClosestRhymes(held, nullptr, query);
    const auto texts = [](const versalo::LineList& list, const versalo::ClosestRhymes& found) {
      std::vector<std::string> out;
      for (const versalo::LineNumber line : found.rhymes.lines) out.emplace_back(list.line(line));
      return out;
    };
    const auto groups = [](const versalo::ClosestRhymes& found) {
      std::vector<std::pair<std::string, std::size_t>> out;
      for (const versalo::RhymeGroup& group : found.groups) out.emplace_back(group.ending, group.count);
      return out;
    };
    if (order == 0 && !query.sound && searchable) {
      std::vector<std::pair<std::size_t, std::string>> model;  // (-shared, line), stably sorted
      for (const std::string& line : expected) {
        std::size_t shared = 0;
        while (shared < line.size() && shared < ending.size() &&
               line[line.size() - 1 - shared] == ending[ending.size() - 1 - shared]) {
          ++shared;
        }
        if (shared >= versalo::kMinEndingLength && line != ending) model.emplace_back(shared, line);
      }
      std::stable_sort(model.begin(), model.end(),
                       [](const auto& a, const auto& b) { return a.first > b.first; });
      std::vector<std::string> model_lines;
      for (const auto& [shared, line] : model) model_lines.push_back(line);
      Check(texts(held, closest) == model_lines, "the closest rhymes");
    }
    // With syllable counts kept (the block size's high bits pick them) as
    // without, the others agree with the scan.
    if ((data[0] & 0xC0) != 0) query.syllables = {std::size_t{data[0]} / 64 - 1, 2};
    const versalo::ClosestRhymes scanned = versalo::FindClosestRhymes(held, nullptr, query);
    const versalo::ClosestRhymes indexed = versalo::FindClosestRhymes(held, &index, query);
    const versalo::ClosestRhymes sparse_found = versalo::FindClosestRhymes(sparse, nullptr, query);
    versalo::LineList kept;
    const versalo::ClosestRhymes read = versalo::FindClosestRhymes(options, query, kept);
    Check(read.rhymes.outcome == scanned.rhymes.outcome, "the closest rhymes' outcome");
    using Found = std::pair<const versalo::LineList*, const versalo::ClosestRhymes*>;
    for (const auto& [list, found] : {Found{&held, &indexed}, Found{&sparse, &sparse_found},
                                      Found{&kept, &read}}) {
      Check(texts(*list, *found) == texts(held, scanned) && groups(*found) == groups(scanned) &&
                found->rhymes.by_syllables == scanned.rhymes.by_syllables,
            "the closest rhymes, indexed, sparse or read in turn");
    }
  }
  return 0;
}
