// Answering the calling thread's windows during long work: every message waiting in its queue is
// handled now. Windows only (message_pump_win32.cpp).
#pragma once

namespace halberd {

void PumpPendingMessages();

}  // namespace halberd
