#include "finder/output.h"

#include <cstdio>

#include "search/cp1251.h"

namespace versalo {

bool StdoutOutput::Write(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

void OutputSink::Add(std::string_view line) {
  // A piece at a time, so that a huge line never has a copy of its own.
  for (std::size_t at = 0; at < line.size(); at += kFlushAt) {
    const std::string_view piece = line.substr(at, kFlushAt);
    if (utf8_) {
      AppendCp1251AsUtf8(piece, buffer_);
    } else {
      buffer_.append(piece);
    }
    if (buffer_.size() >= kFlushAt) Flush();
  }
  buffer_ += '\n';
  if (buffer_.size() >= kFlushAt) Flush();
}

void OutputSink::Flush() {
  if (!buffer_.empty() && !out_.Write(buffer_)) failed_ = true;
  buffer_.clear();
}

bool HeldOutput::Write(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return state_ != State::kHolding || held_.size() < limit_; });
  switch (state_) {
    case State::kHolding:
      held_.append(bytes);
      return true;
    case State::kPassing:
      // Only this thread writes from now on.
      lock.unlock();
      return out_.Write(bytes);
    case State::kDropping:
      break;
  }
  return true;
}

bool HeldOutput::Release() {
  const std::lock_guard lock(mutex_);
  const bool written = held_.empty() || out_.Write(held_);
  std::string().swap(held_);
  state_ = State::kPassing;
  room_.notify_all();
  return written;
}

void HeldOutput::Discard() {
  const std::lock_guard lock(mutex_);
  std::string().swap(held_);
  state_ = State::kDropping;
  room_.notify_all();
}

}  // namespace versalo
