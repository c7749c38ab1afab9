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
#include "foundation/tl_com_win32.h"
#include "foundation/tl_file.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

constexpr wchar_t kEntryName[] = L"Halberd Setup Installer";

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
