// The restore point taken before the installation changes the system (ProductFlags2 bit 1),
// through the system's restore-point service ("srclient.dll", loaded at run time from the system
// folder). A failure is logged and clears the bit, so that the end of the run commits nothing.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace halberd::engine {

// The restore point's description: the display name, then a blank and the version when there is
// one; at most 255 characters.
std::u16string RestorePointDescription(std::u16string_view display_name, std::u16string_view version);

// Windows only. Begins the restore point and logs the outcome.
void BeginRestorePoint();
// Ends the restore point begun by BeginRestorePoint, if any ("Failed to commit restore point."
// in the log when that fails).
void CommitRestorePoint();

}  // namespace halberd::engine
