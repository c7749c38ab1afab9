#include "engine/exit_routine.h"

#include <windows.h>
#include <objbase.h>

#include <vector>

#include "engine/language_texts.h"
#include "engine/messages.h"
#include "engine/notifications.h"
#include "engine/run_state.h"
#include "foundation/fatal_error.h"
#include "foundation/format/text_numbers.h"
#include "foundation/system_error_text.h"

namespace halberd::engine {

namespace {
std::vector<std::function<void()>>& Cleanups() {
  static std::vector<std::function<void()>> list;
  return list;
}
volatile LONG g_exiting = 0;
volatile LONG g_fatal_shown = 0;

void PumpMessages() {
  MSG msg;
  for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void FatalHook(const std::string& message_cp1252) {
  if (InterlockedExchange(&g_fatal_shown, 1) == 0 && InterlockedCompareExchange(&g_exiting, 0, 0) == 0) {
    std::wstring text = CodePageToWide(message_cp1252, 1252);
    ShowMessage(text, ErrorCaption(), MB_OK | MB_ICONERROR);
  }
  ExitRun(exit_code::kFatal);
}
}  // namespace

void AtExitRun(std::function<void()> cleanup) { Cleanups().push_back(std::move(cleanup)); }

void ExitRun(int code) {
  if (InterlockedExchange(&g_exiting, 1) != 0) TerminateProcess(GetCurrentProcess(), UINT(code));
  try {
    PumpMessages();
    auto& list = Cleanups();
    while (!list.empty()) {
      auto cleanup = std::move(list.back());
      list.pop_back();
      cleanup();
    }
    CoUninitialize();
  } catch (...) {
    TerminateProcess(GetCurrentProcess(), UINT(code));
  }
  ExitProcess(UINT(code));
}

void CancelRun(int code) {
  QueueCancelNotification();
  if (!Run().automatic) {
    std::wstring text = LanguageText(Run().uninstall ? text::kUninstallCancelled : text::kInstallCancelled);
    ShowMessage(text, LanguageText(text::kCancelledCaption), MB_OK | MB_ICONWARNING);
  }
  ExitRun(code);
}

void CancelRunQuietly() {
  QueueCancelNotification();
  ExitRun(exit_code::kCancelled);
}

void InstallFatalErrorHook() { SetFatalErrorHook(&FatalHook); }

}  // namespace halberd::engine
