// The registry layer on the Windows registry API (wide calls; ANSI calls for 8-bit names).
#include "foundation/tl_registry.h"

#include <cstring>

#include "foundation/double_text.h"
#include "foundation/fatal_error.h"
#include "foundation/system_library.h"

namespace halberd {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Names handed to the system need a terminator.
std::wstring Z(std::wstring_view text) { return std::wstring(text); }
std::string Z(std::string_view text) { return std::string(text); }

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string WideToCodePage(std::wstring_view text, UINT code_page) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), nullptr, 0, "?", nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), out.data(), n, "?", nullptr);
  return out;
}

// ---------------------------------------------------------------------------------------------
// The error box.

RegistryErrorHook g_error_hook = nullptr;

void ShowRegistryError(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  if (!text.empty()) {
    if (g_error_hook) {
      g_error_hook(text);
    } else {
      MessageBoxW(nullptr, text.c_str(), kRegistryErrorCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
  }
  SetLastError(error);
}

// Opens or creates parent\subkey; 0, 1 (existing) or 2 (created) with the handle in `out`.
int OpenOrCreate(HKEY parent, std::wstring_view subkey, uint32_t flags, REGSAM access, UniqueRegistryKey& out) {
  std::wstring name = Z(subkey);
  HKEY h = nullptr;
  if (flags & reg_open::kOpenOnly) {
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, access, &h);
    if (rc != ERROR_SUCCESS) {
      SetLastError(DWORD(rc));
      return reg_opened::kFailed;
    }
    out.reset(h);
    return reg_opened::kExisting;
  }
  DWORD disposition = 0;
  LONG rc = ERROR_INVALID_FUNCTION;
  if (!(flags & reg_open::kDefaultSecurity)) {
    OpenKeySecurity security;
    if (SECURITY_ATTRIBUTES* sa = security.attributes()) {
      rc = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, sa, &h, &disposition);
    }
  }
  if (rc != ERROR_SUCCESS) {
    rc = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &h,
                         &disposition);
  }
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return reg_opened::kFailed;
  }
  out.reset(h);
  if (disposition == REG_OPENED_EXISTING_KEY && (flags & reg_open::kCreateNewOnly)) {
    out.reset();
    SetLastError(ERROR_ALREADY_EXISTS);
    return reg_opened::kFailed;
  }
  return disposition == REG_CREATED_NEW_KEY ? reg_opened::kCreated : reg_opened::kExisting;
}

// Path text of a key opened below a root handle; empty for a handle that is not a root.
std::wstring RootText(HKEY handle) {
  for (const RegistryRootNames& r : kRegistryRoots) {
    if (RootHandle(r.root) == handle) return ToWide(r.long_name);
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Deletion.

using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

LONG DeleteOneKey(HKEY parent, const std::wstring& name, REGSAM view) {
  static const RegDeleteKeyExWFn delete_ex = SystemFunction<RegDeleteKeyExWFn>(L"advapi32.dll", "RegDeleteKeyExW");
  if (delete_ex) return delete_ex(parent, name.c_str(), view, 0);
  return RegDeleteKeyW(parent, name.c_str());
}

bool IsNotFound(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

// Deletes parent\name: the subkeys first (listed before any is deleted), depth first; a failure
// below makes the result kFailed, but the key itself is still tried.
int DeleteTree(HKEY parent, const std::wstring& name, REGSAM view, bool only_if_empty) {
  bool failed_below = false;
  DWORD below_error = ERROR_SUCCESS;
  {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | view, &h);
    if (rc != ERROR_SUCCESS) {
      SetLastError(DWORD(rc));
      return IsNotFound(rc) ? reg_result::kNotFound : reg_result::kFailed;
    }
    UniqueRegistryKey key(h);
    DWORD subkeys = 0, values = 0, longest = 0;
    rc = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
      SetLastError(DWORD(rc));
      return reg_result::kFailed;
    }
    if (only_if_empty && (subkeys || values)) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
      return reg_result::kNotEmpty;
    }
    std::vector<std::wstring> names;
    std::wstring buffer(size_t(longest) + 2, L'\0');
    for (DWORD i = 0;; ++i) {
      DWORD size = DWORD(buffer.size());
      rc = RegEnumKeyExW(h, i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_MORE_DATA) {
        buffer.resize(buffer.size() * 2);
        --i;
        continue;
      }
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(buffer.data(), size);
    }
    for (const std::wstring& sub : names) {
      int r = DeleteTree(h, sub, view, false);
      if (r != reg_result::kDeleted && r != reg_result::kNotFound && !failed_below) {
        failed_below = true;
        below_error = GetLastError();
      }
    }
  }
  LONG rc = DeleteOneKey(parent, name, view);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return IsNotFound(rc) && !failed_below ? reg_result::kNotFound : reg_result::kFailed;
  }
  if (failed_below) {
    SetLastError(below_error);
    return reg_result::kFailed;
  }
  return reg_result::kDeleted;
}

