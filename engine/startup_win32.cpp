#include <windows.h>

#include "engine/startup.h"

namespace halberd::engine {
int RunProcess() { return 0; }
}  // namespace halberd::engine
