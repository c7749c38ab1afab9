// Placeholder until the restart operations are built: every operation fails or does nothing.
#include "install/restart_operations.h"

namespace halberd::install {

ReplaceResult ReplaceAtRestart(const std::wstring&, FileW&, int64_t, int64_t, const DateTime&) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return ReplaceResult::kFailed;
}
bool RegisterReplacement(const std::wstring&, const std::wstring&) { return false; }
bool DeleteAtRestart(const std::wstring&) { return false; }
bool WriteWininitRename(const std::wstring&, const std::wstring&) { return false; }
void CleanPendingOperations(const std::vector<std::wstring>&, bool) {}
void WriteRestartMarker() {}
DWORD LoosenSecurity(const std::wstring&, bool) { return ERROR_CALL_NOT_IMPLEMENTED; }

}  // namespace halberd::install
