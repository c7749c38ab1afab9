// The only ways an install run ends: the exit routine (with an exit code), the cancel routine,
// and the fatal-error hook. Steps register what must be released or removed at the end
// (temporary files, the notification thread, OLE) with AtExitRun.
#pragma once
#include <functional>
#include <string>

namespace halberd::engine {

// Runs at exit, most recent first. Each is run once; a failure in one does not stop the others.
void AtExitRun(std::function<void()> cleanup);

// Releases everything and ends the process with `code`. If anything fails inside (or the routine
// is re-entered), the process is terminated with the same code.
[[noreturn]] void ExitRun(int code);

// User cancel: queues the cancel notification, tells the user (unless automatic) and exits.
[[noreturn]] void CancelRun(int code);
// The second form: the notification only, nothing shown, exit 12.
[[noreturn]] void CancelRunQuietly();

// Installs the process's fatal-error hook: shows the message (code page 1252) in an error box
// unless silent, then exits with -1. A second fatal error during the shutdown is not shown.
void InstallFatalErrorHook();

}  // namespace halberd::engine
