#include "search/ending_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/search/line_model.h"
#include "tests/support/temp_dir.h"

namespace versalo {
namespace {

// Records every call, in order: "clear", or the added line.
class RecordingSink : public ResultSink {
 public:
  void Clear() override { calls.push_back("clear"); }
  void Add(std::string_view line) override { calls.emplace_back(line); }
  std::vector<std::string> calls;
};

class EndingSearchTest : public ::testing::Test {
 protected:
  SearchOutcome Search(std::string_view ending, std::size_t block_size = 256 * 1024) {
    sink_.calls.clear();
    WordListOptions options;
    options.path = path_.c_str();
    options.block_size = block_size;
    return FindEndingMatches(ending, sink_, options);
  }
  void WriteList(std::string_view bytes) { dir_.Write("rym.txt", bytes); }

  testing::TempDir dir_;
  std::string path_ = dir_.Path("rym.txt").string();
  RecordingSink sink_;
};

struct MatchCase {
  const char* name;
  std::string ending;
  std::vector<std::string> matches;
};

const char kWords[] =
    "cat\nhat\nat\na\nbat\nchat\nAT\nflat \nin a hat\n   at\ncat\r\n"
    "\xEA\xEE\xF2\xEA\xE0\n\xCA\xCE\xD2\xCA\xC0\n\xF7\xE5\xF2\xE8\xF0\xE8\n";

// Which lines an ending lists, and in what order.
const MatchCase kMatchCases[] = {
    {"FileOrderWithDuplicates", "at",
     {"cat", "hat", "at", "bat", "chat", "in a hat", "   at", "cat"}},
    {"CaseSensitive", "AT", {"AT"}},
    {"TrailingSpaceCounts", "at ", {"flat "}},
    {"LeadingSpacesCount", "  at", {"   at"}},
    {"LineEqualToEnding", "chat", {"chat"}},
    {"ShorterLinesNeverMatch", "that", {}},
    {"CyrillicLowerCase", "\xEA\xE0", {"\xEA\xEE\xF2\xEA\xE0"}},
    {"CyrillicUpperCase", "\xCA\xC0", {"\xCA\xCE\xD2\xCA\xC0"}},
    {"HighBytesUnsigned", "\xF0\xE8", {"\xF7\xE5\xF2\xE8\xF0\xE8"}},
    {"NothingMatches", "zz", {}},
};

void PrintTo(const MatchCase& fixture, std::ostream* os) { *os << fixture.name; }

class MatchTest : public EndingSearchTest,
                  public ::testing::WithParamInterface<MatchCase> {};

// The sink is cleared once, then gets the matches in file order.
TEST_P(MatchTest, ListsTheMatches) {
  WriteList(kWords);
  std::vector<std::string> expected{"clear"};
  expected.insert(expected.end(), GetParam().matches.begin(), GetParam().matches.end());
  testing::ForEachScanPath([&](ScanPath path) {
    for (std::size_t block_size : {1, 7, 256 * 1024}) {
      EXPECT_EQ(Search(GetParam().ending, block_size), SearchOutcome::Listed);
      EXPECT_EQ(sink_.calls, expected) << "block size " << block_size << ", " << ScanPathName(path);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Endings, MatchTest, ::testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Random files and endings, some taken from the files' own lines so that
// there is something to find: the search lists what the plain model lists,
// on every pass the build has, from the file and from lent bytes.
TEST_F(EndingSearchTest, AgreesWithTheModelOnRandomFiles) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> size(0, 3000), block(1, 64), length(2, 5);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = testing::RandomBytes(random, size(random));
    // Some files with few NULs and SUBs, so that the passes run long.
    if (round % 4 == 1) std::replace_if(bytes.begin(), bytes.end(), [](char c) { return c == '\0' || c == '\x1A'; }, 'b');
    WriteList(bytes);
    std::vector<std::string> endings{testing::RandomBytes(random, length(random))};
    for (const std::string& line : testing::ModelLines(bytes)) {
      if (line.size() >= 2 && endings.size() < 4) endings.push_back(line.substr(line.size() / 2));
    }
    const std::size_t block_size = round % 3 == 0 ? 256 * 1024 : block(random);
    testing::ForEachScanPath([&](ScanPath path) {
      for (const std::string& ending : endings) {
        if (ending.size() < 2) continue;
        std::vector<std::string> expected{"clear"};
        const std::vector<std::string> matches = testing::ModelMatches(bytes, ending);
        expected.insert(expected.end(), matches.begin(), matches.end());
        ASSERT_EQ(Search(ending, block_size), SearchOutcome::Listed);
        ASSERT_EQ(sink_.calls, expected) << "ending " << ::testing::PrintToString(ending) << " in "
                                         << ::testing::PrintToString(bytes) << ", "
                                         << ScanPathName(path);
        testing::StringLender lender(bytes);
        WordListOptions lent;
        lent.lender = &lender;
        lent.block_size = block_size;
        sink_.calls.clear();
        ASSERT_EQ(FindEndingMatches(ending, sink_, lent), SearchOutcome::Listed);
        ASSERT_EQ(sink_.calls, expected) << "lent, ending " << ::testing::PrintToString(ending);
      }
    });
  }
}

// More matching lines than one pass reports at a time, with every kind of
// line end among them, and long stretches where the ending's last two bytes
// come only inside lines: none is lost or listed twice where a pass stops
// or changes how closely it looks.
TEST_F(EndingSearchTest, ManyMatchesInOneBlock) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) {
    bytes += std::to_string(i % 7) + (i % 3 == 0 ? "ta\r\n" : i % 5 == 0 ? "at\n" : "ta\n");
    if (i % 11 == 0) bytes += "ta\r\r\n";  // a CR that is data
    if (i % 500 == 0) {
      for (int j = 0; j < 100; ++j) bytes += "tatatatatatatatatatatatatatatatatatatatax\n";
    }
  }
  WriteList(bytes);
  for (const char* ending : {"ta", "6ta", "ta\r"}) {
    std::vector<std::string> expected{"clear"};
    const std::vector<std::string> matches = testing::ModelMatches(bytes, ending);
    expected.insert(expected.end(), matches.begin(), matches.end());
    testing::ForEachScanPath([&](ScanPath path) {
      for (std::size_t block_size : {997, 256 * 1024}) {
        EXPECT_EQ(Search(ending, block_size), SearchOutcome::Listed);
        EXPECT_EQ(sink_.calls, expected) << ::testing::PrintToString(std::string(ending)) << ", block "
                                         << block_size << ", " << ScanPathName(path);
      }
    });
  }
}

// Lent bytes that fail part way end the list like a read error: the matches
// before stand.
TEST_F(EndingSearchTest, LenderFailureCutsTheListShort) {
  testing::StringLender lender("cat\nhat\nbat\nflat\n", 8);
  WordListOptions lent;
  lent.lender = &lender;
  lent.block_size = 3;
  EXPECT_EQ(FindEndingMatches("at", sink_, lent), SearchOutcome::ListCutShort);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "cat", "hat"}));
}

