// Moves and deletions at the next restart: the system's move-at-restart service, and the
// "wininit.ini" [rename] section for systems that run "wininit.exe" instead. MoveFileExW is
// looked up at run time, so a system without it still starts and takes the second way.
#include "foundation/restart_moves.h"

#include "foundation/last_error.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/wininit_rename.h"

namespace halberd {

namespace {

std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

MoveFileExFunction SystemMoveFileEx() {
  static const MoveFileExFunction function = reinterpret_cast<MoveFileExFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "MoveFileExW")));
  return function;
}

struct RestartMove {
  bool overridden = false;
  MoveFileExFunction function = nullptr;
};
RestartMove g_restart_move;

MoveFileExFunction RestartMoveFunction() {
  return g_restart_move.overridden ? g_restart_move.function : SystemMoveFileEx();
}


bool WininitExeExists() { return FileExists(ToWide(JoinPath(ToU16(WindowsFolder()), u"wininit.exe"))); }

// Reads the whole file; a missing file is an empty one. Any other failure is reported: writing
// back only the new line would lose what the file holds.
bool ReadIni(const std::wstring& path, std::string& text) {
  text.clear();
  FileW file;
  int code = file.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite);
  if (code == file_error::kFileNotFound) return true;
  if (code != file_error::kSuccess) {
    SetLastError(file.LastSystemError());
    return false;
  }
  return file.ReadAll(text);
}

bool WriteWhole(FileW& file, const std::string& text) { return file.Write(text) && file.Flush(); }

// Writes the new text into a temporary file beside `path` and moves it over the file, so the old
// file stays whole until the new one is complete. Without MoveFileExW the file is rewritten in
// place.
bool ReplaceIni(const std::wstring& path, const std::string& text) {
  MoveFileExFunction move = SystemMoveFileEx();
  FileW file;
  if (!move) {
    if (file.Open(path, kCreateAlways) != file_error::kSuccess) {
      SetLastError(file.LastSystemError());
      return false;
    }
    return WriteWhole(file, text);
  }
  if (file.Open(path, kPathNewTempFileBeside) != file_error::kSuccess) {
    SetLastError(file.LastSystemError());
    return false;
  }
  std::wstring temporary = file.Path();
  bool ok = WriteWhole(file, text);
  file.Close();
  if (ok) ok = move(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!ok) {
    KeepLastError keep;
    DeleteFileW(temporary.c_str());
  }
  return ok;
}

}  // namespace

namespace {
// GetShortPathNameW for an existing path; false when the system gives no short form.
bool SystemShortPath(const std::wstring& path, std::wstring& out) {
  DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return false;
  out.assign(n, L'\0');
  DWORD m = GetShortPathNameW(path.c_str(), out.data(), n);
  if (m == 0 || m >= n) return false;
  out.resize(m);
  return true;
}
}  // namespace

std::wstring ShortPathOf(const std::wstring& path) {
  KeepLastError keep;
  std::wstring out;
  if (SystemShortPath(path, out)) return out;
  // A file that does not exist yet: its folder's short form with the name as it is.
  std::u16string folder = ParentFolder(ToU16(path));
  if (!folder.empty() && folder.size() < path.size() && SystemShortPath(ToWide(folder), out)) {
    std::u16string name = ToU16(path).substr(folder.size());
    if (!name.empty() && name.front() == u'\\') name.erase(0, 1);
    return ToWide(JoinPath(ToU16(out), name));
  }
  return path;
}

bool WriteWininitRenameTo(const std::wstring& ini_path, const std::wstring& key, const std::wstring& value) {
  if (IsBlank(ToU16(key))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string text;
  if (!ReadIni(ini_path, text)) return false;
  return ReplaceIni(ini_path, AddWininitRename(text, WideToAnsi(key), WideToAnsi(value)));
}

bool WriteWininitRename(const std::wstring& key, const std::wstring& value) {
  return WriteWininitRenameTo(ToWide(JoinPath(ToU16(WindowsFolder()), u"wininit.ini")), key, value);
}

bool MoveAtRestart(const std::wstring& source, const std::wstring& target) {
  if (source.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (MoveFileExFunction move = RestartMoveFunction()) {
    DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (target.empty() ? 0 : MOVEFILE_REPLACE_EXISTING);
    if (move(source.c_str(), target.empty() ? nullptr : target.c_str(), flags)) return true;
    DWORD error = GetLastError();
    if (!WininitExeExists()) {
      SetLastError(error);
      return false;
    }
  }
  return WriteWininitRename(target.empty() ? std::wstring(L"NUL") : ShortPathOf(target), ShortPathOf(source));
}

bool ScheduleDeleteAtRestart(const std::wstring& path) { return MoveAtRestart(path, std::wstring()); }

void SetRestartMoveFunction(MoveFileExFunction function, bool present) {
  g_restart_move.overridden = true;
  g_restart_move.function = present ? function : nullptr;
}

void ResetRestartMoveFunction() { g_restart_move = RestartMove(); }

}  // namespace halberd
