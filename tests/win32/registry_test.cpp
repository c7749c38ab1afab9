// The registry layer on a real registry (Wine): the key object and its stack, the root notations,
// values of every type with the write flags, the security of new keys, both registry views,
// deletion of values, keys and key trees, and the all-users operations over HKEY_USERS. Each test
// works below keys of its own and removes them afterwards with the plain registry API.
#include "foundation/tl_registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/fatal_error.h"
#include "foundation/special_folders.h"

using namespace halberd;

namespace {

// The raw registry, for checking what the layer did.
struct RawValue {
  bool found = false;
  DWORD type = 0;
  std::string bytes;
};

RawValue Raw(HKEY root, const std::wstring& subkey, const std::wstring& name, REGSAM view = 0) {
  RawValue v;
  HKEY h;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS) return v;
  DWORD size = 0;
  if (RegQueryValueExW(h, name.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
    v.bytes.resize(size);
    v.found = RegQueryValueExW(h, name.c_str(), nullptr, &v.type, reinterpret_cast<BYTE*>(v.bytes.data()), &size) ==
              ERROR_SUCCESS;
  }
  RegCloseKey(h);
  return v;
}

bool RawExists(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  HKEY h;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void RawCreate(HKEY root, const std::wstring& subkey, const std::wstring& value_name = L"",
               const std::wstring& text = L"") {
  HKEY h;
  ASSERT_EQ(RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS)
      << std::string(subkey.begin(), subkey.end());
  if (!value_name.empty()) {
    RegSetValueExW(h, value_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * 2));
  }
  RegCloseKey(h);
}

void RawDeleteTree(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  HKEY h;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | view, &h) != ERROR_SUCCESS) return;
  wchar_t name[256];
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    DWORD n = 256;
    if (RegEnumKeyExW(h, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, n);
  }
  for (const std::wstring& sub : names) RawDeleteTree(root, subkey + L"\\" + sub, view);
  RegCloseKey(h);
  RegDeleteKeyExW(root, subkey.c_str(), view, 0);
}

std::wstring Text(const RawValue& v) {
  std::wstring t(v.bytes.size() / 2, L'\0');
  if (!t.empty()) std::memcpy(t.data(), v.bytes.data(), t.size() * 2);
  return t;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }  // ASCII test texts

// The current user's SID as text ("S-1-5-21-...").
std::wstring CurrentUserSid() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  char buffer[256];
  DWORD size = sizeof(buffer);
  std::wstring result;
  if (GetTokenInformation(token, TokenUser, buffer, size, &size)) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
      result = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return result;
}

std::vector<std::wstring> g_error_texts;
void CollectErrorText(const std::wstring& text) { g_error_texts.push_back(text); }

class Registry : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    name_ = L"HalberdTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    base_ = L"Software\\" + name_;
    g_error_texts.clear();
    SetRegistryErrorHook(CollectErrorText);
  }
  void TearDown() override {
    SetRegistryErrorHook(nullptr);
    SetFatalErrorHook(nullptr);
    RawDeleteTree(HKEY_CURRENT_USER, base_);
    RawDeleteTree(HKEY_LOCAL_MACHINE, base_, KEY_WOW64_64KEY);
    RawDeleteTree(HKEY_LOCAL_MACHINE, base_, KEY_WOW64_32KEY);
    RawDeleteTree(HKEY_CLASSES_ROOT, L"." + name_);
    for (const std::wstring& hive : UserHiveNames()) RawDeleteTree(HKEY_USERS, hive + L"\\" + base_);
  }

  static constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  static constexpr wchar_t kFakeProfile[] = L"S-1-5-21-9-9-9-1999";  // a user whose hive is not loaded

  std::wstring name_;
  std::wstring base_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Key object

