#include "search/cp1251.h"

#include <gtest/gtest.h>

#include <string>

#ifdef __linux__
#include <iconv.h>
#endif

namespace versalo {
namespace {

#ifdef __linux__
// Every byte converts as the C library's own converter does; 0x98, which
// the code page leaves undefined, becomes U+FFFD.
TEST(Cp1251Test, AgreesWithIconvOnEveryByte) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int byte = 0; byte < 256; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* in_ptr = in;
    char* out_ptr = out;
    std::size_t in_left = 1, out_left = sizeof out;
    const bool known = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1);
    const std::string expected = known ? std::string(out, out_ptr) : "\xEF\xBF\xBD";
    std::string ours;
    AppendCp1251AsUtf8(std::string(1, static_cast<char>(byte)), ours);
    EXPECT_EQ(ours, expected) << "byte " << byte;
    if (known) {
      std::string back;
      EXPECT_TRUE(Utf8ToCp1251(expected, back)) << "byte " << byte;
      EXPECT_EQ(back, std::string(1, static_cast<char>(byte)));
    }
  }
  iconv_close(cd);
}
#endif

struct Utf8Case {
  const char* utf8;
  bool ok;
  const char* cp1251;
};

// UTF-8 that Windows-1251 can write converts; anything else is refused.
TEST(Cp1251Test, ConvertsOnlyWhatTheCodePageWrites) {
  const Utf8Case cases[] = {
      {"та", true, "\xF2\xE0"},
      {"ЁЖ №", true, "\xA8\xC6 \xB9"},
      {"at\r\x1A", true, "at\r\x1A"},
      {"€—", true, "\x88\x97"},
      {"", true, ""},
      {"日本", false, ""},           // no such characters in the code page
      {"\xEF\xBF\xBD", false, ""},  // U+FFFD stands for no byte
      {"\xD1", false, ""},          // truncated sequence
      {"\xC0\xB0", false, ""},      // overlong form
      {"\xED\xA0\x80", false, ""},  // surrogate
      {"\xFF", false, ""},          // no UTF-8 lead byte
      {"\x80", false, ""},          // lone continuation byte
  };
  for (const Utf8Case& c : cases) {
    std::string out;
    EXPECT_EQ(Utf8ToCp1251(c.utf8, out), c.ok) << c.utf8;
    if (c.ok) {
      EXPECT_EQ(out, c.cp1251) << c.utf8;
    }
  }
}

}  // namespace
}  // namespace versalo
