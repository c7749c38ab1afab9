#include "foundation/windows_version.h"

namespace halberd {

namespace {
bool Is(const WindowsVersion& v, uint32_t major, uint32_t minor) { return v.major == major && v.minor == minor; }
}  // namespace

uint32_t WindowsBit(const WindowsVersion& v) {
  using Platform = WindowsVersion::Platform;
  if (v.platform == Platform::kWin32s) return 2;
  if (v.platform == Platform::kWindows9x) {
    if (v.major != 4) return 1;
    if (v.minor == 0) return 4;
    if (v.minor == 10) return 8;
    if (v.minor == 90) return 16;
    return 1;
  }
  if (v.major <= 3) return 32;
  if (v.major == 4) return 64;
  if (Is(v, 5, 0)) return 128;
  if (Is(v, 5, 1)) return 256;
  if (Is(v, 5, 2)) return v.workstation ? 256 : 512;
  if (Is(v, 6, 0) || Is(v, 6, 1)) {
    if (!v.workstation) return 2048;
    return v.minor == 0 ? 1024 : 4096;
  }
  if (Is(v, 6, 2) || Is(v, 6, 3)) return v.workstation ? 8192 : 16384;
  if (Is(v, 6, 4)) return 32768;
  if (Is(v, 10, 0)) {
    if (v.workstation) return v.build < 21327 ? 32768 : 524288;
    if (v.build < 17600) return 65536;
    return v.build < 25921 ? 131072 : 1048576;
  }
  return 1;
}

std::string WindowsName(const WindowsVersion& v) {
  const char* name = nullptr;
  switch (WindowsBit(v)) {
    case 2: name = "Win32s"; break;
    case 4: name = "Windows 95"; break;
    case 8: name = "Windows 98"; break;
    case 16: name = "Windows Me"; break;
    case 32: name = "Windows NT 3"; break;
    case 64: name = "Windows NT 4"; break;
    case 128: name = "Windows 2000"; break;
    case 256: name = "Windows XP"; break;
    case 512: name = "Windows Server 2003"; break;
    case 1024: name = "Windows Vista"; break;
    case 2048: name = v.minor == 0 ? "Windows Server 2008" : "Windows Server 2008 R2"; break;
    case 4096: name = "Windows 7"; break;
    case 8192: name = v.minor == 2 ? "Windows 8" : "Windows 8.1"; break;
    case 16384: name = v.minor == 2 ? "Windows Server 2012" : "Windows Server 2012 R2"; break;
    case 32768: name = "Windows 10"; break;
    case 524288: name = "Windows 11"; break;
    case 65536: name = "Windows Server 2016"; break;
    case 131072: name = "Windows Server 2019"; break;
    case 1048576: name = "Windows Server 2022"; break;
    default: break;
  }
  std::string numbers = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build);
  std::string text = name ? std::string(name) + " (" + numbers + ")" : "Windows " + numbers;
  if (v.is64bit) text += " 64-bit";
  return text;
}

}  // namespace halberd
