// Writing "delunins.bat" and starting it hidden, so that the uninstaller's own file and the
// emptied folders go once the uninstaller has ended.
#include <windows.h>
#include <shellapi.h>

#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/tl_file.h"
#include "uninstall/self_deletion.h"
#include "uninstall/uninstall_run.h"

namespace halberd::uninstall {

namespace {

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::wstring RunningProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// %ComSpec% when it names a full path, else cmd.exe of the system folder; never a bare name.
std::wstring CommandInterpreter() {
  wchar_t value[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"ComSpec", value, MAX_PATH);
  if (n > 0 && n < MAX_PATH && IsFullPath(U(std::wstring_view(value, n)))) return std::wstring(value, n);
  return W(JoinPath(U(SystemFolder()), u"cmd.exe"));
}

}  // namespace

bool StartSelfDeletion(const std::wstring& install_folder, const std::u16string& uninstall_subdir) {
  std::wstring folder = TempFolder();
  if (folder.empty()) {
    wchar_t current[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, current);
    folder.assign(current, n < MAX_PATH ? n : 0);
  }
  const std::wstring batch = W(JoinPath(U(folder), kSelfDeletionBatchName));
  const std::string text = SelfDeletionBatch(U(RunningProgram()), U(install_folder), uninstall_subdir, U(batch));
  // A file or link already there under the name is removed, then the batch is made anew.
  DeleteFileW(batch.c_str());
  {
    FileW file;
    if (file.Open(batch, kCreateNew | kNoReadAccess) != file_error::kSuccess || !file.Write(text)) return false;
  }
  // "/s /c" with the path quoted once more keeps a path with blanks or "&" whole.
  const std::wstring interpreter = CommandInterpreter();
  std::wstring command = L"\"" + interpreter + L"\" /s /c \"\"" + batch + L"\"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  // The batch works from the temporary folder, so that no folder it removes is its current one.
  if (CreateProcessW(interpreter.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, folder.c_str(), &si,
                     &pi)) {
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    return true;
  }
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", batch.c_str(), nullptr, folder.c_str(), SW_HIDE)) > 32;
}

}  // namespace halberd::uninstall
