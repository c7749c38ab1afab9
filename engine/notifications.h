// The notification channel: plain notifications (HTTP GET) and problem reports (a form POST with
// the field "problems") to the product's addresses, sent by a background thread in the order
// they were queued. The exit routine drains the queue before the process ends.
//
// The first queued message authorises the installer's own file in the Windows Firewall (removed
// again at exit) and starts the thread. Each message goes through the system's internet library
// first; when that brings no answer and the address is an "http:" one, the program's own HTTP
// client tries once more. Failures are neither retried nor reported.
#pragma once
#include "foundation/http_client.h"  // before windows.h: it brings winsock2.h

#include <string>
#include <string_view>

namespace halberd::engine {

// Queues a message. An empty address queues nothing. The notification URL variables are replaced
// in the address as it is queued; a message with details carries the problem report, whose text
// (with the failure text as it stands) is also taken now: the sending thread never reads the run's
// state, which the main thread goes on changing.
void QueueNotification(std::wstring_view address, bool with_details);

// Queues the problem report (the setup script's problem-report address, with details) at most
// once per run: both the corrupt-installer error and the writing of the install log ask for it.
void QueueProblemReport();

// The moments of a run, each to its address of the setup script (or the uninstall key).
// Blocking status 0: the blocking-query address is told, without a question.
void QueueBlockingQueryNotification();
// Installation starts.
void QueueStartNotification();
// Installation complete, after the Post-Installation batch: the address of the run's install type
// ("New", "Upgrade", "Downgrade" or "Reinstall").
void QueueCompletionNotification();
// The cancel routine.
void QueueCancelNotification();
// A successful uninstall run: its `NotifyURL` from the uninstall key. The session number and the
// version in the address are the run state's, which the uninstall run sets from the key first.
void QueueUninstallNotification(std::wstring_view notify_url);

// Sends what is queued, stops the thread and removes the firewall authorisation. The exit routine
// runs it; a message queued afterwards starts the channel again. The crash report waits at most
// `wait_ms` for the thread: the thread itself may be the one that crashed.
void DrainNotifications(DWORD wait_ms = INFINITE);

// Posts a multipart form at once on the calling thread, by the channel's transports: the system's
// internet library, and for an "http:" address that brought no answer the own client. The crash
// report goes this way. The result is not looked at.
void PostFormNow(std::string_view url, const HttpFormFields& fields);

}  // namespace halberd::engine
