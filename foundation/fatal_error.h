// Internal faults and required resources that are missing end the run through one process-wide
// hook. The engine installs a hook that shows the message once and runs the exit routine; until
// then (and in the unit tests) the default ends the process at once with exit code -1.
#pragma once
#include <string>

namespace halberd {

using FatalErrorHook = void (*)(const std::string& message_cp1252);

// Installs the hook; nullptr restores the default.
void SetFatalErrorHook(FatalErrorHook hook);

// Passes the message (code page 1252) to the hook. Should the hook return, the process still
// ends here with exit code -1.
[[noreturn]] void FatalError(const std::string& message);

}  // namespace halberd
