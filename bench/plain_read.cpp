// The floor for a search: reads a file from start to end in the blocks the
// word list reader asks for, unbuffered as the reader reads, and does
// nothing with the bytes. bench/run times it beside versalo-find.
//   plain_read FILE
#include <cstdio>
#include <memory>

#include "search/word_list_reader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: plain_read FILE\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 1;
  std::setvbuf(file, nullptr, _IONBF, 0);
  const std::size_t block_size = versalo::WordListOptions{}.block_size;
  const std::unique_ptr<char[]> block(new char[block_size]);
  while (std::fread(block.get(), 1, block_size, file) == block_size) {
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? 1 : 0;
}