int DeleteValueOf(HKEY key, std::wstring_view name) {
  LONG rc = RegDeleteValueW(key, Z(name).c_str());
  if (rc == ERROR_SUCCESS) return reg_result::kDeleted;
  SetLastError(DWORD(rc));
  return IsNotFound(rc) ? reg_result::kNotFound : reg_result::kFailed;
}

// ---------------------------------------------------------------------------------------------
// Value data.

std::wstring TextFromData(DWORD type, const std::string& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
    case REG_BINARY: {
      std::wstring text(bytes.size() / 2, L'\0');
      if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
      if (type != REG_BINARY) {
        size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
      }
      return text;
    }
    case REG_DWORD:
      if (bytes.size() == 4) {
        uint32_t v;
        std::memcpy(&v, bytes.data(), 4);
        return std::to_wstring(v);
      }
      break;
    case REG_QWORD:
      if (bytes.size() == 8) {
        uint64_t v;
        std::memcpy(&v, bytes.data(), 8);
        return std::to_wstring(v);
      }
      break;
  }
  return {};
}

// A decimal text ("  -12 ") as a 64-bit number; false when it is not one.
bool ParseDecimal(std::wstring_view text, uint64_t& value) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    uint64_t digit = uint64_t(c - L'0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = negative ? uint64_t(0) - v : v;
  return true;
}

// A value as a number: (value, width in bits); width 0 when it is not a number.
std::pair<uint64_t, int> NumberFromData(DWORD type, const std::string& bytes) {
  if ((type == REG_DWORD || type == REG_BINARY) && bytes.size() == 4) {
    uint32_t v;
    std::memcpy(&v, bytes.data(), 4);
    return {v, 32};
  }
  if ((type == REG_QWORD || type == REG_BINARY) && bytes.size() == 8) {
    uint64_t v;
    std::memcpy(&v, bytes.data(), 8);
    return {v, 64};
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    uint64_t v = 0;
    if (ParseDecimal(TextFromData(type, bytes), v)) {
      if (v <= 0xFFFFFFFFull) return {v, 32};
      if (v >= 0xFFFFFFFF80000000ull) return {v & 0xFFFFFFFFull, 32};  // a negative 32-bit number
      return {v, 64};
    }
  }
  return {0, 0};
}

std::string ModuleName() {
  wchar_t path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  std::wstring full(path, n <= MAX_PATH ? n : 0);
  size_t slash = full.find_last_of(L"\\/");
  return WideToCodePage(slash == std::wstring::npos ? full : full.substr(slash + 1), 1252);
}

[[noreturn]] void RequiredValueMissing(const std::wstring& key_text, const std::string& value_name_1252) {
  FatalError(RequiredValueMessage(ModuleName(), WideToCodePage(key_text, 1252), value_name_1252));
}

}  // namespace

// ---------------------------------------------------------------------------------------------

OpenKeySecurity::OpenKeySecurity() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid_)) {
    sid_ = nullptr;
    return;
  }
  DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid_);
  acl_.assign(acl_size, '\0');
  ACL* acl = reinterpret_cast<ACL*>(acl_.data());
  if (!InitializeAcl(acl, acl_size, ACL_REVISION)) return;
  if (!AddAccessAllowedAce(acl, ACL_REVISION, 0xFFFFFFFF, sid_)) return;
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return;
  if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return;
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  ready_ = true;
}

