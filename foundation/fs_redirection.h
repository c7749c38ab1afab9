// File-system redirection of this 32-bit process on 64-bit Windows. A 64-bit product switches it
// off for the thread that runs the installation, so that the system folder it names is the real
// one. With it off, a library loaded by its system-folder path would be the 64-bit DLL, which a
// 32-bit process cannot use; so every load of a system library, and every call into a system
// service that loads further libraries of its own, runs with redirection switched back on around
// it (RedirectionOnScope), and off again afterwards.
//
// The bookkeeping is portable and reaches the system through a seam; the switch of the running
// process (kernel32's Wow64DisableWow64FsRedirection and Wow64RevertWow64FsRedirection) is in
// fs_redirection_win32.cpp.
#pragma once
#include <cstdint>
#include <functional>

namespace halberd {

// How the system switches redirection for the calling thread.
struct RedirectionSwitch {
  std::function<bool(void** cookie)> disable;  // switches it off, handing out the cookie to revert with
  std::function<bool(void* cookie)> revert;    // switches it back on
  std::function<uint32_t()> current_thread;
};

class FsRedirection {
 public:
  explicit FsRedirection(RedirectionSwitch system) : system_(std::move(system)) {}

  // Switches redirection off for the calling thread; false when the system refuses (32-bit
  // Windows, or no WOW64 at all). Switching it off twice changes nothing.
  bool SwitchOff();
  // Switches it on again for good.
  void Restore();
  // Whether it is off now for the thread that switched it off.
  bool IsOff() const { return off_; }
  // The switch back off after a scope failed: the thread runs with redirection on from then on.
  bool LostOnReturn() const { return lost_; }

 private:
  friend class RedirectionOnScope;
  bool OffForThisThread() const { return off_ && system_.current_thread && system_.current_thread() == thread_; }

  RedirectionSwitch system_;
  bool off_ = false;
  bool lost_ = false;
  void* cookie_ = nullptr;
  uint32_t thread_ = 0;
};

// While it lives, redirection is on for the calling thread; it is switched off again when the
// scope ends if it was off before. Other threads never had it off and are left alone; scopes may
// nest.
class RedirectionOnScope {
 public:
  explicit RedirectionOnScope(FsRedirection& redirection);
  ~RedirectionOnScope();
  RedirectionOnScope(const RedirectionOnScope&) = delete;
  RedirectionOnScope& operator=(const RedirectionOnScope&) = delete;

 private:
  FsRedirection* switched_ = nullptr;  // set when this scope switched it on
};

// The redirection of the running process (Windows only).
FsRedirection& ProcessFsRedirection();

}  // namespace halberd
