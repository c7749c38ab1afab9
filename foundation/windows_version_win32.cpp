#include <windows.h>

#include "foundation/windows_version.h"

namespace halberd {

namespace {
// RtlGetVersion tells the true version; GetVersionExW is capped by the manifest's compatibility
// list on Windows 8.1 and later.
WindowsVersion ReadRunningWindows() {
  WindowsVersion version;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtl_get_version =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (!rtl_get_version || rtl_get_version(&info) != 0) {
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
      info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
      GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    }
  }
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber & 0xFFFF;
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s: version.platform = WindowsVersion::Platform::kWin32s; break;
    case VER_PLATFORM_WIN32_WINDOWS: version.platform = WindowsVersion::Platform::kWindows9x; break;
    default: version.platform = WindowsVersion::Platform::kNT; break;
  }
  version.workstation = info.wProductType == 0 || info.wProductType == VER_NT_WORKSTATION;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  version.is64bit = is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
  return version;
}
}  // namespace

const WindowsVersion& RunningWindows() {
  static const WindowsVersion version = ReadRunningWindows();
  return version;
}

bool HasAdminRights() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                0, 0, &administrators))
    return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

}  // namespace halberd
