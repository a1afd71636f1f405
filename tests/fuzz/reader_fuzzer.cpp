// Differential fuzzing of the reader and the search against the plain model
// of the line rules. The input's first byte picks the block size and the
// second the ending's length; the ending is the input's last bytes, the
// rest is the word list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "search/ending_search.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Small blocks put every rule across a boundary; now and then the
  // program's own block size.
  const std::size_t block_size = data[0] == 255 ? 256 * 1024 : 1 + data[0] % 64;
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

  // Line by line.
  const std::vector<std::string> expected = versalo::testing::ModelLines(bytes);
  std::vector<std::string> lines;
  versalo::WordListReader reader;
  Check(reader.Open(options), "opening");
  for (versalo::LineRead read = reader.Next(); !read.end; read = reader.Next()) {
    lines.emplace_back(read.line);
  }
  Check(!reader.failed(), "the end of the list");
  reader.Close();
  Check(lines == expected, "the lines");

  // The search, through plain runs where the reader offers them.
  RecordingSink sink;
  const versalo::SearchOutcome outcome = versalo::FindEndingMatches(ending, sink, options);
  if (ending.size() < versalo::kMinEndingLength) {
    Check(outcome == versalo::SearchOutcome::EndingTooShort && sink.clears == 0,
          "a too short ending");
  } else {
    Check(outcome == versalo::SearchOutcome::Listed && sink.clears == 1, "the outcome");
    Check(sink.lines == versalo::testing::ModelMatches(bytes, ending), "the matches");
  }
  return 0;
}
