// rym.txt as versalo-find searches it: opened once, and that one
// descriptor serves the whole search, whatever the file is. A regular file
// is either mapped into memory and lent to the reader block by block, or
// read in parts at known offsets (pread) into a block of each part's own,
// which the plain search does: on these machines copying a block out of the
// page cache costs less than mapping it in, faulting on it and letting it
// go again, and a block that was just copied is searched from the cache.
// Anything else (a FIFO, a device, a file that cannot be mapped) is read
// from the same descriptor to its end: opening a FIFO twice would lose what
// its writer sent to the first opening.
//
// A list read in parts that shrinks while it is read ends at the first read
// that comes short of the size it had when opened: that is a read error,
// and the lines read before it stand.
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

  // How a non-empty regular file is to be read.
  enum class Access { kMap, kReadParts };

  // Opens `path` read-only. A non-empty regular file that fits in the
  // address space is mapped (kMap), or only its size is noted, for Slice
  // to read it in parts (kReadParts). False, with nothing held, when it
  // cannot be opened at all.
  bool Open(const char* path, Access access = Access::kMap);
  bool mapped() const { return base_ != nullptr; }
  // The mapped bytes; empty when the list is read instead.
  std::string_view bytes() const { return base_ != nullptr ? std::string_view(base_, size_) : std::string_view(); }
  // A regular file opened with kReadParts: Slice may read it. Its size
  // is then size().
  bool in_parts() const { return in_parts_; }
  std::size_t size() const { return size_; }

  // Lends nothing more, from any part or stream of this list, as if the
  // list had ended: for a search whose results can no longer be written.
  void Stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }

  // Lends the bytes [begin, end) of the list, for a search of part of it.
  class Range : public ListBytes {
   public:
    bool failed() const override { return failed_; }
    // Lends nothing more, as if the part had ended; for a part whose lines
    // are no longer wanted.
    void Cancel() { cancelled_ = true; }
    // The reader asked past the part's end: it read the part to its end,
    // and did not stop at a SUB.
    bool read_to_end() const { return read_to_end_; }

   protected:
    Range(const ListFile& list, std::size_t begin, std::size_t end)
        : list_(list), lent_(begin), end_(end) {}
    // How many bytes to lend next, at most `max`; 0 when the part ends
    // here, for whichever reason.
    std::size_t Next(std::size_t max);

    const ListFile& list_;
    std::size_t lent_;  // the next byte to lend
    std::size_t end_;
    std::atomic<bool> cancelled_{false};
    bool failed_ = false;
    bool read_to_end_ = false;
  };

  // Lends the bytes [begin, end) of the mapping, and lets their pages go
  // behind the reader.
  class Part : public Range {
   public:
    Part(const ListFile& list, std::size_t begin, std::size_t end);
    std::size_t Lend(const char*& bytes, std::size_t max) override;

   private:
    std::size_t released_;  // from here to the step behind lent_, pages may go
  };

  // Lends the bytes [begin, end) of a list opened with kReadParts, read
  // at their offsets into one block of at most `block` bytes, reused.
  class Slice : public Range {
   public:
    Slice(const ListFile& list, std::size_t begin, std::size_t end, std::size_t block);
    std::size_t Lend(const char*& bytes, std::size_t max) override;
    // Lends [begin, end) from now on, as a new slice would, in the same
    // block.
    void Restart(std::size_t begin, std::size_t end);

   private:
    std::size_t block_;
    std::unique_ptr<char[]> buffer_;
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
  std::size_t size_ = 0;  // the file's size at Open, when mapped or in parts
  bool in_parts_ = false;
  std::atomic<bool> stopped_{false};
};

}  // namespace versalo

#endif  // VERSALO_FINDER_LIST_FILE_H
