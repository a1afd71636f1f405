#include "finder/search_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "finder/closest_rhymes.h"
#include "finder/held_search.h"
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

// Output that calls `on_write` before each write, and fails the write when
// it returns false.
class HookedOutput : public Output {
 public:
  explicit HookedOutput(std::function<bool()> on_write) : on_write_(std::move(on_write)) {}
  bool Write(std::string_view bytes) override {
    ++writes;
    if (!on_write_()) return false;
    text.append(bytes);
    return true;
  }
  std::string text;
  int writes = 0;

 private:
  std::function<bool()> on_write_;
};

// What versalo-find writes for `ending`: each model match as a line.
std::string ModelOutput(std::string_view bytes, std::string_view ending) {
  std::string text;
  for (const std::string& line : testing::ModelMatches(bytes, ending)) text += line + '\n';
  return text;
}

// Searches `path` in chunks of `chunk_size` bytes (by default two halves)
// wherever it has line breaks to split at, as versalo-find searches a
// large list.
FinderResult SearchInHalves(const std::string& path, std::string_view ending, std::string& out,
                            std::size_t block_size = 256 * 1024,
                            std::size_t chunk_size = SIZE_MAX) {
  StringOutput output;
  FinderOptions options;
  options.path = path.c_str();
  options.block_size = block_size;
  options.split_from = 0;
  options.chunk_size = chunk_size;
  const FinderResult result = SearchList(ending, output, options);
  out = output.text;
  return result;
}

// Calls `check` on `rounds` random lists of up to `max_size` bytes, each
// also written to the file at `path`, with the generator that made them.
void ForRandomLists(unsigned seed, std::size_t max_size,
                    const std::function<void(const std::string& bytes, const std::string& path,
                                             std::mt19937& random)>& check,
                    int rounds = 200) {
  testing::TempDir dir;
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> size(0, max_size);
  for (int round = 0; round < rounds; ++round) {
    const std::string bytes = testing::RandomBytes(random, size(random));
    check(bytes, dir.Write("rym.txt", bytes), random);
  }
}

// Random lists searched in two halves, or in chunks of any size, list what
// the model lists, in order: a SUB in a chunk ends the list there, and
// lines that cross a chunk's nominal start are whole.
TEST(SearchListTest, HalvesAgreeWithTheModel) {
  std::uniform_int_distribution<std::size_t> block(1, 700), chunk(1, 1500);
  int round = 0;
  ForRandomLists(11, 5000, [&](const std::string& bytes, const std::string& path, std::mt19937& random) {
    const bool chunked = round++ % 2 != 0;
    for (const char* ending : {"ab", "a\r", "\xE0\xFF"}) {
      std::string out;
      const FinderResult result =
          SearchInHalves(path, ending, out, block(random), chunked ? chunk(random) : SIZE_MAX);
      ASSERT_EQ(result.outcome, SearchOutcome::Listed);
      ASSERT_EQ(out, ModelOutput(bytes, ending)) << ::testing::PrintToString(bytes);
    }
  }, 400);
}

// Far more matches in the second half than may wait for the first: the
// second half waits too, and nothing is lost or out of order; so too in
// chunks, each waiting for those before it.
TEST(SearchListTest, SecondHalfWaitsForTheFirst) {
  testing::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 400000; ++i) bytes += std::to_string(i) + (i % 2 ? "ta\r\n" : "ta\n");
  const std::string path = dir.Write("rym.txt", bytes);
  for (const std::size_t chunk : {std::size_t{SIZE_MAX}, std::size_t{100000}}) {
    std::string out;
    EXPECT_EQ(SearchInHalves(path, "ta", out, 256 * 1024, chunk).outcome, SearchOutcome::Listed);
    EXPECT_TRUE(out == ModelOutput(bytes, "ta")) << out.size() << " bytes listed, chunk " << chunk;
  }
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

// rym.txt as a FIFO: opened once, read to its end, every time. Opening it
// twice would lose what the writer sent to the first opening, and wait for
// ever on the second.
TEST(SearchListTest, FifoIsReadOnceAndWhole) {
  testing::TempDir dir;
  const std::string path = dir.Path("rym.txt").string();
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string bytes;
  for (int i = 0; i < 30000; ++i) bytes += std::to_string(i) + (i % 3 ? "ab\n" : "ab\r\n");
  for (int round = 0; round < 40; ++round) {
    std::thread writer([&] {
      std::FILE* fifo = std::fopen(path.c_str(), "wb");
      ASSERT_NE(fifo, nullptr);
      std::fwrite(bytes.data(), 1, bytes.size(), fifo);
      std::fclose(fifo);
    });
    StringOutput out;
    FinderOptions options;
    options.path = path.c_str();
    options.block_size = round % 2 ? 4096 : 128 * 1024;
    const FinderResult result = SearchList("ab", out, options);
    writer.join();
    ASSERT_EQ(result.outcome, SearchOutcome::Listed) << "round " << round;
    ASSERT_TRUE(out.text == ModelOutput(bytes, "ab")) << "round " << round;
  }
}

