#include "search/rhymes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "search/block_scan.h"
#include "search/cp1251.h"
#include "search/line_list.h"
#include "tests/search/line_model.h"
#include "tests/support/temp_dir.h"

namespace versalo {
namespace {

// Windows-1251 bytes of UTF-8 text written in the tests.
std::string Cp(std::string_view utf8) {
  std::string out;
  EXPECT_TRUE(Utf8ToCp1251(utf8, out)) << utf8;
  return out;
}

std::string Utf8(std::string_view cp1251) {
  std::string out;
  AppendCp1251AsUtf8(cp1251, out);
  return out;
}

RhymeQuery QueryFor(std::string ending, bool patterns = false, bool sound = false) {
  RhymeQuery query;
  query.ending = std::move(ending);
  query.patterns = patterns;
  query.sound = sound;
  return query;
}

// A list from lines written in UTF-8, one per LF.
LineList ListOf(std::string_view utf8_lines) { return LineList(Cp(utf8_lines)); }

std::vector<std::string> Texts(const LineList& list, const std::vector<LineNumber>& lines) {
  std::vector<std::string> texts;
  for (const LineNumber line : lines) texts.push_back(Utf8(list.line(line)));
  return texts;
}

// The rules again, as plainly as they can be written, from the letters'
// own spelling.
struct Model {
  static bool Vowel(unsigned char c) {
    static const std::string vowels = Cp("аеиоуъюяАЕИОУЪЮЯ");
    return vowels.find(static_cast<char>(c)) != std::string::npos;
  }
  static char Pair(char c) {
    static const std::string voiced = Cp("бвгджзБВГДЖЗ");
    static const std::string voiceless = Cp("пфктшсПФКТШС");
    if (const auto at = voiced.find(c); at != std::string::npos) return voiceless[at];
    if (const auto at = voiceless.find(c); at != std::string::npos) return voiced[at];
    return 0;
  }
  static std::size_t Syllables(std::string_view line) {
    return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
      return Vowel(static_cast<unsigned char>(c));
    }));
  }
  static bool Matches(std::string_view line, const RhymeQuery& query) {
    const std::string& e = query.ending;
    if (line.size() < e.size()) return false;
    const std::string_view tail = line.substr(line.size() - e.size());
    std::size_t run = e.size();  // where the final run of obstruents starts
    while (query.sound && run > 0 && Pair(e[run - 1]) != 0) --run;
    for (std::size_t i = 0; i < e.size(); ++i) {
      const bool same = tail[i] == e[i] || (query.patterns && e[i] == '?') ||
                        (i >= run && tail[i] == Pair(e[i]));
      if (!same) return false;
    }
    return true;
  }
  static std::vector<LineNumber> Find(const std::vector<std::string>& lines,
                                      const RhymeQuery& query) {
    std::vector<LineNumber> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const bool kept = query.syllables.empty() ||
                        std::count(query.syllables.begin(), query.syllables.end(),
                                   Syllables(lines[i])) > 0;
      if (Matches(lines[i], query) && kept) found.push_back(static_cast<LineNumber>(i));
    }
    const auto reversed = [&](LineNumber i) { return std::string(lines[i].rbegin(), lines[i].rend()); };
    if (query.order == ResultOrder::kReverse) {
      std::stable_sort(found.begin(), found.end(),
                       [&](LineNumber a, LineNumber b) { return reversed(a) < reversed(b); });
    } else if (query.order == ResultOrder::kSyllables) {
      std::stable_sort(found.begin(), found.end(), [&](LineNumber a, LineNumber b) {
        return Syllables(lines[a]) < Syllables(lines[b]);
      });
    }
    return found;
  }
};

// Syllable counts as versalo-find's --syllables and the page take them.
TEST(SyllableCounts, ReadCountsAndRangesAndNothingElse) {
  const struct {
    const char* text;
    std::vector<std::size_t> counts;
  } good[] = {
      {"2", {2}}, {"0", {0}}, {"1000", {1000}}, {"1,3-4", {1, 3, 4}}, {"3-3", {3}},
      {"4,2", {4, 2}}, {"002", {2}}, {"998-1000", {998, 999, 1000}},
  };
  for (const auto& [text, counts] : good) {
    std::vector<std::size_t> read = {7};
    EXPECT_TRUE(ParseSyllableCounts(text, read)) << text;
    std::vector<std::size_t> expected = {7};
    expected.insert(expected.end(), counts.begin(), counts.end());
    EXPECT_EQ(read, expected) << text;
  }
  for (const char* text : {"", ",", "1,", ",1", "1,,2", "a", "1a", "-1", "+1", " 1", "1 ", "1-",
                           "-", "4-3", "1-2-3", "1001", "0-1001", "99999999999999999999",
                           "18446744073709551617", "1.5", "２"}) {
    std::vector<std::size_t> read = {7};
    EXPECT_FALSE(ParseSyllableCounts(text, read)) << text;
    EXPECT_EQ(read, std::vector<std::size_t>{7}) << text;
  }
}

