#include "search/cp1251.h"

#include <cstdint>

namespace versalo {

namespace {

constexpr char32_t kUndefined = 0xFFFD;

// The characters of bytes 0x80 to 0xFF; 0x00 to 0x7F are ASCII.
constexpr char32_t kHighHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    kUndefined, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    // C0 to FF: А to я, in order.
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

char32_t CharOf(unsigned char byte) {
  return byte < 0x80 ? byte : kHighHalf[byte - 0x80];
}

// Decodes one character at `pos`, advancing it; kUndefined where the bytes
// are not well-formed UTF-8 (overlong forms and surrogates included).
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra;
  char32_t c;
  char32_t least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return kUndefined;
  }
  for (; extra > 0; --extra) {
    if (pos == text.size()) return kUndefined;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return kUndefined;
    c = (c << 6) | (next & 0x3F);
    ++pos;
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    return kUndefined;
  }
  return c;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {  // every character of the code page lies below U+10000
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool Utf8ToCp1251(std::string_view utf8, std::string& out) {
  out.clear();
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t c = DecodeUtf8(utf8, pos);
    if (c == kUndefined) return false;
    int byte = 0;
    while (byte < 256 && CharOf(static_cast<unsigned char>(byte)) != c) ++byte;
    if (byte == 256) return false;
    out += static_cast<char>(byte);
  }
  return true;
}

void AppendCp1251AsUtf8(std::string_view cp1251, std::string& out) {
  for (const char byte : cp1251) {
    AppendUtf8(CharOf(static_cast<unsigned char>(byte)), out);
  }
}

}  // namespace versalo
