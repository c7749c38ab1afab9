// The Windows side of the checks before installing: a registry location read back from the real
// registry (Wine), and the closing of a running program's window by the AutoClose list.
#include "engine/earlier_installation.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/running_programs.h"
#include "engine/setup_script_state.h"
#include "uninstall/run_uninstall_data.h"

using namespace halberd;
using namespace halberd::engine;

namespace {

constexpr wchar_t kTestKey[] = L"Software\\Halberd Tests\\Earlier location";

void SetValue(HKEY root, const std::wstring& name, const std::wstring& text) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(root, kTestKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 DWORD((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace

TEST(EarlierInstallationWin32, RegistryLocationIsReadFromEitherRoot) {
  SetValue(HKEY_CURRENT_USER, L"Path", L"C:\\From user");
  SetValue(HKEY_LOCAL_MACHINE, L"Path", L"C:\\From machine");
  EXPECT_EQ(ReadRegistryLocationText(u"HKCU\\Software\\Halberd Tests\\Earlier location\\Path"), L"C:\\From user");
  EXPECT_EQ(ReadRegistryLocationText(u"HKLM\\Software\\Halberd Tests\\Earlier location\\Path"), L"C:\\From machine");
  // A missing value or key, or a text that names no registry value, gives nothing.
  EXPECT_EQ(ReadRegistryLocationText(u"HKLM\\Software\\Halberd Tests\\Earlier location\\Missing"), L"");
  EXPECT_EQ(ReadRegistryLocationText(u"HKLM\\Software\\Halberd Tests\\No such key\\Path"), L"");
  EXPECT_EQ(ReadRegistryLocationText(u"C:\\Program Files\\Path"), L"");
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halberd Tests");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halberd Tests");
}

namespace {

// A window of another thread stands for a running program: it is closed by the posted WM_CLOSE.
// `ready` is set once the window exists (or could not be made).
HWND g_window = nullptr;

DWORD WINAPI RunWindow(void* ready) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"HalberdTestViewer";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"HalberdTestViewer", L"Monthly report - Viewer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, wc.hInstance, nullptr);
  g_window = window;
  SetEvent(static_cast<HANDLE>(ready));
  MSG msg;
  while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

}  // namespace

TEST(RunningProgramsWin32, OwnProcessWindowsAreSkippedAndTheListKeepsUninstallEntries) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, RunWindow, ready, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  HWND window = g_window;
  if (window == nullptr) {  // Wine without a display makes no windows
    WaitForSingleObject(thread, 10000);
    GTEST_SKIP() << "no window could be created (no display)";
  }
  ASSERT_EQ(FindWindowW(L"HalberdTestViewer", nullptr), window);

  Script().AutoClose = {
      {u"HalberdTestViewer", u"*report", u"Viewer", kCloseByMessage, kCloseWhileInstalling},
      {u"Other", u"", u"Other", kCloseTerminate, kCloseWhileInstalling | kCloseWhileUninstalling},
  };
  CloseRunningPrograms();
  // The window belongs to this process: it is left alone.
  EXPECT_TRUE(IsWindow(window));
  ASSERT_EQ(Script().AutoClose.size(), 1u);
  EXPECT_EQ(Script().AutoClose[0].program_name, u"Other");
  // The uninstaller gets the entries kept.
  ASSERT_EQ(uninstall::RunUninstallData().close_list.size(), 1u);
  EXPECT_EQ(uninstall::RunUninstallData().close_list[0],
            (uninstall::CloseEntry{u"Other", u"", u"Other", kCloseTerminate}));
  uninstall::RunUninstallData().close_list.clear();

  PostMessageW(window, WM_CLOSE, 0, 0);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(ready);
  Script().AutoClose.clear();
}