// Lists with every line rule at work, and lists of LF breaks alone (taken
// as they stand, their LFs found 16 bytes at a time and in batches: many
// lines, LFs together and apart), in each pass.
TEST(LineListTest, HoldsTheReadersLines) {
  const std::vector<std::string> cases = {
      "", "\n", "a", "a\n", "a\r\nb\r", "a\r\r\nb", "\r", "a\0b\nc", "a\nb\x1A" "c\nd",
      "\x1A", "ab\n\ncd\n", "x\0\r\ny\0", "\n\n\n", std::string(17, '\n') + "a", std::string(600, '\n'),
  };
  std::mt19937 random(7);
  std::vector<std::string> all(cases);
  for (int i = 0; i < 300; ++i) all.push_back(testing::RandomBytes(random, random() % 200));
  for (int i = 0; i < 100; ++i) {
    std::string bytes = testing::RandomBytes(random, random() % 3000);
    std::erase_if(bytes, [](char c) { return c == '\r' || c == '\0' || c == '\x1A'; });
    all.push_back(bytes);
  }
  testing::ForEachScanPath([&](ScanPath path) {
    SCOPED_TRACE(ScanPathName(path));
    for (const std::string& bytes : all) {
      const std::vector<std::string> expected = testing::ModelLines(bytes);
      // Dense, sparse (one offset every few lines) from the first line on,
      // and kept a line at a time.
      LineList added;
      for (const std::string& line : expected) added.Add(line);
      for (const std::size_t dense_up_to : {SIZE_MAX, std::size_t{0}, std::size_t{1}}) {
        const LineList read(dense_up_to == 1 ? std::string() : bytes, dense_up_to);
        const LineList& list = dense_up_to == 1 ? added : read;
        ASSERT_EQ(list.size(), expected.size()) << ::testing::PrintToString(bytes);
        std::size_t at = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
          EXPECT_EQ(list.line(i), expected[i]);
          EXPECT_EQ(list.LineFrom(at), expected[i]);
          EXPECT_EQ(list.NumberAt(at), i);
          EXPECT_EQ(list.NumberAt(at, i / 2), i);
          at += expected[i].size() + 1;
        }
      }
    }
  });
}

TEST(RhymesTest, SyllablesAreVowelLetters) {
  const std::vector<std::pair<std::string, std::size_t>> cases = {
      {"мама", 2}, {"стрък", 1}, {"ЮЛИЯ", 3}, {"ъгъл", 2}, {"бр", 0}, {"бяла роза", 4},
      {"Ева", 2}, {"аеиоуъюя", 8}, {"ЭЁЫэёы", 0},  // not Bulgarian vowels
  };
  for (const auto& [word, syllables] : cases) EXPECT_EQ(SyllableCount(Cp(word)), syllables) << word;
}

struct QueryCase {
  const char* name;
  const char* ending;
  bool patterns, sound;
  std::vector<std::string> found;  // in file order
};

TEST(RhymesTest, EndingsPatternsAndSound) {
  const LineList list = ListOf(
      "град\nбрат\nбрак\nгрозд\nпрост\nгрост\nпроздт\nГРАД\nБРАТ\nдина\nдена\nдъна\nдна\n"
      "кой?\nдат\nдад\nтат\nпад\nпаз\nпас\nза\nжаб\nжап\n");
  const std::vector<QueryCase> cases = {
      {"plain", "ад", false, false, {"град", "дад", "пад"}},
      {"sound: the last letter's pair", "ад", false, true, {"град", "брат", "дат", "дад", "тат", "пад"}},
      {"sound: the whole final run", "зд", false, true, {"грозд", "прост", "грост"}},
      {"sound: the run only", "дат", false, true, {"дат", "дад"}},
      {"sound: upper case pairs", "АД", false, true, {"ГРАД", "БРАТ"}},
      {"sound: no run after a vowel", "за", false, true, {"за"}},
      {"sound: з/с", "аз", false, true, {"паз", "пас"}},
      {"sound: б/п", "аб", false, true, {"жаб", "жап"}},
      {"pattern", "д?на", true, false, {"дина", "дена", "дъна"}},
      {"pattern: every line of two bytes or more", "??", true, false, {}},  // filled below
      {"? is a byte without patterns", "й?", false, false, {"кой?"}},
      {"? without patterns is not a letter", "д?на", false, false, {}},
      {"pattern and sound", "?д", true, true,
       {"град", "брат", "грозд", "прост", "грост", "проздт", "дат", "дад", "тат", "пад"}},
  };
  for (QueryCase c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.ending) == "??") {
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (list.line(i).size() >= 2) c.found.push_back(Utf8(list.line(i)));
      }
    }
    const RhymeQuery query = QueryFor(Cp(c.ending), c.patterns, c.sound);
    const ReverseIndex index(list);
    for (const ReverseIndex* used : {static_cast<const ReverseIndex*>(nullptr), &index}) {
      const RhymeResult result = FindRhymes(list, used, query);
      EXPECT_EQ(result.outcome, SearchOutcome::Listed);
      EXPECT_EQ(Texts(list, result.lines), c.found) << (used ? "index" : "scan");
    }
  }
}

