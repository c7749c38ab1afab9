// Special folders under Wine, each checked against what the system itself reports, the fallbacks
// that read the registry (DevicePath, MediaPath, PathWWWRoot), the bitness arguments of Program
// Files and Common Files, and the portable text rules of the chains.
#include "foundation/special_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/path_rules.h"
#include "foundation/tl_file.h"

using namespace halberd;

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
std::u16string U16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }
std::wstring W(std::u16string_view u) { return std::wstring(u.begin(), u.end()); }

std::wstring Clean(const std::wstring& folder) { return W(WithoutTrailingBackslash(U16(folder))); }

// The shell's own answer for a folder number ("" when it has none).
std::wstring ShellSays(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return {};
  return Clean(buffer);
}

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  return Clean(std::wstring(buffer, GetSystemDirectoryW(buffer, MAX_PATH)));
}

std::wstring WindowsDirectory() {
  wchar_t buffer[MAX_PATH];
  return Clean(std::wstring(buffer, GetWindowsDirectoryW(buffer, MAX_PATH)));
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// For one test, this process sees an empty key of its own as HKEY_LOCAL_MACHINE, so that setup
// values can be set without touching the machine (tests in other processes read it meanwhile).
class ScopedMachineKey {
 public:
  ScopedMachineKey() : path_(L"Software\\HalberdTest-machine-" + std::to_wstring(GetCurrentProcessId())) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    overridden_ = key_ && RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_) == ERROR_SUCCESS;
  }
  ~ScopedMachineKey() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (key_) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  bool overridden() const { return overridden_; }
  // Sets a text value below the key, or with nullptr deletes it.
  void Set(const wchar_t* subkey, const wchar_t* name, const wchar_t* text, DWORD type = REG_SZ) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(key_, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
    if (text) {
      RegSetValueExW(h, name, 0, type, reinterpret_cast<const BYTE*>(text), DWORD((wcslen(text) + 1) * 2));
    } else {
      RegDeleteValueW(h, name);
    }
    RegCloseKey(h);
  }

 private:
  std::wstring path_;
  HKEY key_ = nullptr;
  bool overridden_ = false;
};

constexpr wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

}  // namespace

TEST(SpecialFolders, AgreeWithTheSystem) {
  struct Case {
    const char* name;
    std::function<std::wstring()> folder;
    std::function<std::wstring()> system;
  };
  const Case cases[] = {
      {"all-users application data", AllUsersAppDataFolder, [] { return ShellSays(CSIDL_COMMON_APPDATA); }},
      {"application data", AppDataFolder, [] { return ShellSays(CSIDL_APPDATA); }},
      {"Common Files", CommonFiles32Folder, [] { return ShellSays(CSIDL_PROGRAM_FILES_COMMON); }},
      {"Program Files", ProgramFiles32Folder, [] { return ShellSays(CSIDL_PROGRAM_FILES); }},
      {"all-users desktop", AllUsersDesktopFolder, [] { return ShellSays(CSIDL_COMMON_DESKTOPDIRECTORY); }},
      {"desktop", DesktopFolder, [] { return ShellSays(CSIDL_DESKTOPDIRECTORY); }},
      {"all-users documents", AllUsersDocumentsFolder, [] { return ShellSays(CSIDL_COMMON_DOCUMENTS); }},
      {"documents", DocumentsFolder, [] { return ShellSays(CSIDL_PERSONAL); }},
      {"all-users favorites", AllUsersFavoritesFolder, [] { return ShellSays(CSIDL_COMMON_FAVORITES); }},
      {"favorites", FavoritesFolder, [] { return ShellSays(CSIDL_FAVORITES); }},
      {"fonts", FontsFolder, [] { return ShellSays(CSIDL_FONTS); }},
      {"all-users Start menu", AllUsersStartMenuFolder, [] { return ShellSays(CSIDL_COMMON_STARTMENU); }},
      {"Start menu", StartMenuFolder, [] { return ShellSays(CSIDL_STARTMENU); }},
      {"all-users Programs", AllUsersProgramsFolder, [] { return ShellSays(CSIDL_COMMON_PROGRAMS); }},
      {"Programs", ProgramsFolder, [] { return ShellSays(CSIDL_PROGRAMS); }},
      {"all-users Startup", AllUsersStartupFolder, [] { return ShellSays(CSIDL_COMMON_STARTUP); }},
      {"Startup", StartupFolder, [] { return ShellSays(CSIDL_STARTUP); }},
      {"32-bit system", System32BitFolder, [] { return ShellSays(CSIDL_SYSTEMX86); }},
      {"user profile", UserProfileFolder, [] { return ShellSays(CSIDL_PROFILE); }},
      {"profiles", ProfilesFolder, [] { return W(ParentFolder(U16(ShellSays(CSIDL_PROFILE)))); }},
      {"system", SystemFolder, SystemDirectory},
      {"Windows", WindowsFolder, WindowsDirectory},
      {"temporary", TemporaryFolder, [] { return TempFolder(); }},
  };
  for (const Case& c : cases) {
    std::wstring expected = c.system();
    ASSERT_FALSE(expected.empty()) << c.name;  // the shell knows every one of them under Wine
    EXPECT_EQ(c.folder(), expected) << c.name;
  }
}

