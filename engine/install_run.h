// The install run: the phases from the installation data to the exit code, in their order.
// Each phase may end the process through the exit routine.
#pragma once

namespace halberd::engine {
[[noreturn]] void InstallRun();
}
