// Keeps the system's last-error value across a clean-up: closing handles or deleting a temporary
// file after a failure must not overwrite the reason the caller is about to read.
#pragma once
#include <windows.h>

namespace halberd {

class KeepLastError {
 public:
  KeepLastError() : error_(GetLastError()) {}
  ~KeepLastError() { SetLastError(error_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  DWORD error_;
};

}  // namespace halberd
