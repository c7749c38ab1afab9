// Fonts, shared files and their registrations, installer and driver packages, and the remaining
// contents of the installation folder, as the uninstall run removes them.
#include <windows.h>

#include "engine/message_text.h"
#include "engine/messages.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/text_numbers.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/text_convert.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"
#include "uninstall/component_removal.h"
#include "uninstall/run_uninstall_data.h"
#include "uninstall/shared_file_list.h"
#include "uninstall/uninstall_data.h"

namespace halberd::uninstall {

namespace {

// The message box's own buttons and results (Yes to all, No to all).
constexpr UINT kYesToAllButton = 0x8000000;
constexpr UINT kNoToAllButton = 0x10000000;
constexpr int kYesToAll = 19;
constexpr int kNoToAll = 20;

struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { FreeLibrary(h); }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

// A 64-bit product's run has the file-system redirection off; system libraries of this 32-bit
// process are loaded with it on.
class RedirectionOn {
 public:
  RedirectionOn() : was_off_(engine::Run().fs_redirection_off) {
    if (was_off_) engine::RestoreFsRedirection();
  }
  ~RedirectionOn() {
    if (was_off_) engine::ApplyBitness(1);
  }
  RedirectionOn(const RedirectionOn&) = delete;
  RedirectionOn& operator=(const RedirectionOn&) = delete;

 private:
  bool was_off_;
};

template <typename Fn>
Fn Function(HMODULE library, const char* name) {
  return library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Text16(int id) {
  const UninstallData& data = RunUninstallData();
  auto it = data.texts.find(id);
  return it == data.texts.end() ? std::u16string() : it->second;
}

std::wstring Decode(const std::string& stored) {
  static const CodePage code_page = SystemCodePage();
  return W(DecodeUninstallText(stored, code_page));
}

// The question about one item under a keep/ask/remove setting; Yes to all and No to all change
// the setting for the items after it. Returns whether the item goes.
bool AskRemoval(uint32_t& setting, bool automatic, int question, int caption, const std::wstring& item, bool several) {
  if (setting == 0) return false;
  if (setting != 1 || automatic) return true;
  UINT buttons = MB_YESNO | MB_ICONQUESTION | (several ? kYesToAllButton | kNoToAllButton : 0);
  int answer = engine::ShowMessage(W(engine::FillInText(Text16(question), {U(item)})), W(Text16(caption)), buttons);
  if (answer == kYesToAll) setting = 2;
  if (answer == kNoToAll) setting = 0;
  return answer == IDYES || answer == kYesToAll;
}

// Runs `command_line` with the program at `program` (a full path) in the system folder and waits;
// the exit code, or -1 when it could not be started.
long RunAndWait(const std::wstring& program, std::wstring command_line) {
  const std::wstring folder = SystemFolder();
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return -1;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return long(code);
}

// A COM server no longer shared: "regsvr32.exe /s /u" from the system folder, else its own
// DllUnregisterServer.
void UnregisterComServer(const std::wstring& path) {
  const std::wstring regsvr32 = W(JoinPath(U(SystemFolder()), u"regsvr32.exe"));
  if (RunAndWait(regsvr32, L"\"" + regsvr32 + L"\" /s /u \"" + path + L"\"") == 0) return;
  UniqueLibrary library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) return;
  using UnregisterFn = HRESULT(WINAPI*)();
  auto unregister = Function<UnregisterFn>(library.get(), "DllUnregisterServer");
  if (unregister) unregister();
}

// A type library no longer shared, unregistered through oleaut32 of the system folder.
void UnregisterTypeLibrary(const std::wstring& path) {
  struct TypeLibAttributes {
    GUID guid;
    LCID lcid;
    int syskind;
    WORD major;
    WORD minor;
    WORD flags;
  };
  using LoadFn = HRESULT(WINAPI*)(const wchar_t*, int, void**);
  using UnregisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, int);
  RedirectionOn redirection;
  auto load = SystemFunction<LoadFn>(L"oleaut32.dll", "LoadTypeLibEx");
  auto unregister = SystemFunction<UnregisterFn>(L"oleaut32.dll", "UnRegisterTypeLib");
  if (!load || !unregister) return;
  void* library = nullptr;
  if (FAILED(load(path.c_str(), 2 /* REGKIND_NONE */, &library)) || !library) return;
  // ITypeLib: Release is the third method, GetLibAttr the eighth, ReleaseTLibAttr the thirteenth.
  using ReleaseFn = ULONG(WINAPI*)(void*);
  using GetAttrFn = HRESULT(WINAPI*)(void*, TypeLibAttributes**);
  using ReleaseAttrFn = void(WINAPI*)(void*, TypeLibAttributes*);
  void** table = *reinterpret_cast<void***>(library);
  auto release = reinterpret_cast<ReleaseFn>(table[2]);
  auto get_attr = reinterpret_cast<GetAttrFn>(table[7]);
  auto release_attr = reinterpret_cast<ReleaseAttrFn>(table[12]);
  TypeLibAttributes* attributes = nullptr;
  if (SUCCEEDED(get_attr(library, &attributes)) && attributes) {
    unregister(attributes->guid, attributes->major, attributes->minor, attributes->lcid, attributes->syskind);
    release_attr(library, attributes);
  }
  release(library);
}

void DeleteTree(const std::wstring& folder, int depth) {
  if (depth > 64) return;
  WIN32_FIND_DATAW found;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const DWORD attributes = found.dwFileAttributes;
    SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                         FILE_ATTRIBUTE_SYSTEM));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A junction or a folder link goes as itself; what it points to is never entered.
      if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteTree(path, depth + 1);
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(find.get(), &found));
}

}  // namespace

