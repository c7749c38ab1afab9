// The second steps of fonts, shared files, COM servers, type libraries, driver information files,
// installer packages and control-panel applets, through the system's own programs and libraries,
// each started or loaded from the system folder by its full path. The texts and decisions are
// component_registration.cpp's.
//
// Registration calls into foreign code (a COM server's DllRegisterServer, the type-library and
// driver functions). MinGW's GCC has no structured exception handling (__try/__except), so the
// guard around each item catches C++ exceptions only, as the shortcut step's does.
#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

#include "engine/corrupt_installer.h"
#include "engine/earlier_installation.h"
#include "engine/language_texts.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/message_pump.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"
#include "foundation/windows_version.h"
#include "install/component_registration.h"
#include "install/component_steps.h"
#include "install/extraction_folders.h"
#include "install/file_version.h"
#include "install/installed_files.h"
#include "uninstall/run_uninstall_data.h"

namespace halberd::install {

namespace {

struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { FreeLibrary(h); }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// What this run holds for the uninstall registration.
struct ComponentState {
  bool font_installed = false;
  bool shared_value_started = false;
  SharedFilesValue shared_files;
};

ComponentState& State() {
  static ComponentState state;
  return state;
}

// The `SharedFiles` value, starting from the earlier installation's.
SharedFilesValue& SharedFiles() {
  ComponentState& s = State();
  if (!s.shared_value_started) {
    s.shared_files = SharedFilesValue(WideToAnsi(W(engine::Earlier().shared_files)));
    s.shared_value_started = true;
  }
  return s.shared_files;
}

void ShowRegistering(std::u16string_view file) {
  engine::SetStatusText(W(RegisteringStatus(engine::LanguageText16(text::kStatusRegistering), file)));
}

// A log line that also goes to the failure text: the item failed.
void LogAndFail(const std::wstring& text) {
  engine::LogWide(text);
  engine::AppendFailureText(text);
}

template <typename Step>
bool Guarded(Step step) {
  try {
    step();
    return true;
  } catch (...) {
    engine::LogWide(L"CRASHED!\r\n");
    return false;
  }
}

// Runs a program hidden, from the system folder, and waits for it with the windows kept
// responsive. The exit code, or nothing when it could not be started (the system error kept).
bool RunHidden(const ProgramStart& start, DWORD& exit_code) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  std::wstring command = W(start.command_line);
  const std::wstring folder = SystemFolder();
  if (!CreateProcessW(W(start.application).c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return false;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1) break;
    PumpPendingMessages();
  }
  exit_code = 0;
  GetExitCodeProcess(process.get(), &exit_code);
  return true;
}

// Step 2 of the COM registration: regsvr32 of the system folder; when it fails, the server's own
// DllRegisterServer, which counts as success whatever it returns.
bool RegisterComServer(const std::wstring& path, DWORD& code) {
  code = DWORD(-1);
  if (RunHidden(ComRegistrationStart(U16(SystemFolder()), U16(path)), code) && code == 0) return true;
  if (code == DWORD(-1)) code = GetLastError();
  UniqueLibrary library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) return false;
  using RegisterFn = HRESULT(WINAPI*)();
  auto do_register = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(library.get(), "DllRegisterServer")));
  if (!do_register) return false;
  do_register();
  return true;
}

void RegisterComFiles(const std::vector<std::u16string>& files) {
  for (const std::u16string& file : files) {
    const std::wstring path = W(file);
    engine::LogFormatW(L"Registering COM File \"%s\"...", path.c_str());
    ShowRegistering(file);
    const bool finished = Guarded([&] {
      DWORD code = 0;
      if (RegisterComServer(path, code)) {
        engine::LogWide(L"OK\r\n");
        return;
      }
      wchar_t line[48];
      wsprintfW(line, L"FAILED, code %d\r\n", int(code));
      engine::LogWide(line);
      engine::FailItem(path, 0);
    });
    if (!finished) engine::AppendFailureText(L"Crashed while registering COM file " + path + L"\r\n");
  }
}

