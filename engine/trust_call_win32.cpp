// The trust provider's call on a thread of its own (see trust_call.h).
#include "engine/trust_call.h"

#include "crash/crash_filter_win32.h"
#include "foundation/tl_file.h"

namespace halberd::engine {

namespace {

struct TrustCall {
  const std::function<LONG()>* verify;
  LONG result = 0;
  DWORD last_error = 0;
  bool returned = false;
};

DWORD WINAPI TrustThread(void* param) {
  auto* call = static_cast<TrustCall*>(param);
  crash::QuietThreadScope quiet;
  call->result = (*call->verify)();
  call->last_error = GetLastError();
  call->returned = true;
  return 0;
}

}  // namespace

TrustClass CallTrustProvider(const std::function<LONG()>& verify, DWORD& last_error) {
  // A new thread starts with file-system redirection on: the provider loads its helpers from the
  // 32-bit system folder whatever the product's bitness switched off on this thread.
  TrustCall call{&verify};
  UniqueKernelHandle thread(CreateThread(nullptr, 0, &TrustThread, &call, 0, nullptr));
  if (!thread) {
    last_error = GetLastError();
    return kTrustProviderCrashed;
  }
  WaitForSingleObject(thread.get(), INFINITE);
  if (!call.returned) {
    last_error = 0;  // an exception code has no system error text
    return kTrustProviderCrashed;
  }
  last_error = call.last_error;
  return ClassifyTrustResult(uint32_t(call.result));
}

}  // namespace halberd::engine
