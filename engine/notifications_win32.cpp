// Placeholder until the background sender lands: messages are dropped.
#include "engine/notifications.h"

namespace halberd::engine {
void QueueNotification(std::wstring_view, bool) {}
void QueueProblemReport() {}
}  // namespace halberd::engine
