// Process start-up in its fixed order, then the command line, then the branch into the
// uninstall run or the install run.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <string>

#include "engine/command_line.h"
#include "engine/crash_hook.h"
#include "engine/exit_routine.h"
#include "engine/install_run.h"
#include "engine/messages.h"
#include "engine/run_state.h"
#include "engine/startup.h"
#include "foundation/fatal_error.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "uninstall/uninstall_run.h"

namespace halberd::engine {

namespace {

void EnablePrivilege(const wchar_t* name) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid))
    AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);  // failure is ignored
  CloseHandle(token);
}

struct DisplayMetrics {
  int dpi = 96;
  RECT work_area{};
  int monitors = 1;
};
DisplayMetrics g_display;
std::string g_host_name;
HICON g_icon_large = nullptr;
HICON g_icon_small = nullptr;

void ReadDisplayMetrics() {
  HDC dc = GetDC(nullptr);
  if (dc) {
    g_display.dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
  }
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &g_display.work_area, 0);
  g_display.monitors = GetSystemMetrics(SM_CMONITORS);
}

void StartNetworking() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) == 0) {
    char name[256] = {};
    if (gethostname(name, sizeof name) == 0) g_host_name = name;
    AtExitRun([] { WSACleanup(); });
  }
  // Used only by the HTTP client; absent libraries leave it to its own Winsock client.
  LoadSystemLibrary(L"rasapi32.dll");
  LoadSystemLibrary(L"wininet.dll");
}

// 63 random bits: the system random source, or a time-seeded xorshift when it is unavailable.
uint64_t DrawSessionNumber() {
  uint64_t value = 0;
  using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  auto gen_random = SystemFunction<RtlGenRandomFn>(L"advapi32.dll", "SystemFunction036");
  if (!gen_random || !gen_random(&value, sizeof value) || value == 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t x = uint64_t(counter.QuadPart) ^ (uint64_t(GetTickCount()) << 32) ^ GetCurrentProcessId();
    if (x == 0) x = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 8; ++i) {
      x ^= x >> 12;
      x ^= x << 25;
      x ^= x >> 27;
    }
    value = x * 0x2545F4914F6CDD1Dull;
  }
  return value & 0x7FFFFFFFFFFFFFFFull;
}

void LoadProgramIcons() {
  HINSTANCE self = GetModuleHandleW(nullptr);
  g_icon_large = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  g_icon_small = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

void StartGdiPlus() {
  struct StartupInput {
    UINT32 version = 1;
    void* debug_callback = nullptr;
    BOOL suppress_background_thread = FALSE;
    BOOL suppress_external_codecs = FALSE;
  };
  using StartupFn = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
  using ShutdownFn = void(WINAPI*)(ULONG_PTR);
  auto startup = SystemFunction<StartupFn>(L"gdiplus.dll", "GdiplusStartup");
  auto shutdown = SystemFunction<ShutdownFn>(L"gdiplus.dll", "GdiplusShutdown");
  static ULONG_PTR token = 0;
  StartupInput input;
  if (startup && startup(&token, &input, nullptr) == 0 && shutdown) AtExitRun([shutdown] { shutdown(token); });
}

using SetWindowSubclassFn = BOOL(WINAPI*)(HWND, void*, UINT_PTR, DWORD_PTR);
using DefSubclassProcFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
SetWindowSubclassFn g_set_window_subclass = nullptr;
DefSubclassProcFn g_def_subclass_proc = nullptr;

std::wstring ProgramFileName() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, n < MAX_PATH ? n : 0);
  size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

[[noreturn]] void UsageError(const std::wstring& error_line) {
  ShowMessage(UsageText(error_line, ProgramFileName()), ErrorCaption(), MB_OK | MB_ICONERROR);
  ExitRun(exit_code::kUsage);
}

void ApplyCommandLine(const CommandLine& cl) {
  RunState& run = Run();
  run.automatic = cl.automatic;
  run.silent = cl.silent;
  run.minimized = cl.minimized;
  run.uninstall = cl.uninstall;
  run.display_name = cl.display_name;
  run.install_folder_override = cl.install_folder_override;
  run.uninstall_product = cl.uninstall_product;
  run.launch_after = cl.launch_after;
  for (int i = 0; i < 3; ++i) run.extra_batch[i] = cl.extra_batch[i];
}

}  // namespace

int RunProcess() {
  // 1. The product's own name in captions is kOwnCaption until the script names the product.
  // 2-4.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EnablePrivilege(L"SeTakeOwnershipPrivilege");
  ReadDisplayMetrics();
  StartNetworking();
  // 5-7.
  Run().session = DrawSessionNumber();
  LoadProgramIcons();
  StartGdiPlus();
  // 8. Error hooks: fatal errors, and the crash filter with the installer's crash hook.
  InstallFatalErrorHook();
  InstallCrashHook();
  // 9.
  g_set_window_subclass = SystemFunction<SetWindowSubclassFn>(L"comctl32.dll", "SetWindowSubclass");
  g_def_subclass_proc = SystemFunction<DefSubclassProcFn>(L"comctl32.dll", "DefSubclassProc");
  // 10. The command line; usage errors never start an installation.
  CommandLine cl;
  bool parsed = ParseCommandLine(GetCommandLineW(), [](const std::wstring& w) { return WideToAnsi(w); }, cl);
  ApplyCommandLine(cl);
  if (!parsed) UsageError(cl.error);
  if (Run().uninstall) {
    const int code = uninstall::RunUninstall(Run().uninstall_product);
    if (code == uninstall::uninstall_exit::kRemoved) uninstall::FinishSuccessfulUninstall();
    ExitRun(code);
  }
  // 11. The uninstall-data list starts empty with the install run.
  InstallRun();
}

}  // namespace halberd::engine