TEST(RhymesTest, OrdersAndSyllables) {
  const LineList list = ListOf("ната\nрата\nата\nзаплата\nта\nната\nбата\nкарта\n");
  const ReverseIndex index(list);
  struct Case {
    ResultOrder order;
    std::vector<std::size_t> kept;
    std::vector<std::string> found;
  };
  const std::vector<Case> cases = {
      {ResultOrder::kFile, {}, {"ната", "рата", "ата", "заплата", "та", "ната", "бата", "карта"}},
      // Read from the end: "та" is the end of all the others, "ата" of the
      // next five (б < л < н < р); equal lines keep file order.
      {ResultOrder::kReverse, {}, {"та", "ата", "бата", "заплата", "ната", "ната", "рата", "карта"}},
      {ResultOrder::kSyllables, {}, {"та", "ната", "рата", "ата", "ната", "бата", "карта", "заплата"}},
      {ResultOrder::kFile, {1, 3}, {"заплата", "та"}},
      {ResultOrder::kReverse, {2}, {"ата", "бата", "ната", "ната", "рата", "карта"}},
      {ResultOrder::kFile, {7}, {}},
  };
  const std::vector<std::size_t> counts = {0, 1, 6, 1};
  for (const Case& c : cases) {
    RhymeQuery query = QueryFor(Cp("та"));
    query.order = c.order;
    query.syllables = c.kept;
    for (const ReverseIndex* used : {static_cast<const ReverseIndex*>(nullptr), &index}) {
      const RhymeResult result = FindRhymes(list, used, query);
      EXPECT_EQ(Texts(list, result.lines), c.found) << static_cast<int>(c.order);
      // Counted before any are left out.
      EXPECT_EQ(result.by_syllables, counts);
    }
    // The matches held apart and ordered: the same lines, and without the
    // counts asked for, no counts.
    LineList held;
    for (const LineNumber line : FindRhymes(list, nullptr, QueryFor(Cp("та"))).lines) held.Add(list.line(line));
    for (const bool by_syllables : {true, false}) {
      const RhymeResult result = OrderHeld(held, query, by_syllables);
      EXPECT_EQ(Texts(held, result.lines), c.found) << static_cast<int>(c.order) << " " << by_syllables;
      EXPECT_EQ(result.by_syllables, by_syllables ? counts : std::vector<std::size_t>());
    }
  }
}

// Reverse order among lines that share more than eight bytes, and more than
// the twelve that a line is first sorted by: the same on the list held, through its index, by a scan of it
// held sparse, and read in turn from a file with only the matches held.
TEST(RhymesTest, ReverseOrderOfLongSharedEndings) {
  const std::string bytes = Cp(
      "бнедоразгледаната\nразгледаната\nогледаната\nаната\nанедоразгледаната\n"
      "гледаната\nразгледаната\nпрегледаната\nнедоразгледаната\nкарта\n");
  const LineList list(bytes), sparse(bytes, 0);
  const ReverseIndex index(list);
  testing::TempDir dir;
  const std::string file = dir.Write("rym.txt", bytes);
  // Read from the end: "аната" ends the rest; before "гледаната" е < з < о;
  // before "разгледаната" a line's start, then "о"; equal lines in file order.
  const std::vector<std::string> ending_in_nata = {
      "аната", "гледаната", "прегледаната", "разгледаната", "разгледаната",
      "недоразгледаната", "анедоразгледаната", "бнедоразгледаната", "огледаната"};
  for (const char* ending : {"ната", "та", "?та"}) {
    RhymeQuery query = QueryFor(Cp(ending), true);
    query.order = ResultOrder::kReverse;
    SCOPED_TRACE(ending);
    std::vector<std::string> expected = ending_in_nata;
    if (std::string_view(ending) != "ната") expected.push_back("карта");  // р after н
    EXPECT_EQ(Texts(list, FindRhymes(list, nullptr, query).lines), expected);
    EXPECT_EQ(Texts(list, FindRhymes(list, &index, query).lines), expected);
    EXPECT_EQ(Texts(sparse, FindRhymes(sparse, nullptr, query).lines), expected);
    LineList held;
    EXPECT_EQ(Texts(held, FindRhymes(WordListOptions{file.c_str(), 7}, query, held).lines), expected);
  }
}

// Lines shorter than the bytes they are first sorted by, among lines with
// bytes below LF where the shorter ones have none: a line that is the end
// of another comes before it, whatever lies before it in the list.
TEST(RhymesTest, ReverseOrderOfShortLines) {
  struct Case {
    std::string bytes;
    std::vector<std::string> found;
  };
  const std::vector<Case> cases = {
      {"\x01та\nта\n\tта\nата\n", {"та", "\x01та", "\tта", "ата"}},
      {"та\n\x01та\n", {"та", "\x01та"}},
      {"\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01та\n\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01та\n",
       {"\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01та", "\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01та"}},
  };
  for (const Case& c : cases) {
    const LineList list(Cp(c.bytes));
    const ReverseIndex index(list);
    RhymeQuery query = QueryFor(Cp("та"));
    query.order = ResultOrder::kReverse;
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(Texts(list, FindRhymes(list, nullptr, query).lines), c.found);
    EXPECT_EQ(Texts(list, FindRhymes(list, &index, query).lines), c.found);
  }
}