OpenKeySecurity::~OpenKeySecurity() {
  if (sid_) FreeSid(sid_);
}

HKEY RootHandle(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::kUsers: return HKEY_USERS;
    case RegistryRoot::kCurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::kDynData: return HKEY_DYN_DATA;
  }
  return nullptr;
}

void SetRegistryErrorHook(RegistryErrorHook hook) { g_error_hook = hook; }

std::string RequiredValueMessage(std::string_view program, std::string_view key_text, std::string_view value_name) {
  std::string m = "The following registry key is required by ";
  m += program;
  m += ", but is invalid or does not exist:\n\n";
  m += key_text;
  m += value_name;
  m += "\n\nIf you have tried moving this program to a different computer by copying files, this will not work.  "
       "This program must be reinstalled.";
  return m;
}

// ---------------------------------------------------------------------------------------------
// Key object.

int RegistryKey::OpenKey(HKEY parent, std::wstring_view subkey, uint32_t flags, REGSAM access) {
  UniqueRegistryKey handle;
  int result = OpenOrCreate(parent, subkey, flags, access, handle);
  if (result == reg_opened::kFailed) {
    DWORD error = GetLastError();
    if (flags & reg_open::kShowError) ShowRegistryError(error);
    SetLastError(error);
    return result;
  }
  std::wstring base = RootText(parent);
  if (base.empty() && parent == Handle()) base = PathText();
  Entry entry{std::move(handle), ToWide(SubkeyPathText(ToU16(base), ToU16(subkey)))};
  if ((flags & reg_open::kReplace) && !stack_.empty()) {
    stack_.back() = std::move(entry);
  } else {
    stack_.push_back(std::move(entry));
  }
  return result;
}

int RegistryKey::OpenKey(RegistryRoot root, std::wstring_view subkey, uint32_t flags, REGSAM access) {
  return OpenKey(RootHandle(root), subkey, flags, access);
}

int RegistryKey::OpenKeyPath(std::wstring_view path, uint32_t flags, REGSAM access) {
  std::optional<RegistryKeyPath> parsed = ParseKeyPath(ToU16(path));
  if (!parsed) {
    if (flags & reg_open::kShowError) ShowRegistryError(ERROR_BAD_PATHNAME);
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_opened::kFailed;
  }
  return OpenKey(parsed->root, ToWide(parsed->subkey), flags, access);
}

int RegistryKey::OpenSubkey(std::wstring_view subkey, uint32_t flags, REGSAM access) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return reg_opened::kFailed;
  }
  return OpenKey(Handle(), subkey, flags, access);
}

void RegistryKey::CloseKey() {
  if (!stack_.empty()) stack_.pop_back();
}

void RegistryKey::CloseAll() {
  while (!stack_.empty()) stack_.pop_back();
}

const std::wstring& RegistryKey::PathText() const {
  static const std::wstring kNone;
  return stack_.empty() ? kNone : stack_.back().path_text;
}

