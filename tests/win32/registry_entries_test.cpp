// The registry step against the real registry: a table of registry-section lines (every shape and
// action, both views) read back after the step, App Paths with its [Registry2] lines and its access
// list, the failure texts of bad lines, and the uninstaller's undoing of it all.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/special_folders.h"
#include "foundation/tl_registry.h"
#include "integration/registry_entries.h"
#include "test_support.h"

using namespace halberd;

namespace {

std::wstring Unique() { return std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(GetCurrentProcessId()); }

std::string Utf8(const std::u16string& s) {
  std::string out;
  int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(s.data()), int(s.size()), nullptr, 0,
                              nullptr, nullptr);
  out.resize(size_t(n));
  WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(s.data()), int(s.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// Type and bytes of a value, or type REG_NONE with "<missing>".
struct Read {
  DWORD type = REG_NONE;
  std::string bytes = "<missing>";
};
Read ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = 0) {
  Read r;
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return r;
  DWORD size = 0;
  if (RegQueryValueExW(h, name.c_str(), nullptr, &r.type, nullptr, &size) == ERROR_SUCCESS) {
    r.bytes.assign(size, '\0');
    RegQueryValueExW(h, name.c_str(), nullptr, &r.type, reinterpret_cast<BYTE*>(r.bytes.data()), &size);
    r.bytes.resize(size);
  }
  RegCloseKey(h);
  return r;
}

bool KeyPresent(HKEY root, const std::wstring& key, REGSAM view = 0) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

std::string Wide(const std::wstring& s) {
  return std::string(reinterpret_cast<const char*>(s.c_str()), (s.size() + 1) * sizeof(wchar_t));
}

// Whether the key's access list lets the given well-known group set values.
bool GroupMayWrite(HKEY root, const std::wstring& key, const wchar_t* sid_text) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, READ_CONTROL, &h) != ERROR_SUCCESS) return false;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool may = false;
  PSID sid = nullptr;
  if (GetSecurityInfo(h, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor) ==
          ERROR_SUCCESS &&
      ConvertStringSidToSidW(sid_text, &sid)) {
    if (!dacl) may = true;  // no access list: everyone may do everything
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
      ACE_HEADER* ace = nullptr;
      if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
      auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
      if (EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), sid) && (allowed->Mask & (KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL)))
        may = true;
    }
  }
  if (sid) LocalFree(sid);
  if (descriptor) LocalFree(descriptor);
  RegCloseKey(h);
  return may;
}

class RegistryEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    id_ = Unique();
    folder_ = test::SystemTempPath() + L"\\HalberdReg" + id_;
    CreateDirectoryW(folder_.c_str(), nullptr);
    program_ = L"app" + id_ + L".exe";
    HANDLE h = CreateFileW((folder_ + L"\\" + program_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    engine::Run().install_folder = folder_;
    engine::Run().ProductFlags = 0;
    engine::Run().ProductFlags2 = 0;
    engine::Settings().ProductRegistry = u"HalberdTest\\" + U16(id_);
    engine::Script().registry_entries.clear();
    engine::Script().registry_merge.clear();
    engine::Script().app_paths_program.clear();
  }
  void TearDown() override {
    integration::RemoveProductRegistry(engine::Settings().ProductRegistry, false);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\HalberdTest");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HalberdTest");
    test::DeleteTree(folder_);
  }
  std::vector<std::string> Registry2Lines() {
    std::vector<std::string> lines;
    std::string all = Utf8(engine::Script().registry_entries);
    for (size_t start = 0; start < all.size();) {
      size_t end = all.find("\r\n", start);
      if (end == std::string::npos) end = all.size();
      lines.push_back(all.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  std::wstring id_, folder_, program_;
};

}  // namespace

TEST_F(RegistryEntries, EveryLineShapeAndActionIsReadBack) {
  const std::wstring key = L"Software\\HalberdTest\\" + id_;
  const std::wstring k = L"\\HKLM\\" + key;
  engine::Script().registry_entries = U16(
      k + L"\\Empty\r\n" +
      k + L",Text,1,%InstallDir%\\bin,1\r\n" +
      k + L",Expand,2,%InstallDir%\\bin,3\r\n" +
      k + L",Bytes,3,0A 0B ff,3\r\n" +
      k + L",Number,4,42,3\r\n" +
      k + L",Big,11,4294967296,3\r\n" +
      k + L",Multi,7,ignored,3\r\n" +
      k + L",Keep,1,new,6\r\n" +
      k + L",Missing,1,made,7\r\n" +
      k + L",Gone,1,,5\r\n" +
      k + L",Never,1,written,2\r\n" +
      k + L",Three,1\r\n" +
      L",NoKey,1,x,3\r\n" +
      L"\\HKXX\\Software\\X,Name,1,x,3\r\n" +
      k + L",BadBytes,3,0A 0,3\r\n");
  // Existing values the actions meet.
  RegistryKey pre;
  ASSERT_NE(pre.OpenKey(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY), reg_opened::kFailed);
  ASSERT_TRUE(pre.WriteText(L"Keep", L"old"));
  ASSERT_TRUE(pre.WriteText(L"Gone", L"old"));
  pre.CloseAll();

  integration::WriteRegistryEntries();

  EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, key + L"\\Empty", KEY_WOW64_32KEY));
  Read text = ReadValue(HKEY_LOCAL_MACHINE, key, L"Text", KEY_WOW64_32KEY);
  EXPECT_EQ(text.type, DWORD(REG_SZ));
  EXPECT_EQ(text.bytes, Wide(folder_ + L"\\bin"));
  Read expand = ReadValue(HKEY_LOCAL_MACHINE, key, L"Expand", KEY_WOW64_32KEY);
  EXPECT_EQ(expand.type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(expand.bytes, Wide(L"%InstallDir%\\bin"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Bytes", KEY_WOW64_32KEY).bytes, std::string("\x0A\x0B\xFF", 3));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Number", KEY_WOW64_32KEY).bytes, std::string("\x2A\0\0\0", 4));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Big", KEY_WOW64_32KEY).bytes, std::string("\0\0\0\0\1\0\0\0", 8));
  Read multi = ReadValue(HKEY_LOCAL_MACHINE, key, L"Multi", KEY_WOW64_32KEY);
  EXPECT_EQ(multi.type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(multi.bytes, "");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Keep", KEY_WOW64_32KEY).bytes, Wide(L"old"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Missing", KEY_WOW64_32KEY).bytes, Wide(L"made"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Gone", KEY_WOW64_32KEY).bytes, "<missing>");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Never", KEY_WOW64_32KEY).bytes, "<missing>");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"BadBytes", KEY_WOW64_32KEY).bytes, "<missing>");

  const std::wstring failures = engine::FailureText();
  EXPECT_NE(failures.find(L"Illegal registry entry: " + k + L",Three,1\r\n"), std::wstring::npos);
  EXPECT_NE(failures.find(L"Illegal registry entry: " + k + L",BadBytes,3,0A 0,3\r\n"), std::wstring::npos);
  const std::string log = engine::RunningLogText();
  EXPECT_NE(log.find("Failed to create registry key: \r\n"), std::string::npos);
  EXPECT_NE(log.find("Failed to create registry key: \\HKXX\\Software\\X\r\n"), std::string::npos);

  // The uninstaller deletes the values of actions 2, 3, 5 and 7 and the empty key.
  integration::RemoveRegistry2Lines(Registry2Lines(), false);
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Number", KEY_WOW64_32KEY).bytes, "<missing>");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Missing", KEY_WOW64_32KEY).bytes, "<missing>");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Text", KEY_WOW64_32KEY).bytes, Wide(folder_ + L"\\bin"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Keep", KEY_WOW64_32KEY).bytes, Wide(L"old"));
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, key + L"\\Empty", KEY_WOW64_32KEY));
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

