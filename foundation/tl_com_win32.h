// COM helpers shared by the steps that talk to COM servers (the firewall manager, the desktop
// shell): an owner for interface pointers, a BSTR for the calls it is passed to, and COM for the
// calling thread while an object lives. Windows only.
#pragma once
#include <windows.h>

#include <oleauto.h>

#include <string>

#include "foundation/system_library.h"
#include "foundation/tl_file.h"

namespace halberd {

template <typename Interface>
struct ComTraits {
  using Type = Interface*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type p) noexcept { p->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// A BSTR for the calls it is passed to; oleaut32 is loaded from the system folder.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) {
    static const auto alloc = SystemFunction<BSTR(WINAPI*)(const OLECHAR*)>(L"oleaut32.dll", "SysAllocString");
    if (alloc) value_ = alloc(text.c_str());
  }
  ~Bstr() {
    static const auto free = SystemFunction<void(WINAPI*)(BSTR)>(L"oleaut32.dll", "SysFreeString");
    if (value_ && free) free(value_);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_ = nullptr;
};

// COM for the calling thread while the object lives (the main thread has it already: then the
// call only counts up and down).
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

}  // namespace halberd