// The list shrinks while a write waits, with lines longer than the output's
// writes: what is listed is whole lines of the list, in order, and the
// search ends as a read error. Searched whole and in halves, in bytes and
// in UTF-8.
TEST(SearchListTest, ShrinkWhileAWriteWaitsListsWholeLines) {
  testing::TempDir dir;
  const std::string line = std::string(69997, '\xF2') + "ab";
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes += line + "\n";
  for (const std::size_t split_from : {std::size_t{1} << 40, std::size_t{0}}) {
    for (const bool utf8 : {false, true}) {
      const std::string path = dir.Write("rym.txt", bytes);
      HookedOutput out([&] { return truncate(path.c_str(), 0) == 0; });
      FinderOptions options;
      options.path = path.c_str();
      options.split_from = split_from;
      options.utf8 = utf8;
      const FinderResult result = SearchList("ab", out, options);
      EXPECT_EQ(result.outcome, SearchOutcome::ListCutShort);
      EXPECT_FALSE(result.write_failed);
      ASSERT_GT(out.text.size(), 0u);
      // Every line listed is the list's line, whole.
      std::string whole;
      for (int i = 0; i < 69997; ++i) whole += utf8 ? "\xD1\x82" : "\xF2";  // т
      whole += "ab";
      std::size_t lines = 0;
      for (std::size_t at = 0; at < out.text.size(); ++lines) {
        const std::size_t lf = out.text.find('\n', at);
        ASSERT_NE(lf, std::string::npos) << "a line without its end";
        ASSERT_TRUE(std::string_view(out.text).substr(at, lf - at) == whole)
            << "line " << lines << ", halves " << (split_from == 0) << ", utf8 " << utf8;
        at = lf + 1;
      }
      EXPECT_LT(lines, 300u);
    }
  }
}

// The first write that fails ends the search: nothing more is written, and
// the list is read no further. The list is a FIFO whose writer would go on
// for 512 MiB; it finds its reader gone long before.
TEST(SearchListTest, FailedWriteEndsTheSearch) {
  std::signal(SIGPIPE, SIG_IGN);
  testing::TempDir dir;
  const std::string path = dir.Path("rym.txt").string();
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string chunk;
  for (int i = 0; i < 16384; ++i) chunk += "xab\n";
  std::size_t sent = 0;
  std::thread writer([&] {
    std::FILE* fifo = std::fopen(path.c_str(), "wb");
    ASSERT_NE(fifo, nullptr);
    while (sent < (std::size_t{512} << 20) &&
           std::fwrite(chunk.data(), 1, chunk.size(), fifo) == chunk.size()) {
      sent += chunk.size();
    }
    std::fclose(fifo);
  });
  HookedOutput out([] { return false; });
  FinderOptions options;
  options.path = path.c_str();
  const FinderResult result = SearchList("ab", out, options);
  writer.join();
  EXPECT_TRUE(result.write_failed);
  EXPECT_EQ(out.writes, 1);
  EXPECT_LT(sent, std::size_t{16} << 20);

  // A mapped list, whole and in halves: one write, then nothing.
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "xab\n";
  const std::string mapped = dir.Write("mapped.txt", lines);
  for (const std::size_t split_from : {std::size_t{1} << 40, std::size_t{0}}) {
    HookedOutput failing([] { return false; });
    options.path = mapped.c_str();
    options.split_from = split_from;
    EXPECT_TRUE(SearchList("ab", failing, options).write_failed);
    EXPECT_EQ(failing.writes, 1) << "halves " << (split_from == 0);
  }
}

// What versalo-find should write for `lines` of `list`: a line each, or
// their count.
std::string Written(const LineList& list, const std::vector<LineNumber>& lines, bool count_only) {
  if (count_only) return std::to_string(lines.size()) + '\n';
  std::string text;
  for (const LineNumber line : lines) text += std::string(list.line(line)) + '\n';
  return text;
}

// The closest rhymes on the list held whole (the core's tests hold that
// against the rules), as versalo-find should write them.
std::string HeldOutput(const std::string& bytes, const RhymeQuery& query, bool count_only) {
  const LineList list(bytes);
  return Written(list, FindClosestRhymes(list, nullptr, query).rhymes.lines, count_only);
}