void RegisterTypeLibraries(const std::vector<std::u16string>& files) {
  using LoadFn = HRESULT(WINAPI*)(const wchar_t*, IUnknown**);
  using RegisterFn = HRESULT(WINAPI*)(IUnknown*, const wchar_t*, const wchar_t*);
  static const auto load = SystemFunction<LoadFn>(L"oleaut32.dll", "LoadTypeLib");
  static const auto do_register = SystemFunction<RegisterFn>(L"oleaut32.dll", "RegisterTypeLib");
  const HWND own_window = GetActiveWindow();
  for (const std::u16string& file : files) {
    const std::wstring path = W(file);
    engine::LogFormatW(L"Registering Type Library \"%s\"...", path.c_str());
    ShowRegistering(file);
    const bool finished = Guarded([&] {
      HRESULT hr = HRESULT(ERROR_PROC_NOT_FOUND);
      if (load && do_register) {
        IUnknown* library = nullptr;
        hr = load(path.c_str(), &library);
        if (SUCCEEDED(hr) && library) {
          hr = do_register(library, path.c_str(), nullptr);
          library->Release();
        }
      }
      if (SUCCEEDED(hr)) {
        engine::LogWide(L"OK\r\n");
        return;
      }
      engine::LogWide(L"FAILED\r\n" + SystemErrorText(DWORD(hr)) + L"\r\n");
      engine::FailItem(path, DWORD(hr));
    });
    if (!finished) engine::AppendFailureText(L"Crashed while registering TLB file " + path + L"\r\n");
  }
  PumpPendingMessages();
  if (own_window) SetForegroundWindow(own_window);
}

void InstallDriverFiles(const std::vector<std::u16string>& files) {
  if (files.empty()) return;
  // SetupCopyOEMInfW(source, media root, media type, copy style, destination, size, needed, part)
  using CopyInfFn = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, DWORD, DWORD, wchar_t*, DWORD, DWORD*, wchar_t**);
  HMODULE setupapi = LoadSystemLibrary(L"setupapi.dll");
  if (!setupapi) {
    engine::LogWide(L"Cannot install INF files...unable to open Setupapi.dll\r\n");
    return;
  }
  auto copy_inf = reinterpret_cast<CopyInfFn>(reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupCopyOEMInfW")));
  if (!copy_inf) {
    engine::LogWide(L"Cannot install INF files...unable to link to SetupCopyOEMInf()\r\n");
    return;
  }
  engine::LogWide(L"\r\n");
  constexpr DWORD kMediaTypeFullPath = 1;  // SPOST_PATH
  Guarded([&] {
    for (const std::u16string& file : files) {
      const std::wstring path = W(file);
      ShowRegistering(file);
      engine::LogWide(L"Installing driver \"" + path + L"\"...");
      wchar_t destination[260] = {};
      DWORD needed = 0;
      const bool ok = copy_inf(path.c_str(), nullptr, kMediaTypeFullPath, 0, destination, 260, &needed, nullptr) != FALSE;
      const DWORD error = ok ? 0 : GetLastError();
      const std::u16string location = ok ? U16(destination) : std::u16string();
      const std::wstring line = W(DriverResultLine(ok, error, ok ? u"" : U16(SystemErrorText(error)), location));
      // A driver the store refuses (an unsigned one, or a system without a store) is logged only.
      engine::LogWide(line);
      if (!location.empty()) uninstall::RunUninstallData().drivers.push_back(uninstall::EncodeUninstallText(location));
    }
  });
}

// Step 1 of the shared files: the count key, made when it is missing (a fresh system may lack it).
void RegisterSharedFiles(const std::vector<SharedFileRequest>& files) {
  if (!(engine::Run().ProductFlags & format::kFlagUninstaller) || PortableInstallation()) return;
  if (files.empty()) return;
  static constexpr wchar_t kKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  RegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kKeyPath, reg_open::kDefaultSecurity, KEY_ALL_ACCESS | reg_view::k32Bit) ==
      reg_opened::kFailed) {
    const DWORD error = GetLastError();
    engine::AppendFailureText(std::wstring(L"Registry error: unable to increment shared file reference counts.\r\nHKLM\\") +
                              kKeyPath + L"\r\nCode " + std::to_wstring(error) + L": " + SystemErrorText(error) +
                              L"\r\nOS: " + Utf8ToWide(WindowsName(RunningWindows())) + L"\r\n\r\n");
    return;
  }
  SharedFilesValue& value = SharedFiles();
  for (const SharedFileRequest& file : files) {
    const std::string item = SharedFileItemText(file.path, file.mark);
    if (value.Contains(item)) continue;
    const std::wstring path = W(file.path);
    const uint32_t count = key.ReadNumber(path, 0);
    if (!key.WriteNumber(path, count + 1)) {
      engine::LogWide(L"Failed to increment reference count of shared file \"" + path + L"\" : " +
                      SystemErrorText(GetLastError()) + L"\r\n");
    }
    value.Append(item);
  }
}

}  // namespace