TEST_F(Registry, OpensCreatesAndKeepsAStackOfKeys) {
  RegistryKey key;
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_), reg_opened::kCreated);
  EXPECT_EQ(key.PathText(), L"HKEY_CURRENT_USER\\" + base_ + L"\\");
  EXPECT_EQ(key.OpenSubkey(L"A\\B"), reg_opened::kCreated);
  EXPECT_EQ(key.PathText(), L"HKEY_CURRENT_USER\\" + base_ + L"\\A\\B\\");
  EXPECT_EQ(key.Depth(), 2u);
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_ + L"\\A\\B"));
  key.CloseKey();
  EXPECT_EQ(key.PathText(), L"HKEY_CURRENT_USER\\" + base_ + L"\\");

  // An existing key is opened; replacing keeps the depth.
  EXPECT_EQ(key.OpenKey(RegistryRoot::kCurrentUser, base_), reg_opened::kExisting);
  EXPECT_EQ(key.Depth(), 2u);
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\A", reg_open::kReplace), reg_opened::kExisting);
  EXPECT_EQ(key.Depth(), 2u);
  EXPECT_EQ(key.PathText(), L"HKEY_CURRENT_USER\\" + base_ + L"\\A\\");

  // Create-new-only and open-only fail without touching the stack.
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_, reg_open::kCreateNewOnly), reg_opened::kFailed);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\Missing", reg_open::kOpenOnly), reg_opened::kFailed);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base_ + L"\\Missing"));
  EXPECT_EQ(key.Depth(), 2u);
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\New", reg_open::kCreateNewOnly), reg_opened::kCreated);
  EXPECT_EQ(key.Depth(), 3u);
  EXPECT_TRUE(g_error_texts.empty());  // no box without kShowError

  // An empty subkey with open-only opens the root itself.
  RegistryKey root;
  EXPECT_EQ(root.OpenKey(HKEY_CURRENT_USER, L"", reg_open::kOpenOnly, KEY_READ), reg_opened::kExisting);
  EXPECT_EQ(root.PathText(), L"HKEY_CURRENT_USER\\");
  EXPECT_GT(root.SubkeyCount(), 0);

  // Nothing open: a relative open fails.
  RegistryKey none;
  EXPECT_EQ(none.OpenSubkey(L"X"), reg_opened::kFailed);
  EXPECT_EQ(none.SubkeyCount(), -1);
}

TEST_F(Registry, OpensPathsInRootNotation) {
  RawCreate(HKEY_CURRENT_USER, base_, L"Marker", L"here");
  struct Case { std::wstring path; bool opens; };
  const Case cases[] = {
      {L"\\HKCU\\" + base_, true},
      {L"\\hkcu\\" + base_, true},
      {L"\\HKEY_CURRENT_USER\\" + base_, true},
      {L"\\hkey_current_user\\" + base_ + L"\\", true},
      {L"HKCU\\" + base_, false},
      {L"HKEY_CURRENT_USER\\" + base_, false},
      {L"\\HKAU\\" + base_, false},
      {L"\\HKCUX\\" + base_, false},
      {L"", false},
  };
  for (const Case& c : cases) {
    RegistryKey key;
    int result = key.OpenKeyPath(c.path, reg_open::kOpenOnly, KEY_READ);
    if (c.opens) {
      EXPECT_EQ(result, reg_opened::kExisting) << Narrow(c.path);
      EXPECT_EQ(key.ReadText(L"Marker"), L"here") << Narrow(c.path);
      EXPECT_EQ(key.PathText(), L"HKEY_CURRENT_USER\\" + base_ + L"\\") << Narrow(c.path);
    } else {
      EXPECT_EQ(result, reg_opened::kFailed) << Narrow(c.path);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_PATHNAME)) << Narrow(c.path);
    }
  }
  // The bracketed form alone opens the root.
  RegistryKey root;
  EXPECT_EQ(root.OpenKeyPath(L"\\HKCU", reg_open::kOpenOnly, KEY_READ), reg_opened::kExisting);
  EXPECT_TRUE(root.OpenSubkey(base_, reg_open::kOpenOnly, KEY_READ));
  EXPECT_EQ(root.ReadText(L"Marker"), L"here");
}

TEST_F(Registry, ErrorBoxOnlyWhenAsked) {
  RegistryKey key;
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\Missing", reg_open::kOpenOnly), reg_opened::kFailed);
  EXPECT_TRUE(g_error_texts.empty());
  EXPECT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\Missing", reg_open::kOpenOnly | reg_open::kShowError),
            reg_opened::kFailed);
  ASSERT_EQ(g_error_texts.size(), 1u);
  EXPECT_FALSE(g_error_texts[0].empty());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));  // kept through the box
  EXPECT_EQ(key.OpenKeyPath(L"HKCU\\X", reg_open::kShowError), reg_opened::kFailed);
  EXPECT_EQ(g_error_texts.size(), 2u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_PATHNAME));
}