// An ending of fewer than 2 bytes touches neither the file nor the sink.
TEST_F(EndingSearchTest, TooShortEndingChangesNothing) {
  for (std::string_view ending : {"", "a"}) {
    EXPECT_EQ(Search(ending), SearchOutcome::EndingTooShort);
    EXPECT_TRUE(sink_.calls.empty());
  }
  WriteList("at\n");
  EXPECT_EQ(Search("t"), SearchOutcome::EndingTooShort);
  EXPECT_TRUE(sink_.calls.empty());
}

// A missing list, or a folder in its place, leaves the sink untouched.
TEST_F(EndingSearchTest, MissingListLeavesTheSink) {
  EXPECT_EQ(Search("at"), SearchOutcome::ListMissing);
  EXPECT_TRUE(sink_.calls.empty());
  std::filesystem::create_directory(path_);
  EXPECT_EQ(Search("at"), SearchOutcome::ListMissing);
  EXPECT_TRUE(sink_.calls.empty());
}

// Long lines are whole, so an ending longer than 77 bytes can match.
TEST_F(EndingSearchTest, LongEndingMatchesLongLine) {
  const std::string word(120, 'a');
  WriteList("x" + word + "\n" + word.substr(1) + "\n");
  EXPECT_EQ(Search(word, 16), SearchOutcome::Listed);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "x" + word}));
}

// The unterminated last line is searched like any other.
TEST_F(EndingSearchTest, LastLineWithoutBreakMatches) {
  WriteList("cat\r\nhat");
  EXPECT_EQ(Search("at"), SearchOutcome::Listed);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "cat", "hat"}));
}

// Every search reads the file as it is then: edits, and a removal.
TEST_F(EndingSearchTest, EverySearchReadsTheCurrentFile) {
  WriteList("cat\n");
  EXPECT_EQ(Search("at"), SearchOutcome::Listed);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "cat"}));
  WriteList("hat\nbat\n");
  EXPECT_EQ(Search("at"), SearchOutcome::Listed);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "hat", "bat"}));
  std::filesystem::remove(path_);
  EXPECT_EQ(Search("at"), SearchOutcome::ListMissing);
}

// A line too long to hold ends the search; the matches before it stand and
// the outcome says the list was cut short.
TEST_F(EndingSearchTest, LineTooLongCutsTheListShort) {
  WriteList("cat\n" + std::string(64, 'q') + "at\nhat\n");
  sink_.calls.clear();
  WordListOptions options;
  options.path = path_.c_str();
  options.block_size = 8;
  options.max_line = 32;
  EXPECT_EQ(FindEndingMatches("at", sink_, options), SearchOutcome::ListCutShort);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "cat"}));
}

// A list past 4 GiB, mostly a sparse hole of NULs, is read to its end, also
// through a 32-bit C runtime: the line after the 4 GiB mark is found.
TEST_F(EndingSearchTest, ListOver4GiBIsReadToItsEnd) {
  {
    std::ofstream out(path_, std::ios::binary);
    out << "cat\n";
    out.seekp(std::streamoff{4} << 30);
    out << "\nhat\n";
    ASSERT_TRUE(out.good());
  }
  ASSERT_GT(std::filesystem::file_size(path_), std::uintmax_t{4} << 30);
  EXPECT_EQ(Search("at"), SearchOutcome::Listed);
  EXPECT_EQ(sink_.calls, (std::vector<std::string>{"clear", "cat", "hat"}));
}

#ifdef __linux__
std::size_t OpenFileCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

class ThrowingSink : public ResultSink {
 public:
  void Clear() override {}
  void Add(std::string_view) override { throw std::runtime_error("full"); }
};

// The list is closed on every path that opened it, a throwing sink included.
TEST_F(EndingSearchTest, ClosesTheListOnEveryPath) {
  WriteList("cat\nhat\n");
  const std::size_t before = OpenFileCount();
  EXPECT_EQ(Search("at"), SearchOutcome::Listed);
  EXPECT_EQ(Search("zz"), SearchOutcome::Listed);
  EXPECT_EQ(Search("a"), SearchOutcome::EndingTooShort);
  ThrowingSink throwing;
  EXPECT_THROW(FindEndingMatches("at", throwing, {path_.c_str()}), std::runtime_error);
  std::filesystem::remove(path_);
  EXPECT_EQ(Search("at"), SearchOutcome::ListMissing);
  EXPECT_EQ(OpenFileCount(), before);
}
#endif

}  // namespace
}  // namespace versalo
