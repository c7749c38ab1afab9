// The firewall step through the Windows Firewall manager (INetFwMgr): its local policy's current
// profile holds the globally open ports and the authorised applications. The line format, the
// decisions and the log lines are in firewall_lines; this file makes the COM calls.
//
// An exception that is already there is not added again and counts as added. Wine's firewall
// manager answers every call and keeps nothing; that is a success like any other.
#include "integration/firewall.h"

#include <windows.h>
#include <netfw.h>
#include <objbase.h>

#include <optional>
#include <string>

#include "engine/corrupt_installer.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/system_library.h"
#include "foundation/text_convert.h"
#include "foundation/tl_com_win32.h"
#include "foundation/tl_file.h"
#include "install/extraction_folders.h"
#include "integration/firewall_lines.h"
#include "uninstall/run_uninstall_data.h"
#include "uninstall/uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

// The classes and the manager's interface, as the firewall registers them.
constexpr CLSID kFwMgrClass = {0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
constexpr IID kFwMgrInterface = {0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
constexpr CLSID kFwOpenPortClass = {0x0CA545C6, 0x37AD, 0x4A6C, {0xBF, 0x92, 0x9F, 0x76, 0x10, 0x06, 0x7E, 0xF5}};
constexpr CLSID kFwAuthorizedApplicationClass = {
    0xEC9846B3, 0x2762, 0x4A6B, {0xA2, 0x14, 0x6A, 0xCB, 0x60, 0x34, 0x62, 0xD2}};

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The current profile of the firewall's local policy, or the connection code of what failed.
struct Connection {
  int code = firewall_connect::kNoManager;
  ComPtr<INetFwProfile> profile;
};

Connection Connect() {
  Connection c;
  try {
    INetFwMgr* manager_raw = nullptr;
    if (FAILED(CoCreateInstance(kFwMgrClass, nullptr, CLSCTX_INPROC_SERVER, kFwMgrInterface,
                                reinterpret_cast<void**>(&manager_raw))) ||
        !manager_raw) {
      c.code = firewall_connect::kNoManager;
      return c;
    }
    ComPtr<INetFwMgr> manager(manager_raw);
    INetFwPolicy* policy_raw = nullptr;
    if (FAILED(manager.get()->get_LocalPolicy(&policy_raw)) || !policy_raw) {
      c.code = firewall_connect::kNoPolicy;
      return c;
    }
    ComPtr<INetFwPolicy> policy(policy_raw);
    INetFwProfile* profile_raw = nullptr;
    if (FAILED(policy.get()->get_CurrentProfile(&profile_raw)) || !profile_raw) {
      c.code = firewall_connect::kNoProfile;
      return c;
    }
    c.profile.reset(profile_raw);
    c.code = firewall_connect::kConnected;
  } catch (...) {
    c.profile.reset();
    c.code = firewall_connect::kException;
  }
  return c;
}

ComPtr<INetFwOpenPorts> OpenPorts(INetFwProfile* profile, HRESULT& hr) {
  INetFwOpenPorts* ports = nullptr;
  hr = profile->get_GloballyOpenPorts(&ports);
  if (SUCCEEDED(hr) && !ports) hr = E_POINTER;
  return ComPtr<INetFwOpenPorts>(SUCCEEDED(hr) ? ports : nullptr);
}

ComPtr<INetFwAuthorizedApplications> AuthorizedApplications(INetFwProfile* profile, HRESULT& hr) {
  INetFwAuthorizedApplications* apps = nullptr;
  hr = profile->get_AuthorizedApplications(&apps);
  if (SUCCEEDED(hr) && !apps) hr = E_POINTER;
  return ComPtr<INetFwAuthorizedApplications>(SUCCEEDED(hr) ? apps : nullptr);
}

// Opens `port` for `protocol` under `name`; an open port that is already there is a success.
HRESULT OpenPort(INetFwProfile* profile, uint16_t port, int protocol, const std::wstring& name) {
  if (port == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  ComPtr<INetFwOpenPorts> ports = OpenPorts(profile, hr);
  if (!ports) return hr;
  const auto ip_protocol = static_cast<NET_FW_IP_PROTOCOL>(protocol);
  INetFwOpenPort* existing = nullptr;
  if (SUCCEEDED(ports.get()->Item(port, ip_protocol, &existing)) && existing) {
    existing->Release();
    return S_OK;
  }
  INetFwOpenPort* entry_raw = nullptr;
  hr = CoCreateInstance(kFwOpenPortClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwOpenPort),
                        reinterpret_cast<void**>(&entry_raw));
  if (FAILED(hr) || !entry_raw) return FAILED(hr) ? hr : E_POINTER;
  ComPtr<INetFwOpenPort> entry(entry_raw);
  Bstr bstr_name(name);
  if (!bstr_name.get()) return E_OUTOFMEMORY;
  if (FAILED(hr = entry.get()->put_Port(port))) return hr;
  if (FAILED(hr = entry.get()->put_Protocol(ip_protocol))) return hr;
  if (FAILED(hr = entry.get()->put_Name(bstr_name.get()))) return hr;
  if (FAILED(hr = entry.get()->put_Enabled(VARIANT_TRUE))) return hr;
  return ports.get()->Add(entry.get());
}

// Authorises the program at `path` under `name`; an authorisation already there is a success.
HRESULT AuthorizeProgram(INetFwProfile* profile, const std::wstring& path, const std::wstring& name) {
  HRESULT hr = S_OK;
  ComPtr<INetFwAuthorizedApplications> apps = AuthorizedApplications(profile, hr);
  if (!apps) return hr;
  Bstr image(path);
  Bstr bstr_name(name);
  if (!image.get() || !bstr_name.get()) return E_OUTOFMEMORY;
  INetFwAuthorizedApplication* existing = nullptr;
  if (SUCCEEDED(apps.get()->Item(image.get(), &existing)) && existing) {
    existing->Release();
    return S_OK;
  }
  INetFwAuthorizedApplication* app_raw = nullptr;
  hr = CoCreateInstance(kFwAuthorizedApplicationClass, nullptr, CLSCTX_INPROC_SERVER,
                        __uuidof(INetFwAuthorizedApplication), reinterpret_cast<void**>(&app_raw));
  if (FAILED(hr) || !app_raw) return FAILED(hr) ? hr : E_POINTER;
  ComPtr<INetFwAuthorizedApplication> app(app_raw);
  if (FAILED(hr = app.get()->put_ProcessImageFileName(image.get()))) return hr;
  if (FAILED(hr = app.get()->put_Name(bstr_name.get()))) return hr;
  if (FAILED(hr = app.get()->put_Enabled(VARIANT_TRUE))) return hr;
  return apps.get()->Add(app.get());
}

// A program target: variables expanded, taken against the installation folder.
std::wstring ProgramPath(std::u16string_view target, const std::wstring& install_folder) {
  std::wstring path = W(target);
  variables::ExpandPathVariables(path);
  return W(ResolveRelativePath(U(install_folder), U(path)));
}

// One line of the install run: adds what it names, logs, and records it for removal unless it is
// kept.
void AddException(INetFwProfile* profile, const FirewallLine& line, const std::wstring& install_folder) {
  const std::wstring name = line.name.empty() ? W(engine::Settings().DisplayName) : W(line.name);
  uint32_t done = 0;
  uint16_t port = 0;
  if (IsPortTarget(line.target, port)) {
    const int shown_port = port ? port : _wtoi(W(line.target).c_str());
    for (int protocol : PortProtocols(line.flags)) {
      HRESULT hr = OpenPort(profile, port, protocol, name);
      if (FAILED(hr)) {
        engine::LogUtf8(FirewallPortFailedLine(shown_port, long(hr)));
        break;
      }
      engine::LogUtf8(FirewallPortAddedLine(protocol, port));
      done |= ProtocolFlag(protocol);
    }
    // A protocol opened before a later one failed stays open: it is recorded so that the
    // uninstaller closes it too.
    if (!done) return;
  } else {
    const std::wstring path = ProgramPath(line.target, install_folder);
    if (!FileExists(path)) {
      engine::LogWide(W(FirewallProgramMissingLine(U(path))));
      return;
    }
    HRESULT hr = AuthorizeProgram(profile, path, name);
    if (FAILED(hr)) {
      engine::LogWide(W(FirewallProgramFailedLine(U(path), long(hr))));
      return;
    }
    engine::LogWide(W(FirewallProgramAddedLine(U(path))));
    done = line.flags;
  }
  if (!line.keep) uninstall::RunUninstallData().firewall.push_back(RecordedFirewallLine(line, done));
}

}  // namespace

void AddFirewallExceptions() {
  const std::u16string& list = engine::Script().firewall_exceptions;
  std::vector<std::u16string> lines = FirewallListLines(list);
  if (lines.empty()) return;
  if ((engine::Run().ProductFlags2 & format::kFlags2PortableNoFirewall) && install::PortableInstallation()) return;
  // Every line is checked before the firewall is touched: a malformed list is a damaged installer.
  std::vector<FirewallLine> parsed;
  for (const std::u16string& text : lines) {
    std::optional<FirewallLine> line = SplitFirewallLine(text);
    if (!line) engine::CorruptInstaller(kCorruptFirewallLine);
    parsed.push_back(std::move(*line));
  }
  ComScope com;
  Connection connection = Connect();
  if (connection.code != firewall_connect::kConnected) {
    engine::LogUtf8(FirewallConnectFailedLine(connection.code));
    return;
  }
  for (const FirewallLine& line : parsed) AddException(connection.profile.get(), line, engine::Run().install_folder);
}

void RemoveFirewallExceptions(const std::vector<std::string>& lines, const std::wstring& install_folder) {
  if (lines.empty()) return;
  ComScope com;
  Connection connection = Connect();
  if (connection.code != firewall_connect::kConnected) return;
  const uninstall::CodePage code_page = uninstall::SystemCodePage();
  for (const std::string& recorded : lines) {
    // The target is in the uninstall text encoding; the other fields are ASCII or UTF-8.
    std::optional<FirewallLine> line = SplitFirewallLine(Utf8ToUtf16(recorded));
    if (!line) continue;
    const size_t first = recorded.find(';');
    line->target = uninstall::DecodeUninstallText(std::string_view(recorded).substr(0, first), code_page);
    uint16_t port = 0;
    HRESULT hr = S_OK;
    if (IsPortTarget(line->target, port)) {
      ComPtr<INetFwOpenPorts> ports = OpenPorts(connection.profile.get(), hr);
      if (!ports || !port) continue;
      for (int protocol : PortProtocols(line->flags))
        ports.get()->Remove(port, static_cast<NET_FW_IP_PROTOCOL>(protocol));
    } else {
      ComPtr<INetFwAuthorizedApplications> apps = AuthorizedApplications(connection.profile.get(), hr);
      Bstr image(ProgramPath(line->target, install_folder));
      if (apps && image.get()) apps.get()->Remove(image.get());
    }
  }
}

}  // namespace halberd::integration
