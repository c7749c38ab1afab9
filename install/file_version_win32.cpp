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

std::wstring FileDescriptionOf(const std::wstring& path) {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  static const auto size_of = SystemFunction<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  static const auto info_of = SystemFunction<InfoFn>(L"version.dll", "GetFileVersionInfoW");
  static const auto query = SystemFunction<QueryFn>(L"version.dll", "VerQueryValueW");
  if (!size_of || !info_of || !query) return {};
  DWORD ignored = 0;
  DWORD size = size_of(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<uint8_t> block(size);
  if (!info_of(path.c_str(), 0, size, block.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) ||
      !translation || length < 2 * sizeof(WORD))
    return {};
  wchar_t name[64];
  wsprintfW(name, L"\\StringFileInfo\\%04x%04x\\FileDescription", translation[0], translation[1]);
  wchar_t* text = nullptr;
  if (!query(block.data(), name, reinterpret_cast<LPVOID*>(&text), &length) || !text || length == 0) return {};
  // The length counts characters, with the ending null when there is one.
  std::wstring description(text, length);
  while (!description.empty() && description.back() == L'\0') description.pop_back();
  return description;
}

}  // namespace halberd::install
