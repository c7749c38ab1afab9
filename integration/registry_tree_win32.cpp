// Registry tree deletion that deletes links as links (see registry_tree.h).
#include "integration/registry_tree.h"

#include <vector>

#include "foundation/system_library.h"
#include "foundation/tl_registry.h"

namespace halberd::integration {

namespace {

using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

bool IsNotFound(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

// Deletes the key of an open handle (opened with DELETE access); the key must have no subkeys.
LONG DeleteOpenKey(HKEY key) {
  static const NtDeleteKeyFn nt_delete = SystemFunction<NtDeleteKeyFn>(L"ntdll.dll", "NtDeleteKey");
  static const RtlNtStatusToDosErrorFn to_error =
      SystemFunction<RtlNtStatusToDosErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
  if (!nt_delete) return ERROR_CALL_NOT_IMPLEMENTED;
  const LONG status = nt_delete(key);
  if (status >= 0) return ERROR_SUCCESS;
  return to_error ? LONG(to_error(status)) : ERROR_ACCESS_DENIED;
}

bool IsLink(HKEY key) {
  DWORD type = 0;
  LONG rc = RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
  return rc == ERROR_SUCCESS && type == REG_LINK;
}

}  // namespace

int DeleteKeyTreeNoLinks(HKEY parent, const std::wstring& name, REGSAM view, bool only_if_empty) {
  HKEY raw = nullptr;
  LONG rc = RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE | view, &raw);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return IsNotFound(rc) ? reg_result::kNotFound : reg_result::kFailed;
  }
  UniqueRegistryKey key(raw);
  if (IsLink(key.get())) {
    // The link itself goes; what it points to is not ours to delete.
    rc = DeleteOpenKey(key.get());
    SetLastError(DWORD(rc));
    return rc == ERROR_SUCCESS ? reg_result::kDeleted : reg_result::kFailed;
  }
  DWORD subkeys = 0, values = 0, longest = 0;
  rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, &values, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return reg_result::kFailed;
  }
  if (only_if_empty && (subkeys || values)) {
    SetLastError(ERROR_DIR_NOT_EMPTY);
    return reg_result::kNotEmpty;
  }
  // The names are listed before any is deleted, so the enumeration is not disturbed.
  std::vector<std::wstring> names;
  std::wstring buffer(size_t(longest) + 2, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD size = DWORD(buffer.size());
    rc = RegEnumKeyExW(key.get(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), size);
  }
  DWORD below_error = ERROR_SUCCESS;
  for (const std::wstring& sub : names) {
    int r = DeleteKeyTreeNoLinks(key.get(), sub, view, false);
    if (r != reg_result::kDeleted && r != reg_result::kNotFound && below_error == ERROR_SUCCESS) {
      below_error = GetLastError();
      if (below_error == ERROR_SUCCESS) below_error = ERROR_ACCESS_DENIED;
    }
  }
  rc = DeleteOpenKey(key.get());
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return reg_result::kFailed;
  }
  if (below_error != ERROR_SUCCESS) {
    SetLastError(below_error);
    return reg_result::kFailed;
  }
  return reg_result::kDeleted;
}

}  // namespace halberd::integration
