#include "finder/output.h"

#include <cstdio>
#include <functional>

#include "search/cp1251.h"

namespace versalo {

bool StdoutOutput::Write(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

void OutputSink::Append(std::string_view text) {
  if (utf8_) {
    AppendCp1251AsUtf8(text, buffer_);
  } else {
    buffer_.append(text);
  }
}

bool OutputSink::Lent(std::string_view line) const {
  if (list_ == nullptr || line.empty()) return false;
  const std::string_view mapped = list_->bytes();
  const std::less<const char*> before;
  return !before(line.data(), mapped.data()) &&
         before(line.data(), mapped.data() + mapped.size());
}

void OutputSink::Add(std::string_view line) {
  if (failed_) return;
  if (Lent(line)) {
    const std::size_t start = buffer_.size();
    Append(line);
    if (buffer_.find('\0', start) != std::string::npos) {
      buffer_.resize(start);  // torn by a shrink of the list
      return;
    }
  } else {
    // A piece at a time, so that a huge line never has a copy of its own.
    for (std::size_t at = 0; at < line.size(); at += kFlushAt) {
      Append(line.substr(at, kFlushAt));
      if (buffer_.size() >= kFlushAt) Flush();
      if (failed_) return;
    }
  }
  buffer_ += '\n';
  if (buffer_.size() >= kFlushAt) Flush();
}

void OutputSink::Flush() {
  if (!buffer_.empty() && !failed_ && !out_.Write(buffer_)) {
    failed_ = true;
    if (list_ != nullptr) list_->Stop();
  }
  buffer_.clear();
}

}  // namespace versalo