void InstallFont(const std::wstring& path, const std::u16string& display_name) {
  const std::u16string file_name = FontFileName(U16(path));
  ShowRegistering(file_name);
  const std::wstring name = W(display_name);
  // A font outside the fonts folder is named by its path.
  const std::wstring fonts_folder = FontsFolder();
  const bool in_fonts_folder = !fonts_folder.empty() && path.size() > fonts_folder.size() &&
                               CompareStringOrdinal(path.c_str(), int(fonts_folder.size()), fonts_folder.c_str(),
                                                    int(fonts_folder.size()), TRUE) == CSTR_EQUAL &&
                               path.find(L'\\', fonts_folder.size() + 1) == std::wstring::npos;
  RegistryKey key;
  const bool nt = RunningWindows().platform == WindowsVersion::Platform::kNT;
  bool registered = key.OpenKey(HKEY_LOCAL_MACHINE, W(FontsKeyPath(nt)), reg_open::kDefaultSecurity,
                                KEY_ALL_ACCESS | reg_view::k32Bit) != reg_opened::kFailed;
  if (registered) registered = key.WriteText(name, in_fonts_folder ? W(file_name) : path);
  if (!registered) {
    const DWORD error = GetLastError();
    std::wstring text = L"Failed to register font \"" + name + L"\"\r\n";
    if (error) text += L"Code " + std::to_wstring(error) + L": " + SystemErrorText(error) + L"\r\n\r\n";
    LogAndFail(text);
  }
  if (AddFontResourceW(path.c_str()) == 0) {
    const DWORD error = GetLastError();
    engine::LogFailedItem(L"font \"" + name + L"\"", error);
    engine::FailItem(L"font \"" + name + L"\"", error);
    return;
  }
  State().font_installed = true;
}

void InstallPackage(const PackageRequest& package) {
  using SetUiFn = int(WINAPI*)(int, HWND*);
  using InstallFn = UINT(WINAPI*)(const wchar_t*, const wchar_t*);
  // The Windows Installer library is loaded once, from the system folder.
  static const auto set_ui = SystemFunction<SetUiFn>(L"msi.dll", "MsiSetInternalUI");
  static const auto install = SystemFunction<InstallFn>(L"msi.dll", "MsiInstallProductW");
  ShowRegistering(package.path);
  const std::wstring path = W(package.path);
  UINT code = ERROR_CALL_NOT_IMPLEMENTED;  // 120: no Windows Installer on this system
  if (set_ui && install) {
    HWND parent = GetActiveWindow();
    set_ui(package.ui_level, &parent);
    code = install(path.c_str(), L"REBOOT=R");
  }
  const std::wstring line = W(PackageLogLine(package.path, code, U16(SystemErrorText(code))));
  engine::LogWide(line);
  if (!PackageInstalled(code)) {
    engine::AppendFailureText(line);
    return;
  }
  if (package.record_for_removal)
    uninstall::RunUninstallData().packages.push_back(uninstall::PackageLine(package.path, package.ui_level));
}

void RegisterApplet(const AppletRequest& applet) {
  std::u16string name = applet.name;
  if (name.empty()) name = U16(FileDescriptionOf(W(applet.path)));
  if (name.empty()) engine::CorruptInstaller(AppletProblem(name, applet.class_id));
  ShowRegistering(u"Control Panel extension \"" + name + u"\"");
  engine::LogWide(L"Registering control panel applet \"" + W(name) + L"\"...");
  if (const int problem = AppletProblem(name, applet.class_id)) engine::CorruptInstaller(problem);
  DWORD error = 0;
  for (const AppletKey& k : AppletKeys(applet.class_id, name, applet.path, applet.arguments)) {
    // Default security: the keys name a program that others start.
    RegistryKey key;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, W(k.path), reg_open::kDefaultSecurity, KEY_ALL_ACCESS) == reg_opened::kFailed) {
      error = GetLastError();
      continue;
    }
    if (k.recorded) uninstall::RecordRemoval(L"\\HKLM\\" + W(k.path), uninstall::RemovalKind::kRegistryKey);
    if (!key.WriteText(L"", W(k.value))) error = GetLastError();
  }
  if (!error) {
    engine::LogWide(L"OK\r\n");
    return;
  }
  LogAndFail(L"FAILED!\r\n" + SystemErrorText(error) + L"\r\n\r\n");
}

void RegisterComponents() {
  if (State().font_installed) {
    DWORD_PTR ignored;
    SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
  }
  const InstalledFiles& lists = RunFiles();
  engine::SetProgress(92);
  RegisterSharedFiles(lists.shared_files);
  engine::SetProgress(93);
  if (!lists.com_files.empty() || !lists.type_libraries.empty()) {
    RegisterComFiles(lists.com_files);
    RegisterTypeLibraries(lists.type_libraries);
  }
  InstallDriverFiles(lists.driver_files);
  engine::SetProgress(95);
  engine::SetStatusText(engine::LanguageText(text::kStatusCompleting));
}

std::u16string SharedFilesForRegistration() {
  return U16(CodePageToWide(SharedFiles().Text(), CP_ACP));
}

std::u16string ProductFontsForRegistration() {
  return U16(CodePageToWide(ProductFontsValue(RunFiles().fonts), CP_ACP));
}

}  // namespace halberd::install
