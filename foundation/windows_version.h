// The running Windows: its version numbers, its bit in a product's excluded-Windows mask and the
// name the log, the problem report and the refusal texts show. The naming is portable; reading
// the running system is in windows_version_win32.cpp.
#pragma once
#include <cstdint>
#include <string>

namespace halberd {

struct WindowsVersion {
  enum class Platform { kWin32s, kWindows9x, kNT };
  Platform platform = Platform::kNT;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool workstation = true;  // false for server editions
  bool is64bit = false;     // the system, not this 32-bit process
};

// The bit of the excluded-Windows mask: 1 not recognised, 2 Win32s, 4/8/16 95/98/Me, 32 NT 3.x and
// earlier, 64 NT 4, 128 2000, 256 XP (and 5.2 workstation), 512 Server 2003, 1024 Vista, 2048
// Server 2008 and 2008 R2, 4096 7, 8192 8 and 8.1, 16384 Server 2012 and 2012 R2, 32768 10
// (6.4, and 10.0 workstation builds below 21327), 524288 11, 65536/131072/1048576 Server 10.0
// builds below 17600, below 25921, 25921 and later.
uint32_t WindowsBit(const WindowsVersion& version);

// "Windows 10 (10.0.19045)", "Windows Server 2012 R2 (6.3.9600)", "Windows 98 (4.10.1998)"; a
// system it does not recognise is "Windows <major>.<minor>.<build>". " 64-bit" follows the name
// on 64-bit systems.
std::string WindowsName(const WindowsVersion& version);

// The running system (Windows only).
const WindowsVersion& RunningWindows();
// Whether the process has administrator rights (a member of the Administrators group with the
// group enabled in its token).
bool HasAdminRights();

}  // namespace halberd
