// The installer's crash hook (see crash_hook.h).
#include "engine/crash_hook.h"

#include <windows.h>

#include <string>

#include "crash/crash_filter_win32.h"
#include "crash/crash_reporter_win32.h"
#include "engine/install_log.h"
#include "engine/notifications.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/system_error_text.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

// How long the end of a crashed run waits for the queued problem report to go out.
constexpr DWORD kNotificationWaitMs = 15000;

void RecordInFailureText(const std::string& report) {
  AppendFailureText(L"\r\n\r\nINSTALLER CRASHED!\r\n" + CodePageToWide(report, 1252));
  WriteLogAndOutcome(false);
}

bool InstallerCrashHook(const crash::CrashRecord& record) {
  crash::CrashHandling handling;
  handling.interactive = !Run().silent && !Run().automatic;
  const std::u16string& address = Script().addresses.problem_report_url;
  if (!address.empty())
    handling.endpoint = variables::ExpandNotificationUrl(WideToUtf8(std::wstring(address.begin(), address.end())));
  handling.file_name = crash::ProgramFileName();
  handling.record = &RecordInFailureText;
  handling.post = [](const std::string& url, const crash::FormFields& fields) { PostFormNow(url, fields); };
  const bool sent = crash::HandleCrash(record, handling);
  DrainNotifications(kNotificationWaitMs);
  return sent;
}

}  // namespace

void InstallCrashHook() {
  crash::SetReportIdentity(kOwnCaptionA, kInstallerVersion, "");
  crash::InstallCrashFilter(&InstallerCrashHook);
}

}  // namespace halberd::engine