// ---------------------------------------------------------------------------------------------
// Values

TEST_F(Registry, WritesAndReadsValuesOfEveryType) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(HKEY_CURRENT_USER, base_));

  struct Case {
    const wchar_t* name;
    std::function<bool(RegistryKey&)> write;
    DWORD type;
    std::string bytes;
  };
  auto wide_bytes = [](const std::wstring& t, bool terminator) {
    return std::string(reinterpret_cast<const char*>(t.c_str()), (t.size() + (terminator ? 1 : 0)) * 2);
  };
  const Case cases[] = {
      {L"Text", [](RegistryKey& k) { return k.WriteText(L"Text", L"Grüße"); }, REG_SZ, wide_bytes(L"Grüße", true)},
      {L"Expand", [](RegistryKey& k) { return k.WriteText(L"Expand", L"%WinDir%\\x", reg_write::kExpandable); },
       REG_EXPAND_SZ, wide_bytes(L"%WinDir%\\x", true)},
      {L"Binary", [](RegistryKey& k) { return k.WriteText(L"Binary", L"AB", reg_write::kBinary); }, REG_BINARY,
       wide_bytes(L"AB", false)},
      {L"Ansi", [](RegistryKey& k) { return k.WriteTextA("Ansi", "plain"); }, REG_SZ, wide_bytes(L"plain", true)},
      {L"AnsiBinary", [](RegistryKey& k) { return k.WriteTextA("AnsiBinary", "AB", reg_write::kBinary); },
       REG_BINARY, "AB"},
      {L"Dword", [](RegistryKey& k) { return k.WriteNumber(L"Dword", 0x12345678); }, REG_DWORD,
       std::string("\x78\x56\x34\x12", 4)},
      {L"Qword", [](RegistryKey& k) { return k.WriteNumber64(L"Qword", 0x0102030405060708ull); }, REG_QWORD,
       std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8)},
      {L"Double", [](RegistryKey& k) { return k.WriteDouble(L"Double", 0.1); }, REG_SZ, wide_bytes(L"0.1", true)},
      {L"Bool", [](RegistryKey& k) { return k.WriteBool(L"Bool", true); }, REG_DWORD, std::string("\x01\0\0\0", 4)},
      {L"TypedInt", [](RegistryKey& k) { return k.WriteValue(L"TypedInt", RegistryValue(int32_t(-2))); }, REG_DWORD,
       std::string("\xFE\xFF\xFF\xFF", 4)},
      {L"TypedU64", [](RegistryKey& k) { return k.WriteValue(L"TypedU64", RegistryValue(uint64_t(5))); }, REG_QWORD,
       std::string("\x05\0\0\0\0\0\0\0", 8)},
      {L"TypedText",
       [](RegistryKey& k) { return k.WriteValue(L"TypedText", RegistryValue(std::wstring(L"t")), reg_write::kExpandable); },
       REG_EXPAND_SZ, wide_bytes(L"t", true)},
      {L"TypedBool", [](RegistryKey& k) { return k.WriteValue(L"TypedBool", RegistryValue(true)); }, REG_SZ,
       wide_bytes(L"1", true)},
      {L"Raw", [](RegistryKey& k) { return k.WriteRaw(L"Raw", REG_NONE, nullptr, 0); }, REG_NONE, ""},
      {L"", [](RegistryKey& k) { return k.WriteText(L"", L"default"); }, REG_SZ, wide_bytes(L"default", true)},
  };
  for (const Case& c : cases) {
    std::string label = Narrow(c.name);
    ASSERT_TRUE(c.write(key)) << label;
    RawValue v = Raw(HKEY_CURRENT_USER, base_, c.name);
    ASSERT_TRUE(v.found) << label;
    EXPECT_EQ(v.type, c.type) << label;
    EXPECT_EQ(v.bytes, c.bytes) << label;
  }

  // Reads, with conversions between the stored and the asked type.
  EXPECT_EQ(key.ReadText(L"Text"), L"Grüße");
  EXPECT_EQ(key.ReadText(L"Expand"), L"%WinDir%\\x");  // not expanded
  EXPECT_EQ(key.ReadText(L"Dword"), L"305419896");
  EXPECT_EQ(key.ReadText(L""), L"default");
  EXPECT_EQ(key.ReadTextA("Ansi"), "plain");
  EXPECT_EQ(key.ReadTextA("Dword"), "305419896");
  EXPECT_EQ(key.ReadNumber(L"Dword"), 0x12345678u);
  EXPECT_EQ(key.ReadNumber64(L"Qword"), 0x0102030405060708ull);
  EXPECT_EQ(key.ReadNumber(L"Qword", 7), 7u);  // does not fit 32 bits
  EXPECT_EQ(key.ReadNumber(L"TypedU64"), 5u);
  EXPECT_EQ(key.ReadDouble(L"Double"), 0.1);
  EXPECT_TRUE(key.ReadBool(L"Bool"));
  EXPECT_TRUE(key.ReadBool(L"TypedBool"));
  ASSERT_TRUE(key.WriteText(L"NumberText", L" -1 "));
  EXPECT_EQ(key.ReadNumber(L"NumberText"), 0xFFFFFFFFu);
  ASSERT_TRUE(key.WriteText(L"NotNumber", L"12x"));
  EXPECT_EQ(key.ReadNumber(L"NotNumber", 9), 9u);
  EXPECT_EQ(key.ReadDouble(L"NotNumber", 2.5), 2.5);
  const wchar_t multi[] = L"first\0second\0";
  ASSERT_TRUE(key.WriteRaw(L"Multi", REG_MULTI_SZ, multi, sizeof(multi)));
  EXPECT_EQ(key.ReadText(L"Multi"), L"first");
  // Missing values give the fallbacks.
  EXPECT_EQ(key.ReadText(L"Missing", L"fb"), L"fb");
  EXPECT_EQ(key.ReadTextA("Missing", "fb"), "fb");
  EXPECT_EQ(key.ReadNumber(L"Missing", 3), 3u);
  EXPECT_EQ(key.ReadNumber64(L"Missing", 4), 4u);
  EXPECT_EQ(key.ReadDouble(L"Missing", 1.5), 1.5);
  EXPECT_TRUE(key.ReadBool(L"Missing", true));

  // A double round-trips through its text.
  for (double d : {-2.5e-300, 1.0 / 3.0, 12345678.875}) {
    ASSERT_TRUE(key.WriteDouble(L"D", d));
    EXPECT_EQ(key.ReadDouble(L"D"), d);
  }
}

