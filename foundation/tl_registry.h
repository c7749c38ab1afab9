// The registry layer: one key object (RegistryKey) through which every registry access of the
// installer and the uninstaller goes, and the process-wide path operations (deletion of keys and
// values by path, existence, the all-users operations over HKEY_USERS). Root notation and the
// other text rules live in registry_paths.
//
// The key object keeps a stack of open keys: opening pushes the current key (unless the caller
// asks to replace it), closing pops back to the one before. The current key's path text
// ("HKEY_LOCAL_MACHINE\Software\X\") is kept for messages.
//
// Registry views travel in the access mask (reg_view::k64Bit, reg_view::k32Bit); delete
// operations take them from their flags. Keys are created with an access list that grants
// everyone full access unless reg_open::kDefaultSecurity is given; when that creation fails it is
// retried with default security. Every failure leaves the reason in the system's last error.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/registry_paths.h"
#include "foundation/tl_file.h"

namespace halberd {

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { RegCloseKey(h); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// Flags of OpenKey, OpenKeyPath and OpenSubkey.
namespace reg_open {
constexpr uint32_t kReplace = 0x1;              // the new key replaces the current one instead of being pushed
constexpr uint32_t kShowError = 0x10;           // a failure shows the system's text in a "Registry Error" box
constexpr uint32_t kOpenOnly = 0x40;            // without it a missing key is created
constexpr uint32_t kDefaultSecurity = 0x800;    // create with the parent's default security
constexpr uint32_t kCreateNewOnly = 0x10000;    // fail with ERROR_ALREADY_EXISTS when the key exists
}  // namespace reg_open

// View bits: in the access mask of opens, in the flags of deletions.
namespace reg_view {
constexpr uint32_t k64Bit = 0x100;  // KEY_WOW64_64KEY
constexpr uint32_t k32Bit = 0x200;  // KEY_WOW64_32KEY
constexpr uint32_t kMask = 0x300;
}  // namespace reg_view

// Flags of the reads.
namespace reg_read {
constexpr uint32_t kRequired = 0x2;  // a missing or unreadable value ends the program (FatalError)
}  // namespace reg_read

// Flags of the writes. The wide overloads use the UTF-16 API (the 0x1000 bit of the notation is
// implied by them); the ...A overloads take 8-bit names and text and use the ANSI API.
namespace reg_write {
constexpr uint32_t kEmptyDeletes = 0x8;     // an empty text or a zero number deletes the value instead
constexpr uint32_t kBinary = 0x80;          // text written as REG_BINARY (its code units, no terminator)
constexpr uint32_t kExpandable = 0x100;     // text written as REG_EXPAND_SZ instead of REG_SZ
constexpr uint32_t kWide = 0x1000;          // implied by the wide overloads
constexpr uint32_t kKeepExisting = 0x8000;  // write only when the value does not exist yet
}  // namespace reg_write

// Flags of DeleteSubkey and DeleteKeyPath (besides the view bits).
namespace reg_delete {
constexpr uint32_t kShowError = 0x10;   // a failed final deletion shows the "Registry Error" box
constexpr uint32_t kOnlyIfEmpty = 0x20; // delete only a key without subkeys and values
}  // namespace reg_delete

// Flag of KeyExists.
namespace reg_exists {
constexpr uint32_t kReadAccess = 0x4;  // open for reading (else for full access)
}  // namespace reg_exists

// Results of the delete operations.
namespace reg_result {
constexpr int kDeleted = 1;
constexpr int kNotFound = 2;   // or no open key, or the parent could not be opened
constexpr int kFailed = 3;     // system error set
constexpr int kNotEmpty = 4;   // only with reg_delete::kOnlyIfEmpty
constexpr int kBadPath = 5;    // empty name, or a root not in the table
}  // namespace reg_result

// Results of the opens.
namespace reg_opened {
constexpr int kFailed = 0;
constexpr int kExisting = 1;
constexpr int kCreated = 2;
}  // namespace reg_opened

// A value of a chosen type for WriteValue: no type deletes the value; 32-bit integers are written
// as REG_DWORD, 64-bit ones as REG_QWORD, everything else as text under the write flags (a
// floating-point number as its decimal text, yes/no as "1" or "0").
using RegistryValue = std::variant<std::monostate, int32_t, uint32_t, int64_t, uint64_t, double, bool, std::wstring>;

// The system's handle of a root.
HKEY RootHandle(RegistryRoot root);

// The security new keys get unless default security is asked for: an access list with one allow
// entry for the world identity with every access right (mask 0xFFFFFFFF). attributes() is nullptr
// when the descriptor could not be built (creation then uses default security).
class OpenKeySecurity {
 public:
  OpenKeySecurity();
  ~OpenKeySecurity();
  OpenKeySecurity(const OpenKeySecurity&) = delete;
  OpenKeySecurity& operator=(const OpenKeySecurity&) = delete;
  SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

 private:
  PSID sid_ = nullptr;
  std::string acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { CloseAll(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens or creates `subkey` of `parent` (a root handle or any open key). Returns
  // reg_opened::kFailed (system error set), kExisting or kCreated. An empty subkey with kOpenOnly
  // opens `parent` itself.
  int OpenKey(HKEY parent, std::wstring_view subkey, uint32_t flags = 0, REGSAM access = KEY_ALL_ACCESS);
  int OpenKey(RegistryRoot root, std::wstring_view subkey, uint32_t flags = 0, REGSAM access = KEY_ALL_ACCESS);
  // A full path in root notation ("\HKLM\Software\X"); a root not in the table fails with
  // ERROR_BAD_PATHNAME.
  int OpenKeyPath(std::wstring_view path, uint32_t flags = 0, REGSAM access = KEY_ALL_ACCESS);
  // Relative to the current key; fails with ERROR_INVALID_HANDLE when no key is open.
  int OpenSubkey(std::wstring_view subkey, uint32_t flags = 0, REGSAM access = KEY_ALL_ACCESS);
  // Closes the current key; the one before becomes current.
  void CloseKey();
  void CloseAll();

  bool IsOpen() const { return !stack_.empty(); }
  HKEY Handle() const { return stack_.empty() ? nullptr : stack_.back().handle.get(); }
  // "HKEY_LOCAL_MACHINE\Software\X\"; empty when no key is open.
  const std::wstring& PathText() const;
  size_t Depth() const { return stack_.size(); }

  // Number of subkeys of the current key, -1 on error; their names (empty on error).
  int SubkeyCount();
  std::vector<std::wstring> SubkeyNames();
  bool ValueExists(std::wstring_view name);

  // Reads from the current key; the fallback when the value is missing or cannot be read as the
  // asked type. Text reads take REG_SZ, REG_EXPAND_SZ (unexpanded), the first string of
  // REG_MULTI_SZ, numbers (as decimal text) and REG_BINARY (as code units); number reads take
  // REG_DWORD, REG_QWORD (a 32-bit read only when the value fits), decimal text and binary data of
  // 4 or 8 bytes.
  std::wstring ReadText(std::wstring_view name, std::wstring_view fallback = {}, uint32_t flags = 0);
  std::string ReadTextA(std::string_view name, std::string_view fallback = {}, uint32_t flags = 0);
  uint32_t ReadNumber(std::wstring_view name, uint32_t fallback = 0, uint32_t flags = 0);
  uint64_t ReadNumber64(std::wstring_view name, uint64_t fallback = 0, uint32_t flags = 0);
  double ReadDouble(std::wstring_view name, double fallback = 0, uint32_t flags = 0);
  bool ReadBool(std::wstring_view name, bool fallback = false, uint32_t flags = 0);
  // Type and bytes of a value; false when it is missing.
  bool ReadRaw(std::wstring_view name, DWORD& type, std::string& bytes);

  // Writes to the current key; false with the system error set on failure.
  bool WriteText(std::wstring_view name, std::wstring_view text, uint32_t flags = 0);
  bool WriteTextA(std::string_view name, std::string_view text, uint32_t flags = 0);
  bool WriteNumber(std::wstring_view name, uint32_t value, uint32_t flags = 0);    // REG_DWORD
  bool WriteNumber64(std::wstring_view name, uint64_t value, uint32_t flags = 0);  // REG_QWORD
  bool WriteDouble(std::wstring_view name, double value, uint32_t flags = 0);      // REG_SZ, decimal text
  bool WriteBool(std::wstring_view name, bool value, uint32_t flags = 0);          // REG_DWORD 0 or 1
  bool WriteValue(std::wstring_view name, const RegistryValue& value, uint32_t flags = 0);
  // Any type with its bytes as given (reg_write::kKeepExisting applies).
  bool WriteRaw(std::wstring_view name, DWORD type, const void* data, size_t size, uint32_t flags = 0);

  // Deletes a value of the current key: reg_result::kDeleted, kNotFound or kFailed.
  int DeleteValue(std::wstring_view name);
  // Deletes a subkey of the current key with everything below it (with kOnlyIfEmpty only when it
  // has neither subkeys nor values). The view bits of `flags` select the view.
  int DeleteSubkey(std::wstring_view name, uint32_t flags = 0);

 private:
  // A write that deletes (an empty value with kEmptyDeletes, a value of no type): a value that is
  // not there is no failure, a key that is not open is.
  bool DeleteInsteadOfWriting(std::wstring_view name);

  struct Entry {
    UniqueRegistryKey handle;
    std::wstring path_text;
  };
  std::vector<Entry> stack_;
};

// Whether `subkey` of `root` can be opened (reg_exists::kReadAccess: for reading, else with full
// access; view bits of `flags` select the view). False with the system error kept.
bool KeyExists(HKEY root, std::wstring_view subkey, uint32_t flags = 0);

// Deletes the key named by a full path with everything below it (flags as DeleteSubkey, view bits
// included). The root is parsed leniently ("\HKLM\X", "HKLM\X", "\HKEY_LOCAL_MACHINE\X"); a
// trailing backslash is dropped first.
int DeleteKeyPath(std::wstring_view path, uint32_t flags = 0);
// The same for an 8-bit (system code page) key path below HKEY_CLASSES_ROOT.
int DeleteClassesKey(std::string_view key_path, uint32_t flags = 0);
// Deletes the value named by root, key path and value name joined by backslashes (the root parsed
// leniently). Results as DeleteValue; kBadPath for a bad root.
int DeleteValuePath(std::wstring_view value_path, uint32_t view = 0);
// Opens or creates the key of a value path (as DeleteValuePath) and writes the text as REG_SZ.
bool SetValuePath(std::wstring_view value_path, std::wstring_view text, uint32_t view = 0);

// The user hives the all-users operations work on: the profiles listed under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList", or, when that key cannot be read,
// the subkeys of HKEY_USERS that name users (not ".DEFAULT", not "..._Classes").
std::vector<std::wstring> UserHiveNames();

// The all-users operations: `path` is a key below a user's hive (without "\HKAU\"). Each is
// repeated below HKEY_USERS for every user hive that is loaded (one that cannot be opened, a
// user who is not logged on, is skipped) and succeeds when it succeeded for every hive it could
// open; it fails (ERROR_FILE_NOT_FOUND) when no hive could be opened at all.
bool AllUsersCreateKey(std::wstring_view path, uint32_t view = 0);
// Opens or creates the key in every hive and runs `write` on it.
bool AllUsersWrite(std::wstring_view path, uint32_t view, const std::function<bool(RegistryKey&)>& write);
bool AllUsersWriteText(std::wstring_view path, std::wstring_view name, std::wstring_view text, uint32_t flags = 0,
                       uint32_t view = 0);
// A value or key that is not there counts as deleted.
bool AllUsersDeleteValue(std::wstring_view path, std::wstring_view name, uint32_t view = 0);
bool AllUsersDeleteKey(std::wstring_view path, uint32_t flags = 0);

// The "Registry Error" box: shown for a failure when the caller asked for it and the system has a
// text for the error. The default shows a message box with an error icon; tests install their
// own (nullptr restores the default).
using RegistryErrorHook = void (*)(const std::wstring& text);
void SetRegistryErrorHook(RegistryErrorHook hook);
inline constexpr wchar_t kRegistryErrorCaption[] = L"Registry Error";

// The text that ends the program when a required value is missing: the program name, the key's
// path text and the value name.
std::string RequiredValueMessage(std::string_view program, std::string_view key_text, std::string_view value_name);

}  // namespace halberd
