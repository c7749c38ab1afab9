// Small checks on the publisher's texts before they are converted: UTF-8 validity (the
// converters would replace a bad sequence silently) and plain ASCII.
#pragma once
#include <cstdint>
#include <string_view>

namespace halberd::pack {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, at most
// U+10FFFF.
inline bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) n = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 3, cp = c & 0x07;
    else return false;
    if (s.size() - i <= n) return false;
    for (size_t k = 1; k <= n; ++k) {
      uint8_t d = uint8_t(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

inline bool IsAscii(std::string_view s) {
  for (char c : s)
    if (uint8_t(c) >= 0x80) return false;
  return true;
}

}  // namespace halberd::pack