TEST_F(Registry, WriteFlags) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(HKEY_CURRENT_USER, base_));
  // Empty text or zero deletes instead of writing; a missing value is no failure.
  ASSERT_TRUE(key.WriteText(L"T", L"x"));
  ASSERT_TRUE(key.WriteNumber(L"N", 5));
  ASSERT_TRUE(key.WriteTextA("A", "x"));
  EXPECT_TRUE(key.WriteText(L"T", L"", reg_write::kEmptyDeletes));
  EXPECT_TRUE(key.WriteNumber(L"N", 0, reg_write::kEmptyDeletes));
  EXPECT_TRUE(key.WriteTextA("A", "", reg_write::kEmptyDeletes));
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_, L"T").found);
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_, L"N").found);
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_, L"A").found);
  EXPECT_TRUE(key.WriteText(L"T", L"", reg_write::kEmptyDeletes));
  EXPECT_TRUE(key.WriteValue(L"T", RegistryValue(std::wstring()), reg_write::kEmptyDeletes));
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_, L"T").found);
  // Without the flag an empty text is written.
  EXPECT_TRUE(key.WriteText(L"T", L""));
  EXPECT_TRUE(Raw(HKEY_CURRENT_USER, base_, L"T").found);
  // A value of no type deletes.
  EXPECT_TRUE(key.WriteValue(L"T", RegistryValue()));
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_, L"T").found);

  // Keep-existing writes only a missing value.
  ASSERT_TRUE(key.WriteText(L"K", L"old"));
  EXPECT_TRUE(key.WriteText(L"K", L"new", reg_write::kKeepExisting));
  EXPECT_TRUE(key.WriteText(L"K2", L"new", reg_write::kKeepExisting));
  EXPECT_TRUE(key.WriteNumber(L"K", 1, reg_write::kKeepExisting));
  EXPECT_EQ(key.ReadText(L"K"), L"old");
  EXPECT_EQ(key.ReadText(L"K2"), L"new");

  // Nothing open: writes fail, deletions find nothing.
  RegistryKey none;
  EXPECT_FALSE(none.WriteText(L"X", L"y"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(none.WriteText(L"X", L"", reg_write::kEmptyDeletes));
  EXPECT_FALSE(none.WriteNumber(L"X", 0, reg_write::kEmptyDeletes));
  EXPECT_FALSE(none.WriteValue(L"X", RegistryValue()));
  EXPECT_EQ(none.DeleteValue(L"X"), reg_result::kNotFound);
  EXPECT_EQ(none.DeleteSubkey(L"X"), reg_result::kNotFound);
  EXPECT_EQ(none.ReadText(L"X", L"fb"), L"fb");
}

TEST_F(Registry, RequiredValueEndsTheProgram) {
  static std::string message;
  struct HookCalled {};
  SetFatalErrorHook([](const std::string& m) {
    message = m;
    throw HookCalled();
  });
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(HKEY_CURRENT_USER, base_));
  ASSERT_TRUE(key.WriteText(L"Present", L"p"));
  EXPECT_EQ(key.ReadText(L"Present", L"", reg_read::kRequired), L"p");
  EXPECT_THROW(key.ReadText(L"Missing", L"", reg_read::kRequired), HookCalled);
  wchar_t module[MAX_PATH];
  std::wstring program(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  program = program.substr(program.find_last_of(L"\\/") + 1);
  EXPECT_EQ(message, "The following registry key is required by " + Narrow(program) +
                         ", but is invalid or does not exist:\n\nHKEY_CURRENT_USER\\" + Narrow(base_) +
                         "\\Missing\n\nIf you have tried moving this program to a different computer by copying "
                         "files, this will not work.  This program must be reinstalled.");
  message.clear();
  EXPECT_THROW(key.ReadNumber(L"Present", 0, reg_read::kRequired), HookCalled);  // unreadable as a number
  EXPECT_NE(message.find("\\Present\n"), std::string::npos);
  EXPECT_THROW(key.ReadTextA("MissingA", "", reg_read::kRequired), HookCalled);
}

// ---------------------------------------------------------------------------------------------
// Security of new keys

namespace {

PSID WorldSid() {
  static SID_IDENTIFIER_AUTHORITY authority = SECURITY_WORLD_SID_AUTHORITY;
  PSID sid = nullptr;
  AllocateAndInitializeSid(&authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
  return sid;
}

// The access list of a key as text ("D:(A;;KA;;;WD)"), empty when it cannot be read.
std::wstring KeyAccessList(HKEY root, const std::wstring& subkey) {
  HKEY h;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, READ_CONTROL, &h) != ERROR_SUCCESS) return {};
  char buffer[4096];
  DWORD size = sizeof(buffer);
  std::wstring text;
  if (RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, buffer, &size) == ERROR_SUCCESS) {
    wchar_t* sddl = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl,
                                                             nullptr)) {
      text = sddl;
      LocalFree(sddl);
    }
  }
  RegCloseKey(h);
  return text;
}

