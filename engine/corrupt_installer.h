// The corrupt-installer error: every failed check of the installation data ends here with its
// code, the user is told the installer is damaged, and the process exits with code 2.
#pragma once
#include <string>

namespace halberd::engine {

// With `with_system_error`, the thread's last system error (when not 0) is added to the message.
[[noreturn]] void CorruptInstaller(int code, bool with_system_error = false);

// The message as shown (exposed for tests).
std::wstring CorruptInstallerMessage(int code, unsigned long system_error);

}  // namespace halberd::engine
