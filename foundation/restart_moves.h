// Moves and deletions carried out at the next restart, the file layer's part: the system's
// move-at-restart service (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT, found at run time) and,
// where that service is missing or fails on a system that still runs "wininit.exe", a line in
// the [rename] section of the Windows folder's "wininit.ini". The file layer's deletion at
// restart (ScheduleDeleteAtRestart, delete flag kDeleteAtRestart) and the installer's restart
// operations (install/restart_operations) both go through here.
#pragma once
#include <windows.h>

#include <string>

namespace halberd {

// Moves `source` over `target` at the next restart, replacing it; an empty `target` deletes
// `source` instead. Tries the system's service first; when it fails, the [rename] line is written
// only when "wininit.exe" exists in the Windows folder (else the service's error stands). A
// system without the service gets the line at once. Paths in the line are short (8.3) paths.
bool MoveAtRestart(const std::wstring& source, const std::wstring& target);

// Adds "key=value" (converted to the system code page) to the [rename] section of the Windows
// folder's "wininit.ini", creating the file when it is missing. An empty or blank key is refused
// (ERROR_INVALID_PARAMETER). The file is rewritten through a temporary file beside it, so a
// failed write leaves it as it was.
bool WriteWininitRename(const std::wstring& key, const std::wstring& value);
// The same on a given file (tests use it to keep away from the Windows folder).
bool WriteWininitRenameTo(const std::wstring& ini_path, const std::wstring& key, const std::wstring& value);

// The short (8.3) form of an existing path; the path itself when it has none or does not exist.
std::wstring ShortPathOf(const std::wstring& path);

// Tests stand in for the system's service: `function` is called instead of MoveFileExW (nullptr
// with `present` false acts as a system without the service). ResetRestartMoveFunction restores
// the system's.
using MoveFileExFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
void SetRestartMoveFunction(MoveFileExFunction function, bool present = true);
void ResetRestartMoveFunction();

}  // namespace halberd