// The rights the key's access list allows the world identity (generic rights mapped).
DWORD WorldAccess(HKEY root, const std::wstring& subkey) {
  HKEY h;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, READ_CONTROL, &h) != ERROR_SUCCESS) return 0;
  char buffer[4096];
  DWORD size = sizeof(buffer);
  DWORD mask = 0;
  if (RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, buffer, &size) == ERROR_SUCCESS) {
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    GetSecurityDescriptorDacl(buffer, &present, &acl, &defaulted);
    PSID world = WorldSid();
    for (DWORD i = 0; present && acl && i < acl->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(acl, i, &ace)) continue;
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !EqualSid(&allowed->SidStart, world)) continue;
      mask |= allowed->Mask;
      if (allowed->Mask & GENERIC_ALL) mask |= KEY_ALL_ACCESS;
    }
    FreeSid(world);
  }
  RegCloseKey(h);
  return mask;
}

}  // namespace

TEST_F(Registry, NewKeysAreOpenToEveryoneUnlessDefaultSecurityIsAsked) {
  // The descriptor: one entry that allows the world identity everything.
  OpenKeySecurity security;
  ASSERT_NE(security.attributes(), nullptr);
  BOOL present = FALSE, defaulted = TRUE;
  ACL* acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(security.attributes()->lpSecurityDescriptor, &present, &acl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_NE(acl, nullptr);
  ASSERT_EQ(acl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(acl, 0, &ace));
  auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Mask, 0xFFFFFFFFu);
  PSID world = WorldSid();
  EXPECT_TRUE(EqualSid(&allowed->SidStart, world));
  FreeSid(world);

  // Keys made with it and with default security. Wine keeps no access list of its own for keys
  // (both read back as its fixed default); where the registry keeps them (Windows), the open key
  // grants everyone full access and the other does not.
  RegistryKey key;
  ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\Open"), reg_opened::kCreated);
  ASSERT_EQ(key.OpenKey(HKEY_CURRENT_USER, base_ + L"\\Default", reg_open::kDefaultSecurity), reg_opened::kCreated);
  std::wstring open = KeyAccessList(HKEY_CURRENT_USER, base_ + L"\\Open");
  std::wstring standard = KeyAccessList(HKEY_CURRENT_USER, base_ + L"\\Default");
  if (open != standard) {
    EXPECT_EQ(WorldAccess(HKEY_CURRENT_USER, base_ + L"\\Open") & KEY_ALL_ACCESS, DWORD(KEY_ALL_ACCESS)) << Narrow(open);
    EXPECT_NE(WorldAccess(HKEY_CURRENT_USER, base_ + L"\\Default") & KEY_ALL_ACCESS, DWORD(KEY_ALL_ACCESS))
        << Narrow(standard);
  }
}

