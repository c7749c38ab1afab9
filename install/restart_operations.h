// Restart operations: replacing a locked file at the next restart through a temporary file beside
// it, deleting at restart, the "wininit.ini" [rename] section of systems without the
// move-at-restart service, taking pending operations of earlier runs off the files just
// installed, the "reboot.dat" marker and the loosening of a path's security.
//
// The moves themselves (MoveFileExW, the wininit.ini fallback) are the file layer's
// (foundation/restart_moves); the list cleaning rules are portable (install/pending_operations).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/tl_file.h"

namespace halberd::install {

enum class ReplaceResult { kPending, kFailed };

// Writes `size` bytes of `contents` from `offset` into a "TLT" temporary file in the target's
// folder and registers it to replace `target` at restart. On success the run needs a restart
// and the log says so; on failure the failure text says why and the temporary file is gone.
// `time` (when it has a date and a time) becomes the temporary file's creation and write time.
ReplaceResult ReplaceAtRestart(const std::wstring& target, FileW& contents, int64_t offset, int64_t size,
                               const DateTime& time);

// Moves `source` over `target` at restart. A blank source or target fails with
// ERROR_INVALID_PARAMETER, a missing source with ERROR_FILE_NOT_FOUND; two names of the same path
// succeed at once. On success the system error is ERROR_BUSY.
bool RegisterReplacement(const std::wstring& source, const std::wstring& target);
// Deletes `path` at restart (the file layer's delete flag kDeleteAtRestart does the same).
bool DeleteAtRestart(const std::wstring& path);
// Adds "key=value" to the [rename] section of the Windows folder's "wininit.ini".
bool WriteWininitRename(const std::wstring& key, const std::wstring& value);

// Takes the pending moves and deletions that would destroy one of `installed_files` out of the
// system's list; the stale source of such a move goes to the Recycle Bin. `install_run` adds the
// log lines.
void CleanPendingOperations(const std::vector<std::wstring>& installed_files, bool install_run);

// "reboot.dat" in the installation folder, registered for deletion at restart (ProductFlags bit 53).
void WriteRestartMarker();

// Owner set to the current user, access-denied entries removed, Everyone full access inherited.
// Returns 0 or a system error code: an empty path gives 123 for a file and 161 for a folder, a
// missing one 2 or 3, a system that cannot make the world identity 1319.
DWORD LoosenSecurity(const std::wstring& path, bool is_folder);

}  // namespace halberd::install