int RegistryKey::SubkeyCount() {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  DWORD count = 0;
  LONG rc = RegQueryInfoKeyW(Handle(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return -1;
  }
  return int(count);
}

std::vector<std::wstring> RegistryKey::SubkeyNames() {
  std::vector<std::wstring> names;
  if (!IsOpen()) return names;
  std::wstring buffer(256, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD size = DWORD(buffer.size());
    LONG rc = RegEnumKeyExW(Handle(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA && buffer.size() < 65536) {
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), size);
  }
  return names;
}

bool RegistryKey::ValueExists(std::wstring_view name) {
  if (!IsOpen()) return false;
  return RegQueryValueExW(Handle(), Z(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::ReadRaw(std::wstring_view name, DWORD& type, std::string& bytes) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::wstring z = Z(name);
  bytes.assign(256, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD size = DWORD(bytes.size());
    LONG rc = RegQueryValueExW(Handle(), z.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (rc == ERROR_SUCCESS) {
      bytes.resize(size);
      return true;
    }
    if (rc != ERROR_MORE_DATA) {
      SetLastError(DWORD(rc));
      return false;
    }
    bytes.assign(size_t(size) + 2, '\0');  // the value may grow between the calls
  }
  SetLastError(ERROR_MORE_DATA);
  return false;
}

std::wstring RegistryKey::ReadText(std::wstring_view name, std::wstring_view fallback, uint32_t flags) {
  DWORD type = 0;
  std::string bytes;
  if (ReadRaw(name, type, bytes)) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_BINARY ||
        NumberFromData(type, bytes).second) {
      return TextFromData(type, bytes);
    }
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(name, 1252));
  return std::wstring(fallback);
}

std::string RegistryKey::ReadTextA(std::string_view name, std::string_view fallback, uint32_t flags) {
  if (IsOpen()) {
    std::string z = Z(name);
    std::string bytes(256, '\0');
    DWORD type = 0;
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; rc == ERROR_MORE_DATA && attempt < 8; ++attempt) {
      DWORD size = DWORD(bytes.size());
      rc = RegQueryValueExA(Handle(), z.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
      if (rc == ERROR_MORE_DATA) bytes.assign(size_t(size) + 2, '\0');
      else if (rc == ERROR_SUCCESS) bytes.resize(size);
    }
    if (rc == ERROR_SUCCESS) {
      if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        size_t end = bytes.find('\0');
        if (end != std::string::npos) bytes.resize(end);
        return bytes;
      }
      if (type == REG_BINARY) return bytes;
      if (NumberFromData(type, bytes).second) return WideToCodePage(TextFromData(type, bytes), CP_ACP);
    } else {
      SetLastError(DWORD(rc));
    }
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(AnsiToWide(name), 1252));
  return std::string(fallback);
}

uint32_t RegistryKey::ReadNumber(std::wstring_view name, uint32_t fallback, uint32_t flags) {
  DWORD type = 0;
  std::string bytes;
  if (ReadRaw(name, type, bytes)) {
    auto [value, width] = NumberFromData(type, bytes);
    if (width == 32 || (width == 64 && value <= 0xFFFFFFFFull)) return uint32_t(value);
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(name, 1252));
  return fallback;
}

uint64_t RegistryKey::ReadNumber64(std::wstring_view name, uint64_t fallback, uint32_t flags) {
  DWORD type = 0;
  std::string bytes;
  if (ReadRaw(name, type, bytes)) {
    auto [value, width] = NumberFromData(type, bytes);
    if (width) return value;
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(name, 1252));
  return fallback;
}

double RegistryKey::ReadDouble(std::wstring_view name, double fallback, uint32_t flags) {
  DWORD type = 0;
  std::string bytes;
  if (ReadRaw(name, type, bytes)) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::string text = WideToCodePage(TextFromData(type, bytes), CP_ACP);
      size_t b = text.find_first_not_of(" \t");
      size_t e = text.find_last_not_of(" \t");
      if (b != std::string::npos) {
        double value = 0;
        const char* first = text.data() + b;
        const char* last = text.data() + e + 1;
        if (ParseDoubleText(first, last, value)) return value;
      }
    } else if (auto [value, width] = NumberFromData(type, bytes); width) {
      return width == 32 ? double(uint32_t(value)) : double(value);
    }
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(name, 1252));
  return fallback;
}

bool RegistryKey::ReadBool(std::wstring_view name, bool fallback, uint32_t flags) {
  DWORD type = 0;
  std::string bytes;
  if (ReadRaw(name, type, bytes)) {
    auto [value, width] = NumberFromData(type, bytes);
    if (width) return value != 0;
  }
  if (flags & reg_read::kRequired) RequiredValueMissing(PathText(), WideToCodePage(name, 1252));
  return fallback;
}

