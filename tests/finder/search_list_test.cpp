#include "finder/search_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/search/line_model.h"
#include "tests/support/temp_dir.h"

namespace versalo {
namespace {

class StringOutput : public Output {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

// What versalo-find writes for `ending`: each model match as a line.
std::string ModelOutput(std::string_view bytes, std::string_view ending) {
  std::string text;
  for (const std::string& line : testing::ModelMatches(bytes, ending)) text += line + '\n';
  return text;
}

// Searches `path` in two halves whenever it has a line break near its
// middle, as versalo-find searches a large list.
FinderResult SearchInHalves(const std::string& path, std::string_view ending, std::string& out,
                            std::size_t block_size = 256 * 1024) {
  StringOutput output;
  FinderOptions options;
  options.path = path.c_str();
  options.block_size = block_size;
  options.split_from = 0;
  const FinderResult result = SearchList(ending, output, options);
  out = output.text;
  return result;
}

// Random lists searched in two halves list what the model lists, in order:
// a SUB in the first half ends the list there, and lines that cross the
// middle are whole.
TEST(SearchListTest, HalvesAgreeWithTheModel) {
  testing::TempDir dir;
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> size(0, 5000), block(1, 700);
  for (int round = 0; round < 200; ++round) {
    const std::string bytes = testing::RandomBytes(random, size(random));
    const std::string path = dir.Write("rym.txt", bytes);
    for (const char* ending : {"ab", "a\r", "\xE0\xFF"}) {
      std::string out;
      const FinderResult result = SearchInHalves(path, ending, out, block(random));
      ASSERT_EQ(result.outcome, SearchOutcome::Listed);
      ASSERT_EQ(out, ModelOutput(bytes, ending)) << ::testing::PrintToString(bytes);
    }
  }
}

// Far more matches in the second half than may wait for the first: the
// second half waits too, and nothing is lost or out of order.
TEST(SearchListTest, SecondHalfWaitsForTheFirst) {
  testing::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 400000; ++i) bytes += std::to_string(i) + (i % 2 ? "ta\r\n" : "ta\n");
  const std::string path = dir.Write("rym.txt", bytes);
  std::string out;
  EXPECT_EQ(SearchInHalves(path, "ta", out).outcome, SearchOutcome::Listed);
  EXPECT_TRUE(out == ModelOutput(bytes, "ta")) << out.size() << " bytes listed";
}

// A SUB in the first half ends the list: the second half is dropped.
TEST(SearchListTest, FirstHalfEndingEarlyDropsTheSecond) {
  testing::TempDir dir;
  std::string lines;
  for (int i = 0; i < 20000; ++i) lines += "cat\n";
  const std::string with_sub = dir.Write("sub.txt", "hat\n\x1A" + lines);
  std::string out;
  EXPECT_EQ(SearchInHalves(with_sub, "at", out).outcome, SearchOutcome::Listed);
  EXPECT_EQ(out, "hat\n");
}

// Lists that are not mapped (missing, a folder) and endings too short end
// as in the core.
TEST(SearchListTest, WhatCannotBeSearched) {
  testing::TempDir dir;
  std::string out;
  EXPECT_EQ(SearchInHalves(dir.Path("missing.txt").string(), "at", out).outcome,
            SearchOutcome::ListMissing);
  EXPECT_EQ(SearchInHalves(dir.Path(".").string(), "at", out).outcome, SearchOutcome::ListMissing);
  EXPECT_EQ(SearchInHalves(dir.Write("rym.txt", "cat\n"), "t", out).outcome,
            SearchOutcome::EndingTooShort);
  EXPECT_EQ(SearchInHalves(dir.Write("rym.txt", ""), "at", out).outcome, SearchOutcome::Listed);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace versalo
