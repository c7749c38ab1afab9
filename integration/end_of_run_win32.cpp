// The end of an install run: the restart of Windows, or the launch-after program (/r:) and the
// documents and program the product names, opened through the desktop shell so that they run as
// the desktop's user and not with the installer's elevation; then the exit code.
#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

#include <string>

#include "engine/exit_routine.h"
#include "engine/install_log.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/tl_com_win32.h"
#include "foundation/tl_file.h"
#include "integration/closing_phase.h"
#include "integration/launch_command.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

using engine::Run;

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

RestartStandIn g_restart_stand_in = nullptr;

// The interfaces' identifiers, spelled here so that no GUID library is linked.
constexpr CLSID kClsidShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr IID kIidShellWindows = {0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidServiceProvider = {0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr GUID kSidTopLevelBrowser = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr IID kIidShellBrowser = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellFolderViewDual = {0xE7A1AF80, 0x4D96, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidShellDispatch2 = {0xA4C6892C, 0x3BA9, 0x11D2, {0x9D, 0xEA, 0x00, 0xC0, 0x4F, 0xB1, 0x61, 0x62}};

// One COM interface pointer, released when it goes.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }
  T** typed_out() { return &p_; }

 private:
  T* p_ = nullptr;
};

VARIANT TextVariant(const Bstr& text) {
  VARIANT v = {};
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  return v;
}

// The desktop shell's own dispatch object: from the desktop window among the shell windows, its
// browser, its background view and that view's application object.
bool DesktopShellDispatch(ComPtr<IShellDispatch2>& shell) {
  ComPtr<IShellWindows> windows;
  if (FAILED(CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, kIidShellWindows, windows.out())))
    return false;
  VARIANT location = {};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT empty = {};
  long hwnd = 0;
  ComPtr<IDispatch> desktop;
  if (windows->FindWindowSW(&location, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.typed_out()) != S_OK ||
      !desktop.get())
    return false;
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folder_view;
  ComPtr<IDispatch> application;
  return SUCCEEDED(desktop->QueryInterface(kIidServiceProvider, services.out())) &&
         SUCCEEDED(services->QueryService(kSidTopLevelBrowser, kIidShellBrowser, browser.out())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.typed_out())) &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, kIidDispatch, background.out())) &&
         SUCCEEDED(background->QueryInterface(kIidShellFolderViewDual, folder_view.out())) &&
         SUCCEEDED(folder_view->get_Application(application.typed_out())) &&
         SUCCEEDED(application->QueryInterface(kIidShellDispatch2, shell.out()));
}

// Opens or starts `file` through the desktop shell, as the desktop's user.
bool ShellExecuteAsDesktopUser(const std::wstring& file, const std::wstring& arguments, const std::wstring& folder) {
  ComPtr<IShellDispatch2> shell;
  if (!DesktopShellDispatch(shell)) return false;
  Bstr file_text(file), arguments_text(arguments), folder_text(folder), operation_text(L"");
  if (!file_text.get()) return false;
  VARIANT show = {};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  // S_FALSE is the shell's word for a start that did not happen: the direct start follows.
  return shell->ShellExecute(file_text.get(), TextVariant(arguments_text), TextVariant(folder_text),
                             TextVariant(operation_text), show) == S_OK;
}

// Appends to Install.log after it was written (a failure to start something at the very end).
void AppendToInstallLog(const std::wstring& text) {
  const std::u16string folder = U(Run().install_folder);
  if (!IsFullPath(folder)) return;
  FileW log;
  if (log.Open(W(engine::InstallLogPath(folder, engine::Settings().UninstallSubdir)), kOpenOrCreate | kShareRead) !=
      file_error::kSuccess)
    return;
  int64_t size = log.Size();
  if (size < 0 || !log.Seek(0, SeekOrigin::kEnd)) return;
  if (size == 0) log.Write(engine::kUtf8ByteOrderMark);
  log.Write(WideToUtf8(text));
}

// Starts a command line as a new process of the installer, in `folder`.
bool StartProcess(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return false;
  UniqueKernelHandle process_handle(process.hProcess);
  UniqueKernelHandle thread_handle(process.hThread);
  return true;
}

// The launch-after program of /r: (the earlier uninstaller starts this installer through it).
void RunLaunchAfterProgram() {
  const std::wstring& command = Run().launch_after;
  if (command.empty() || !engine::FailureText().empty()) return;
  LaunchCommand split = SplitLaunchCommand(U(command));
  std::wstring program = W(split.program);
  if (!StartProcess(program, W(split.arguments), Run().install_folder)) {
    DWORD error = GetLastError();
    AppendToInstallLog(L"Failed to launch command: " + command + L"\r\n" + SystemErrorText(error) + L"\r\n");
  }
}

// A document or web page named by the product, opened as the desktop's user, else directly.
void OpenEndDocument(const std::u16string& document) {
  if (document.empty()) return;
  std::wstring path = W(document);
  variables::ExpandPathVariables(path);
  // A web address stays as it is; a path is taken relative to the installation folder.
  if (path.find(L"://") == std::wstring::npos) path = W(ResolveRelativePath(U(Run().install_folder), U(path)));
  if (ShellExecuteAsDesktopUser(path, L"", Run().install_folder)) return;
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, Run().install_folder.c_str(), SW_SHOWNORMAL);
}

// The product's program to start after installation.
void StartEndProgram(const std::u16string& command) {
  if (command.empty()) return;
  std::wstring expanded = W(command);
  variables::ExpandPathVariables(expanded);
  LaunchCommand split = SplitLaunchCommand(U(expanded));
  std::wstring program = W(ResolveRelativePath(U(Run().install_folder), split.program));
  const std::wstring arguments = W(split.arguments);
  const bool directly = (Run().ProductFlags2 & format::kFlags2LaunchDirectly) != 0;
  if (!directly && ShellExecuteAsDesktopUser(program, arguments, Run().install_folder)) return;
  if (!StartProcess(program, arguments, Run().install_folder)) {
    DWORD error = GetLastError();
    AppendToInstallLog(L"Failed to launch app: " + program + L"\r\n" + SystemErrorText(error) + L"\r\n");
  }
}

}  // namespace

void SetRestartStandIn(RestartStandIn stand_in) { g_restart_stand_in = stand_in; }

bool RestartWindows() {
  if (g_restart_stand_in) return g_restart_stand_in();
  HANDLE token_handle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_handle)) return false;
  UniqueKernelHandle token(token_handle);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return false;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // Planned: application installation (SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION |
  // SHTDN_REASON_MINOR_INSTALLATION).
  const bool ok = ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0x80040002) != 0;
  privileges.Privileges[0].Attributes = 0;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  return ok;
}

void EndInstallRun() {
  engine::RestoreFsRedirection();
  if (Run().restart_agreed) {
    RestartWindows();
  } else {
    SetCurrentDirectoryW(Run().install_folder.c_str());
    const format::EndOfRunAddresses& addresses = engine::Script().addresses;
    RunLaunchAfterProgram();
    if (Run().end_show_document) OpenEndDocument(addresses.open_document);
    if (Run().end_start_program) StartEndProgram(addresses.launch_program);
    if (Run().end_second_document) OpenEndDocument(addresses.open_document_2);
  }
  engine::ExitRun(engine::FinishedExitCode(Run()));
}

}  // namespace halberd::integration
