// UTF-8 <-> UTF-16 conversion for the portable code (the Windows layer converts at its edge).
// Invalid sequences become U+FFFD; nothing is dropped silently.
#pragma once
#include <string>
#include <string_view>

namespace halberd {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// 8-bit texts of the installation and uninstall data: a leading "|" marks UTF-8 (the bar is not
// part of the text); otherwise the text is in the system code page, which the caller converts.
inline bool IsMarkedUtf8(std::string_view text) { return !text.empty() && text[0] == '|'; }

}  // namespace halberd
