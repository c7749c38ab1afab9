#include "engine/policy_messages.h"

#include <windows.h>

#include "engine/exit_routine.h"
#include "engine/messages.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/product_flags.h"

namespace halberd::engine {

bool ErrorMessagesShown() {
  const RunState& run = Run();
  if (run.silent) return false;
  return !run.automatic || (run.ProductFlags & format::kFlagErrorsWhenAutomatic) != 0;
}

void ShowErrorMessage(const std::wstring& text) {
  if (ErrorMessagesShown()) ShowMessage(text, ErrorCaption(), MB_OK | MB_ICONERROR);
}

void Refuse(const std::wstring& text, int code) {
  LogWide(text + L"\r\n");
  ShowErrorMessage(text);
  ExitRun(code);
}

}  // namespace halberd::engine
