#include "engine/corrupt_installer.h"

#include <windows.h>

#include <cwchar>

#include "engine/exit_routine.h"
#include "engine/install_log.h"
#include "engine/language_texts.h"
#include "engine/messages.h"
#include "engine/notifications.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/text_numbers.h"
#include "foundation/system_error_text.h"

namespace halberd::engine {

namespace {
constexpr wchar_t kBuiltInCorruptText[] =
    L"This installation program is corrupt.  This is usually caused by a faulty download, but it can also be "
    L"caused by a virus on your computer.  The installation cannot proceed.\r\n\r\nDelete the corrupted installer "
    L"(to prevent caching), then re-download it.  If the problem persists, check your system for "
    L"viruses.\r\n\r\nError code: %d";

std::wstring FormatWithNumber(const std::wstring& format, int number) {
  // The language text is the publisher's: only its first %d is filled, any other % stays.
  std::wstring out;
  bool done = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (!done && format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'd') {
      out += std::to_wstring(number);
      ++i;
      done = true;
    } else {
      out += format[i];
    }
  }
  return out;
}
}  // namespace

std::wstring CorruptInstallerMessage(int code, unsigned long system_error) {
  std::wstring format = LanguageText(text::kCorruptInstaller);
  if (format.empty()) format = kBuiltInCorruptText;
  std::wstring message = FormatWithNumber(format, code);
  if (system_error != 0)
    message += L"\r\nSystem error, code " + std::to_wstring(system_error) + L": " + SystemErrorText(system_error);
  return message;
}

void CorruptInstaller(int code, bool with_system_error) {
  DWORD system_error = with_system_error ? GetLastError() : 0;
  std::wstring message = CorruptInstallerMessage(code, system_error);
  AppendFailureText(message + L"\r\n");
  WriteLogAndOutcome(false);
  QueueProblemReport();  // sent before the exit, silent or not
  ShowMessage(message, ErrorCaption(), MB_OK | MB_ICONERROR);
  ExitRun(2);
}

}  // namespace halberd::engine
