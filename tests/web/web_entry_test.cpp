// The core's entry points for the page, called as the worker calls them:
// what the worker hands over, however bad, gives an outcome, never an abort.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "search/cp1251.h"
#include "tests/search/line_model.h"

extern "C" {
void versalo_front_begin();
char* versalo_front_piece(std::size_t size);
int versalo_front_feed(std::size_t size);
int versalo_front_end();
char* versalo_list_buffer(std::size_t size);
int versalo_list_ready(int utf8_list);
void versalo_warm_up();
std::size_t versalo_list_lines();
int versalo_build_index();
int versalo_search(const char* ending, int patterns, int sound, int order, const char* syllables);
int versalo_search_step(std::size_t bytes);
std::size_t versalo_result_count();
const char* versalo_rows(std::size_t first, std::size_t count);
const char* versalo_by_syllables();
int versalo_closest_rhymes(const char* word, int sound, int order, const char* syllables);
}

namespace {

constexpr int kListed = 0, kRunning = 5;

void HoldList(std::string_view bytes) {
  char* at = versalo_list_buffer(bytes.size());
  ASSERT_NE(at, nullptr);
  std::memcpy(at, bytes.data(), bytes.size());
  ASSERT_EQ(versalo_list_ready(0), 0);
}

// A search as the worker runs it, to its end: its status, and its rows.
std::pair<int, std::string> Search(const char* ending, int order, const char* syllables) {
  int status = versalo_search(ending, 1, 0, order, syllables);
  while (status == kRunning) status = versalo_search_step(1 << 20);
  return {status, status == kListed ? versalo_rows(0, 100) : ""};
}

// `coded` fed as the worker feeds a download, in pieces of `piece` bytes:
// true when every piece was taken and the whole made a list.
bool FeedFrontCoded(std::string_view coded, std::size_t piece) {
  versalo_front_begin();
  bool taken = true;
  for (std::size_t at = 0; at < coded.size(); at += piece) {
    const std::string_view bytes = coded.substr(at, piece);
    char* room = versalo_front_piece(bytes.size());
    if (room == nullptr) return false;
    std::memcpy(room, bytes.data(), bytes.size());
    taken = versalo_front_feed(bytes.size()) == 1 && taken;
  }
  return versalo_front_end() == 1 && taken;
}

// The Bulgarian words (Windows-1251) for та, кота, работа, парата, тата.
const std::string kList = "\xF2\xE0\r\n\xEA\xEE\xF2\xE0\r\n\xF0\xE0\xE1\xEE\xF2\xE0\r\n"
                          "\xEF\xE0\xF0\xE0\xF2\xE0\r\n\xF2\xE0\xF2\xE0\r\n";

// Syllable counts or an order that mean nothing, from an address or an
// older page, are the default: every count, file order.
TEST(WebEntry, BadOptionsAreTheDefault) {
  HoldList(kList);
  for (const bool indexed : {false, true}) {
    if (indexed) ASSERT_EQ(versalo_build_index(), 1);
    const auto all = Search("та", 0, "");
    ASSERT_EQ(all.first, kListed);
    EXPECT_EQ(all.second, "та\nкота\nработа\nпарата\nтата\n");
    EXPECT_STREQ(versalo_by_syllables(), "0,1,2,2");
    EXPECT_EQ(Search("та", 0, "2").second, "кота\nтата\n");  // a good count is kept
    for (const char* bad : {"x", "1,", ",", "-", "2-1", " 2", "2 ", "1001", "99999999999999999999",
                            "18446744073709551616", "1,,2", "+2"}) {
      EXPECT_EQ(Search("та", 0, bad), all) << bad << (indexed ? ", indexed" : "");
      EXPECT_EQ(versalo_closest_rhymes("кота", 0, 0, bad), kListed) << bad;
      EXPECT_EQ(versalo_result_count(), 4u) << bad;
    }
    for (const int order : {-1, 3, 1 << 30}) {
      EXPECT_EQ(Search("та", order, ""), all) << order;
    }
  }
}

// The Bulgarian list as the worker feeds it: front coded, in pieces.
TEST(WebEntry, TakesAFrontCodedListInPieces) {
  HoldList("before\n");
  const std::string coded = versalo::testing::ModelFrontCode(kList);
  for (const std::size_t piece : {1, 3, 64}) {
    ASSERT_TRUE(FeedFrontCoded(coded, piece));
    ASSERT_EQ(versalo_list_ready(0), 0);
    EXPECT_EQ(versalo_list_lines(), 5u);
    EXPECT_EQ(Search("та", 0, "").second, "та\nкота\nработа\nпарата\nтата\n");
  }
}

// The site's own list, as the build's encoder wrote it, fed as the worker
// feeds it: exactly the list it was made from, every line held.
TEST(WebEntry, TakesTheSitesList) {
  const auto read = [](const char* path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  const std::string coded = read(VERSALO_WEB_CODED), list = read(VERSALO_WEB_LIST);
  ASSERT_GT(list.size(), 1000000u);
  ASSERT_TRUE(FeedFrontCoded(coded, 65536));
  ASSERT_EQ(versalo_list_ready(0), 0);
  EXPECT_EQ(versalo_list_lines(), versalo::testing::ModelLines(list).size());
  // The matches of a few endings, as the model finds them in the original.
  for (const char* ending : {"та", "ище", "ане", "ия"}) {
    std::string cp1251;
    ASSERT_TRUE(versalo::Utf8ToCp1251(ending, cp1251));
    std::string model;
    for (const std::string& line : versalo::testing::ModelMatches(list, cp1251)) {
      versalo::AppendCp1251AsUtf8(line, model);
      model += '\n';
    }
    ASSERT_GT(model.size(), 0u) << ending;
    int status = versalo_search(ending, 0, 0, 0, "");
    while (status == kRunning) status = versalo_search_step(1 << 20);
    ASSERT_EQ(status, kListed);
    EXPECT_TRUE(versalo_rows(0, versalo_result_count()) == model) << ending;
  }
}

// Readying the core's code on a list of its own leaves the list held and
// the results listed as they were.
TEST(WebEntry, WarmingUpLeavesTheListAndItsResults) {
  HoldList(kList);
  const auto [status, rows] = Search("та", 0, "");
  ASSERT_EQ(status, kListed);
  versalo_warm_up();
  EXPECT_EQ(versalo_list_lines(), 5u);
  EXPECT_EQ(versalo_result_count(), 5u);
  EXPECT_EQ(versalo_rows(0, 100), rows);
  EXPECT_EQ(Search("ата", 0, "").second, "парата\nтата\n");
}

// Bytes that are no front-coded list, or stop part way, are refused, and
// the list before stays.
TEST(WebEntry, RefusesABadFrontCodedList) {
  HoldList("one\ntwo\n");
  const std::string coded = versalo::testing::ModelFrontCode(kList);
  for (const std::string& bad : {std::string("VFC9\1\0a\n"), coded.substr(0, coded.size() - 1),
                                 std::string()}) {
    for (const std::size_t piece : {1, 64}) {
      EXPECT_FALSE(FeedFrontCoded(bad, piece));
      EXPECT_EQ(versalo_list_lines(), 2u);
    }
  }
  // A feed without a decoding begun, or of more than the room given.
  EXPECT_EQ(versalo_front_feed(1), 0);
  versalo_front_begin();
  versalo_front_piece(4);
  EXPECT_EQ(versalo_front_feed(5), 0);
  EXPECT_EQ(versalo_front_end(), 0);
}

}  // namespace
