// A word list sent front coded, as the web page downloads its own: sorted
// lists shrink to a fraction of their size before they are compressed.
//
// The format:
//  - "VFC1", then a flags byte: bit 0 set when the list ends with a line
//    feed; bit 1 set when the list's size follows, as 8 bytes, least
//    significant first (the decoder makes room for it at once, and a list of
//    another size is refused); other bits are refused;
//  - then, for each line of the list (the bytes before each LF, and the
//    bytes after the last LF when there are any; CR, NUL and SUB are bytes
//    like any other here), one byte, how many of the line's first bytes are
//    the first bytes of the line before (at most 255, never more than that
//    line has; the first line shares none), then the rest of the line's
//    bytes, then LF.
//  - The list is the lines joined, each followed by LF, less the last LF
//    when the flags say the list does not end with one.
// web/front_code.py writes it; the decoding here gives back exactly the
// bytes it was made from.
#ifndef VERSALO_SEARCH_FRONT_CODING_H
#define VERSALO_SEARCH_FRONT_CODING_H

#include <cstddef>
#include <string>
#include <string_view>

namespace versalo {

enum class FrontCodingOutcome {
  kDecoded,         // the bytes were a whole front-coded list
  kNotFrontCoded,   // the header is not this format's, a line claims to
                    // share more bytes than the line before has, or the
                    // list is not of the size the header gives
  kCutShort,        // the bytes end inside the header or inside a line
};

// Decodes a front-coded list fed in pieces of any size (as they come from
// the network), writing the list's bytes straight into the string it is
// given, which it grows as it goes: no other copy of the list is made.
class FrontDecoder {
 public:
  // Appends the list to `out`, which belongs to the decoder until Finish
  // (its size meanwhile is not the list's).
  explicit FrontDecoder(std::string& out);

  // The next piece of the coded bytes. False, from the first byte that
  // shows them not to be a front-coded list on, and then the rest are
  // ignored.
  bool Feed(std::string_view piece);
  // After the last piece: `out` holds what was decoded before it (the whole
  // list when kDecoded).
  FrontCodingOutcome Finish();

 private:
  enum class Stage { kHeader, kShared, kRest, kRefused };

  void Reserve(std::size_t more);

  std::string& out_;
  std::size_t list_start_;     // where the list starts in out_
  std::size_t size_;           // bytes of out_ that hold the list so far
  std::size_t line_start_;     // where the line being decoded starts
  std::size_t previous_ = 0;   // where the line before starts
  std::size_t previous_size_ = 0;
  std::size_t header_seen_ = 0;
  unsigned flags_ = 0;
  unsigned long long expected_ = 0;  // the list's size, when flags_ & 2
  Stage stage_ = Stage::kHeader;
};

}  // namespace versalo

#endif  // VERSALO_SEARCH_FRONT_CODING_H