bool RegistryKey::WriteRaw(std::wstring_view name, DWORD type, const void* data, size_t size, uint32_t flags) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (size > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::wstring z = Z(name);
  if ((flags & reg_write::kKeepExisting) &&
      RegQueryValueExW(Handle(), z.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    return true;
  }
  LONG rc = RegSetValueExW(Handle(), z.c_str(), 0, type, static_cast<const BYTE*>(data), DWORD(size));
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return false;
  }
  return true;
}

bool RegistryKey::WriteText(std::wstring_view name, std::wstring_view text, uint32_t flags) {
  if ((flags & reg_write::kEmptyDeletes) && text.empty()) return DeleteInsteadOfWriting(name);
  if (flags & reg_write::kBinary) return WriteRaw(name, REG_BINARY, text.data(), text.size() * 2, flags);
  std::wstring z = Z(text);
  DWORD type = (flags & reg_write::kExpandable) ? REG_EXPAND_SZ : REG_SZ;
  return WriteRaw(name, type, z.c_str(), (z.size() + 1) * 2, flags);
}

bool RegistryKey::WriteTextA(std::string_view name, std::string_view text, uint32_t flags) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::string zname = Z(name);
  if ((flags & reg_write::kEmptyDeletes) && text.empty()) {
    LONG rc = RegDeleteValueA(Handle(), zname.c_str());
    if (rc == ERROR_SUCCESS || IsNotFound(rc)) return true;
    SetLastError(DWORD(rc));
    return false;
  }
  if ((flags & reg_write::kKeepExisting) &&
      RegQueryValueExA(Handle(), zname.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    return true;
  }
  std::string ztext = Z(text);
  DWORD type = (flags & reg_write::kBinary) ? REG_BINARY : (flags & reg_write::kExpandable) ? REG_EXPAND_SZ : REG_SZ;
  DWORD size = DWORD(type == REG_BINARY ? text.size() : ztext.size() + 1);
  LONG rc = RegSetValueExA(Handle(), zname.c_str(), 0, type, reinterpret_cast<const BYTE*>(ztext.c_str()), size);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return false;
  }
  return true;
}

bool RegistryKey::WriteNumber(std::wstring_view name, uint32_t value, uint32_t flags) {
  if ((flags & reg_write::kEmptyDeletes) && value == 0) return DeleteInsteadOfWriting(name);
  return WriteRaw(name, REG_DWORD, &value, 4, flags);
}

bool RegistryKey::WriteNumber64(std::wstring_view name, uint64_t value, uint32_t flags) {
  if ((flags & reg_write::kEmptyDeletes) && value == 0) return DeleteInsteadOfWriting(name);
  return WriteRaw(name, REG_QWORD, &value, 8, flags);
}

bool RegistryKey::WriteDouble(std::wstring_view name, double value, uint32_t flags) {
  std::string text = ShortestDoubleText(value);
  if ((flags & reg_write::kEmptyDeletes) && value == 0) return DeleteInsteadOfWriting(name);
  return WriteTextA(WideToCodePage(name, CP_ACP), text, flags & ~(reg_write::kBinary | reg_write::kExpandable));
}

bool RegistryKey::WriteBool(std::wstring_view name, bool value, uint32_t flags) {
  return WriteNumber(name, value ? 1 : 0, flags);
}

bool RegistryKey::WriteValue(std::wstring_view name, const RegistryValue& value, uint32_t flags) {
  struct Writer {
    RegistryKey& key;
    std::wstring_view name;
    uint32_t flags;
    bool operator()(std::monostate) const { return key.DeleteInsteadOfWriting(name); }
    bool operator()(int32_t v) const { return key.WriteNumber(name, uint32_t(v), flags); }
    bool operator()(uint32_t v) const { return key.WriteNumber(name, v, flags); }
    bool operator()(int64_t v) const { return key.WriteNumber64(name, uint64_t(v), flags); }
    bool operator()(uint64_t v) const { return key.WriteNumber64(name, v, flags); }
    bool operator()(double v) const {
      std::string text = ShortestDoubleText(v);
      if ((flags & reg_write::kEmptyDeletes) && v == 0) return key.DeleteInsteadOfWriting(name);
      return key.WriteText(name, std::wstring(text.begin(), text.end()), flags);
    }
    bool operator()(bool v) const {
      if ((flags & reg_write::kEmptyDeletes) && !v) return key.DeleteInsteadOfWriting(name);
      return key.WriteText(name, v ? L"1" : L"0", flags);
    }
    bool operator()(const std::wstring& v) const { return key.WriteText(name, v, flags); }
  };
  return std::visit(Writer{*this, name, flags}, value);
}