TEST(SpecialFolders, ProgramFilesAndCommonFilesByBitness) {
  const bool windows64 = Is64BitWindows();
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(windows64, wow64 != FALSE);

  std::wstring p32 = ProgramFiles32Folder();
  std::wstring c32 = CommonFiles32Folder();
  if (windows64) {
    // The 64-bit folders come from the environment; the 32-bit ones end with " (x86)".
    EXPECT_EQ(ProgramFiles64Folder(), Environment(L"ProgramW6432"));
    EXPECT_EQ(CommonFiles64Folder(), Environment(L"CommonProgramW6432"));
    EXPECT_NE(p32.find(L" (x86)"), std::wstring::npos);
  } else {
    EXPECT_EQ(ProgramFiles64Folder(), p32);
    EXPECT_EQ(CommonFiles64Folder(), c32);
  }
  struct Case { int bitness; bool sixty_four; };
  const Case cases[] = {{0, false}, {1, false}, {2, true}, {3, false}, {4, true}, {5, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramFilesFolder(c.bitness), c.sixty_four ? ProgramFiles64Folder() : p32) << c.bitness;
    EXPECT_EQ(CommonFilesFolder(c.bitness), c.sixty_four ? CommonFiles64Folder() : c32) << c.bitness;
  }
}

TEST(SpecialFolders, FoldersFromSetupValues) {
  const std::wstring windows = WindowsDirectory();
  const std::wstring system_drive = Environment(L"SystemDrive");
  ScopedMachineKey machine;
  ASSERT_TRUE(machine.overridden());
  // Nothing set: the fixed fallbacks.
  EXPECT_EQ(DriverSearchFolder(), windows + L"\\INF");
  EXPECT_EQ(MediaFolder(), windows + L"\\Media");
  EXPECT_EQ(WebRootParentFolder(), L"c:\\Inetpub");
  EXPECT_EQ(BootDrive(), L"C:");

  struct Device { const wchar_t* value; std::wstring folder; };
  const Device devices[] = {
      {L"%SystemRoot%\\inf;C:\\Drivers", windows + L"\\inf"},
      {L"%SYSTEMROOT%\\INF", windows + L"\\INF"},
      {L"D:\\Drivers\\;%SystemRoot%\\inf", L"D:\\Drivers"},
      {L";D:\\Drivers", windows + L"\\INF"},
  };
  for (const Device& c : devices) {
    machine.Set(kCurrentVersion, L"DevicePath", c.value, REG_EXPAND_SZ);
    EXPECT_EQ(DriverSearchFolder(), c.folder) << Narrow(c.value);
  }
  machine.Set(kCurrentVersion, L"MediaPath", L"D:\\Sounds\\");
  EXPECT_EQ(MediaFolder(), L"D:\\Sounds");
  machine.Set(L"SOFTWARE\\Microsoft\\INetStp", L"PathWWWRoot", L"%SystemDrive%\\Sites\\wwwroot\\", REG_EXPAND_SZ);
  EXPECT_EQ(WebRootParentFolder(), system_drive + L"\\Sites");
  struct Boot { const wchar_t* value; const wchar_t* drive; };
  for (const Boot& c : {Boot{L"d:\\", L"D:"}, Boot{L"\\\\server", L"C:"}, Boot{L"", L"C:"}}) {
    machine.Set(L"Software\\Microsoft\\Windows\\CurrentVersion\\Setup", L"BootDir", c.value);
    EXPECT_EQ(BootDrive(), c.drive) << Narrow(c.value);
  }
  // Program Files and Common Files: the shell first. Wine's shell takes them from this very
  // registry, and gives nothing for a folder that does not exist; the chain then goes on to the
  // setup values and to the fixed fallback.
  auto shell_or = [](int csidl, const std::wstring& fallback) {
    std::wstring shell = ShellSays(csidl);
    return shell.empty() ? fallback : shell;
  };
  machine.Set(kCurrentVersion, L"ProgramFilesDir", L"D:\\Elsewhere\\");
  EXPECT_EQ(ProgramFiles32Folder(), shell_or(CSIDL_PROGRAM_FILES, L"D:\\Elsewhere"));
  EXPECT_EQ(CommonFiles32Folder(), shell_or(CSIDL_PROGRAM_FILES_COMMON, L"D:\\Elsewhere\\Common Files"));
  machine.Set(kCurrentVersion, L"CommonFilesDir", L"E:\\Shared");
  EXPECT_EQ(CommonFiles32Folder(), shell_or(CSIDL_PROGRAM_FILES_COMMON, L"E:\\Shared"));
  machine.Set(kCurrentVersion, L"ProgramFilesDir", nullptr);
  EXPECT_EQ(ProgramFiles32Folder(), shell_or(CSIDL_PROGRAM_FILES, L"c:\\Program Files"));
  if (!Is64BitWindows()) EXPECT_EQ(ProgramFiles64Folder(), ProgramFiles32Folder());
}

