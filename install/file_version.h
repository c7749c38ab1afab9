// The file version of an existing file's version resource ("a.b.c.d"), read with version.dll
// loaded from the system folder at run time. Windows only.
#pragma once
#include <optional>
#include <string>

namespace halberd::install {

std::optional<std::string> FileVersionOf(const std::wstring& path);

// The "FileDescription" text of the file's version information (its first translation); empty
// when it has none.
std::wstring FileDescriptionOf(const std::wstring& path);

}  // namespace halberd::install