// Gives `query` a random order and, now and then, syllable counts to keep;
// the finder's options read the list at `path` in blocks of a random size,
// whole or in chunks of a random size, as a large list is read.
FinderOptions RandomlyAsked(std::mt19937& random, const std::string& path, RhymeQuery& query) {
  query.order = static_cast<ResultOrder>(random() % 3);
  if (random() % 3 == 0) query.syllables = {random() % 2};
  FinderOptions options;
  options.path = path.c_str();
  options.block_size = 1 + random() % 500;
  options.split_from = random() % 2 == 0 ? 0 : SIZE_MAX;
  options.chunk_size = 1 + random() % 1500;
  return options;
}

// The options' search of random lists, read where they lie in blocks of any
// size, whole or in chunks as the plain search reads a large list (each
// chunk's matches held apart and joined, in every order): the lines that
// the list held whole gives, in the same order, with each order, syllable
// counts kept, rhymes by sound, patterns and -c.
TEST(HeldSearchTest, ReadInPlaceAgreesWithTheHeldList) {
  ForRandomLists(17, 3000, [&](const std::string& bytes, const std::string& path, std::mt19937& random) {
    const LineList list(bytes);
    for (const char* ending : {"ab", "a\r", "?b", "\xE4\xF2", "\xE0\xF2"}) {
      RhymeQuery query;
      query.ending = ending;
      query.patterns = random() % 2 == 0;
      query.sound = random() % 2 == 0;
      const FinderOptions options = RandomlyAsked(random, path, query);
      const bool count_only = random() % 4 == 0;
      StringOutput out;
      const FinderResult result = SearchHeld(query, count_only, out, options);
      ASSERT_EQ(result.outcome, SearchOutcome::Listed);
      ASSERT_EQ(out.text, Written(list, FindRhymes(list, nullptr, query).lines, count_only))
          << ::testing::PrintToString(bytes) << " ending " << ::testing::PrintToString(query.ending);
    }
  });
}

// Enough matches for versalo-find to share their sort with a second
// thread, read whole and in chunks: the lines in the order the list held
// whole gives.
TEST(HeldSearchTest, ManyMatchesInReverseOrder) {
  std::mt19937 random(23);
  std::string bytes;
  for (std::size_t i = 0; i < kSharedSortFrom + 1000; ++i) {
    for (std::size_t n = random() % 12; n > 0; --n) bytes += static_cast<char>("\xE0\xE5\xE8\xED\xF0\xF2"[random() % 6]);
    bytes += i % 5 == 0 ? "\xE0\xE1\r\n" : "\xE0\xE1\n";
  }
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", bytes);
  const LineList list(bytes);
  RhymeQuery query;
  query.ending = "\xE0\xE1";
  query.order = ResultOrder::kReverse;
  for (const std::size_t split_from : {SIZE_MAX, std::size_t{0}}) {
    FinderOptions options;
    options.path = path.c_str();
    options.split_from = split_from;
    options.chunk_size = 64 * 1024;
    StringOutput out;
    ASSERT_EQ(SearchHeld(query, false, out, options).outcome, SearchOutcome::Listed);
    // Where they first differ, rather than both whole.
    const std::string expected = Written(list, FindRhymes(list, nullptr, query).lines, false);
    const auto differ = std::mismatch(out.text.begin(), out.text.end(), expected.begin(), expected.end());
    EXPECT_TRUE(out.text == expected) << "split_from " << split_from << ": from byte "
                                      << differ.first - out.text.begin() << " of " << out.text.size();
  }
}

// Random lists read where they lie, in blocks of any size, whole or in
// chunks: the same lines in the same order as on the list held whole, with
// each order, syllable counts and -c; CR LF lines, a CR at a line's end,
// NUL and SUB among them.
TEST(ClosestRhymesFinderTest, ReadInPlaceAgreesWithTheHeldList) {
  ForRandomLists(5, 3000, [&](const std::string& bytes, const std::string& path, std::mt19937& random) {
    const std::vector<std::string> lines = testing::ModelLines(bytes);
    for (int q = 0; q < 4; ++q) {
      RhymeQuery query;
      query.ending = q == 0 ? "ab" : q == 1 ? "a\r" : "\xE0" "ab";
      if (q == 3 && !lines.empty()) query.ending = lines[random() % lines.size()];
      if (query.ending.size() < 2) continue;
      const FinderOptions options = RandomlyAsked(random, path, query);
      const bool count_only = random() % 4 == 0;
      StringOutput out;
      const FinderResult result = SearchClosestRhymes(query, count_only, out, options);
      ASSERT_EQ(result.outcome, SearchOutcome::Listed);
      ASSERT_EQ(out.text, HeldOutput(bytes, query, count_only))
          << ::testing::PrintToString(bytes) << " word " << ::testing::PrintToString(query.ending);
    }
  });
}

}  // namespace
}  // namespace versalo