TEST(SpecialFolders, TextRules) {
  struct Trim { const char16_t* value; const char16_t* trimmed; };
  for (const Trim& c : {Trim{u"C:\\", u"C:\\"}, Trim{u"C:\\a\\", u"C:\\a"}, Trim{u"a\\", u"a\\"},
                        Trim{u"C:\\a", u"C:\\a"}, Trim{u"", u""}}) {
    EXPECT_EQ(TrimFolderValue(c.value), c.trimmed);
  }
  EXPECT_EQ(WithoutX86(u"C:\\Program Files (x86)"), u"C:\\Program Files");
  EXPECT_EQ(WithoutX86(u"C:\\Program Files (x86)\\Common Files (x86)"), u"C:\\Program Files\\Common Files (x86)");
  EXPECT_EQ(WithoutX86(u"C:\\Program Files"), u"C:\\Program Files");

  struct Boot { const char16_t* value; const char16_t* drive; };
  for (const Boot& c : {Boot{u"c:\\", u"C:"}, Boot{u"E:", u"E:"}, Boot{u"1:\\", u"C:"}, Boot{u"", u"C:"},
                        Boot{u"D", u"C:"}}) {
    EXPECT_EQ(BootDriveFromValue(c.value), c.drive);
  }

  struct Device { const char16_t* value; const char16_t* windows; const char16_t* folder; };
  for (const Device& c : {Device{u"%SystemRoot%\\inf;C:\\Other", u"C:\\Windows", u"X:\\Win\\inf"},
                          Device{u"%systemroot%\\inf\\", u"C:\\Windows", u"X:\\Win\\inf"},
                          Device{u"", u"C:\\Windows", u"C:\\Windows\\INF"},
                          Device{u"", u"", u"INF"},
                          Device{u"  ;x", u"C:\\W", u"C:\\W\\INF"}}) {
    EXPECT_EQ(DriverFolderFromDevicePath(c.value, u"X:\\Win", c.windows), c.folder);
  }

  EXPECT_EQ(WebRootParent(u"c:\\Inetpub\\wwwroot"), u"c:\\Inetpub");
  EXPECT_EQ(WebRootParent(u"c:\\Inetpub\\wwwroot\\"), u"c:\\Inetpub");
  EXPECT_EQ(WebRootParent(u"D:\\wwwroot"), u"D:\\");
  EXPECT_EQ(WebRootParent(u"D:\\"), u"D:\\");

  EXPECT_FALSE(WantsSixtyFourBitFolder(4, false));
  EXPECT_TRUE(WantsSixtyFourBitFolder(2, true));
  EXPECT_FALSE(WantsSixtyFourBitFolder(3, true));
}
