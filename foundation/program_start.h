// Starting a program by its full path (program_command has the portable rules). Windows only.
#pragma once
#include <windows.h>

#include <string>

namespace halberd {

// Starts `application` (a full path, never searched for) with `command_line`; the process and
// thread handles are closed at once. False with the system's last error when it did not start.
bool StartProgram(const std::wstring& application, const std::wstring& command_line);

}  // namespace halberd