// ---------------------------------------------------------------------------------------------
// Views

TEST_F(Registry, BothViews) {
  for (uint32_t view : {reg_view::k64Bit, reg_view::k32Bit}) {
    std::string label = view == reg_view::k64Bit ? "64-bit view" : "32-bit view";
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, base_ + L"\\Sub", 0, KEY_ALL_ACCESS | view), reg_opened::kCreated)
        << label;
    ASSERT_TRUE(key.WriteText(L"View", view == reg_view::k64Bit ? L"64" : L"32")) << label;
    key.CloseAll();
    EXPECT_EQ(Text(Raw(HKEY_LOCAL_MACHINE, base_ + L"\\Sub", L"View", view)),
              std::wstring(view == reg_view::k64Bit ? L"64" : L"32") + L'\0')
        << label;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, base_ + L"\\Sub", reg_exists::kReadAccess | view)) << label;
    EXPECT_EQ(DeleteKeyPath(L"\\HKLM\\" + base_, view), reg_result::kDeleted) << label;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, base_, view)) << label;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << label;
  }
  // On 64-bit Windows the two views of Software are apart; on 32-bit Windows they are one.
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(HKEY_LOCAL_MACHINE, base_, 0, KEY_ALL_ACCESS | reg_view::k64Bit));
  EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, base_, reg_exists::kReadAccess | reg_view::k32Bit), !Is64BitWindows());
  EXPECT_EQ(DeleteKeyPath(L"HKLM\\" + base_, reg_view::k64Bit), reg_result::kDeleted);
}

// ---------------------------------------------------------------------------------------------
// Deletion

TEST_F(Registry, DeletesValuesKeysAndTrees) {
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\Tree\\A\\A1\\A2", L"v", L"1");
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\Tree\\B", L"v", L"2");
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\Tree", L"v", L"3");
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\Empty");
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\ValueOnly", L"v", L"4");
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(HKEY_CURRENT_USER, base_));
  // Only-if-empty keeps a key with subkeys or values.
  EXPECT_EQ(key.DeleteSubkey(L"Tree", reg_delete::kOnlyIfEmpty), reg_result::kNotEmpty);
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_ + L"\\Tree\\A\\A1\\A2"));
  EXPECT_EQ(key.DeleteSubkey(L"ValueOnly", reg_delete::kOnlyIfEmpty), reg_result::kNotEmpty);
  EXPECT_EQ(key.DeleteSubkey(L"Empty", reg_delete::kOnlyIfEmpty), reg_result::kDeleted);
  EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base_ + L"\\Empty"));
  // Without it the whole tree goes.
  EXPECT_EQ(key.DeleteSubkey(L"Tree"), reg_result::kDeleted);
  EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base_ + L"\\Tree"));
  EXPECT_EQ(key.DeleteSubkey(L"Tree"), reg_result::kNotFound);
  EXPECT_EQ(key.DeleteSubkey(L""), reg_result::kBadPath);
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_));
  // Values.
  ASSERT_TRUE(key.WriteText(L"V", L"x"));
  EXPECT_EQ(key.DeleteValue(L"V"), reg_result::kDeleted);
  EXPECT_EQ(key.DeleteValue(L"V"), reg_result::kNotFound);
}

