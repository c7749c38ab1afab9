// The notification queue and its background thread. The main thread produces under a critical
// section and counts each message on a semaphore; the thread takes them in order and only sends:
// every message carries its finished address and report text, so the thread reads no run state.
#include "engine/notifications.h"

#include <windows.h>

#include <climits>
#include <deque>
#include <string>
#include <utility>

#include "engine/exit_routine.h"
#include "engine/own_firewall_entry.h"
#include "engine/problem_report.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/http_client.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/windows_version.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

struct Message {
  std::string url;     // UTF-8, the notification URL variables replaced
  bool with_details = false;
  std::string report;  // the "problems" field of a message with details
  bool stop = false;   // the exit routine's last message
};

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

bool IsPlainHttp(std::string_view url) {
  constexpr std::string_view kScheme = "http:";
  if (url.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i)
    if ((url[i] | 0x20) != kScheme[i]) return false;  // ':' | 0x20 is ':' itself
  return true;
}

// The system's internet library first; for an "http:" address that brought no answer, the own
// client once more. Neither result is looked at further.
void PostForm(std::string_view url, const HttpFormFields& fields) {
  if (IsHttpStatus(HttpPostFormViaSystem(url, fields)) || !IsPlainHttp(url)) return;
  HttpClient client;
  client.PostForm(url, fields);
}

void SendOnce(const Message& message) {
  if (message.with_details) {
    PostForm(message.url, {{"problems", message.report}});
    return;
  }
  if (IsHttpStatus(HttpGetViaSystem(message.url)) || !IsPlainHttp(message.url)) return;
  HttpClient client;
  client.Get(message.url);
}

// A message that cannot be sent (even for want of memory) is dropped; the queue goes on.
void Send(const Message& message) {
  try {
    SendOnce(message);
  } catch (...) {
  }
}

class Channel {
 public:
  Channel() { InitializeCriticalSection(&lock_); }

  void Post(Message message) {
    if (!started_) Start();
    EnterCriticalSection(&lock_);
    queue_.push_back(std::move(message));
    LeaveCriticalSection(&lock_);
    if (semaphore_) ReleaseSemaphore(semaphore_.get(), 1, nullptr);
  }

  void Drain(DWORD wait_ms) {
    if (!started_) return;
    Message stop;
    stop.stop = true;
    Post(std::move(stop));
    if (!thread_)
      SendQueued();  // no thread could be made: the messages go out from here
    else if (GetCurrentThreadId() != thread_id_)  // a fatal error on the sending thread cannot wait for itself
      WaitForSingleObject(thread_.get(), wait_ms);
    thread_.reset();
    semaphore_.reset();
    started_ = false;
    RemoveOwnProgramAuthorization();
  }

 private:
  void Start() {
    started_ = true;
    AuthorizeOwnProgram();
    semaphore_.reset(CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr));
    if (semaphore_) thread_.reset(CreateThread(nullptr, 0, &Channel::ThreadMain, this, 0, &thread_id_));
    AtExitRun([this] { Drain(INFINITE); });
  }

  bool Take(Message& message) {
    EnterCriticalSection(&lock_);
    bool any = !queue_.empty();
    if (any) {
      message = std::move(queue_.front());
      queue_.pop_front();
    }
    LeaveCriticalSection(&lock_);
    return any;
  }

  void SendQueued() {
    for (Message message; Take(message) && !message.stop;) Send(message);
  }

  static DWORD WINAPI ThreadMain(void* self) {
    Channel& channel = *static_cast<Channel*>(self);
    for (;;) {
      if (WaitForSingleObject(channel.semaphore_.get(), INFINITE) != WAIT_OBJECT_0) return 1;
      Message message;
      if (!channel.Take(message)) continue;
      if (message.stop) return 0;
      Send(message);
    }
  }

  CRITICAL_SECTION lock_;
  std::deque<Message> queue_;
  UniqueKernelHandle semaphore_;
  UniqueKernelHandle thread_;
  bool started_ = false;  // main thread only
  DWORD thread_id_ = 0;
};

Channel& TheChannel() {
  static Channel& channel = *new Channel;
  return channel;
}

std::string CurrentReport() {
  ProblemReportFacts facts;
  facts.display_name = Settings().DisplayName;
  // The version as an 8-bit text of the system's code page would carry it.
  facts.version = ToU16(CodePageToWide(WideToAnsi(ToWide(Settings().DisplayVersion)), CP_ACP));
  facts.windows_name = WindowsName(RunningWindows());
  facts.admin_rights = HasAdminRights();
  facts.program_path = variables::SystemPathVariableInputs().installer_path;
  facts.failure_text = ToU16(FailureText());
  return ProblemReportText(facts);
}

}  // namespace

void QueueNotification(std::wstring_view address, bool with_details) {
  if (address.empty()) return;
  Message message;
  message.url = variables::ExpandNotificationUrl(WideToUtf8(std::wstring(address)));
  message.with_details = with_details;
  if (with_details) message.report = CurrentReport();
  TheChannel().Post(std::move(message));
}

void QueueProblemReport() {
  static bool queued = false;
  if (queued) return;
  queued = true;
  QueueNotification(ToWide(Script().addresses.problem_report_url), true);
}

void QueueBlockingQueryNotification() { QueueNotification(ToWide(Script().addresses.blocking_query_url), false); }

void QueueStartNotification() { QueueNotification(ToWide(Script().addresses.start_notify_url), false); }

void QueueCompletionNotification() {
  const format::EndOfRunAddresses& a = Script().addresses;
  const std::wstring& type = Run().install_type;
  const std::u16string& address = type == L"Upgrade"     ? a.upgrade_notify_url
                                  : type == L"Downgrade" ? a.downgrade_notify_url
                                  : type == L"Reinstall" ? a.reinstall_notify_url
                                                         : a.new_install_notify_url;
  QueueNotification(ToWide(address), false);
}

void QueueCancelNotification() { QueueNotification(ToWide(Script().addresses.cancel_notify_url), false); }

void QueueUninstallNotification(std::wstring_view notify_url) { QueueNotification(notify_url, false); }

void DrainNotifications(DWORD wait_ms) { TheChannel().Drain(wait_ms); }

void PostFormNow(std::string_view url, const HttpFormFields& fields) {
  try {
    PostForm(url, fields);
  } catch (...) {
  }
}

}  // namespace halberd::engine
