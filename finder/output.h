// versalo-find's output: each match as a line, in file order.
#ifndef VERSALO_FINDER_OUTPUT_H
#define VERSALO_FINDER_OUTPUT_H

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "search/ending_search.h"

namespace versalo {

// Where output bytes go: standard output in the program, a string in tests.
class Output {
 public:
  virtual ~Output() = default;
  // False when the bytes could not all be written.
  virtual bool Write(std::string_view bytes) = 0;
};

class StdoutOutput : public Output {
 public:
  bool Write(std::string_view bytes) override;
};

// Writes each match as a line, through a buffer of its own so that a common
// ending costs few writes; in UTF-8 when asked, else byte for byte.
class OutputSink : public ResultSink {
 public:
  OutputSink(bool utf8, Output& out) : utf8_(utf8), out_(out) { buffer_.reserve(kFlushAt + 256); }
  ~OutputSink() override { Flush(); }

  void Clear() override {}
  void Add(std::string_view line) override;
  void Flush();
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kFlushAt = 64 * 1024;
  bool utf8_;
  Output& out_;
  bool failed_ = false;
  std::string buffer_;
};

// Output that must wait for other output to come first: it is held, up to
// `limit` bytes, after which writing waits, until Release sends it on, or
// Discard drops it. Writes come from one thread, Release or Discard from
// another.
class HeldOutput : public Output {
 public:
  HeldOutput(Output& out, std::size_t limit) : out_(out), limit_(limit) {}
  bool Write(std::string_view bytes) override;
  // Writes what is held; what comes later goes straight through. False
  // when writing what was held failed.
  bool Release();
  // Drops what is held and all that comes later.
  void Discard();

 private:
  enum class State { kHolding, kPassing, kDropping };
  Output& out_;
  const std::size_t limit_;
  std::mutex mutex_;
  std::condition_variable room_;
  State state_ = State::kHolding;
  std::string held_;
};

}  // namespace versalo

#endif  // VERSALO_FINDER_OUTPUT_H