TEST_F(RegistryEntries, TheSixtyFourBitViewFollowsTheProductFlag) {
  if (!Is64BitWindows()) GTEST_SKIP() << "32-bit Windows has one view";
  engine::Run().ProductFlags = format::kFlagRegistry64;
  const std::wstring key = L"Software\\HalberdTest\\" + id_ + L"\\View";
  engine::Script().registry_entries = U16(L"\\HKLM\\" + key + L",Where,1,64,3\r\n");
  integration::WriteRegistryEntries();
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Where", KEY_WOW64_64KEY).bytes, Wide(L"64"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Where", KEY_WOW64_32KEY).bytes, "<missing>");
  integration::RemoveProductRegistry(engine::Settings().ProductRegistry, true);
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY));
}

TEST_F(RegistryEntries, AllUsersEntriesReachTheCurrentUsersHive) {
  const std::wstring below = L"HalberdTest\\" + id_ + L"\\Users";
  engine::Script().registry_entries = U16(L"\\HKAU\\" + below + L",Who,1,everyone,3\r\n");
  integration::WriteRegistryEntries();
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, L"Software\\" + below, L"Who").bytes, Wide(L"everyone"));
  integration::RemoveRegistry2Lines(Registry2Lines(), false);
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, L"Software\\" + below, L"Who").bytes, "<missing>");
}

TEST_F(RegistryEntries, ProductKeyIsOpenAndRemovedWithItsEmptyParents) {
  const std::wstring key = L"Software\\HalberdTest\\" + id_;
  integration::WriteRegistryEntries();
  ASSERT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, key));
  if (test::RegistryKeepsKeyAccessLists())
    EXPECT_TRUE(GroupMayWrite(HKEY_LOCAL_MACHINE, key, L"S-1-1-0"));  // everyone, as programs expect
  RegistryKey deep;
  ASSERT_NE(deep.OpenKey(HKEY_LOCAL_MACHINE, key + L"\\A\\B", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY), reg_opened::kFailed);
  deep.CloseAll();
  integration::RemoveProductRegistry(engine::Settings().ProductRegistry, false);
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, key));
}

TEST_F(RegistryEntries, AppPathsIsMadeOnceWithDefaultSecurityAndUndone) {
  engine::Script().app_paths_program = U16(program_);
  const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program_;
  integration::WriteRegistryEntries();
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"").bytes, Wide(folder_ + L"\\" + program_));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"Path").bytes, Wide(folder_));
  EXPECT_FALSE(GroupMayWrite(HKEY_LOCAL_MACHINE, key, L"S-1-1-0"));       // everyone
  EXPECT_FALSE(GroupMayWrite(HKEY_LOCAL_MACHINE, key, L"S-1-5-32-545"));  // users
  const std::vector<std::string> lines = Registry2Lines();
  const std::string k = "\\HKLM\\" + Utf8(U16(key));
  EXPECT_EQ(lines, (std::vector<std::string>{k + ",,,,2", k + ",Path,,,2", k}));

  // A second run finds the registration and changes nothing.
  engine::Script().registry_entries.clear();
  integration::WriteRegistryEntries();
  EXPECT_NE(engine::RunningLogText().find("a registration already exists\r\n"), std::string::npos);
  EXPECT_TRUE(engine::Script().registry_entries.empty());

  integration::RemoveRegistry2Lines(lines, true);  // App Paths is undone in the view it was made in
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, key));
}

TEST_F(RegistryEntries, AMissingMainProgramIsLogged) {
  engine::Script().app_paths_program = u"missing.exe";
  integration::WriteRegistryEntries();
  EXPECT_NE(engine::RunningLogText().find("FAILED, \""), std::string::npos);
  EXPECT_NE(engine::RunningLogText().find("missing.exe\" does not exist.\r\n"), std::string::npos);
}
