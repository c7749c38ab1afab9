#include "engine/running_programs.h"

#include <windows.h>

#include "engine/exit_routine.h"
#include "engine/language_texts.h"
#include "engine/message_text.h"
#include "engine/messages.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "foundation/format/text_numbers.h"
#include "uninstall/run_uninstall_data.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

constexpr DWORD kSettleTime = 333;  // ms for the closed programs to go away

std::u16string WindowClass(HWND window) {
  wchar_t name[256];
  int n = GetClassNameW(window, name, 256);
  return ToU16(std::wstring_view(name, n > 0 ? size_t(n) : 0));
}

std::u16string WindowTitle(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring title(size_t(length > 0 ? length : 0) + 1, L'\0');
  int n = GetWindowTextW(window, title.data(), int(title.size()));
  title.resize(n > 0 ? size_t(n) : 0);
  return ToU16(title);
}

void BringForward(HWND window) {
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
}

void PumpMessagesFor(DWORD milliseconds) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

void CloseWindow(HWND window, const format::AutoCloseEntry& entry) {
  switch (entry.action) {
    case kCloseByMessage:
    case kCloseByQuit:
      BringForward(window);
      PostMessageW(window, entry.action == kCloseByMessage ? WM_CLOSE : WM_QUIT, 0, 0);
      break;
    case kCloseAskUser:
      if (Run().silent) break;
      while (IsWindow(window)) {
        std::wstring text = ToWide(FillInText(LanguageText16(text::kCloseProgram), {entry.program_name}));
        if (ShowMessage(text, LanguageText(text::kPageCaption), MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
          CancelRun(exit_code::kCancelled);
      }
      break;
    case kCloseTerminate: {
      DWORD process_id = 0;
      GetWindowThreadProcessId(window, &process_id);
      HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id);
      if (process) {
        TerminateProcess(process, 0);
        CloseHandle(process);
      }
      break;
    }
    default:
      break;
  }
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

}  // namespace

void CloseRunningPrograms() {
  std::vector<format::AutoCloseEntry>& entries = Script().AutoClose;
  if (entries.empty()) return;
  // The windows are listed first: closing one changes the list the system walks.
  std::vector<HWND> windows;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
  const DWORD own_process = GetCurrentProcessId();
  for (HWND window : windows) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == own_process) continue;
    if (const format::AutoCloseEntry* entry = FindCloseEntry(entries, WindowClass(window), WindowTitle(window)))
      CloseWindow(window, *entry);
  }
  entries = EntriesForUninstall(entries);
  // The uninstaller closes the same programs first.
  std::vector<uninstall::CloseEntry>& close_list = uninstall::RunUninstallData().close_list;
  for (const format::AutoCloseEntry& e : entries)
    close_list.push_back({e.window_class, e.window_title, e.program_name, int(e.action)});
  PumpMessagesFor(kSettleTime);
}

}  // namespace halberd::engine
