// Restart operations of the installer: a locked target gets its new contents in a "TLT"
// temporary file beside it, moved over it at the next restart; pending operations left by an
// earlier run that would destroy a file just installed are taken out of the system's list; and
// the "reboot.dat" marker that lasts until the next restart. The moves are the file layer's
// (restart_moves), the list rules portable (pending_operations), the loosening of a folder's
// security is in path_security_win32.
#include "install/restart_operations.h"

#include <algorithm>
#include <vector>

#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/restart_moves.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_registry.h"
#include "install/pending_operations.h"

namespace halberd::install {

namespace {

using engine::Run;

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kRestartMarkerName[] = L"reboot.dat";

// The contents are copied in pieces of this size.
constexpr int64_t kCopyPiece = 1048576;

std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

bool HasDateAndTime(const DateTime& time) { return time.month != 0 && time.hour >= 0; }

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// Whether two names lead to the same path (full paths compared as the file system does, without
// regard to case).
bool SamePath(const std::wstring& a, const std::wstring& b) {
  auto full = [](const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    DWORD m = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    if (m == 0 || m >= n) return path;
    out.resize(m);
    return out;
  };
  std::wstring fa = full(a), fb = full(b);
  return CompareStringOrdinal(fa.c_str(), int(fa.size()), fb.c_str(), int(fb.size()), TRUE) == CSTR_EQUAL;
}

// Copies `size` bytes of `from` at `offset` into `to`; false with the system error set.
bool CopyContents(FileW& from, int64_t offset, int64_t size, FileW& to) {
  if (size < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!from.Seek(offset)) return false;
  std::vector<char> piece(size_t(std::min(size, kCopyPiece)));
  for (int64_t left = size; left > 0;) {
    int64_t n = std::min(left, kCopyPiece);
    if (!from.ReadExact(piece.data(), n) || !to.Write(piece.data(), n)) return false;
    left -= n;
  }
  return true;
}

// Writes the new contents into a temporary file in the target's own folder: the move at restart
// is a rename, which cannot cross volumes, so a name the file layer found elsewhere is no use.
bool WriteTemporaryFile(const std::wstring& target, FileW& contents, int64_t offset, int64_t size,
                        const DateTime& time, std::wstring& temporary) {
  FileW file;
  int code = file.Open(target, kPathNewTempFileBeside);
  temporary = file.Path();
  if (code != file_error::kSuccess) {
    SetLastError(file.LastSystemError());
    return false;
  }
  std::u16string folder = ParentFolder(ToU16(target));
  std::u16string where = ParentFolder(ToU16(temporary));
  if (CompareStringOrdinal(reinterpret_cast<const wchar_t*>(folder.c_str()), int(folder.size()),
                           reinterpret_cast<const wchar_t*>(where.c_str()), int(where.size()), TRUE) != CSTR_EQUAL) {
    SetLastError(ERROR_CANNOT_MAKE);
    return false;
  }
  if (!CopyContents(contents, offset, size, file) || !file.Flush()) return false;
  if (HasDateAndTime(time) && (!file.SetCreationTime(time) || !file.SetLastWriteTime(time))) return false;
  file.Close();
  return true;
}

// Deletes a temporary file of ours now, or at the next restart when it cannot go now.
void DropTemporaryFile(const std::wstring& temporary) {
  if (temporary.empty()) return;
  DWORD error = GetLastError();
  RemoveFile(temporary, kDeleteMissingIsSuccess | kDeleteAtRestartOnFailure);
  SetLastError(error);
}

}  // namespace

ReplaceResult ReplaceAtRestart(const std::wstring& target, FileW& contents, int64_t offset, int64_t size,
                               const DateTime& time) {
  std::wstring temporary;
  if (!WriteTemporaryFile(target, contents, offset, size, time, temporary)) {
    DWORD error = GetLastError();
    if (IsDiskFull(error)) Run().disk_full = true;
    engine::AppendFailureText(L"Failed to register '" + target +
                              L"' for replacement because no temporary file could be created.\r\n" +
                              SystemErrorText(error) + L"\r\n\r\n");
    DropTemporaryFile(temporary);
    return ReplaceResult::kFailed;
  }
  // The new file keeps the security it inherited from the target's folder: the move at restart
  // keeps a file's access list, and a file that lands in the system folder must not be open to
  // every user.

  if (!RegisterReplacement(temporary, target)) {
    DWORD error = GetLastError();
    engine::AppendFailureText(L"Failed to register '" + target + L"' for replacement with temporary file '" +
                              temporary + L"'\r\n" + SystemErrorText(error) + L"\r\n\r\n");
    DropTemporaryFile(temporary);
    return ReplaceResult::kFailed;
  }
  Run().set_restart_required();
  engine::LogWide(L"\"" + target + L"\" was successfully registered for replacement.\r\nTemporary file is \"" +
                  temporary + L"\"\r\nReboot will be required.\r\n\r\n");
  return ReplaceResult::kPending;
}

bool RegisterReplacement(const std::wstring& source, const std::wstring& target) {
  if (IsBlank(ToU16(source)) || IsBlank(ToU16(target))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (!SamePath(source, target) && !MoveAtRestart(source, target)) return false;
  SetLastError(ERROR_BUSY);
  return true;
}

bool DeleteAtRestart(const std::wstring& path) { return ScheduleDeleteAtRestart(path); }

bool WriteWininitRename(const std::wstring& key, const std::wstring& value) {
  return halberd::WriteWininitRename(key, value);
}

void CleanPendingOperations(const std::vector<std::wstring>& installed_files, bool install_run) {
  RegistryKey key;
  if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerKey, reg_open::kOpenOnly, KEY_QUERY_VALUE | KEY_SET_VALUE)) {
    return;
  }
  DWORD type = REG_NONE;
  std::string bytes;
  // A value of another type is not the system's list; it is left alone.
  if (!key.ReadRaw(kPendingValue, type, bytes) || type != REG_MULTI_SZ) return;
  std::u16string data(bytes.size() / sizeof(char16_t), u'\0');
  std::copy_n(bytes.data(), data.size() * sizeof(char16_t), reinterpret_cast<char*>(data.data()));
  std::vector<std::u16string> entries = SplitPendingOperations(data);
  if (entries.empty()) return;
  if (install_run) engine::LogWide(L"\r\n");