TEST_F(Registry, DeletesByPath) {
  for (const wchar_t* k : {L"P1", L"P2", L"P3", L"P4\\Deep"}) RawCreate(HKEY_CURRENT_USER, base_ + L"\\" + k);
  struct Case { std::wstring path; uint32_t flags; int result; };
  const Case key_cases[] = {
      {L"\\HKCU\\" + base_ + L"\\P1", 0, reg_result::kDeleted},
      {L"HKCU\\" + base_ + L"\\P2\\", 0, reg_result::kDeleted},
      {L"\\HKEY_CURRENT_USER\\" + base_ + L"\\P3", 0, reg_result::kDeleted},
      {L"HKCU\\" + base_ + L"\\P4", reg_delete::kOnlyIfEmpty, reg_result::kNotEmpty},
      {L"HKCU\\" + base_ + L"\\P4", 0, reg_result::kDeleted},
      {L"HKCU\\" + base_ + L"\\P1", 0, reg_result::kNotFound},
      {L"HKCU\\" + base_ + L"\\Missing\\Deeper", 0, reg_result::kNotFound},
      {L"\\HKXX\\" + base_, 0, reg_result::kBadPath},
      {L"\\HKCU\\", 0, reg_result::kBadPath},
      {L"HKCU", 0, reg_result::kBadPath},
      {L"", 0, reg_result::kBadPath},
  };
  for (const Case& c : key_cases) EXPECT_EQ(DeleteKeyPath(c.path, c.flags), c.result) << Narrow(c.path);
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_));
  EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base_ + L"\\P4"));

  RawCreate(HKEY_CURRENT_USER, base_, L"V1", L"1");
  RawCreate(HKEY_CURRENT_USER, base_, L"V2", L"2");
  const Case value_cases[] = {
      {L"HKCU\\" + base_ + L"\\V1", 0, reg_result::kDeleted},
      {L"HKCU\\" + base_ + L"\\V1", 0, reg_result::kNotFound},
      {L"\\HKEY_CURRENT_USER\\" + base_ + L"\\V2", 0, reg_result::kDeleted},
      {L"\\HKCU\\" + base_ + L"\\MissingKey\\V", 0, reg_result::kNotFound},
      {L"XX\\" + base_ + L"\\V", 0, reg_result::kBadPath},
      {L"V", 0, reg_result::kBadPath},
  };
  for (const Case& c : value_cases) EXPECT_EQ(DeleteValuePath(c.path, c.flags), c.result) << Narrow(c.path);

  // A value path written: the key is created.
  EXPECT_TRUE(SetValuePath(L"\\HKCU\\" + base_ + L"\\Made\\Val", L"x"));
  RawValue v = Raw(HKEY_CURRENT_USER, base_ + L"\\Made", L"Val");
  EXPECT_EQ(v.type, DWORD(REG_SZ));
  EXPECT_EQ(Text(v), std::wstring(L"x") + L'\0');
  EXPECT_FALSE(SetValuePath(L"\\HKQQ\\X\\Val", L"x"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_PATHNAME));

  // A classes key with everything below it, named by 8-bit text.
  std::wstring ext = L"." + name_;
  RawCreate(HKEY_CLASSES_ROOT, ext + L"\\shell\\open\\command", L"", L"x.exe");
  EXPECT_EQ(DeleteClassesKey(Narrow(ext)), reg_result::kDeleted);
  EXPECT_FALSE(RawExists(HKEY_CLASSES_ROOT, ext));
  EXPECT_EQ(DeleteClassesKey(Narrow(ext)), reg_result::kNotFound);
}

// ---------------------------------------------------------------------------------------------
// All users

