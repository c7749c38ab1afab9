// The uninstall run: `/u:"name"` removes the product that the uninstall key `name` describes,
// from that key and the "Uninstall.dat" it names, in a fixed order (uninstall_run_win32.cpp), and
// after a successful run the uninstaller deletes its own copy through "delunins.bat"
// (self_deletion_win32.cpp). Windows only.
#pragma once
#include <functional>
#include <string>

namespace halberd::uninstall {

// Exit codes of the uninstall run.
namespace uninstall_exit {
inline constexpr int kRemoved = 0;
inline constexpr int kRemovedWithFailures = 3;
inline constexpr int kCancelled = 12;
inline constexpr int kNotInstalled = 13;  // no key, or the key is not accessible
inline constexpr int kCorrupt = 14;       // no InstallLocation, or "Uninstall.dat" unreadable or untrusted
}  // namespace uninstall_exit

// The whole run for the uninstall key `name`; returns the exit code. The run state (automatic
// mode, the install folder, the session and the notification address) is left set for the end
// steps below.
int RunUninstall(const std::wstring& name);

// After a return of 0: queues the `NotifyURL` notification and starts the self-deletion batch.
void FinishSuccessfulUninstall();

// The restart of Windows at the end of a successful run (ProductFlags bit 45). Tests put their
// own in place of the system's restart; an empty function restores it.
void SetRestartHandler(std::function<void()> handler);

// Writes "delunins.bat" for the running uninstaller and starts it hidden through the command
// interpreter's full path; false when neither the interpreter nor the shell could start it.
bool StartSelfDeletion(const std::wstring& install_folder, const std::u16string& uninstall_subdir);

}  // namespace halberd::uninstall
