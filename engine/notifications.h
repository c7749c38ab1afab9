// The notification channel: plain notifications (HTTP GET) and problem reports (a form POST with
// the field "problems") to the product's addresses, sent by a background thread in the order
// they were queued. The exit routine drains the queue before the process ends.
#pragma once
#include <string_view>

namespace halberd::engine {

// Queues a message. An empty address queues nothing. The notification URL variables are replaced
// in the address before it is sent; a message with details carries the problem report, whose
// text (with the failure text) is built when it is sent.
void QueueNotification(std::wstring_view address, bool with_details);

// Queues the problem report (the setup script's problem-report address, with details) at most
// once per run: both the corrupt-installer error and the writing of the install log ask for it.
void QueueProblemReport();

}  // namespace halberd::engine
