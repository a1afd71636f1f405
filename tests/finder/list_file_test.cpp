#include "finder/list_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace versalo {
namespace {

// Everything a part lends from now on, in blocks of at most `block` bytes.
std::string LendAll(ListFile::Range& list, std::size_t block) {
  std::string bytes;
  const char* lent = nullptr;
  for (std::size_t count; (count = list.Lend(lent, block)) > 0;) {
    EXPECT_LE(count, block);
    bytes.append(lent, count);
  }
  return bytes;
}

std::string Letters(std::size_t size) {
  std::string bytes(size, 'a');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
  return bytes;
}

// The file's bytes come back in order, in blocks of the size asked, also
// past the first MiB, mapped (whose pages are let go behind the reader) or
// read in parts (blocks of at most the part's own size: LendAll checks).
TEST(ListFileTest, LendsTheWholeFile) {
  testing::TempDir dir;
  const std::string bytes = Letters((3 << 20) + 17);
  const std::string path = dir.Write("rym.txt", bytes);
  for (const auto access : {ListFile::Access::kMap, ListFile::Access::kReadParts}) {
    for (std::size_t block : {std::size_t{1000}, std::size_t{256 * 1024}}) {
      ListFile list;
      ASSERT_TRUE(list.Open(path.c_str(), access));
      const bool in_parts = access == ListFile::Access::kReadParts;
      ASSERT_EQ(list.mapped(), !in_parts);
      ASSERT_EQ(list.in_parts(), in_parts);
      // Only a mapped list has bytes in memory, for the output to tell.
      ASSERT_EQ(list.bytes().empty(), in_parts);
      const std::size_t size = in_parts ? list.size() : list.bytes().size();
      ASSERT_EQ(size, bytes.size());
      const auto part = [&](std::size_t begin, std::size_t end) -> std::unique_ptr<ListFile::Range> {
        if (in_parts) return std::make_unique<ListFile::Slice>(list, begin, end, block);
        return std::make_unique<ListFile::Part>(list, begin, end);
      };
      const auto whole = part(0, size), head = part(0, 5000), tail = part(5000, size);
      const std::string label = "block " + std::to_string(block) + (in_parts ? ", in parts" : "");
      EXPECT_EQ(LendAll(*whole, block), bytes) << label;
      EXPECT_TRUE(whole->read_to_end()) << label;
      EXPECT_EQ(LendAll(*head, block) + LendAll(*tail, block), bytes) << label;
      EXPECT_FALSE(whole->failed() || head->failed() || tail->failed()) << label;
    }
  }
}

// A list read in parts that shrinks ends at the first read that finds
// nothing where bytes were: a read error, not the end of the part. One
// that grows is read as it was when opened.
TEST(ListFileTest, SliceOfAShrunkListFails) {
  testing::TempDir dir;
  const std::string bytes = Letters(100000);
  const std::string path = dir.Write("rym.txt", bytes);
  ListFile list;
  ASSERT_TRUE(list.Open(path.c_str(), ListFile::Access::kReadParts));
  ListFile::Slice slice(list, 0, bytes.size(), 4096);
  const char* lent = nullptr;
  ASSERT_EQ(slice.Lend(lent, 4096), 4096u);
  ASSERT_EQ(truncate(path.c_str(), 6000), 0);
  ASSERT_EQ(slice.Lend(lent, 4096), 6000u - 4096u);
  EXPECT_EQ(std::string(lent, 6000 - 4096), bytes.substr(4096, 6000 - 4096));
  EXPECT_EQ(slice.Lend(lent, 4096), 0u);
  EXPECT_TRUE(slice.failed());
  EXPECT_FALSE(slice.read_to_end());

  dir.Write("rym.txt", bytes + "more\n");
  ListFile::Slice grown(list, 0, bytes.size(), 4096);
  EXPECT_EQ(LendAll(grown, 4096), bytes);
  EXPECT_TRUE(grown.read_to_end());
}

// A list of `size` letters, mapped, and a part that lends all of it.
class MappedLetters : public ::testing::Test {
 protected:
  void Map(std::size_t size) {
    path_ = dir_.Write("rym.txt", Letters(size));
    ASSERT_TRUE(mapped_.Open(path_.c_str()));
    whole_.emplace(mapped_, 0, mapped_.bytes().size());
  }
  testing::TempDir dir_;
  std::string path_;
  ListFile mapped_;
  std::optional<ListFile::Part> whole_;
};

// A part cancelled lends nothing more, and has not been read to its end.
TEST_F(MappedLetters, CancelledPartEnds) {
  ASSERT_NO_FATAL_FAILURE(Map(1 << 20));
  ListFile::Part& part = *whole_;
  const char* lent = nullptr;
  ASSERT_EQ(part.Lend(lent, 1000), 1000u);
  part.Cancel();
  EXPECT_EQ(part.Lend(lent, 1000), 0u);
  EXPECT_FALSE(part.read_to_end() || part.failed());
}

// What cannot be mapped is read from the descriptor opened, to its end;
// what cannot be opened at all fails there.
TEST(ListFileTest, ReadsWhatCannotBeMapped) {
  testing::TempDir dir;
  dir.Write("empty.txt", "");
  ListFile list;
  EXPECT_FALSE(list.Open(dir.Path("missing.txt").c_str()));
  for (const char* name : {".", "empty.txt"}) {
    ASSERT_TRUE(list.Open(dir.Path(name).c_str())) << name;
    EXPECT_FALSE(list.mapped()) << name;
  }
  // A folder opens, and fails on its first read.
  ASSERT_TRUE(list.Open(dir.Path(".").c_str()));
  ListFile::Stream folder(list, 100);
  const char* lent = nullptr;
  EXPECT_EQ(folder.Lend(lent, 100), 0u);
  EXPECT_TRUE(folder.failed());
}

// A stopped list lends nothing more, mapped or read, and has not failed.
TEST(ListFileTest, StoppedListEnds) {
  testing::TempDir dir;
  const std::string path = dir.Write("rym.txt", Letters(100000));
  ListFile list;
  ASSERT_TRUE(list.Open(path.c_str()));
  ListFile::Part part(list, 0, list.bytes().size());
  const char* lent = nullptr;
  ASSERT_EQ(part.Lend(lent, 1000), 1000u);
  list.Stop();
  EXPECT_EQ(part.Lend(lent, 1000), 0u);
  EXPECT_FALSE(part.read_to_end() || part.failed());

  ASSERT_TRUE(list.Open("/dev/zero"));
  ASSERT_FALSE(list.mapped());
  ListFile::Stream stream(list, 1000);
  EXPECT_EQ(stream.Lend(lent, 1000), 1000u);
  list.Stop();
  EXPECT_EQ(stream.Lend(lent, 1000), 0u);
  EXPECT_FALSE(stream.failed());
}

// A list cut short under bytes already lent: those past the new end read as
// zeros instead of killing the process, and the next block is a read error.
TEST_F(MappedLetters, LookPastTheCutReadsZerosAndFails) {
  ASSERT_NO_FATAL_FAILURE(Map(4 << 20));
  ListFile::Part& list = *whole_;
  const char* lent = nullptr;
  ASSERT_EQ(list.Lend(lent, 1 << 20), std::size_t{1 << 20});
  EXPECT_EQ(lent[300000], Letters(4 << 20)[300000]);
  ASSERT_EQ(truncate(path_.c_str(), 4096), 0);
  EXPECT_EQ(lent[100], 'a' + 100 % 23);  // before the cut: as it was
  EXPECT_EQ(lent[300000], '\0');        // past it: caught, and zero
  EXPECT_EQ(list.Lend(lent, 1 << 20), 0u);
  EXPECT_TRUE(list.failed());
}

// A cut inside the last page costs no fault at all: the file's size tells,
// at the latest when the end is asked for.
TEST_F(MappedLetters, CutInsideTheLastPageFails) {
  const std::size_t size = 3 * 4096 + 100;
  ASSERT_NO_FATAL_FAILURE(Map(size));
  ListFile::Part& list = *whole_;
  const char* lent = nullptr;
  ASSERT_EQ(list.Lend(lent, size), size);
  ASSERT_EQ(truncate(path_.c_str(), size - 50), 0);
  EXPECT_EQ(lent[size - 10], '\0');
  EXPECT_EQ(list.Lend(lent, size), 0u);
  EXPECT_TRUE(list.failed());
}

}  // namespace
}  // namespace versalo
