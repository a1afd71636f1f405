// Byte helpers that the reader and the search share. Bytes are compared as
// unsigned char.
#ifndef VERSALO_SEARCH_BYTES_H
#define VERSALO_SEARCH_BYTES_H

#include <cstddef>
#include <cstring>

namespace versalo {

inline bool IsByte(char c, unsigned char byte) { return static_cast<unsigned char>(c) == byte; }

// Index of the first `byte` in [from, end) of `block`, or `end`.
inline std::size_t FindByte(const char* block, std::size_t from, std::size_t end,
                            unsigned char byte) {
  const void* hit = std::memchr(block + from, byte, end - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - block) : end;
}

}  // namespace versalo

#endif  // VERSALO_SEARCH_BYTES_H
