// Windows-1251, the word list's code page, to and from UTF-8, for front ends
// whose own text is UTF-8. The search itself compares bytes of code page 1251.
#ifndef VERSALO_SEARCH_CP1251_H
#define VERSALO_SEARCH_CP1251_H

#include <string>
#include <string_view>

namespace versalo {

// Converts UTF-8 text to Windows-1251. False when the text is not valid
// UTF-8 or holds a character that Windows-1251 cannot write; `out` is then
// unspecified.
bool Utf8ToCp1251(std::string_view utf8, std::string& out);

// Appends Windows-1251 text to `out` as UTF-8. The one byte the code page
// leaves undefined, 0x98, becomes U+FFFD.
void AppendCp1251AsUtf8(std::string_view cp1251, std::string& out);

}  // namespace versalo

#endif  // VERSALO_SEARCH_CP1251_H
