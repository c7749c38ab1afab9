#include <windows.h>

#include <cstdio>
#include <vector>

#include "foundation/system_library.h"
#include "install/file_version.h"

namespace halberd::install {

std::optional<std::string> FileVersionOf(const std::wstring& path) {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  static const auto size_of = SystemFunction<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  static const auto info_of = SystemFunction<InfoFn>(L"version.dll", "GetFileVersionInfoW");
  static const auto query = SystemFunction<QueryFn>(L"version.dll", "VerQueryValueW");
  if (!size_of || !info_of || !query) return std::nullopt;
  DWORD ignored = 0;
  DWORD size = size_of(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!info_of(path.c_str(), 0, size, block.data())) return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)),
                unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                unsigned(LOWORD(fixed->dwFileVersionLS)));
  return std::string(text);
}

}  // namespace halberd::install
