// Rhymes beyond the plain search, on a list held in memory: results in
// other orders, counted and kept by syllables, rhymes by sound, patterns,
// and the endings of a whole word. The bytes are Windows-1251; every rule
// here compares them as unsigned char.
//
// The rules:
//  - Syllables: one per vowel letter (а е и о у ъ ю я, either case), over
//    the whole line.
//  - Orders: file order; reverse-dictionary order (by the bytes read from
//    the end of the line, unsigned; a line that is the end of another comes
//    before it; equal lines in file order); by syllable count, then file
//    order.
//  - Syllable counts kept: every line when none are asked for, otherwise
//    the lines of the counts asked for; the matches are counted by
//    syllables before any are left out.
//  - Rhymes by sound: the final run of obstruent letters in the ending
//    (б/п, в/ф, г/к, д/т, ж/ш, з/с, either case) devoices as a whole at the
//    end of a word, so each of them also matches its pair. Nothing else.
//  - Patterns: '?' stands for any one byte of a line's text.
// A line matches once, however many of an ending's forms it ends with.
//
// The closest rhymes of a word:
//  - A line is one when its last kMinEndingLength bytes or more are the
//    word's, compared byte for byte from the end, with rhymes by sound as
//    above when asked for (the word's final run of obstruents); '?' is a
//    byte like any other. The shared ending is the longest run of them.
//  - A line equal to the word, byte for byte, is not one of them.
//  - They stand by the length of the shared ending, longest first; lines
//    that share as much stand in the chosen order.
//  - They are counted by syllables before the syllable counts asked for
//    are kept.
//  - A group is the lines kept that share the same length: the word's last
//    bytes of that length, and how many lines share them, longest first.
#ifndef VERSALO_SEARCH_RHYMES_H
#define VERSALO_SEARCH_RHYMES_H

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "search/ending_search.h"
#include "search/line_list.h"
#include "search/word_list_reader.h"

namespace versalo {

enum class ResultOrder { kFile, kReverse, kSyllables };

bool IsVowel(unsigned char byte);
std::size_t SyllableCount(std::string_view line);
// Syllable counts as they are asked for: counts and ranges joined by
// commas, such as "2" or "1,3-4" (a range from its first count to its last,
// which is not smaller), each count a decimal number of at most 1000 (no
// line has more). Nothing else: no sign, no space, no empty item. False
// for anything else, with `counts` as it was; true with the counts named
// added to it, in the order named.
bool ParseSyllableCounts(const char* text, std::vector<std::size_t>& counts);
// The other member of an obstruent letter's voiced/voiceless pair, in the
// same case; 0 for any other byte.
unsigned char ObstruentPair(unsigned char byte);

// Compares two lines read from their ends: <0, 0 or >0.
int CompareFromEnd(std::string_view a, std::string_view b);

struct RhymeQuery {
  std::string ending;
  bool patterns = false;  // '?' stands for any one byte
  bool sound = false;     // the final obstruents match their pairs
  ResultOrder order = ResultOrder::kFile;
  // The syllable counts kept; empty keeps every line.
  std::vector<std::size_t> syllables;
};

struct RhymeResult {
  // EndingTooShort (nothing else is set), Listed, or ListCutShort when the
  // list was held only in part.
  SearchOutcome outcome = SearchOutcome::Listed;
  // The lines kept, in the query's order.
  std::vector<LineNumber> lines;
  // by_syllables[k]: the matches of k syllables, before any were left out.
  std::vector<std::size_t> by_syllables;
};

// The list's line numbers sorted in reverse-dictionary order: the lines
// that end with the same bytes stand together, so an ending is found by
// binary search. It also holds each line's syllable count, so that the
// matches are counted without reading their text. Five bytes a line.
class ReverseIndex {
 public:
  ReverseIndex() = default;
  explicit ReverseIndex(const LineList& list);
  std::span<const LineNumber> order() const { return order_; }
  // The syllables of line `line`; 255 stands for that many or more.
  std::size_t syllables(LineNumber line) const { return syllables_[line]; }
  std::size_t memory() const { return order_.capacity() * sizeof(LineNumber) + syllables_.capacity(); }

 private:
  std::vector<LineNumber> order_;
  std::vector<unsigned char> syllables_;
};

// The lines of `list` that match `query`. With an index of the list, it is
// looked up; without one (null), every line is looked at. Both give the same.
RhymeResult FindRhymes(const LineList& list, const ReverseIndex* index, const RhymeQuery& query);

// FindRhymes without an index, a slice of the list at a time, for a front
// end that must answer something else between slices (or drop the search).
// Calling order: Step until it returns true, or not at all; then Finish
// once, which looks at the lines that are left. The list must outlive it.
class RhymeScan {
 public:
  RhymeScan(const LineList& list, RhymeQuery query);
  ~RhymeScan();
  // Looks at the next lines, about `bytes` bytes of them (whole lines, at
  // least one); true once every line has been.
  bool Step(std::size_t bytes);
  RhymeResult Finish();

