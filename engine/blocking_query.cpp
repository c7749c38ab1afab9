#include "engine/blocking_query.h"

namespace halberd::engine {

bool IsInstallationBlocked(int32_t blocking_status, int answered_status) {
  return blocking_status != 0 && answered_status >= 1 && answered_status == blocking_status;
}

std::u16string BlockedMessage(std::u16string_view publisher) {
  return u"The installation was blocked by " + std::u16string(publisher) + u".";
}

}  // namespace halberd::engine
