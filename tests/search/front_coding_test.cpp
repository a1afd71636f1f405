#include "search/front_coding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/search/line_model.h"

namespace versalo {
namespace {

using namespace std::string_literals;

struct Decoded {
  FrontCodingOutcome outcome;
  std::string list;
  bool fed = true;  // every Feed returned true
};

// `coded` fed in pieces of `piece` bytes (all at once for 0), after `before`
// already in the string.
Decoded Decode(std::string_view coded, std::size_t piece = 0, std::string before = "") {
  Decoded decoded{FrontCodingOutcome::kDecoded, std::move(before)};
  FrontDecoder decoder(decoded.list);
  if (piece == 0) piece = coded.size() + 1;
  for (std::size_t at = 0; at < coded.size(); at += piece) {
    decoded.fed = decoder.Feed(coded.substr(at, piece)) && decoded.fed;
  }
  decoded.outcome = decoder.Finish();
  return decoded;
}

// The header with the list's size, as web/front_code.py writes it: "VFC1",
// the flags (bit 1 set), and the size in 8 bytes, least significant first.
std::string Sized(int flags, unsigned long long size) {
  std::string header = "VFC1" + std::string(1, static_cast<char>(flags | 2));
  for (int byte = 0; byte < 8; ++byte) header += static_cast<char>(size >> (8 * byte));
  return header;
}

// The format, byte for byte.
TEST(FrontCoding, DecodesTheFormat) {
  const struct {
    std::string coded, list;
  } cases[] = {
      {"VFC1\0"s, ""},
      {"VFC1\1"s, ""},
      {"VFC1\1\0\n"s, "\n"},
      {"VFC1\0\0a\n"s, "a"},                                // no LF at the end
      {"VFC1\1\0ab\n\2c\n\1\n"s, "ab\nabc\na\n"},           // shares up to the line before's end
      {"VFC1\1\0\xEA\xEE\xF2\r\n\3\xEA\xE8\r\n"s, "\xEA\xEE\xF2\r\n\xEA\xEE\xF2\xEA\xE8\r\n"},
      {"VFC1\0\0a\0b\n\1\x1A\n"s, "a\0b\na\x1A"s},          // NUL and SUB are bytes here
      {Sized(1, 7) + "\0ab\n\2c\n"s, "ab\nabc\n"},  // with its size
      {Sized(0, 6) + "\0ab\n\2c\n"s, "ab\nabc"},
      {Sized(1, 0), ""},
  };
  for (const auto& [coded, list] : cases) {
    for (const std::size_t piece : {0, 1, 2, 3, 7}) {
      const Decoded decoded = Decode(coded, piece);
      EXPECT_EQ(decoded.outcome, FrontCodingOutcome::kDecoded) << coded << " in pieces of " << piece;
      EXPECT_TRUE(decoded.fed);
      EXPECT_EQ(decoded.list, list) << " in pieces of " << piece;
    }
  }
}

// Lists through the encoder's model and back, whole and in pieces of every
// size up to a few more than the sixteen bytes copied at a time: lines
// shorter, as long as and longer than that, lines sharing more than 255
// bytes, and the bytes the line rules name.
TEST(FrontCoding, GivesBackTheBytesItWasMadeFrom) {
  std::vector<std::string> lists = {
      "", "\n", "\n\n", "a", "a\n", "ab\nab\nab", "ab\nabc\nab\n", "b\na\nb\n", "\r\n\r\r\n",
      std::string(300, 'x') + "\n" + std::string(300, 'x') + "y\n" + std::string(299, 'x') + "\n",
      std::string(15, 'a') + "\n" + std::string(16, 'a') + "\n" + std::string(17, 'a') + "\n" +
          std::string(33, 'a') + "b\n" + std::string(32, 'a') + "\n",
  };
  std::mt19937 random(23);
  for (int i = 0; i < 40; ++i) {
    lists.push_back(testing::RandomBytes(random, std::uniform_int_distribution<std::size_t>(0, 600)(random)));
  }
  for (const std::string& list : lists) {
    const std::string coded = testing::ModelFrontCode(list);
    for (std::size_t piece = 0; piece <= 20; ++piece) {
      const Decoded decoded = Decode(coded, piece);
      ASSERT_EQ(decoded.outcome, FrontCodingOutcome::kDecoded) << "in pieces of " << piece;
      ASSERT_EQ(decoded.list, list) << "in pieces of " << piece;
    }
  }
  // What the string held before stays before the list.
  EXPECT_EQ(Decode(testing::ModelFrontCode("ab\nac\n"), 1, "xyz").list, "xyzab\nac\n");
}

TEST(FrontCoding, RefusesWhatIsNotThisFormat) {
  for (const std::string& coded : {"VFC2\1\0a\n"s, "vfc1\1"s, "VFC1\4\0a\n"s, "VFC1\x81\0a\n"s,
                                  "VFC1\1\1a\n"s, "VFC1\1\0ab\n\3c\n"s, "\1\0ab\n"s}) {
    for (const std::size_t piece : {0, 1}) {
      const Decoded decoded = Decode(coded, piece);
      EXPECT_EQ(decoded.outcome, FrontCodingOutcome::kNotFrontCoded) << coded;
      EXPECT_FALSE(decoded.fed) << coded;
    }
  }
  // A list of another size than its header says: found at its end.
  for (const std::string& coded : {Sized(1, 7) + "\0ab\n\2cd\n"s, Sized(1, 7) + "\0ab\n"s,
                                  Sized(1, 1ull << 56) + "\0ab\n"s}) {
    for (const std::size_t piece : {0, 1}) {
      EXPECT_EQ(Decode(coded, piece).outcome, FrontCodingOutcome::kNotFrontCoded) << coded;
    }
  }
  // Once refused, later pieces are ignored, however good.
  std::string list;
  FrontDecoder decoder(list);
  EXPECT_FALSE(decoder.Feed("VFC0"));
  EXPECT_FALSE(decoder.Feed("\1\0ab\n"));
  EXPECT_EQ(decoder.Finish(), FrontCodingOutcome::kNotFrontCoded);
}

// Coded bytes that stop part way: only the whole lines before the cut stand.
TEST(FrontCoding, KeepsOnlyWholeLinesOfBytesCutShort) {
  const struct {
    std::string coded, list;
  } cases[] = {
      {"", ""}, {"VFC", ""}, {"VFC1", ""}, {"VFC1\1\0ab"s, ""}, {Sized(1, 7).substr(0, 8), ""},
      {"VFC1\1\0ab\n\1"s, "ab\n"}, {"VFC1\0\0ab\n\1c"s, "ab\n"},
      {"VFC1\1\0"s + std::string(40, 'q'), ""},
  };
  for (const auto& [coded, list] : cases) {
    for (const std::size_t piece : {0, 1, 5}) {
      const Decoded decoded = Decode(coded, piece);
      EXPECT_EQ(decoded.outcome, FrontCodingOutcome::kCutShort) << coded;
      EXPECT_TRUE(decoded.fed) << coded;
      EXPECT_EQ(decoded.list, list) << coded;
    }
  }
}

}  // namespace
}  // namespace versalo
