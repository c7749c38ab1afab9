#include "foundation/fs_redirection.h"

namespace halberd {

bool FsRedirection::SwitchOff() {
  if (off_) return true;
  void* cookie = nullptr;
  if (!system_.disable || !system_.disable(&cookie)) return false;
  off_ = true;
  lost_ = false;
  cookie_ = cookie;
  thread_ = system_.current_thread ? system_.current_thread() : 0;
  return true;
}

void FsRedirection::Restore() {
  if (!off_) return;
  if (system_.revert) system_.revert(cookie_);
  off_ = false;
  cookie_ = nullptr;
}

RedirectionOnScope::RedirectionOnScope(FsRedirection& r) {
  if (!r.OffForThisThread()) return;
  r.Restore();
  switched_ = &r;
}

RedirectionOnScope::~RedirectionOnScope() {
  if (!switched_) return;
  // The thread keeps its place in the run: back off, as it was before the scope.
  if (!switched_->SwitchOff()) switched_->lost_ = true;
}

}  // namespace halberd