  std::vector<std::u16string> installed;
  installed.reserve(installed_files.size());
  for (const std::wstring& file : installed_files) installed.push_back(ToU16(file));
  CleanedPendingOperations cleaned = CleanPendingList(std::move(entries), installed);

  for (const PendingRemoval& removal : cleaned.removed) {
    std::wstring file = ToWide(removal.installed_file);
    if (removal.is_move) {
      if (install_run) engine::LogWide(L"File \"" + file + L"\" was removed from the list of pending moves.\r\n");
      // The stale source would have replaced the new file; it is kept where a user can get it back.
      RemoveFile(ToWide(PendingPathToFilePath(removal.source)), kDeleteToRecycleBin | kDeleteMissingIsSuccess);
    } else if (install_run) {
      engine::LogWide(L"File \"" + file + L"\" was removed from the list of pending deletions.\r\n");
    }
  }
  if (cleaned.removed.empty()) return;
  if (cleaned.entries.empty()) {
    key.DeleteValue(kPendingValue);
  } else {
    std::u16string joined = JoinPendingOperations(cleaned.entries);
    key.WriteRaw(kPendingValue, REG_MULTI_SZ, joined.data(), joined.size() * sizeof(char16_t));
  }
}

void WriteRestartMarker() {
  if (!(Run().ProductFlags & format::kFlagRestartMarker) || Run().install_folder.empty()) return;
  std::wstring path = ToWide(JoinPath(ToU16(Run().install_folder), ToU16(kRestartMarkerName)));
  FileW marker;
  if (marker.Open(path, kCreateAlways | kCloseAfterOpen) != file_error::kSuccess) return;
  DeleteAtRestart(path);
}

}  // namespace halberd::install
