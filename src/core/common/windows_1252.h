// Windows-1252, the code page of every text and file of the program, against Unicode code points.
#pragma once

#include <array>
#include <cstddef>

namespace gelvar {

// 0x80..0x9F; the five codes Windows-1252 leaves free map to the C1 controls, as Windows does. Every
// other byte stands for the code point of its own number.
inline constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// The byte for a code point, or -1 when Windows-1252 has no such character.
constexpr int ToWindows1252(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kWindows1252High.size(); ++i) {
    if (kWindows1252High[i] == codePoint) return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace gelvar