// Many matches held, in reverse order, the sort shared between two
// threads: the order read from the end, wherever the first byte that tells
// the lines apart lies, and however the lines fall into its buckets (more
// than half of them in the first; all of them the same line).
TEST(RhymesTest, ReverseOrderSortedOnTwoThreads) {
  const std::string letters = Cp("абвгдежзийклмнопрстуфхцчшщъьюя");
  const auto letter = [&letters](std::mt19937& random) { return letters[random() % letters.size()]; };
  const auto any = [&](std::mt19937& random, std::size_t most) {
    std::string text(random() % (most + 1), ' ');
    for (char& c : text) c = letter(random);
    return text;
  };
  struct Case {
    const char* name;
    std::function<std::string(std::mt19937&)> line;  // one line, before "та"
    bool shared;  // the keys differ, so the two threads share the sort
  };
  const std::vector<Case> cases = {
      {"any letters", [&](std::mt19937& random) { return any(random, 20); }, true},
      {"а or я before та, then any", [&](std::mt19937& random) { return any(random, 15) + (random() % 2 ? Cp("а") : Cp("я")); },
       true},
      {"most lines та alone", [&](std::mt19937& random) { return random() % 5 < 3 ? std::string() : any(random, 8); }, true},
      {"twenty bytes shared, then any",
       [&](std::mt19937& random) { return any(random, 3) + Cp("недоразгледаната") + Cp("ната"); }, false},
      {"all the same", [](std::mt19937&) { return Cp("запла"); }, false},
  };
  std::mt19937 random(17);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines;
    LineList held;
    for (std::size_t i = 0; i < kSharedSortFrom + 1000; ++i) {
      lines.push_back(c.line(random) + Cp("та"));
      held.Add(lines.back());
    }
    // Read from the end, equal lines in file order.
    std::vector<LineNumber> expected(lines.size());
    std::iota(expected.begin(), expected.end(), LineNumber{0});
    std::stable_sort(expected.begin(), expected.end(), [&lines](LineNumber a, LineNumber b) {
      return std::lexicographical_compare(lines[a].rbegin(), lines[a].rend(), lines[b].rbegin(), lines[b].rend(),
                                          [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    });
    RhymeQuery query = QueryFor(Cp("та"));
    query.order = ResultOrder::kReverse;
    bool shared = false;
    const BothRunner both = [&shared](const std::function<void()>& one, const std::function<void()>& other) {
      shared = true;
#ifdef __EMSCRIPTEN__
      one();  // WebAssembly here has no threads: in turn
      other();
#else
      std::thread thread(one);
      other();
      thread.join();
#endif
    };
    EXPECT_TRUE(OrderHeld(held, query, false, both).lines == expected);
    EXPECT_EQ(shared, c.shared);
  }
}

TEST(RhymesTest, TooShortAndImpossibleEndings) {
  const LineList list = ListOf("аа\nба\n");
  const ReverseIndex index(list);
  for (const ReverseIndex* used : {static_cast<const ReverseIndex*>(nullptr), &index}) {
    EXPECT_EQ(FindRhymes(list, used, QueryFor(Cp("а"))).outcome, SearchOutcome::EndingTooShort);
    EXPECT_EQ(FindRhymes(list, used, QueryFor("")).outcome, SearchOutcome::EndingTooShort);
    // No line's text holds an LF or a NUL.
    const std::string a = Cp("а");
    for (const std::string& ending : {a + '\n', a + '\0', '\n' + a}) {
      const RhymeResult result = FindRhymes(list, used, QueryFor(ending));
      EXPECT_EQ(result.outcome, SearchOutcome::Listed);
      EXPECT_TRUE(result.lines.empty());
    }
  }
}

TEST(RhymesTest, WordEndingsAndTheirCounts) {
  const LineList list = ListOf("сладко\nгладко\nкратко\nко\nдалеко\nо\nглад\n");
  const ReverseIndex index(list);
  const std::vector<std::pair<std::string, std::size_t>> expected = {
      {"ко", 5}, {"дко", 2}, {"адко", 2}, {"ладко", 2}, {"гладко", 1}};
  for (const ReverseIndex* used : {static_cast<const ReverseIndex*>(nullptr), &index}) {
    std::vector<std::pair<std::string, std::size_t>> got;
    for (const EndingCount& e : CountWordEndings(list, used, Cp("гладко"))) got.push_back({Utf8(e.ending), e.count});
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(CountWordEndings(list, used, Cp("о")).empty());
  }
}

// Bytes for random lists: letters the rules name, '?', and the bytes the
// line rules name.
std::string RandomList(std::mt19937& random, std::size_t size) {
  // Written with its length: the NUL would otherwise end it.
  static const std::string alphabet = Cp("адтзсаеобп?ДТъ") + std::string("\r\n\n\n\0a", 6);
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += alphabet[random() % alphabet.size()];
  if (random() % 8 == 0) bytes.insert(random() % (bytes.size() + 1), "\x1A");
  return bytes;
}

RhymeQuery RandomQuery(std::mt19937& random, const LineList& list) {
  static const std::string letters = Cp("адтзсоп?Д");
  RhymeQuery query;
  // Half the endings are the end of a line of the list, so that most find something.
  if (list.size() > 0 && random() % 2 == 0) {
    const std::string_view line = list.line(random() % list.size());
    query.ending = std::string(line.substr(line.size() - std::min<std::size_t>(line.size(), 2 + random() % 3)));
  }
  while (query.ending.size() < 2 + random() % 3) query.ending += letters[random() % letters.size()];
  if (random() % 4 == 0) query.ending[random() % query.ending.size()] = '?';
  query.patterns = random() % 2;
  query.sound = random() % 2;
  query.order = static_cast<ResultOrder>(random() % 3);
  if (random() % 3 == 0) query.syllables = {random() % 3, random() % 4};
  return query;
}

// The matches of the file at `path`, read in turn in blocks of
// `block_size`: held and put in the query's order by FindRhymes, and, in
// file order, as FindRhymeLines lists them with the syllables kept (which
// must be the same lines).
std::vector<std::string> ReadRhymeLines(const std::string& path, std::size_t block_size,
                                        const RhymeQuery& query) {
  const WordListOptions list_file{path.c_str(), block_size};
  LineList held;
  const RhymeResult found = FindRhymes(list_file, query, held);
  EXPECT_EQ(found.outcome, SearchOutcome::Listed);
  std::vector<std::string> texts;
  for (const LineNumber line : found.lines) texts.emplace_back(held.line(line));
  if (query.order == ResultOrder::kFile) {
    struct Kept : ResultSink {
      explicit Kept(const RhymeQuery& query) : query(query) {}
      void Clear() override { texts.clear(); }
      void Add(std::string_view line) override {
        if (KeepsSyllables(query, SyllableCount(line))) texts.emplace_back(line);
      }
      const RhymeQuery& query;
      std::vector<std::string> texts;
    } kept(query);
    EXPECT_EQ(FindRhymeLines(query, kept, list_file), SearchOutcome::Listed);
    EXPECT_EQ(kept.texts, texts);
  }
  return texts;
}

TEST(RhymesTest, IndexAndScanAgreeWithTheModelOnRandomLists) {
  testing::TempDir dir;
  std::mt19937 random(11);
  for (int round = 0; round < 400; ++round) {
    const std::string bytes = RandomList(random, random() % 400);
    // Now and then held sparse, as a huge list is.
    const LineList list(bytes, round % 4 == 0 ? 0 : SIZE_MAX);
    const ReverseIndex index(list);
    const std::vector<std::string> lines = testing::ModelLines(bytes);
    const std::string file = dir.Write("rym.txt", bytes);
    for (int q = 0; q < 10; ++q) {
      const RhymeQuery query = RandomQuery(random, list);
      const std::vector<LineNumber> expected = Model::Find(lines, query);
      SCOPED_TRACE(::testing::PrintToString(bytes) + " ending " + ::testing::PrintToString(query.ending));
      EXPECT_EQ(FindRhymes(list, nullptr, query).lines, expected);
      EXPECT_EQ(FindRhymes(list, &index, query).lines, expected);
      // A scan in slices of any size finds the same.
      RhymeScan scan(list, query);
      for (const std::size_t slice = 1 + random() % 7; !scan.Step(slice);) {
      }
      EXPECT_EQ(scan.Finish().lines, expected);
      // Read in place from the file, in blocks of any size, and only the
      // matches ordered: the same lines.
      std::vector<std::string> expected_texts;
      for (const LineNumber line : expected) expected_texts.push_back(lines[line]);
      const std::size_t block = random() % 2 == 0 ? 1 + random() % 9 : 64 << (random() % 8);
      EXPECT_EQ(ReadRhymeLines(file, block, query), expected_texts) << "block " << block;
    }
  }
}

// Patterns whose last bytes are '?' (from one up to more than a pass
// skips), after one fixed byte or more, read in place in blocks of any
// size, in each pass: the lines the model finds, in file order. Lists with long lines, CR before CR LF, NUL
// and SUB, so that the bytes a '?' stands for meet each of them.
TEST(RhymesTest, PatternsThatEndInAnyBytesReadInEachPass) {
  testing::TempDir dir;
  std::mt19937 random(23);
  const std::vector<std::string> fixed = {Cp("та"), Cp("ата"), "a\r", Cp("т?а"), Cp("а"), "\r"};
  for (int round = 0; round < 150; ++round) {
    std::string bytes = RandomList(random, random() % 2000);
    // Lines long enough for a '?' of eight bytes and more, now and then.
    for (int k = 0; k < 20; ++k) bytes.insert(random() % (bytes.size() + 1), Cp("дата") + "\r\r\n");
    const std::vector<std::string> lines = testing::ModelLines(bytes);
    const std::string file = dir.Write("rym.txt", bytes);
    for (const std::string& ending : fixed) {
      for (std::size_t any = 1; any <= kMaxTailGap + 1; any += 1 + random() % 3) {
        RhymeQuery query;
        query.ending = ending + std::string(any, '?');
        query.patterns = true;
        std::vector<std::string> expected;
        for (const LineNumber line : Model::Find(lines, query)) expected.push_back(lines[line]);
        testing::ForEachScanPath([&](ScanPath path) {
          struct Listed : ResultSink {
            void Clear() override { texts.clear(); }
            void Add(std::string_view line) override { texts.emplace_back(line); }
            std::vector<std::string> texts;
          } listed;
          const std::size_t block = random() % 2 == 0 ? 1 + random() % 40 : 64 << (random() % 6);
          const WordListOptions list_file{file.c_str(), block};
          ASSERT_EQ(FindRhymeLines(query, listed, list_file), SearchOutcome::Listed);
          EXPECT_EQ(listed.texts, expected) << ScanPathName(path) << ", block " << block << ", ending "
                                            << ::testing::PrintToString(query.ending) << " in "
                                            << ::testing::PrintToString(bytes);
        });
      }
    }
  }
}

// The closest rhymes of a word, as plainly as the rules can be written.
struct ClosestModel {
  std::vector<LineNumber> lines;
  std::vector<std::size_t> by_syllables;
  std::vector<std::pair<std::string, std::size_t>> groups;
};

std::size_t ModelShared(std::string_view line, std::string_view word, bool sound) {
  std::size_t run = word.size();  // where the word's final run of obstruents starts
  while (sound && run > 0 && Model::Pair(word[run - 1]) != 0) --run;
  std::size_t shared = 0;
  while (shared < line.size() && shared < word.size()) {
    const char l = line[line.size() - 1 - shared];
    const std::size_t w = word.size() - 1 - shared;
    if (l != word[w] && !(w >= run && l == Model::Pair(word[w]))) break;
    ++shared;
  }
  return shared;
}

ClosestModel ModelClosest(const std::vector<std::string>& lines, const RhymeQuery& query) {
  ClosestModel model;
  std::vector<std::size_t> shared(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    shared[i] = ModelShared(lines[i], query.ending, query.sound);
    if (shared[i] < 2 || lines[i] == query.ending) continue;
    const std::size_t syllables = Model::Syllables(lines[i]);
    if (model.by_syllables.size() <= syllables) model.by_syllables.resize(syllables + 1);
    ++model.by_syllables[syllables];
    if (query.syllables.empty() ||
        std::count(query.syllables.begin(), query.syllables.end(), syllables) > 0) {
      model.lines.push_back(static_cast<LineNumber>(i));
    }
  }
  const auto reversed = [&](LineNumber i) { return std::string(lines[i].rbegin(), lines[i].rend()); };
  std::stable_sort(model.lines.begin(), model.lines.end(), [&](LineNumber a, LineNumber b) {
    if (shared[a] != shared[b]) return shared[a] > shared[b];
    if (query.order == ResultOrder::kReverse) return reversed(a) < reversed(b);
    if (query.order == ResultOrder::kSyllables) return Model::Syllables(lines[a]) < Model::Syllables(lines[b]);
    return false;
  });
  for (const LineNumber line : model.lines) {
    const std::string ending = query.ending.substr(query.ending.size() - shared[line]);
    if (model.groups.empty() || model.groups.back().first != ending) model.groups.push_back({ending, 0});
    ++model.groups.back().second;
  }
  return model;
}

std::vector<std::pair<std::string, std::size_t>> GroupsOf(const ClosestRhymes& closest) {
  std::vector<std::pair<std::string, std::size_t>> groups;
  for (const RhymeGroup& group : closest.groups) groups.push_back({group.ending, group.count});
  return groups;
}

// Every way to the closest rhymes: the held list scanned, sparse, with its
// index, and the list read in turn from a file in small blocks. Each must
// give what the model gives.
void ExpectClosestAsModel(std::string_view bytes, const RhymeQuery& query, const std::string& trace) {
  SCOPED_TRACE(trace);
  const std::vector<std::string> lines = testing::ModelLines(bytes);
  const ClosestModel model = ModelClosest(lines, query);
  std::vector<std::string> expected;
  for (const LineNumber line : model.lines) expected.push_back(lines[line]);
  const auto texts = [](const LineList& list, const std::vector<LineNumber>& numbers) {
    std::vector<std::string> out;
    for (const LineNumber n : numbers) out.emplace_back(list.line(n));
    return out;
  };
  for (const std::size_t dense_up_to : {SIZE_MAX, std::size_t{0}}) {
    const LineList list(std::string(bytes), dense_up_to);
    const ReverseIndex index(list);
    for (const ReverseIndex* used : {static_cast<const ReverseIndex*>(nullptr), &index}) {
      const ClosestRhymes closest = FindClosestRhymes(list, used, query);
      EXPECT_EQ(closest.rhymes.outcome, SearchOutcome::Listed);
      EXPECT_EQ(closest.rhymes.lines, model.lines) << (used ? "index" : "scan") << dense_up_to;
      EXPECT_EQ(closest.rhymes.by_syllables, model.by_syllables);
      EXPECT_EQ(GroupsOf(closest), model.groups);
    }
  }
  const testing::TempDir dir;
  WordListOptions file{nullptr, 3};
  const std::string path = dir.Write("list.txt", bytes);
  file.path = path.c_str();
  LineList held;
  const ClosestRhymes read = FindClosestRhymes(file, query, held);
  EXPECT_EQ(read.rhymes.outcome, SearchOutcome::Listed);
  EXPECT_EQ(texts(held, read.rhymes.lines), expected) << "read in turn";
  EXPECT_EQ(read.rhymes.by_syllables, model.by_syllables);
  EXPECT_EQ(GroupsOf(read), model.groups);
}

TEST(ClosestRhymesTest, EachRule) {
  struct Case {
    const char* name;
    const char* list;
    const char* word;
    bool sound;
    std::vector<std::string> found;  // in their order
    std::vector<std::pair<std::string, std::size_t>> groups;
  };
  const std::vector<Case> cases = {
      {"the word absent: longest shared ending first, then file order",
       "игрище\nта\nгробище\nщ\nще\nлобище\nкарта\nбище\nще\nтолбище\n", "колбище", false,
       {"толбище", "гробище", "лобище", "бище", "игрище", "ще", "ще"},
       {{"олбище", 1}, {"бище", 3}, {"ище", 1}, {"ще", 2}}},
      {"the word present, once or twice: never listed", "гробище\nлобище\nгробище\nще\n", "гробище", false,
       {"лобище", "ще"}, {{"обище", 1}, {"ще", 1}}},
      {"the word as the end of a longer line: listed, sharing the whole word",
       "подгробище\nгробище\n", "гробище", false, {"подгробище"}, {{"гробище", 1}}},
      {"CR LF lines are their text", "лобище\r\nгробище\r\nще\r\n", "гробище", false,
       {"лобище", "ще"}, {{"обище", 1}, {"ще", 1}}},
      {"a two-letter word", "та\nкарта\nа\nТА\nта\nвата\n", "та", false, {"карта", "вата"}, {{"та", 2}}},
      {"sound off: the pair is another letter", "брат\nград\nпрад\nад\n", "брад", false,
       {"град", "прад", "ад"}, {{"рад", 2}, {"ад", 1}}},
      {"sound on: the final run by its pairs", "брат\nград\nпрат\nат\nтат\nбрад\n", "брад", true,
       {"брат", "град", "прат", "ат", "тат"}, {{"брад", 1}, {"рад", 2}, {"ад", 2}}},
      {"sound on: a vowel ends the run", "брата\nграда\n", "брада", true, {"града"}, {{"рада", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Cp(c.list);
    RhymeQuery query = QueryFor(Cp(c.word));
    query.sound = c.sound;
    const LineList list(bytes);
    const ClosestRhymes closest = FindClosestRhymes(list, nullptr, query);
    EXPECT_EQ(Texts(list, closest.rhymes.lines), c.found);
    std::vector<std::pair<std::string, std::size_t>> groups;
    for (const auto& [ending, count] : c.groups) groups.push_back({Cp(ending), count});
    EXPECT_EQ(GroupsOf(closest), groups);
    ExpectClosestAsModel(bytes, query, c.name);
  }
}

TEST(ClosestRhymesTest, OrdersAndSyllablesWithinEachLength) {
  const std::string bytes = Cp("ната\nрата\nата\nзаплата\nта\nната\nбата\nкарта\nплата\n");
  const std::vector<std::string> lines = testing::ModelLines(bytes);
  const LineList list(bytes);
  struct Case {
    ResultOrder order;
    std::vector<std::size_t> kept;
    std::vector<std::string> found;
  };
  const std::vector<Case> cases = {
      {ResultOrder::kFile, {}, {"заплата", "ната", "рата", "ата", "ната", "бата", "та", "карта"}},
      {ResultOrder::kReverse, {}, {"заплата", "ата", "бата", "ната", "ната", "рата", "та", "карта"}},
      {ResultOrder::kSyllables, {}, {"заплата", "ната", "рата", "ата", "ната", "бата", "та", "карта"}},
      {ResultOrder::kFile, {2}, {"ната", "рата", "ата", "ната", "бата", "карта"}},
      {ResultOrder::kReverse, {3, 1}, {"заплата", "та"}},
      {ResultOrder::kFile, {5}, {}},
  };
  for (const Case& c : cases) {
    RhymeQuery query = QueryFor(Cp("плата"));
    query.order = c.order;
    query.syllables = c.kept;
    const ClosestRhymes closest = FindClosestRhymes(list, nullptr, query);
    std::vector<std::string> found;
    for (const std::string& line : Texts(list, closest.rhymes.lines)) found.push_back(line);
    EXPECT_EQ(found, c.found) << static_cast<int>(c.order);
    // Counted before any are left out; "плата" itself is no rhyme.
    EXPECT_EQ(closest.rhymes.by_syllables, (std::vector<std::size_t>{0, 1, 6, 1}));
    ExpectClosestAsModel(bytes, query, "order " + std::to_string(static_cast<int>(c.order)));
  }
}

TEST(ClosestRhymesTest, AWordShorterThanTwoBytes) {
  const LineList list = ListOf("аа\nа\n");
  const testing::TempDir dir;
  const std::string path = dir.Write("list.txt", Cp("аа\nа\n"));
  for (const std::string& word : {Cp("а"), std::string()}) {
    EXPECT_EQ(FindClosestRhymes(list, nullptr, QueryFor(word)).rhymes.outcome, SearchOutcome::EndingTooShort);
    LineList held;
    EXPECT_EQ(FindClosestRhymes(WordListOptions{path.c_str()}, QueryFor(word), held).rhymes.outcome,
              SearchOutcome::EndingTooShort);
  }
  LineList held;
  const std::string missing = dir.Path("none").string();
  EXPECT_EQ(FindClosestRhymes(WordListOptions{missing.c_str()}, QueryFor(Cp("аа")), held)
                .rhymes.outcome,
            SearchOutcome::ListMissing);
}

TEST(ClosestRhymesTest, AgreeWithTheModelOnRandomLists) {
  std::mt19937 random(23);
  for (int round = 0; round < 150; ++round) {
    const std::string bytes = RandomList(random, random() % 300);
    const LineList list(bytes);
    for (int q = 0; q < 4; ++q) {
      RhymeQuery query = RandomQuery(random, list);
      query.patterns = false;
      // Longer words, now and then a whole line of the list.
      if (list.size() > 0 && random() % 3 == 0) query.ending = std::string(list.line(random() % list.size()));
      if (query.ending.size() < 2) continue;
      ExpectClosestAsModel(bytes, query, ::testing::PrintToString(bytes) + " word " +
                                             ::testing::PrintToString(query.ending));
    }
  }
}

// The Bulgarian list, if the machine has it, in the program's code page,
// held with its index: built once for the tests that read it; none
// without the list.
struct HeldBulgarian {
  explicit HeldBulgarian(std::string bytes) : list(std::move(bytes)), index(list) {}
  const LineList list;
  const ReverseIndex index;
};

const HeldBulgarian* Bulgarian() {
  static const std::unique_ptr<const HeldBulgarian> held = []() -> std::unique_ptr<const HeldBulgarian> {
    std::ifstream in("/usr/share/dict/bulgarian", std::ios::binary);
    if (!in) return nullptr;
    std::ostringstream utf8;
    utf8 << in.rdbuf();
    return std::make_unique<const HeldBulgarian>(Cp(utf8.str()));
  }();
  return held.get();
}

TEST(RhymesTest, IndexAndScanAgreeOnTheBulgarianList) {
  const HeldBulgarian* held = Bulgarian();
  if (held == nullptr) GTEST_SKIP() << "no /usr/share/dict/bulgarian";
  const LineList& list = held->list;
  const ReverseIndex& index = held->index;
  std::mt19937 random(3);
  for (int q = 0; q < 120; ++q) {
    const std::string_view line = list.line(random() % list.size());
    RhymeQuery query;
    query.ending = std::string(line.substr(line.size() - std::min<std::size_t>(line.size(), 2 + q % 4)));
    if (query.ending.size() < 2) continue;
    query.sound = q % 3 == 0;
    query.patterns = q % 5 == 0;
    if (query.patterns) query.ending[random() % query.ending.size()] = '?';
    query.order = static_cast<ResultOrder>(q % 3);
    const RhymeResult scanned = FindRhymes(list, nullptr, query);
    const RhymeResult looked_up = FindRhymes(list, &index, query);
    ASSERT_FALSE(scanned.lines.empty()) << Utf8(query.ending);
    EXPECT_EQ(looked_up.lines, scanned.lines) << Utf8(query.ending);
    EXPECT_EQ(looked_up.by_syllables, scanned.by_syllables);
  }
}

// A word's closest rhymes through the index (the runs of each shared
// length, no candidate's line read) against the scan, on lists whose
// groups run to tens of thousands of lines: whole lines of the list, in
// each order, by sound and not, with syllables left out now and then.
TEST(RhymesTest, ClosestRhymesIndexAndScanAgreeOnTheBulgarianList) {
  const HeldBulgarian* held = Bulgarian();
  if (held == nullptr) GTEST_SKIP() << "no /usr/share/dict/bulgarian";
  const LineList& list = held->list;
  const ReverseIndex& index = held->index;
  std::mt19937 random(7);
  for (int q = 0; q < 36; ++q) {
    RhymeQuery query;
    query.ending = std::string(list.line(random() % list.size()));
    if (query.ending.size() < 2) continue;
    query.sound = q % 2 == 1;
    query.order = static_cast<ResultOrder>(q % 3);
    if (q % 5 == 0) query.syllables = {2, 3};
    const ClosestRhymes scanned = FindClosestRhymes(list, nullptr, query);
    const ClosestRhymes looked_up = FindClosestRhymes(list, &index, query);
    EXPECT_EQ(looked_up.rhymes.lines, scanned.rhymes.lines) << Utf8(query.ending) << " order " << q % 3;
    EXPECT_EQ(looked_up.rhymes.by_syllables, scanned.rhymes.by_syllables);
    EXPECT_EQ(GroupsOf(looked_up), GroupsOf(scanned));
  }
}

}  // namespace
}  // namespace versalo
