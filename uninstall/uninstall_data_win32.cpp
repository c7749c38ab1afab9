// The Windows half of the uninstall data: the system's ANSI code page, and writing and reading
// "Uninstall.dat" through the file layer.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "foundation/file_errors.h"
#include "foundation/tl_file.h"
#include "uninstall/delete_safety.h"
#include "uninstall/uninstall_data.h"

namespace halberd::uninstall {

namespace {

std::string ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  // A UTF-8 system code page holds every character and refuses a default character.
  const bool utf8 = GetACP() == CP_UTF8;
  const char* fallback = utf8 ? nullptr : "?";
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(CP_ACP, flags, wide, int(text.size()), nullptr, 0, fallback, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  n = WideCharToMultiByte(CP_ACP, flags, wide, int(text.size()), out.data(), n, fallback, nullptr);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

std::u16string FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(size_t(n), u'\0');
  n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

// Leaves `error` as the last error, or a generic failure when the system gave none.
bool FailWith(DWORD error) {
  SetLastError(error ? error : DWORD(E_FAIL));
  return false;
}

struct LocalMemoryTraits {  // memory the security functions allocate with LocalAlloc
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { LocalFree(h); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

// Owner: the administrators; SYSTEM and administrators full access, users read; nothing
// inherited from a folder whose security may have been loosened.
constexpr wchar_t kDataFileSecurity[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

bool RestrictToAdministrators(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kDataFileSecurity, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  UniqueLocalMemory owned(descriptor);
  PSID owner = nullptr;
  BOOL owner_defaulted = FALSE, present = FALSE, dacl_defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &dacl_defaulted))
    return false;
  std::wstring name = path;
  const SECURITY_INFORMATION dacl_only = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
  if (SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | dacl_only, owner, nullptr, dacl,
                            nullptr) == ERROR_SUCCESS)
    return true;
  // The owner may stay the installing administrator, whom the uninstaller trusts too.
  return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, dacl_only, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// The running user's identity, to count the elevated installer's own account as trusted.
std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  UniqueHandle<KernelHandleTraits> owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (!size || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return std::string(static_cast<const char*>(sid), GetLengthSid(sid));
}

bool IsTrustedSid(PSID sid, const std::string& current_user) {
  if (!sid || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
  if (!current_user.empty() && GetLengthSid(sid) == current_user.size() &&
      EqualSid(sid, const_cast<char*>(current_user.data())))
    return true;
  // NT SERVICE\TrustedInstaller.
  PSID trusted_installer = nullptr;
  if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &trusted_installer))
    return false;
  UniqueLocalMemory owned(trusted_installer);
  return EqualSid(sid, trusted_installer) != FALSE;
}

}  // namespace

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  UniqueHandle<KernelHandleTraits> owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return elevation.TokenIsElevated != 0;
  // Systems without elevation: an administrator's token is full.
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD admins_size = sizeof admins;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &admins_size) &&
         CheckTokenMembership(nullptr, admins, &member) && member;
}

namespace {

// The summary of an owner and an access list for OrdinaryUserMayChange.
bool OpenToOrdinaryUsers(DWORD lookup, PSID owner, PACL dacl, PSECURITY_DESCRIPTOR descriptor) {
  FileSecurity security;
  if (lookup != ERROR_SUCCESS) return OrdinaryUserMayChange(security);
  UniqueLocalMemory owned(descriptor);
  const std::string current_user = CurrentUserSid();
  security.read = true;
  security.owner_trusted = IsTrustedSid(owner, current_user);
  security.has_acl = dacl != nullptr;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
      security.entries.push_back({true, IsTrustedSid(&ace->SidStart, current_user), ace->Mask});
    } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      auto* ace = reinterpret_cast<ACCESS_DENIED_ACE*>(header);
      security.entries.push_back({false, IsTrustedSid(&ace->SidStart, current_user), ace->Mask});
    } else {
      // An entry of another kind (object, callback) is not understood: it counts as a grant.
      security.entries.push_back({true, false, kChangingRights});
    }
  }
  return OrdinaryUserMayChange(security);
}

}  // namespace

bool DataFileOpenToOrdinaryUsers(const std::wstring& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring name = path;
  DWORD lookup = GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
  return OpenToOrdinaryUsers(lookup, owner, dacl, descriptor);
}

CodePage SystemCodePage() { return {ToAnsi, FromAnsi}; }

bool WriteUninstallDataFile(const UninstallData& data, const std::wstring& path) {
  const std::string bytes = WriteUninstallData(data);
  FileW file;
  int code = file.Open(path, kPathNewTempFileBeside | kNoReadAccess);
  if (code != file_error::kSuccess) return FailWith(GetLastError());  // Open set the code's error
  if (!file.Write(bytes)) {
    DWORD error = GetLastError();
    file.CloseAndDelete(0);
    return FailWith(error);
  }
  const std::wstring temporary = file.Path();
  file.Close();
  // The security goes with the file when it is moved into place. Should the system refuse it,
  // the file is still written: an elevated uninstaller then refuses a file users may change.
  if (ProcessIsElevated()) RestrictToAdministrators(temporary);
  if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    RemoveFile(temporary);
    return FailWith(error);
  }
  return true;
}

int LoadUninstallDataFile(const std::wstring& path, UninstallData& data, bool* open_to_ordinary_users) {
  FileW file;
  int code = file.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kLoadIntoMemory);
  if (code != file_error::kSuccess) return code;
  if (open_to_ordinary_users) {
    // The security of the file read, through the same handle: no other file can be put in its
    // place between the check and the reading.
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD lookup = GetSecurityInfo(file.Handle(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor);
    *open_to_ordinary_users = OpenToOrdinaryUsers(lookup, owner, dacl, descriptor);
  }
  std::string bytes;
  if (!file.ReadAll(bytes)) return file_error::kReadIntoMemory;
  data = LoadUninstallData(bytes);
  return file_error::kSuccess;
}

}  // namespace halberd::uninstall
