// Loosening the security of a file or folder, so that whoever runs the product later can change
// and remove what the installer put there: the current user becomes the owner, the access list
// loses its access-denied entries, and Everyone gets full access, inherited by sub-folders and
// files. Used for the installation and shared-files folders (never for the temporary file of a
// replacement at restart, which keeps the security it inherits).
#include "install/restart_operations.h"

#include <aclapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/tl_file.h"

namespace halberd::install {

namespace {

struct LocalMemoryTraits {  // GetNamedSecurityInfoW hands over a LocalAlloc'ed descriptor
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { LocalFree(h); }
};
struct SidTraits {  // AllocateAndInitializeSid
  using Type = PSID;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { FreeSid(h); }
};

// Enables privileges of a token for its own lifetime, then puts back the state each had: the
// process may hold some of them enabled for other steps (start-up enables taking ownership).
class EnabledPrivileges {
 public:
  EnabledPrivileges(HANDLE token, std::initializer_list<const wchar_t*> names) : token_(token) {
    for (const wchar_t* name : names) {
      TOKEN_PRIVILEGES wanted{};
      wanted.PrivilegeCount = 1;
      wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) continue;
      TOKEN_PRIVILEGES before{};
      DWORD size = 0;
      // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks it; nothing changed then.
      if (AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof before, &before, &size) &&
          GetLastError() == ERROR_SUCCESS && before.PrivilegeCount > 0) {
        previous_.push_back(before);
      }
    }
  }
  ~EnabledPrivileges() {
    for (TOKEN_PRIVILEGES& before : previous_) AdjustTokenPrivileges(token_, FALSE, &before, 0, nullptr, nullptr);
  }
  EnabledPrivileges(const EnabledPrivileges&) = delete;
  EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;

 private:
  HANDLE token_;
  std::vector<TOKEN_PRIVILEGES> previous_;
};

bool IsAccessDenied(BYTE ace_type) {
  return ace_type == ACCESS_DENIED_ACE_TYPE || ace_type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         ace_type == ACCESS_DENIED_CALLBACK_ACE_TYPE || ace_type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// Makes the user of the process token the owner of `path`. Best effort: a user without the right
// to take ownership often owns the path already (it created it), and the access list can still be
// rewritten.
void TakeOwnership(std::wstring path) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &raw)) return;
  UniqueKernelHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return;
  std::vector<BYTE> user(size);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  EnabledPrivileges privileges(token.get(), {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid, nullptr, nullptr, nullptr);
}

// The access list of `path` without its access-denied entries and with Everyone's full access
// first. Returns 0 or the system error.
DWORD RewriteAccessList(std::wstring path, bool is_folder) {
  PACL old_list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &old_list, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return error;
  UniqueHandle<LocalMemoryTraits> descriptor_owner(descriptor);

  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  PSID world_sid = nullptr;
  if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world_sid)) {
    world_sid = nullptr;
  }
  UniqueHandle<SidTraits> world(world_sid);

  // A missing list (no access list at all) lets everyone in already; the new one says so.
  DWORD size = sizeof(ACL);
  BYTE revision = ACL_REVISION;
  bool removed = false;
  std::vector<ACE_HEADER*> kept;
  if (old_list) {
    revision = std::max<BYTE>(revision, old_list->AclRevision);
    for (DWORD i = 0; i < old_list->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(old_list, i, &ace)) return GetLastError();
      auto* header = static_cast<ACE_HEADER*>(ace);
      if (IsAccessDenied(header->AceType)) {
        removed = true;
        continue;
      }
      kept.push_back(header);
      size += header->AceSize;
    }
  }
  if (!world.valid() && !removed) return ERROR_NO_SUCH_GROUP;
  if (world.valid()) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(world.get());
  size = (size + 3) & ~DWORD(3);

  std::vector<BYTE> new_list_bytes(size);
  auto* new_list = reinterpret_cast<PACL>(new_list_bytes.data());
  if (!InitializeAcl(new_list, size, revision)) return GetLastError();
  // An explicit allow entry goes before the inherited ones; there are no denials left to precede it.
  const DWORD inheritance = is_folder ? (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE) : 0;
  if (world.valid() && !AddAccessAllowedAceEx(new_list, revision, inheritance, GENERIC_ALL, world.get())) {
    return GetLastError();
  }
  for (ACE_HEADER* ace : kept) {
    if (!AddAce(new_list, revision, MAXDWORD, ace, ace->AceSize)) return GetLastError();
  }
  error = SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, new_list,
                                nullptr);
  if (error != ERROR_SUCCESS) return error;
  return world.valid() ? ERROR_SUCCESS : ERROR_NO_SUCH_GROUP;
}

}  // namespace

DWORD LoosenSecurity(const std::wstring& path, bool is_folder) {
  DWORD error = ERROR_SUCCESS;
  if (path.empty()) {
    error = is_folder ? ERROR_BAD_PATHNAME : ERROR_INVALID_NAME;
  } else if (is_folder ? !FolderExists(path) : !FileExists(path)) {
    error = is_folder ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
  } else {
    SetAttributes(path, 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    TakeOwnership(path);
    error = RewriteAccessList(path, is_folder);
  }
  SetLastError(error);
  return error;
}

}  // namespace halberd::install
