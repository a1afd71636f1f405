// rym.txt as versalo-find searches it: opened once, and that one
// descriptor serves the whole search, whatever the file is. A regular file
// is mapped into memory and lent to the reader block by block: the search
// then reads the page cache in place instead of copying every block out of
// it, which is most of what a search of a large list costs. Anything else
// (a FIFO, a device, a file that cannot be mapped) is read from the same
// descriptor to its end: opening a FIFO twice would lose what its writer
// sent to the first opening.
//
// A list that shrinks while it is mapped would kill the process with SIGBUS
// at the first look past its new end. Instead, the pages it lost read as
// zeros from then on, which no line's text holds, and the next block asked
// for reports a read error: the matches listed so far stand, and the search
// ends as when reading fails.
#ifndef VERSALO_FINDER_LIST_FILE_H
#define VERSALO_FINDER_LIST_FILE_H

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

#include "search/word_list_reader.h"

namespace versalo {

class ListFile {
 public:
  ListFile() = default;
  ~ListFile();
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  // Opens `path` read-only, and maps it when it is a non-empty regular file
  // that fits in the address space. False, with nothing held, when it
  // cannot be opened at all.
  bool Open(const char* path);
  bool mapped() const { return base_ != nullptr; }
  // The mapped bytes; empty when the list is read instead.
  std::string_view bytes() const { return {base_, size_}; }

  // Lends nothing more, from any part or stream of this list, as if the
  // list had ended: for a search whose results can no longer be written.
  void Stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }

  // Lends the bytes [begin, end) of the mapping, and lets their pages go
  // behind the reader.
  class Part : public ListBytes {
   public:
    Part(const ListFile& list, std::size_t begin, std::size_t end);
    std::size_t Lend(const char*& bytes, std::size_t max) override;
    bool failed() const override { return failed_; }
    // Lends nothing more, as if the part had ended; for a part whose lines
    // are no longer wanted.
    void Cancel() { cancelled_ = true; }
    // The reader asked past the part's end: it read the part to its end,
    // and did not stop at a SUB.
    bool read_to_end() const { return read_to_end_; }

   private:
    const ListFile& list_;
    std::size_t lent_;      // the next byte to lend
    std::size_t released_;  // from here to the step behind lent_, pages may go
    std::size_t end_;
    std::atomic<bool> cancelled_{false};
    bool failed_ = false;
    bool read_to_end_ = false;
  };

  // Lends a list that is not mapped as it is read from the descriptor, in
  // blocks of at most `block` bytes.
  class Stream : public ListBytes {
   public:
    Stream(const ListFile& list, std::size_t block);
    std::size_t Lend(const char*& bytes, std::size_t max) override;
    bool failed() const override { return failed_; }

   private:
    const ListFile& list_;
    std::size_t block_;
    std::unique_ptr<char[]> buffer_;
    bool failed_ = false;
  };

 private:
  // The file is now shorter than the mapping, or a look past its end was
  // caught.
  bool Shrank() const;
  void Close();

  int fd_ = -1;
  const char* base_ = nullptr;
  std::size_t size_ = 0;  // bytes mapped: the file's size at Open
  std::atomic<bool> stopped_{false};
};

}  // namespace versalo

#endif  // VERSALO_FINDER_LIST_FILE_H
