// The [rename] section of "wininit.ini", in portable form: adding one "key=value" line to the
// file's text. Systems without the move-at-restart service carry out this section at the next
// start: each line moves the value path to the key path, or deletes it when the key is "NUL".
// The text is 8-bit (the system code page) and the paths in it are short (8.3) paths; reading
// and writing the file is the Windows layer's (restart_moves).
#pragma once
#include <string>
#include <string_view>

namespace halberd {

// `ini` with the line "key=value" added: directly after the "[rename]" header (found in any
// letter case at the start of a line, blanks before it allowed), so that the newest line comes
// first; or, when the file has no such section, a new section "[rename]\r\nkey=value" at the end,
// after a line break when the text does not end with one.
std::string AddWininitRename(std::string_view ini, std::string_view key, std::string_view value);

}  // namespace halberd
