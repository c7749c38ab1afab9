// The fatal-error hook. The default writes nothing: in a silent or early run there is nowhere to
// show a message, and the exit code (-1) tells the caller.
#include "foundation/fatal_error.h"

#include <windows.h>

#include <atomic>

namespace halberd {

namespace {
std::atomic<FatalErrorHook> g_hook{nullptr};
}  // namespace

void SetFatalErrorHook(FatalErrorHook hook) { g_hook.store(hook); }

void FatalError(const std::string& message) {
  if (FatalErrorHook hook = g_hook.load()) hook(message);
  ExitProcess(static_cast<UINT>(-1));
}

}  // namespace halberd
