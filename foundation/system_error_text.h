// The system's own text for an error number, as Windows words it (no trailing line break).
#pragma once
#include <windows.h>

#include <string>

namespace halberd {

std::wstring SystemErrorText(DWORD error);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// To the system ANSI code page; characters it cannot represent become "?".
std::string WideToAnsi(const std::wstring& text);
std::wstring CodePageToWide(const std::string& text, UINT code_page);

}  // namespace halberd