TEST_F(Registry, AllUsersOperationsReachEveryLoadedHive) {
  std::wstring sid = CurrentUserSid();
  ASSERT_FALSE(sid.empty());
  std::vector<std::wstring> hives = UserHiveNames();
  EXPECT_NE(std::find(hives.begin(), hives.end(), sid), hives.end());

  // This process sees a machine key of its own, whose profile list names the current user and a
  // user whose hive is not loaded (not logged on): that one is skipped.
  const std::wstring machine = base_ + L"\\Machine";
  RawCreate(HKEY_CURRENT_USER, machine + L"\\" + kProfileList + L"\\" + sid);
  RawCreate(HKEY_CURRENT_USER, machine + L"\\" + kProfileList + L"\\" + kFakeProfile);
  HKEY machine_key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, machine.c_str(), 0, KEY_READ, &machine_key), ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_key), ERROR_SUCCESS);
  struct Restore {
    HKEY key;
    ~Restore() {
      RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
      RegCloseKey(key);
    }
  } restore{machine_key};
  hives = UserHiveNames();
  std::vector<std::wstring> listed = {sid, kFakeProfile};
  std::sort(hives.begin(), hives.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(hives, listed);
  ASSERT_FALSE(RawExists(HKEY_USERS, kFakeProfile));

  std::wstring notation = L"\\HKAU\\" + base_ + L"\\AU";
  std::optional<std::u16string_view> stripped;
  std::u16string notation16(notation.begin(), notation.end());
  stripped = StripAllUsersPrefix(notation16);
  ASSERT_TRUE(stripped.has_value());
  std::wstring path(stripped->begin(), stripped->end());

  EXPECT_TRUE(AllUsersCreateKey(path + L"\\Sub"));
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_ + L"\\AU\\Sub"));
  EXPECT_TRUE(RawExists(HKEY_USERS, sid + L"\\" + base_ + L"\\AU\\Sub"));
  EXPECT_FALSE(RawExists(HKEY_USERS, kFakeProfile));

  EXPECT_TRUE(AllUsersWriteText(path, L"Name", L"value"));
  EXPECT_EQ(Text(Raw(HKEY_CURRENT_USER, base_ + L"\\AU", L"Name")), std::wstring(L"value") + L'\0');
  EXPECT_TRUE(AllUsersWriteText(path, L"Name", L"other", reg_write::kKeepExisting));
  EXPECT_EQ(Text(Raw(HKEY_CURRENT_USER, base_ + L"\\AU", L"Name")), std::wstring(L"value") + L'\0');
  EXPECT_TRUE(AllUsersWrite(path, reg_view::k32Bit, [](RegistryKey& k) { return k.WriteNumber(L"N", 3); }));
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, base_ + L"\\AU", L"N").type, DWORD(REG_DWORD));

  EXPECT_TRUE(AllUsersDeleteValue(path, L"Name"));
  EXPECT_FALSE(Raw(HKEY_CURRENT_USER, base_ + L"\\AU", L"Name").found);
  EXPECT_TRUE(AllUsersDeleteValue(path, L"Name"));          // already gone
  EXPECT_TRUE(AllUsersDeleteValue(path + L"\\Nope", L"X"));  // no such key

  EXPECT_FALSE(AllUsersDeleteKey(path, reg_delete::kOnlyIfEmpty));
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_ + L"\\AU\\Sub"));
  EXPECT_TRUE(AllUsersDeleteKey(path));
  EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base_ + L"\\AU"));
  EXPECT_TRUE(AllUsersDeleteKey(path));  // already gone
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base_));

  // A path that names no key below the hive would name the hive itself: refused.
  for (const wchar_t* whole : {L"", L"\\", L"\\\\"}) {
    EXPECT_FALSE(AllUsersDeleteKey(whole)) << Narrow(whole);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_PATHNAME));
    EXPECT_FALSE(AllUsersCreateKey(whole));
  }
  EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, L"Software"));
}

TEST_F(Registry, UserHivesWithoutAProfileList) {
  // A machine key without the profile list: the loaded hives under HKEY_USERS, without the
  // default user and the classes hives.
  RawCreate(HKEY_CURRENT_USER, base_ + L"\\EmptyMachine");
  HKEY machine_key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + L"\\EmptyMachine").c_str(), 0, KEY_READ, &machine_key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_key), ERROR_SUCCESS);
  std::vector<std::wstring> hives = UserHiveNames();
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegCloseKey(machine_key);
  EXPECT_NE(std::find(hives.begin(), hives.end(), CurrentUserSid()), hives.end());
  for (const std::wstring& hive : hives) {
    EXPECT_NE(_wcsicmp(hive.c_str(), L".DEFAULT"), 0);
    EXPECT_EQ(hive.find(L"_Classes"), std::wstring::npos) << Narrow(hive);
  }
}
