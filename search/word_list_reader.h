// Reading the word list: the bytes of a file become lines here, and only here.
//
// The line rules, as the reader applies them:
//  1. LF (0x0A) ends a line; the LF is not part of it.
//  2. CR LF counts as one LF. A CR that is not directly followed by LF is an
//     ordinary byte of the line, also when it is the last byte of the file.
//  3. SUB (0x1A) ends the file: nothing from it on is read, and it acts in
//     every way like the physical end of the file.
//  4. A last line without a line break is returned whole, like any other.
//     A file that ends with a line break yields no extra empty line.
//  5. A line of any length is returned whole; nothing but its line break is
//     removed from it.
//  6. NUL (0x00) ends the text of its line: the bytes after it, up to the
//     line break, belong to no line.
//  7. A read error ends the list like the end of the file; the lines read
//     before it stand, and failed() tells that it happened.
//  8. A line longer than the reader may hold (WordListOptions::max_line, or
//     more than memory allows) ends the list the same way.
//
// The file is read in blocks of a fixed size, so memory grows only with the
// longest line that spans two blocks: such a line is gathered in pieces and
// joined once at its end, so it costs at most twice its size.
#ifndef VERSALO_SEARCH_WORD_LIST_READER_H
#define VERSALO_SEARCH_WORD_LIST_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "search/block_scan.h"

namespace versalo {

// The word list the program searches, in the current working directory.
inline constexpr char kWordListName[] = "rym.txt";

// The bytes the line rules name.
inline constexpr unsigned char kNul = 0x00;
inline constexpr unsigned char kLf = 0x0A;
inline constexpr unsigned char kCr = 0x0D;
inline constexpr unsigned char kSub = 0x1A;

// Lends the list's bytes to the reader, for a front end that gets them its
// own way (versalo-find maps the file, or reads parts of it at once).
class ListBytes {
 public:
  virtual ~ListBytes() = default;
  // Lends the next bytes of the list, at most `max` of them; they stay
  // valid until the next call. 0 at the end of the list or after an error,
  // which failed() then tells.
  virtual std::size_t Lend(const char*& bytes, std::size_t max) = 0;
  virtual bool failed() const = 0;
};

struct WordListOptions {
  // The file to read; the program always reads kWordListName.
  const char* path = kWordListName;
  // Bytes asked of the file per read. Tests make it tiny so that every rule
  // is exercised across a block boundary.
  std::size_t block_size = 256 * 1024;
  // The longest line text the reader holds; a longer line ends the list as a
  // read error does.
  std::size_t max_line = SIZE_MAX;
  // When set, the list's bytes come from here, in blocks of block_size,
  // and `path` is not opened.
  ListBytes* lender = nullptr;
};

// One result of WordListReader::Next: a line, or the end of the list.
struct LineRead {
  bool end = false;
  // The line's text without its line break; valid until the next call of
  // Next or Close.
  std::string_view line;
};

// Reads one opening of the word list from its first byte to its end.
// Calling order: Open; Next until it returns the end; Close (the destructor
// closes too). A reader serves one search; nothing carries over.
class WordListReader {
 public:
  WordListReader() = default;
  ~WordListReader();
  WordListReader(const WordListReader&) = delete;
  WordListReader& operator=(const WordListReader&) = delete;

  // Opens the file read-only, without denying others reading or writing it.
  // Fails when the file does not exist or cannot be read (a folder, say).
  bool Open(const WordListOptions& options = {});
  // The next line, or the end of the list. After the end, returns the end
  // again without touching the file.
  LineRead Next();
  // A fast path for searches: the next lines as one run of raw bytes that
  // only rules 1 and 2 concern. The run starts where the next line starts,
  // ends just after an LF, and holds no NUL and no SUB; its lines are the
  // same that Next would return one by one, each LF-terminated, with a CR
  // before the LF belonging to the break. False, with nothing consumed,
  // when the next line is not in such a run: Next then returns it.
  // The pass that finds the run also finds the lines in it whose text ends
  // with `tail`: `ends` tells where each such text ends in `run`, in file
  // order. To keep that list short, the run may stop at any line end.
  // The run is valid until the next call of any reading function.
  bool NextPlainRun(std::string_view& run, LineEndTail tail, std::span<const std::size_t>& ends);
  void Close();

  // A read error or a line too long to hold ended the list early.
  bool failed() const { return failed_; }

 private:
  // Reads the next block into data_[0, end_). False at the end of the data
  // (physical end, SUB, or a read error), after which it never reads again.
  bool Fill();
  // Records what a pass met at `at`, the first NUL or SUB at or after pos_:
  // a NUL, a SUB, or the block's end. The first look past a NUL also cuts
  // the block at its SUB, if it has one.
  void MetSpecial(std::size_t at);
  // The line break that ends the plain lines before special_, or pos_ when
  // there is none.
  std::size_t PlainRunEnd() const;
  // Ends the list early after a read error or a line too long to hold.
  LineRead Fail();
  // Adds raw bytes of a line that spans blocks to line_. False when the
  // line would grow past what the reader may hold.
  bool Append(const char* bytes, std::size_t count);
  // Adds line text to line_, spilling full pieces to pieces_; may throw
  // std::bad_alloc.
  void Gather(const char* bytes, std::size_t count);
  // Makes line_ the whole line again, the pieces first. False when memory
  // for it cannot be had.
  bool JoinPieces();
  void ReleasePieces();
  // The line text of the raw line [start, start + len) inside the block,
  // whose first NUL, if it has one, is at `nul`.
  std::string_view BlockLine(std::size_t start, std::size_t len, std::size_t nul);

  std::FILE* file_ = nullptr;
  ListBytes* lender_ = nullptr;
  std::unique_ptr<char[]> block_;  // what is read goes here
  const char* data_ = nullptr;     // the block: block_, or lent bytes
  std::size_t block_size_ = 0;
  std::size_t max_line_ = SIZE_MAX;
  std::size_t pos_ = 0;  // next unread byte of the block
  std::size_t end_ = 0;  // end of the block's data
  // The block's first NUL at or after pos_, or end_; not yet looked for
  // when it lies before pos_.
  std::size_t special_ = 0;
  bool special_known_ = false;  // special_ has been looked for in this block
  bool sub_cut_ = false;        // the block ends before its SUB, or has none
  std::unique_ptr<std::size_t[]> ends_;  // the candidates of the last pass
  bool exhausted_ = false;  // no more blocks will come
  bool done_ = false;       // Next has returned the end
  bool failed_ = false;

  // A line that spans blocks is gathered here. A long one fills pieces of
  // kPiece bytes that are never copied while it grows (growing one string
  // would hold the old copy and the new, twice as large, at once) and that
  // are joined when the line ends.
  static constexpr std::size_t kPiece = 1 << 20;
  std::string line_;
  std::vector<std::string> pieces_;
  std::size_t in_pieces_ = 0;  // bytes of text in pieces_
  bool line_cut_ = false;       // line_ has met its NUL
  bool line_raw_ = false;       // raw bytes of the line have been taken
  bool line_ends_cr_ = false;   // the last raw byte taken was CR
};

}  // namespace versalo

#endif  // VERSALO_SEARCH_WORD_LIST_READER_H