bool RegistryKey::DeleteInsteadOfWriting(std::wstring_view name) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return DeleteValue(name) != reg_result::kFailed;
}

int RegistryKey::DeleteValue(std::wstring_view name) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return reg_result::kNotFound;
  }
  return DeleteValueOf(Handle(), name);
}

int RegistryKey::DeleteSubkey(std::wstring_view name, uint32_t flags) {
  if (name.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_result::kBadPath;
  }
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return reg_result::kNotFound;
  }
  int result = DeleteTree(Handle(), Z(name), REGSAM(flags & reg_view::kMask), (flags & reg_delete::kOnlyIfEmpty) != 0);
  if (result == reg_result::kFailed && (flags & reg_delete::kShowError)) ShowRegistryError(GetLastError());
  return result;
}

// ---------------------------------------------------------------------------------------------
// Path operations.

bool KeyExists(HKEY root, std::wstring_view subkey, uint32_t flags) {
  REGSAM access = ((flags & reg_exists::kReadAccess) ? KEY_READ : KEY_ALL_ACCESS) | REGSAM(flags & reg_view::kMask);
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(root, Z(subkey).c_str(), 0, access, &h);
  if (rc != ERROR_SUCCESS) {
    SetLastError(DWORD(rc));
    return false;
  }
  RegCloseKey(h);
  return true;
}

namespace {

int DeleteKeyBelow(HKEY root, std::wstring_view path, uint32_t flags) {
  while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  if (path.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_result::kBadPath;
  }
  std::u16string u = ToU16(path);
  SplitKeyPath split = SplitAtLastBackslash(u);
  if (split.name.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_result::kBadPath;
  }
  RegistryKey parent;
  if (!parent.OpenKey(root, ToWide(split.parent), reg_open::kOpenOnly, KEY_READ | REGSAM(flags & reg_view::kMask))) {
    return reg_result::kNotFound;
  }
  return parent.DeleteSubkey(ToWide(split.name), flags);
}

}  // namespace

int DeleteKeyPath(std::wstring_view path, uint32_t flags) {
  std::optional<RegistryKeyPath> parsed = ParseDeletionPath(ToU16(path));
  if (!parsed) {
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_result::kBadPath;
  }
  return DeleteKeyBelow(RootHandle(parsed->root), ToWide(parsed->subkey), flags);
}

int DeleteClassesKey(std::string_view key_path, uint32_t flags) {
  std::wstring path = AnsiToWide(key_path);
  std::wstring_view view = path;
  while (!view.empty() && view.front() == L'\\') view.remove_prefix(1);
  return DeleteKeyBelow(HKEY_CLASSES_ROOT, view, flags & ~reg_delete::kOnlyIfEmpty);
}

int DeleteValuePath(std::wstring_view value_path, uint32_t view) {
  std::u16string u = ToU16(value_path);
  SplitKeyPath split = SplitAtLastBackslash(u);
  std::optional<RegistryKeyPath> parsed = split.parent.empty() ? std::nullopt : ParseDeletionPath(split.parent);
  if (!parsed) {
    SetLastError(ERROR_BAD_PATHNAME);
    return reg_result::kBadPath;
  }
  RegistryKey key;
  if (!key.OpenKey(parsed->root, ToWide(parsed->subkey), reg_open::kOpenOnly,
                   KEY_QUERY_VALUE | KEY_SET_VALUE | REGSAM(view & reg_view::kMask))) {
    return IsNotFound(LONG(GetLastError())) ? reg_result::kNotFound : reg_result::kFailed;
  }
  return key.DeleteValue(ToWide(split.name));
}

