// The call into the system trust provider, made where a fault inside it cannot end the process:
// on a thread of its own, registered with the crash filter as one whose exceptions end it quietly.
// A provider that faults gives trust class 15 (kTrustProviderCrashed), which stops the run with
// the corrupt code 1015 like the other fatal classes.
//
// A thread rather than an exception handler around the call: MinGW has no __try, and a vectored
// handler sees every first-chance exception, also those the provider raises and handles itself.
// The unhandled-exception filter sees only what nobody handled.
#pragma once
#include <windows.h>

#include <functional>

#include "engine/trust_classes.h"

namespace halberd::engine {

// Runs `verify` (a WinVerifyTrust call and its closing call, returning the verification result)
// on a thread of its own and waits for it. Returns the class of the result, with the thread's
// last error after the call in `last_error`; kTrustProviderCrashed when the call faulted (with
// `last_error` 0) or no thread could be made to run it.
TrustClass CallTrustProvider(const std::function<LONG()>& verify, DWORD& last_error);

}  // namespace halberd::engine
