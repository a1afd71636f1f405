#include "search/word_list_reader.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "tests/search/line_model.h"
#include "tests/support/temp_dir.h"

namespace versalo {
namespace {

using namespace std::string_literals;

// Cuts a plain run into its lines: LF ends each, and a CR before it goes.
void AddRunLines(std::string_view run, std::vector<std::string>& lines) {
  while (!run.empty()) {
    const std::size_t lf = run.find('\n');
    std::string_view line = run.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    run.remove_prefix(lf + 1);
  }
}

// Tails of two and three bytes, one of each ending in a CR that is data.
const LineEndTail kTails[] = {
    {0, 'a', 'b', false}, {0, 'b', '\r', false}, {'b', 'a', 'b', true}, {'a', 'b', '\r', true}};

// Reads every line through plain runs where the reader offers them, and
// line by line elsewhere; checks that the passes report exactly the lines
// in each run that end with `tail`.
std::vector<std::string> ReadAllWithRuns(const WordListOptions& options,
                                         LineEndTail tail = kTails[0]) {
  WordListReader reader;
  EXPECT_TRUE(reader.Open(options));
  std::vector<std::string> lines;
  for (;;) {
    std::string_view run;
    std::span<const std::size_t> ends;
    while (reader.NextPlainRun(run, tail, ends)) {
      EXPECT_EQ(run.back(), '\n');
      EXPECT_EQ(run.find('\0'), std::string_view::npos);
      EXPECT_EQ(std::vector<std::size_t>(ends.begin(), ends.end()), testing::ModelTailEnds(run, tail))
          << ::testing::PrintToString(std::string(run));
      AddRunLines(run, lines);
    }
    const LineRead read = reader.Next();
    if (read.end) break;
    lines.emplace_back(read.line);
  }
  EXPECT_FALSE(reader.failed());
  return lines;
}

// Reads every line of `path`; `failed` tells how the list ended.
std::vector<std::string> ReadAll(const WordListOptions& options, bool* failed = nullptr) {
  WordListReader reader;
  EXPECT_TRUE(reader.Open(options));
  std::vector<std::string> lines;
  for (LineRead read = reader.Next(); !read.end; read = reader.Next()) {
    lines.emplace_back(read.line);
  }
  EXPECT_TRUE(reader.Next().end) << "the end must stay the end";
  if (failed != nullptr) *failed = reader.failed();
  reader.Close();
  return lines;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

const std::string k77(77, 'x');
const std::string k78(78, 'y');

// One row or more for each sentence of the reader's line rules.
const LineCase kLineCases[] = {
    // 1. LF ends a line.
    {"LfEndsLines", "cat\nhat\n", {"cat", "hat"}},
    {"LoneLfIsEmptyLine", "\n", {""}},
    {"EmptyLinesKept", "cat\n\n\nhat\n", {"cat", "", "", "hat"}},
    // 2. CR LF is one LF; any other CR is data.
    {"CrLfIsOneLf", "cat\r\nhat\r\n", {"cat", "hat"}},
    {"LoneCrsAreData", "cat\r\rhat\n", {"cat\r\rhat"}},
    {"CrBeforeCrLfIsData", "cat\r\r\n", {"cat\r"}},
    {"CrAtFileEndIsData", "cat\nhat\r", {"cat", "hat\r"}},
    {"CrBeforeSubIsData", "cat\r\x1A\n", {"cat\r"}},
    {"OnlyCrs", "\r\r\r\r", {"\r\r\r\r"}},
    {"OnlyCrLfs", "\r\n\r\n", {"", ""}},
    // 3. SUB ends the file.
    {"SubEndsFile", "cat\n\x1Ahat\n", {"cat"}},
    {"SubInsideLine", "cat\nha\x1At\n", {"cat", "ha"}},
    {"SubFirst", "\x1A" "cat\n", {}},
    {"OnlySubs", "\x1A\x1A\x1A", {}},
    {"EmptyFile", "", {}},
    // 4. The last line is whole without a break; no extra empty line.
    {"UnterminatedLastLine", "cat\nhat", {"cat", "hat"}},
    {"UnterminatedOnlyLine", "at", {"at"}},
    {"NoEmptyLineAfterLastBreak", "cat\nhat\r\n", {"cat", "hat"}},
    {"UnterminatedLongLine", std::string(200, 'z'), {std::string(200, 'z')}},
    // 5. Lines of any length are whole.
    {"Line77", k77 + "\n", {k77}},
    {"Line77CrLf", k77 + "\r\n", {k77}},
    {"Line78", k78 + "\n", {k78}},
    {"Line100", std::string(100, 'w') + "\nat\n", {std::string(100, 'w'), "at"}},
    {"Unterminated79", k78 + "q", {k78 + "q"}},
    // 6. NUL ends the text of its line, and only of its line.
    {"NulEndsText", "ab\0cd\nef\n"s, {"ab", "ef"}},
    {"NulFirst", "\0cd\n"s, {""}},
    {"NulBeforeCrLf", "ab\0\r\n"s, {"ab"}},
    {"CrBeforeNulIsData", "ab\r\0\r\n"s, {"ab\r"}},
    {"NulInLastLine", "ab\0cd"s, {"ab"}},
    {"OnlyNuls", std::string(300, '\0'), {""}},
    {"NulThenLongRest", "ab\0"s + std::string(500, 'n') + "\nok\n", {"ab", "ok"}},
    // Bytes above 0x7F are bytes like any other.
    {"HighBytes", "\xE3\xEE\xF0\xE0\n\x98\xFF\n", {"\xE3\xEE\xF0\xE0", "\x98\xFF"}},
};

void PrintTo(const LineCase& fixture, std::ostream* os) { *os << fixture.name; }

class LineRulesTest
    : public ::testing::TestWithParam<std::tuple<LineCase, std::size_t>> {};

// Every fixture yields its lines whatever the block size, so the rules hold
// where a CR LF, a NUL or a SUB straddles two blocks.
TEST_P(LineRulesTest, YieldsTheLines) {
  const auto& [fixture, block_size] = GetParam();
  testing::TempDir dir;
  WordListOptions options;
  const std::string path = dir.Write("rym.txt", fixture.bytes);
  options.path = path.c_str();
  options.block_size = block_size;
  bool failed = true;
  EXPECT_EQ(ReadAll(options, &failed), fixture.lines);
  EXPECT_FALSE(failed);
}

// Plain runs yield the same lines.
TEST_P(LineRulesTest, RunsYieldTheSameLines) {
  const auto& [fixture, block_size] = GetParam();
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", fixture.bytes);
  EXPECT_EQ(ReadAllWithRuns({path.c_str(), block_size}), fixture.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LineRulesTest,
    ::testing::Combine(::testing::ValuesIn(kLineCases),
                       ::testing::Values(1, 2, 3, 5, 77, 79, 256 * 1024)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "Block" +
             std::to_string(std::get<1>(info.param));
    });

// Random files read line by line and through runs agree with the plain model
// of the rules, for any block size, on every pass the build has, from the
// file and from lent bytes.
TEST(WordListReaderTest, AgreesWithTheModelOnRandomFiles) {
  testing::TempDir dir;
  std::mt19937 random(20261210);
  std::uniform_int_distribution<std::size_t> size(0, 400), block(1, 48);
  for (int round = 0; round < 300; ++round) {
    const std::string bytes = testing::RandomBytes(random, size(random));
    const std::string path = dir.Write("rym.txt", bytes);
    const std::size_t block_size = round % 5 == 0 ? 256 * 1024 : block(random);
    const std::vector<std::string> expected = testing::ModelLines(bytes);
    testing::ForEachScanPath([&](ScanPath scan) {
      ASSERT_EQ(ReadAll({path.c_str(), block_size}), expected)
          << ::testing::PrintToString(bytes) << ScanPathName(scan);
      for (const LineEndTail tail : kTails) {
        ASSERT_EQ(ReadAllWithRuns({path.c_str(), block_size}, tail), expected)
            << ::testing::PrintToString(bytes) << ScanPathName(scan);
      }
      testing::StringLender lender(bytes);
      WordListOptions lent;
      lent.block_size = block_size;
      lent.lender = &lender;
      ASSERT_EQ(ReadAll(lent), expected) << "lent " << ::testing::PrintToString(bytes);
    });
  }
}

// A pass that finds more lines with the tail than it may report at once
// stops after a whole line, and the next pass goes on from there.
TEST(WordListReaderTest, PassesStopAtLineEnds) {
  testing::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += i % 2 ? "ab\r\n" : i % 3 ? "ab\r\r\n" : "bab\n";
  bytes += std::string("ab\0ab\n") + "ab\n";
  const std::string path = dir.Write("rym.txt", bytes);
  testing::ForEachScanPath([&](ScanPath scan) {
    for (const LineEndTail tail : kTails) {
      for (std::size_t block_size : {std::size_t{100}, std::size_t{256 * 1024}}) {
        EXPECT_EQ(ReadAllWithRuns({path.c_str(), block_size}, tail), testing::ModelLines(bytes))
            << ScanPathName(scan) << ", block " << block_size;
      }
    }
  });
}

// Where a line starts, looking back from a byte of it: the vector path
// looks 16 bytes at a time, so the breaks stand at and around those edges.
TEST(WordListReaderTest, LineStartBeforeFindsTheLastBreak) {
  struct Case {
    std::string bytes;
    std::size_t from, at, start;
  };
  const std::string forty(40, 'a');
  const std::vector<Case> cases = {
      {"", 0, 0, 0},
      {"abc", 0, 3, 0},                        // no break: the first byte looked at
      {"ab\ncd", 0, 5, 3},                     // the last break before
      {"ab\n\ncd", 0, 4, 4},                  // an empty line: right after its break
      {"ab\ncd", 0, 3, 3},                     // `at` just past a break
      {"ab\ncd", 3, 5, 3},                     // nothing before `from` is looked at
      {"\n" + forty, 1, 41, 1},
      {"\n" + forty, 0, 41, 1},                // 40 bytes back, past two steps of 16
      {forty + "\n" + forty, 0, 81, 41},
      {forty.substr(0, 15) + "\n" + forty, 0, 32, 16},  // the first byte of a step
      {forty.substr(0, 16) + "\n" + forty, 0, 33, 17},  // the last byte of a step
      {forty.substr(0, 16) + "\n" + forty, 0, 32, 17},
      {"\n" + forty, 2, 41, 2},                // the break is before `from`
  };
  testing::ForEachScanPath([&](ScanPath scan) {
    for (const Case& c : cases) {
      EXPECT_EQ(LineStartBefore(c.bytes.data(), c.from, c.at), c.start)
          << ScanPathName(scan) << " " << ::testing::PrintToString(c.bytes) << " from " << c.from << " at " << c.at;
    }
  });
}

// Lines of several MiB are gathered in pieces of 1 MiB: a CR LF, a NUL or a
// line end that falls on a piece's edge, and a last line without a break,
// come out as the model says, and so does the limit on a line's size.
TEST(WordListReaderTest, LinesLongerThanAPiece) {
  constexpr std::size_t kMiB = 1 << 20;
  std::mt19937 random(5);
  const auto letters = [&](std::size_t size) {
    std::string text(size, 'a');
    for (char& c : text) c = static_cast<char>('a' + random() % 26);
    return text;
  };
  const std::string bytes = "cat\n" + letters(kMiB - 1) + "\r\n" +   // CR ends a piece
                            letters(kMiB) + "\n" +                      // LF just after a piece
                            letters(2 * kMiB + 7) + "\r" + letters(9) + "\r\n" +
                            letters(kMiB + 3) + '\0' + letters(kMiB) + "\n" +  // NUL in piece 2
                            "hat\n" + letters(3 * kMiB + 1);                  // no final break
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", bytes);
  const std::vector<std::string> expected = testing::ModelLines(bytes);
  for (std::size_t block_size : {std::size_t{4093}, std::size_t{256 * 1024}, 3 * kMiB}) {
    bool failed = true;
    EXPECT_EQ(ReadAll({path.c_str(), block_size}, &failed), expected) << "block " << block_size;
    EXPECT_FALSE(failed);
    EXPECT_EQ(ReadAllWithRuns({path.c_str(), block_size}), expected) << "block " << block_size;
    // A limit between the longest line and the one before it.
    WordListOptions options{path.c_str(), block_size, 3 * kMiB};
    std::vector<std::string> before(expected.begin(), expected.end() - 1);
    EXPECT_EQ(ReadAll(options, &failed), before) << "block " << block_size;
    EXPECT_TRUE(failed);
  }
}

// 7, 8. A line longer than the reader may hold ends the list; what came
// before it stands.
TEST(WordListReaderTest, LineTooLongToHoldEndsTheList) {
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", "cat\nhat\n" + std::string(50, 'l') + "\nbat\n");
  for (std::size_t block_size : {3, 4096}) {
    WordListOptions options;
    options.path = path.c_str();
    options.block_size = block_size;
    options.max_line = 10;
    bool failed = false;
    EXPECT_EQ(ReadAll(options, &failed), (std::vector<std::string>{"cat", "hat"}));
    EXPECT_TRUE(failed) << "block size " << block_size;
  }
}

// The limit counts the line's text: a CR of CR LF and the bytes after a NUL
// are not held, so they never end the list.
TEST(WordListReaderTest, LimitCountsOnlyTheText) {
  testing::TempDir dir;
  const std::string path =
      dir.Write("rym.txt", "abcd\r\nab\0"s + std::string(100, 'n') + "\nabcd");
  for (std::size_t block_size : {1, 2, 3, 4096}) {
    WordListOptions options;
    options.path = path.c_str();
    options.block_size = block_size;
    options.max_line = 4;
    bool failed = true;
    EXPECT_EQ(ReadAll(options, &failed), (std::vector<std::string>{"abcd", "ab", "abcd"}));
    EXPECT_FALSE(failed) << "block size " << block_size;
  }
}

// A missing file and a folder both fail to open, and nothing is read.
TEST(WordListReaderTest, OpenFailsWithoutAReadableFile) {
  testing::TempDir dir;
  WordListReader reader;
  const std::string missing = dir.Path("rym.txt").string();
  EXPECT_FALSE(reader.Open({missing.c_str()}));
  EXPECT_TRUE(reader.Next().end);

  std::filesystem::create_directory(dir.Path("folder"));
  const std::string folder = dir.Path("folder").string();
  EXPECT_FALSE(reader.Open({folder.c_str()}));
  EXPECT_TRUE(reader.Next().end);
}

// A reader opened again starts from the first byte of the file as it is now.
TEST(WordListReaderTest, ReopenReadsTheFileAnew) {
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", "half line without break");
  WordListReader reader;
  ASSERT_TRUE(reader.Open({path.c_str(), 4}));
  EXPECT_EQ(reader.Next().line, "half line without break");
  dir.Write("rym.txt", "new\n");
  ASSERT_TRUE(reader.Open({path.c_str(), 4}));
  EXPECT_EQ(reader.Next().line, "new");
  EXPECT_TRUE(reader.Next().end);
}

}  // namespace
}  // namespace versalo