bool SetValuePath(std::wstring_view value_path, std::wstring_view text, uint32_t view) {
  std::u16string u = ToU16(value_path);
  SplitKeyPath split = SplitAtLastBackslash(u);
  std::optional<RegistryKeyPath> parsed = split.parent.empty() ? std::nullopt : ParseDeletionPath(split.parent);
  if (!parsed) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  RegistryKey key;
  if (!key.OpenKey(parsed->root, ToWide(parsed->subkey), 0, KEY_ALL_ACCESS | REGSAM(view & reg_view::kMask))) {
    return false;
  }
  return key.WriteText(ToWide(split.name), text);
}

// ---------------------------------------------------------------------------------------------
// All users.

std::vector<std::wstring> UserHiveNames() {
  RegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                  reg_open::kOpenOnly, KEY_READ)) {
    return key.SubkeyNames();
  }
  std::vector<std::wstring> hives;
  if (key.OpenKey(HKEY_USERS, L"", reg_open::kOpenOnly, KEY_READ)) {
    for (std::wstring& name : key.SubkeyNames()) {
      if (IsUserHiveName(ToU16(name))) hives.push_back(std::move(name));
    }
  }
  return hives;
}

namespace {

// Runs `action` with the path joined below every user hive that is loaded; success when every
// loaded hive succeeded and at least one was loaded.
bool ForEachUserHive(std::wstring_view path, const std::function<bool(const std::wstring&)>& action) {
  while (!path.empty() && path.front() == L'\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  if (path.empty()) {  // never a whole hive
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  bool all = true;
  bool any = false;
  DWORD first_error = ERROR_SUCCESS;
  for (const std::wstring& hive : UserHiveNames()) {
    if (!KeyExists(HKEY_USERS, hive, reg_exists::kReadAccess)) continue;  // not loaded: the user is not logged on
    any = true;
    std::wstring full = hive + L"\\" + std::wstring(path);
    if (!action(full)) {
      if (all) first_error = GetLastError();
      all = false;
    }
  }
  if (!any) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (!all) SetLastError(first_error);
  return all;
}

}  // namespace

bool AllUsersCreateKey(std::wstring_view path, uint32_t view) {
  return ForEachUserHive(path, [view](const std::wstring& full) {
    RegistryKey key;
    return key.OpenKey(HKEY_USERS, full, 0, KEY_ALL_ACCESS | REGSAM(view & reg_view::kMask)) != reg_opened::kFailed;
  });
}

bool AllUsersWrite(std::wstring_view path, uint32_t view, const std::function<bool(RegistryKey&)>& write) {
  return ForEachUserHive(path, [view, &write](const std::wstring& full) {
    RegistryKey key;
    if (!key.OpenKey(HKEY_USERS, full, 0, KEY_ALL_ACCESS | REGSAM(view & reg_view::kMask))) return false;
    return write(key);
  });
}

bool AllUsersWriteText(std::wstring_view path, std::wstring_view name, std::wstring_view text, uint32_t flags,
                       uint32_t view) {
  return AllUsersWrite(path, view, [&](RegistryKey& key) { return key.WriteText(name, text, flags); });
}

bool AllUsersDeleteValue(std::wstring_view path, std::wstring_view name, uint32_t view) {
  return ForEachUserHive(path, [&](const std::wstring& full) {
    RegistryKey key;
    if (!key.OpenKey(HKEY_USERS, full, reg_open::kOpenOnly,
                     KEY_QUERY_VALUE | KEY_SET_VALUE | REGSAM(view & reg_view::kMask))) {
      return IsNotFound(LONG(GetLastError()));
    }
    return key.DeleteValue(name) != reg_result::kFailed;
  });
}

bool AllUsersDeleteKey(std::wstring_view path, uint32_t flags) {
  return ForEachUserHive(path, [flags](const std::wstring& full) {
    int r = DeleteKeyBelow(HKEY_USERS, full, flags);
    return r == reg_result::kDeleted || r == reg_result::kNotFound;
  });
}

}  // namespace halberd
