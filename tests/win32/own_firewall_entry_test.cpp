// The installer's own firewall authorisation: added under its name for the running program file,
// removed again. Where the system has no firewall manager, or one that keeps no entries (Wine's),
// the test is skipped.
#include "engine/own_firewall_entry.h"

#include <gtest/gtest.h>
#include <netfw.h>
#include <objbase.h>

#include <string>

#include "foundation/system_library.h"

namespace halberd::engine {
namespace {

// The name of the authorised application for `path` in the current profile; "" when there is none.
std::wstring EntryName(const std::wstring& path) {
  // The test program does not link oleaut32 either.
  const auto SysAllocString = SystemFunction<BSTR(WINAPI*)(const OLECHAR*)>(L"oleaut32.dll", "SysAllocString");
  const auto SysFreeString = SystemFunction<void(WINAPI*)(BSTR)>(L"oleaut32.dll", "SysFreeString");
  std::wstring name;
  if (!SysAllocString || !SysFreeString) return name;
  INetFwMgr* manager = nullptr;
  if (FAILED(CoCreateInstance(__uuidof(NetFwMgr), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwMgr),
                              reinterpret_cast<void**>(&manager))))
    return name;
  INetFwPolicy* policy = nullptr;
  INetFwProfile* profile = nullptr;
  INetFwAuthorizedApplications* apps = nullptr;
  INetFwAuthorizedApplication* app = nullptr;
  BSTR image = SysAllocString(path.c_str());
  if (SUCCEEDED(manager->get_LocalPolicy(&policy)) && SUCCEEDED(policy->get_CurrentProfile(&profile)) &&
      SUCCEEDED(profile->get_AuthorizedApplications(&apps)) && SUCCEEDED(apps->Item(image, &app)) && app) {
    BSTR value = nullptr;
    if (SUCCEEDED(app->get_Name(&value)) && value) name = value;
    SysFreeString(value);
  }
  SysFreeString(image);
  for (IUnknown* p : std::initializer_list<IUnknown*>{app, apps, profile, policy, manager})
    if (p) p->Release();
  return name;
}

TEST(OwnFirewallEntry, AddedForTheProgramAndRemovedAgain) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  wchar_t module[MAX_PATH];
  const std::wstring program(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  if (!AuthorizeOwnProgram()) {
    CoUninitialize();
    GTEST_SKIP() << "no firewall manager that takes entries here";
  }
  EXPECT_TRUE(AuthorizeOwnProgram());  // a second call adds nothing more
  const std::wstring added = EntryName(program);
  RemoveOwnProgramAuthorization();
  const std::wstring after = EntryName(program);
  RemoveOwnProgramAuthorization();  // nothing left to remove
  CoUninitialize();
  // Wine's firewall manager accepts entries without keeping them.
  if (added.empty()) GTEST_SKIP() << "the firewall manager keeps no entries here";
  EXPECT_EQ(added, L"Halberd Setup Installer");
  EXPECT_EQ(after, L"");
}

}  // namespace
}  // namespace halberd::engine
