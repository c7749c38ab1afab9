// Deletion of a file at the next restart. MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT is looked
// up at run time: systems without it need the "wininit.ini" [rename] section instead, which is
// added here as the second way when the restart operations are written.
#include <windows.h>

#include "foundation/tl_file.h"

namespace halberd {

namespace {
using MoveFileExFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

MoveFileExFn MoveFileExFunction() {
  static const MoveFileExFn function = reinterpret_cast<MoveFileExFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "MoveFileExW")));
  return function;
}
}  // namespace

bool ScheduleDeleteAtRestart(const std::wstring& path) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  MoveFileExFn move = MoveFileExFunction();
  if (!move) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return move(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

}  // namespace halberd