void RemoveFonts(const std::string& product_fonts, uint32_t setting, bool automatic) {
  const std::vector<FontItem> fonts = ParseProductFonts(product_fonts);
  RegistryKey key;
  const bool key_open = key.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                                    reg_open::kOpenOnly, KEY_ALL_ACCESS | reg_view::k32Bit) != reg_opened::kFailed;
  const std::wstring fonts_folder = FontsFolder();
  for (const FontItem& font : fonts) {
    const std::wstring name = Utf8ToWide(font.name);
    if (!AskRemoval(setting, automatic, text::kRemoveFontQuestion, text::kRemoveFontCaption, name, fonts.size() > 1))
      continue;
    if (key_open) key.DeleteValue(name);
    // Only a file of the fonts folder: the stored name is a name, never a path to follow.
    std::u16string file = U(Decode(font.file));
    size_t slash = file.find_last_of(u"\\/");
    if (slash != std::u16string::npos) file = file.substr(slash + 1);
    if (file.empty() || fonts_folder.empty()) continue;
    const std::wstring path = W(JoinPath(U(fonts_folder), file));
    RemoveFontResourceW(path.c_str());
    RemoveFile(path);
  }
  DWORD_PTR ignored;
  SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
}

void ReleaseSharedFiles(const std::string& shared_files, uint32_t setting, bool automatic) {
  RegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", reg_open::kOpenOnly,
                  KEY_ALL_ACCESS) == reg_opened::kFailed) {
    engine::AppendFailureText(L"REGISTRY ERROR:  Unable to adjust shared file reference counts.\r\n\r\n");
    return;
  }
  const std::vector<SharedFileItem> items = ParseSharedFiles(shared_files);
  for (const SharedFileItem& item : items) {
    const std::wstring path = Decode(item.path);
    const bool exists = key.ValueExists(path);
    const SharedFileDecision decision = DecideSharedFile(item, exists, exists ? key.ReadNumber(path) : 0);
    if (decision.skip) continue;
    if (decision.write_count) key.WriteNumber(path, decision.new_count);
    if (decision.stays) continue;
    if (decision.unregister_com) UnregisterComServer(path);
    if (decision.unregister_type_library) UnregisterTypeLibrary(path);
    if (setting == 0 || !FileExists(path)) continue;
    if (!AskRemoval(setting, automatic, text::kRemoveSharedQuestion, text::kSharedFileCaption, path, items.size() > 1))
      continue;
    RemoveFile(path);
  }
}

std::vector<std::string> RemovePackages(const std::vector<std::string>& lines) {
  using SetUiFn = int(WINAPI*)(int, HWND*);
  using InstallFn = UINT(WINAPI*)(const wchar_t*, const wchar_t*);
  RedirectionOn redirection;
  UniqueLibrary library(LoadSystemLibrary(L"msi.dll"));
  auto set_ui = Function<SetUiFn>(library.get(), "MsiSetInternalUI");
  auto install = Function<InstallFn>(library.get(), "MsiInstallProductW");
  std::vector<std::string> kept;
  for (const std::string& line : lines) {
    std::string encoded;
    int option = 0;
    if (!ReadPackageLine(line, encoded, option)) continue;
    const std::wstring path = Decode(encoded);
    UINT code = ERROR_INSTALL_SERVICE_FAILURE;
    if (set_ui && install) {
      set_ui(option, nullptr);
      code = install(path.c_str(), L"REBOOT=R REMOVE=ALL");
    }
    if (code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_REQUIRED || code == ERROR_SUCCESS_REBOOT_INITIATED) continue;
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    wchar_t number[16];
    wsprintfW(number, L"%u", code);
    engine::AppendFailureText(L"Failed to uninstall " + name + L", code " + number + L": " + SystemErrorText(code) +
                              L"\r\n");
    kept.push_back(line);
  }
  return kept;
}

void RemoveDriverPackages(const std::vector<std::string>& lines) {
  using UninstallInfFn = BOOL(WINAPI*)(const wchar_t*, DWORD, void*);
  RedirectionOn redirection;
  UniqueLibrary library(LoadSystemLibrary(L"setupapi.dll"));
  if (!library) return;
  auto uninstall_inf = Function<UninstallInfFn>(library.get(), "SetupUninstallOEMInfW");
  if (!uninstall_inf) return;
  for (const std::string& line : lines) {
    std::wstring path = Decode(line);
    size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (!name.empty()) uninstall_inf(name.c_str(), 1 /* SUOI_FORCEDELETE */, nullptr);
  }
}

void DeleteFolderContents(const std::wstring& folder) {
  DeleteTree(folder, 0);
  RemoveDirectoryW(folder.c_str());
}

}  // namespace halberd::uninstall
