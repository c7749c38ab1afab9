// The Windows half of the uninstall data: the system's ANSI code page, and writing and reading
// "Uninstall.dat" through the file layer.
#include <windows.h>

#include "foundation/file_errors.h"
#include "foundation/tl_file.h"
#include "uninstall/uninstall_data.h"

namespace halberd::uninstall {

namespace {

std::string ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  // A UTF-8 system code page holds every character and refuses a default character.
  const bool utf8 = GetACP() == CP_UTF8;
  const char* fallback = utf8 ? nullptr : "?";
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(CP_ACP, flags, wide, int(text.size()), nullptr, 0, fallback, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  n = WideCharToMultiByte(CP_ACP, flags, wide, int(text.size()), out.data(), n, fallback, nullptr);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

std::u16string FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(size_t(n), u'\0');
  n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

// Leaves `error` as the last error, or a generic failure when the system gave none.
bool FailWith(DWORD error) {
  SetLastError(error ? error : DWORD(E_FAIL));
  return false;
}

}  // namespace

CodePage SystemCodePage() { return {ToAnsi, FromAnsi}; }

bool WriteUninstallDataFile(const UninstallData& data, const std::wstring& path) {
  const std::string bytes = WriteUninstallData(data);
  FileW file;
  int code = file.Open(path, kPathNewTempFileBeside | kNoReadAccess);
  if (code != file_error::kSuccess) return FailWith(GetLastError());  // Open set the code's error
  if (!file.Write(bytes)) {
    DWORD error = GetLastError();
    file.CloseAndDelete(0);
    return FailWith(error);
  }
  const std::wstring temporary = file.Path();
  file.Close();
  if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    RemoveFile(temporary);
    return FailWith(error);
  }
  return true;
}

int LoadUninstallDataFile(const std::wstring& path, UninstallData& data) {
  FileW file;
  int code = file.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kLoadIntoMemory);
  if (code != file_error::kSuccess) return code;
  std::string bytes;
  if (!file.ReadAll(bytes)) return file_error::kReadIntoMemory;
  data = LoadUninstallData(bytes);
  return file_error::kSuccess;
}

}  // namespace halberd::uninstall
