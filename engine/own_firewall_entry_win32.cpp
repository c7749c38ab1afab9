// The firewall manager is reached through COM (INetFwMgr); BSTRs come from oleaut32, resolved at
// run time like every library the installer does not import. A system without the firewall
// service (or Wine without its manager) simply gets no entry.
#include "engine/own_firewall_entry.h"

#include <windows.h>
#include <netfw.h>
#include <objbase.h>

#include <string>
#include <utility>

#include "foundation/system_library.h"
#include "foundation/tl_file.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

constexpr wchar_t kEntryName[] = L"Halberd Setup Installer";

template <typename Interface>
struct ComTraits {
  using Type = Interface*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type p) noexcept { p->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// A BSTR for one call, freed after it.
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

// COM for the calling thread for as long as the object lives (the main thread has it already).
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

// The authorised applications of the current firewall profile.
ComPtr<INetFwAuthorizedApplications> AuthorizedApplications() {
  INetFwMgr* manager_raw = nullptr;
  if (FAILED(CoCreateInstance(__uuidof(NetFwMgr), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwMgr),
                              reinterpret_cast<void**>(&manager_raw))))
    return {};
  ComPtr<INetFwMgr> manager(manager_raw);
  INetFwPolicy* policy_raw = nullptr;
  if (FAILED(manager.get()->get_LocalPolicy(&policy_raw)) || !policy_raw) return {};
  ComPtr<INetFwPolicy> policy(policy_raw);
  INetFwProfile* profile_raw = nullptr;
  if (FAILED(policy.get()->get_CurrentProfile(&profile_raw)) || !profile_raw) return {};
  ComPtr<INetFwProfile> profile(profile_raw);
  INetFwAuthorizedApplications* apps_raw = nullptr;
  if (FAILED(profile.get()->get_AuthorizedApplications(&apps_raw))) return {};
  return ComPtr<INetFwAuthorizedApplications>(apps_raw);
}

std::wstring& AuthorizedPath() {
  static std::wstring path;  // empty: no entry of ours
  return path;
}

}  // namespace

bool AuthorizeOwnProgram() {
  if (!AuthorizedPath().empty()) return true;
  ComScope com;
  const std::u16string installer = variables::SystemPathVariableInputs().installer_path;
  const std::wstring path(installer.begin(), installer.end());
  if (path.empty()) return false;
  ComPtr<INetFwAuthorizedApplications> apps = AuthorizedApplications();
  if (!apps) return false;
  INetFwAuthorizedApplication* app_raw = nullptr;
  if (FAILED(CoCreateInstance(__uuidof(NetFwAuthorizedApplication), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(INetFwAuthorizedApplication), reinterpret_cast<void**>(&app_raw))))
    return false;
  ComPtr<INetFwAuthorizedApplication> app(app_raw);
  Bstr image(path);
  Bstr name(kEntryName);
  if (!image.get() || !name.get()) return false;
  if (FAILED(app.get()->put_ProcessImageFileName(image.get())) || FAILED(app.get()->put_Name(name.get())) ||
      FAILED(app.get()->put_Scope(NET_FW_SCOPE_ALL)) || FAILED(app.get()->put_IpVersion(NET_FW_IP_VERSION_ANY)) ||
      FAILED(app.get()->put_Enabled(VARIANT_TRUE)))
    return false;
  if (FAILED(apps.get()->Add(app.get()))) return false;
  AuthorizedPath() = path;
  return true;
}

void RemoveOwnProgramAuthorization() {
  std::wstring path = std::exchange(AuthorizedPath(), std::wstring());
  if (path.empty()) return;
  ComScope com;
  ComPtr<INetFwAuthorizedApplications> apps = AuthorizedApplications();
  Bstr image(path);
  if (apps && image.get()) apps.get()->Remove(image.get());
}

}  // namespace halberd::engine
