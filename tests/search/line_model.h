// The line rules written as the plainest code over a whole file, for tests
// to hold the reader and the search against.
#ifndef VERSALO_TESTS_SEARCH_LINE_MODEL_H
#define VERSALO_TESTS_SEARCH_LINE_MODEL_H

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "search/block_scan.h"
#include "search/word_list_reader.h"

namespace versalo::testing {

inline std::vector<std::string> ModelLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));  // SUB ends the file
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t lf = bytes.find('\n', start);
    std::string line;
    if (lf == std::string_view::npos) {  // the last line, without a break
      line = bytes.substr(start);
      start = bytes.size();
    } else {
      line = bytes.substr(start, lf - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF
      start = lf + 1;
    }
    lines.push_back(line.substr(0, line.find('\0')));  // NUL ends the text
  }
  return lines;
}

inline std::vector<std::string> ModelMatches(std::string_view bytes, std::string_view ending) {
  std::vector<std::string> matches;
  for (const std::string& line : ModelLines(bytes)) {
    if (line.size() >= ending.size() &&
        line.compare(line.size() - ending.size(), ending.size(), ending) == 0) {
      matches.push_back(line);
    }
  }
  return matches;
}

// The index just past the text of each line of a plain run (lines that
// each end with LF) whose text ends with `tail`: what the reader's pass
// reports for the run.
inline std::vector<std::size_t> ModelTailEnds(std::string_view run, LineEndTail tail) {
  std::string bytes{static_cast<char>(tail.before_last), static_cast<char>(tail.last)};
  if (tail.three) bytes.insert(bytes.begin(), static_cast<char>(tail.third_last));
  std::vector<std::size_t> ends;
  for (std::size_t start = 0; start < run.size();) {
    std::size_t lf = run.find('\n', start);
    if (lf == std::string_view::npos) lf = run.size();
    const std::size_t end = lf > start && run[lf - 1] == '\r' ? lf - 1 : lf;
    const std::string_view text = run.substr(start, end - start);
    if (text.size() >= bytes.size() && text.substr(text.size() - bytes.size()) == bytes) {
      ends.push_back(end);
    }
    start = lf + 1;
  }
  return ends;
}

// Bytes drawn mostly from those the rules name, so that every rule meets
// every other often.
inline std::string RandomBytes(std::mt19937& random, std::size_t size) {
  static constexpr char kAlphabet[] = {'a', 'b', 'a', 'b', '\r', '\n', '\n', '\0',
                                       '\xE0', '\xFF', ' ', '\r', '\n', 'a', 'b', '\x1A'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) {
    char c = kAlphabet[pick(random)];
    // SUB ends the file, so it stays rare enough to leave something to read.
    if (c == '\x1A' && pick(random) != 0) c = 'a';
    bytes += c;
  }
  return bytes;
}

// Runs `check` on each pass the build can take on this processor, then
// leaves the widest in use, as the program has it.
template <class Check>
void ForEachScanPath(Check check) {
  for (const ScanPath path : AvailableScanPaths()) {
    UseScanPath(path);
    check(path);
  }
  UseScanPath(AvailableScanPaths().back());
}

// A list front coded (search/front_coding.h) as web/front_code.py writes it:
// with its size, and each line sharing as many first bytes with the line
// before as it can, up to 255.
inline std::string ModelFrontCode(std::string_view list) {
  std::string out = "VFC1";
  const bool ends_with_lf = !list.empty() && list.back() == '\n';
  out += static_cast<char>((ends_with_lf ? 1 : 0) | 2);
  for (int byte = 0; byte < 8; ++byte) out += static_cast<char>(static_cast<unsigned long long>(list.size()) >> (8 * byte));
  std::string_view previous;
  for (std::size_t start = 0; start < list.size();) {
    std::size_t lf = list.find('\n', start);
    if (lf == std::string_view::npos) lf = list.size();
    const std::string_view line = list.substr(start, lf - start);
    std::size_t shared = 0;
    while (shared < std::min<std::size_t>({line.size(), previous.size(), 255}) &&
           line[shared] == previous[shared]) {
      ++shared;
    }
    out += static_cast<char>(shared);
    out.append(line.substr(shared));
    out += '\n';
    previous = line;
    start = lf + 1;
  }
  return out;
}

// Lends the bytes of a string as a front end lends a mapped file. After
// `fail_at` bytes it fails, as a read error would.
class StringLender : public ListBytes {
 public:
  explicit StringLender(std::string bytes, std::size_t fail_at = std::string::npos)
      : bytes_(std::move(bytes)), fail_at_(fail_at) {}
  std::size_t Lend(const char*& bytes, std::size_t max) override {
    const std::size_t stop = std::min(bytes_.size(), fail_at_);
    if (at_ >= stop) {
      failed_ = at_ < bytes_.size();
      return 0;
    }
    const std::size_t count = std::min(max, stop - at_);
    bytes = bytes_.data() + at_;
    at_ += count;
    return count;
  }
  bool failed() const override { return failed_; }

 private:
  std::string bytes_;
  std::size_t fail_at_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

}  // namespace versalo::testing

#endif  // VERSALO_TESTS_SEARCH_LINE_MODEL_H
