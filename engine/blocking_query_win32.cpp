#include "engine/blocking_query.h"

#include <winsock2.h>
#include <windows.h>

#include "engine/exit_routine.h"
#include "engine/messages.h"
#include "engine/notifications.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/http_client.h"
#include "foundation/http_result.h"
#include "foundation/system_error_text.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

bool IsPlainHttp(std::string_view url) {
  constexpr std::string_view kScheme = "http:";
  if (url.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i)
    if ((url[i] | 0x20) != kScheme[i]) return false;
  return true;
}

// The system's internet library first (it carries "https:"); an "http:" address that brought no
// answer is asked once more through the own client.
int AskBlockingAddress(const std::string& url) {
  int status = HttpGetViaSystem(url);
  if (IsHttpStatus(status) || !IsPlainHttp(url)) return status;
  HttpClient client;
  return client.Get(url);
}

}  // namespace

void RunBlockingQuery() {
  const format::SetupScript& script = Script();
  int32_t blocking_status = script.settings.blocking_status;
  if (blocking_status == 0) {
    QueueBlockingQueryNotification();
    return;
  }
  if (script.addresses.blocking_query_url.empty()) return;
  std::string url = variables::ExpandNotificationUrl(WideToUtf8(ToWide(script.addresses.blocking_query_url)));
  int status = AskBlockingAddress(url);
  if (!IsInstallationBlocked(blocking_status, status)) return;
  std::wstring text = ToWide(BlockedMessage(Settings().Publisher));
  LogWide(text + L"\r\n");
  if (!Run().silent) ShowMessage(text, L"Error", MB_OK | MB_ICONERROR);
  ExitRun(exit_code::kBlocked);
}

}  // namespace halberd::engine
