// The blocking query: before anything else, the product's blocking address is asked whether
// installations are blocked. The address answers with an HTTP status; when it equals the blocking
// status of the setup script the run ends with 18. A blocking status of 0 asks nothing: the
// address is only told, through a notification without body.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace halberd::engine {

// Whether the answer blocks the installation: a blocking status is set and the address answered
// exactly that status (a failed request, a value below 1, never blocks).
bool IsInstallationBlocked(int32_t blocking_status, int answered_status);

// "The installation was blocked by <publisher>."
std::u16string BlockedMessage(std::u16string_view publisher);

// The step of the install run (Windows only).
void RunBlockingQuery();

}  // namespace halberd::engine
