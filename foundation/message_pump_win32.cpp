#include "foundation/message_pump.h"

#include <windows.h>

namespace halberd {

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace halberd
