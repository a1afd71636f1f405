// rym.txt mapped into memory, lent to the reader block by block: the search
// then reads the page cache in place instead of copying every block out of
// it, which is most of what a search of a large list costs.
//
// A list that shrinks while it is mapped would kill the process with SIGBUS
// at the first look past its new end. Instead, the pages it lost read as
// zeros from then on, which no matching line can end in, and the next block
// asked for reports a read error: the matches listed so far stand, and the
// search ends as when reading fails.
#ifndef VERSALO_FINDER_MAPPED_LIST_H
#define VERSALO_FINDER_MAPPED_LIST_H

#include <atomic>
#include <cstddef>

#include "search/word_list_reader.h"

namespace versalo {

class MappedList {
 public:
  MappedList() = default;
  ~MappedList();
  MappedList(const MappedList&) = delete;
  MappedList& operator=(const MappedList&) = delete;

  // Maps the regular file at `path`. False, with nothing held, for anything
  // that cannot be mapped (no file, a folder, an empty file, no address
  // space for it): the reader then reads it the usual way.
  bool Open(const char* path);
  std::size_t size() const { return size_; }
  const char* data() const { return base_; }

  // Lends the bytes [begin, end) of the mapping, and lets their pages go
  // behind the reader.
  class Part : public ListBytes {
   public:
    Part(const MappedList& list, std::size_t begin, std::size_t end);
    std::size_t Lend(const char*& bytes, std::size_t max) override;
    bool failed() const override { return failed_; }
    // Lends nothing more, as if the part had ended; for a part whose lines
    // are no longer wanted.
    void Cancel() { cancelled_ = true; }
    // The reader asked past the part's end: it read the part to its end,
    // and did not stop at a SUB.
    bool read_to_end() const { return read_to_end_; }

   private:
    const MappedList& list_;
    std::size_t lent_;      // the next byte to lend
    std::size_t released_;  // from here to the step behind lent_, pages may go
    std::size_t end_;
    std::atomic<bool> cancelled_{false};
    bool failed_ = false;
    bool read_to_end_ = false;
  };

 private:
  // The file is now shorter than the mapping, or a look past its end was
  // caught.
  bool Shrank() const;
  void Close();

  int fd_ = -1;
  const char* base_ = nullptr;
  std::size_t size_ = 0;  // bytes mapped: the file's size at Open
};

}  // namespace versalo

#endif  // VERSALO_FINDER_MAPPED_LIST_H