 private:
  struct Pattern;
  void Found(std::size_t start);
  // Look at the lines from at_ to `end`, a line's start: one by one, or
  // only those the block pass finds with the ending's last bytes.
  void ScanLines(std::size_t end);
  void ScanTails(std::size_t end);
  const LineList& list_;
  RhymeQuery query_;
  std::unique_ptr<Pattern> pattern_;
  std::size_t next_ = 0;  // the next line looked at
  std::size_t at_ = 0;    // where it starts
  RhymeResult result_;
  std::vector<std::size_t> starts_;  // where each match starts
};

struct RhymeGroup {
  std::string ending;     // the word's last bytes that the group's lines share
  std::size_t count = 0;  // its lines
};

struct ClosestRhymes {
  // EndingTooShort for a word shorter than kMinEndingLength (nothing else
  // is set); ListMissing only from a list read in turn.
  RhymeResult rhymes;
  std::vector<RhymeGroup> groups;  // in the order of rhymes.lines
};

// The closest rhymes of `query.ending`, a word, in `list`, with the query's
// order, sound and syllables ('?' is no pattern here). With an index the
// lines that end with the word's last two bytes are looked up; without,
// every line is looked at. Both give the same.
ClosestRhymes FindClosestRhymes(const LineList& list, const ReverseIndex* index, const RhymeQuery& query);

// The same, on a word list read in turn by the reader: only the lines that
// end with the word's last two bytes are held, in `held`, whose line
// numbers the result gives (the same scan as FindRhymes on a list read in
// turn). A read error, a line too long or memory running out ends the list
// (ListCutShort).
ClosestRhymes FindClosestRhymes(const WordListOptions& list_file, const RhymeQuery& query, LineList& held);

// Lists in `sink`, in file order, every line of the word list (read in
// place, by the reader's line rules) whose end matches `query`'s ending,
// with its patterns and sound; neither the order nor the syllables are
// applied, so that a front end may write the matches as they come (see
// KeepsSyllables) or hold only them. Outcomes and calls to the sink as
// FindEndingMatches.
SearchOutcome FindRhymeLines(const RhymeQuery& query, ResultSink& sink,
                             const WordListOptions& list = {});

// FindRhymes on a word list read in turn by the reader: only the matches
// are held, in `held`, whose line numbers the result gives; only they are
// sorted. ListMissing when the list cannot be opened; a read error, a line
// too long or memory running out ends the list (ListCutShort).
RhymeResult FindRhymes(const WordListOptions& list_file, const RhymeQuery& query, LineList& held);

// Runs two pieces of work and returns once both are done: on two threads,
// from a front end that has threads to give; the core starts none.
using BothRunner = std::function<void(const std::function<void()>&, const std::function<void()>&)>;
// Fewer matches than this are sorted in less time than a second thread may
// take to start running: about 2 ms on a virtual machine whose other core
// sleeps, where the reverse order of 84,176 matches takes 3 ms to sort.
inline constexpr std::size_t kSharedSortFrom = std::size_t{1} << 18;

// The two searches above of a list read in turn, in their steps, for a
// front end that reads the list its own way (in parts, say) and joins what
// each part held:
//  - HoldRhymeLines: FindRhymeLines into `held`, which it empties first;
//    memory running out ends the list there (ListCutShort), and the lines
//    held so far stand, as after a read error.
//  - OrderHeld: FindRhymes' result for `held`, which holds the matches of
//    `query` in file order; without `by_syllables` the result's
//    by_syllables stays empty, for a front end that shows no counts. With
//    `both`, a sort of kSharedSortFrom matches or more is shared between
//    two pieces of work.
//  - ClosestCandidates: the query whose matches are a word's candidates,
//    its last kMinEndingLength bytes; RankHeld: FindClosestRhymes' result
//    for `held`, which holds those in file order.
// The outcome they give is Listed, or ListCutShort when `held` is.
SearchOutcome HoldRhymeLines(const RhymeQuery& query, const WordListOptions& list_file, LineList& held);
RhymeResult OrderHeld(const LineList& held, const RhymeQuery& query, bool by_syllables = true,
                      const BothRunner& both = {});
RhymeQuery ClosestCandidates(const RhymeQuery& word);
ClosestRhymes RankHeld(const LineList& held, const RhymeQuery& query);

// Whether `query` keeps a line of `syllables` syllables.
bool KeepsSyllables(const RhymeQuery& query, std::size_t syllables);

struct EndingCount {
  std::string ending;
  std::size_t count = 0;  // lines that end with it
};

// The endings of `word` from kMinEndingLength bytes up to the whole word,
// shortest first, each with how many lines end with it (plain bytes: no
// pattern, no sound). Empty for a word shorter than that.
std::vector<EndingCount> CountWordEndings(const LineList& list, const ReverseIndex* index,
                                          std::string_view word);

}  // namespace versalo

#endif  // VERSALO_SEARCH_RHYMES_H
