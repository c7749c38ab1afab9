// Path variables under Wine: every one of the 60 variables expanded with the install run's state
// and checked against what the system itself reports, the environment pass against the system's
// own expansion, the notification URL of the run and the default installation folder.
#include "variables/path_variables.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "engine/default_install_folder.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"

using namespace halberd;
using namespace halberd::variables;

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::wstring Clean(std::wstring folder) {
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring ShellSays(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return L"<none>";
  return Clean(buffer);
}

std::wstring Directory(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH];
  return Clean(std::wstring(buffer, get(buffer, MAX_PATH)));
}

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH + 1];
  return Clean(std::wstring(buffer, GetTempPathW(MAX_PATH + 1, buffer)));
}

std::wstring ModulePath() {
  wchar_t buffer[MAX_PATH];
  return std::wstring(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
}

std::wstring MachineText(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   buffer, &size) != ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

std::wstring ExpandedBySystem(const std::wstring& text) {
  std::wstring buffer(32768, L'\0');
  DWORD n = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), DWORD(buffer.size()));
  buffer.resize(n ? n - 1 : 0);
  return buffer;
}

// The driver search folder as the system reports it: DevicePath's first entry, expanded.
std::wstring DevicePathSays() {
  std::wstring value = MachineText(L"Software\\Microsoft\\Windows\\CurrentVersion", L"DevicePath");
  value = value.substr(0, value.find(L';'));
  return value.empty() ? Directory(GetWindowsDirectoryW) + L"\\INF" : Clean(ExpandedBySystem(value));
}

std::wstring MediaPathSays() {
  std::wstring value = MachineText(L"Software\\Microsoft\\Windows\\CurrentVersion", L"MediaPath");
  return value.empty() ? Directory(GetWindowsDirectoryW) + L"\\Media" : Clean(value);
}

std::wstring BootDriveSays() {
  std::wstring value = MachineText(L"Software\\Microsoft\\Windows\\CurrentVersion\\Setup", L"BootDir");
  if (value.size() >= 2 && value[1] == L':' && iswalpha(value[0])) return std::wstring{wchar_t(towupper(value[0])), L':'};
  return L"C:";
}

RTL_OSVERSIONINFOEXW KernelVersion() {
  RTL_OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  auto get = reinterpret_cast<LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  get(&info);
  return info;
}

std::wstring WineVersion() {
  auto get = reinterpret_cast<const char*(CDECL*)()>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
  if (!get) return {};
  std::string v = get();
  return std::wstring(v.begin(), v.end());
}

bool Wow64() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return wow64 != FALSE;
}

class PathVariablesOnWindows : public testing::Test {
 protected:
  void SetUp() override {
    engine::RunState& run = engine::Run();
    saved_run_ = run;
    saved_settings_ = engine::Settings();
    saved_values_ = PathVariableRun();
    run.install_folder = L"C:\\Apps\\Prod";
    run.display_name = L"Prod";
    run.automatic = false;
    run.silent = true;
    run.ProductFlags = 4;  // an uninstaller
    run.session = 4611686018427387905ull;
    engine::ProductSettings& s = engine::Settings();
    s.DisplayName = u"Prod";
    s.Publisher = u"Acme";
    s.DisplayVersion = u"2.10.3";
    s.UninstallSubdir = u"uninst";
    s.uninstaller_file_name = u"remove.exe";
    s.Language = u"English";
    s.Bitness = 0;
    s.ShortcutMode = 1;
    s.DesktopFolder = u"Prod Desk";
    s.ProductStartMenu = u"Acme\\Prod";
    PathVariableRunValues& v = PathVariableRun();
    v.existing = 2;
    v.old_version = u"1..5";
    v.uninstall_folder = u"C:\\Apps\\Prod\\uninst";
    v.shared_folder = u"C:\\Common\\Acme";
    v.start_menu_name.reset();
  }
  void TearDown() override {
    engine::Run() = saved_run_;
    engine::Settings() = saved_settings_;
    PathVariableRun() = saved_values_;
  }

  static std::wstring Expand(const std::wstring& text) {
    std::wstring t = text;
    ExpandPathVariables(t);
    return t;
  }

  engine::RunState saved_run_;
  engine::ProductSettings saved_settings_;
  PathVariableRunValues saved_values_;
};

}  // namespace

TEST_F(PathVariablesOnWindows, EveryVariableAgreesWithTheSystem) {
  const std::wstring module = ModulePath();
  const std::wstring module_dir = module.substr(0, module.rfind(L'\\'));
  const std::wstring module_drive = module.size() > 1 && module[1] == L':' ? std::wstring{wchar_t(towupper(module[0])), L':'} : L"";
  const RTL_OSVERSIONINFOEXW os = KernelVersion();
  const bool server = os.wProductType != VER_NT_WORKSTATION;
  wchar_t c_root[] = L"C:\\";
  const UINT c_type = GetDriveTypeW(c_root);

  const std::map<std::wstring, std::function<std::wstring()>> expected = {
      {L"%AppDataAllDir%", [] { return ShellSays(CSIDL_COMMON_APPDATA); }},
      {L"%AppDataDir%", [] { return ShellSays(CSIDL_APPDATA); }},
      {L"%Automatic%", [] { return L"1"; }},  // silent
      {L"%Bits%", [] { return Wow64() ? L"64" : L"32"; }},
      {L"%BootDrive%", BootDriveSays},
      {L"%CommonDir%", [] { return ShellSays(CSIDL_PROGRAM_FILES_COMMON); }},  // a 32-bit product
      {L"%CommonDir32%", [] { return ShellSays(CSIDL_PROGRAM_FILES_COMMON); }},
      {L"%CommonDir64%", [] {
         wchar_t b[MAX_PATH];
         DWORD n = GetEnvironmentVariableW(L"CommonProgramW6432", b, MAX_PATH);
         return Wow64() && n ? std::wstring(b, n) : ShellSays(CSIDL_PROGRAM_FILES_COMMON);
       }},
      {L"%DesktopAllDir%", [] { return ShellSays(CSIDL_COMMON_DESKTOPDIRECTORY); }},
      {L"%DesktopDir%", [] { return ShellSays(CSIDL_DESKTOPDIRECTORY); }},
      {L"%DesktopShortcuts%", [] { return ShellSays(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Prod Desk"; }},
      {L"%DeviceDir%", DevicePathSays},
      {L"%DocumentAllDir%", [] { return ShellSays(CSIDL_COMMON_DOCUMENTS); }},
      {L"%DocumentDir%", [] { return ShellSays(CSIDL_PERSONAL); }},
      {L"%Existing%", [] { return L"2"; }},
      {L"%FavoritesAllDir%", [] { return ShellSays(CSIDL_COMMON_FAVORITES); }},
      {L"%FavoritesDir%", [] { return ShellSays(CSIDL_FAVORITES); }},
      {L"%FontDir%", [] { return ShellSays(CSIDL_FONTS); }},
      {L"%Inetpub%", [] { return L"c:\\Inetpub"; }},  // no web server
      {L"%InstallDir%", [] { return L"C:\\Apps\\Prod"; }},
      {L"%InstallDrive%", [] { return L"C:"; }},
      {L"%InstallerDir%", [&] { return module_dir; }},
      {L"%InstallerDrive%", [&] { return module_drive; }},
      {L"%InstallerFilename%", [&] { return module.substr(module.rfind(L'\\') + 1); }},
      {L"%InstallerFilepath%", [&] { return module; }},
      {L"%UninstallerFilepath%", [] { return L"C:\\Apps\\Prod\\uninst\\remove.exe"; }},
      {L"%Language%", [] { return L"English"; }},
      {L"%LogFilepath%", [] { return L"C:\\Apps\\Prod\\uninst\\Install.log"; }},
      {L"%MediaDir%", MediaPathSays},
      {L"%NetworkInstall%", [&] { return c_type == DRIVE_REMOTE ? L"1" : L"0"; }},
      {L"%OldVersion%", [] { return L"1..5"; }},
      {L"%OldVersionMajor%", [] { return L"1"; }},
      {L"%OldVersionMinor%", [] { return L"5"; }},
      {L"%Portable%", [&] {
         return c_type == DRIVE_REMOVABLE || c_type == DRIVE_CDROM || c_type == DRIVE_RAMDISK ? L"1" : L"0";
       }},
      {L"%ProductName%", [] { return L"Prod"; }},
      {L"%CompanyName%", [] { return L"Acme"; }},
      {L"%ProgramsDir%", [] { return ShellSays(CSIDL_PROGRAM_FILES); }},
      {L"%ProgramsDir32%", [] { return ShellSays(CSIDL_PROGRAM_FILES); }},
      {L"%ProgramsDir64%", [] {
         wchar_t b[MAX_PATH];
         DWORD n = GetEnvironmentVariableW(L"ProgramW6432", b, MAX_PATH);
         return Wow64() && n ? std::wstring(b, n) : ShellSays(CSIDL_PROGRAM_FILES);
       }},
      {L"%SharedDir%", [] { return L"C:\\Common\\Acme"; }},
      {L"%SMProgramsAllDir%", [] { return ShellSays(CSIDL_COMMON_PROGRAMS); }},
      {L"%SMProgramsDir%", [] { return ShellSays(CSIDL_PROGRAMS); }},
      {L"%StartMenuAllDir%", [] { return ShellSays(CSIDL_COMMON_STARTMENU); }},
      {L"%StartMenuChosen%", [] { return ShellSays(CSIDL_COMMON_PROGRAMS) + L"\\Acme\\Prod"; }},
      {L"%StartMenuDir%", [] { return ShellSays(CSIDL_STARTMENU); }},
      {L"%StartupAllDir%", [] { return ShellSays(CSIDL_COMMON_STARTUP); }},
      {L"%StartupDir%", [] { return ShellSays(CSIDL_STARTUP); }},
      {L"%SystemDir%", [] { return Directory(GetSystemDirectoryW); }},
      {L"%Temp%", TempPath},
      {L"%UninstallDir%", [] { return L"C:\\Apps\\Prod\\uninst"; }},
      {L"%WinDir%", [] { return Directory(GetWindowsDirectoryW); }},
      {L"%Version%", [] { return L"2.10.3"; }},
      {L"%VersionMajor%", [] { return L"2"; }},
      {L"%VersionMinor%", [] { return L"10"; }},
      {L"%OS%", [&] {
         // The codes of the versions Wine reports.
         if (os.dwMajorVersion == 10 && !server) return os.dwBuildNumber < 21327 ? L"48" : L"56";
         if (os.dwMajorVersion == 6 && os.dwMinorVersion == 1 && !server) return L"36";
         if (os.dwMajorVersion == 5 && os.dwMinorVersion == 1) return L"20";
         return L"<a version this test does not know>";
       }},
      {L"%OSMajor%", [&] { return std::to_wstring(os.dwMajorVersion); }},
      {L"%OSMinor%", [&] { return std::to_wstring(os.dwMinorVersion); }},
      {L"%OSName%", [&] {
         if (os.dwMajorVersion == 10 && !server) return os.dwBuildNumber < 21327 ? L"Windows 10" : L"Windows 11";
         if (os.dwMajorVersion == 6 && os.dwMinorVersion == 1 && !server) return L"Windows 7";
         if (os.dwMajorVersion == 5 && os.dwMinorVersion == 1) return L"Windows XP";
         return L"<a version this test does not know>";
       }},
      {L"%OSDescription%", [] { return L"<checked below>"; }},
      {L"%OSServer%", [&] { return server ? L"1" : L"0"; }},
  };

  for (const PathVariableEntry& entry : kPathVariables) {
    std::wstring reference(entry.reference.begin(), entry.reference.end());
    auto it = expected.find(reference);
    ASSERT_NE(it, expected.end()) << Narrow(reference) << " has no expected value";
    if (entry.variable == PathVariable::kOSDescription) continue;
    std::wstring want = it->second();
    EXPECT_EQ(Expand(reference), want) << Narrow(reference);
    // Written in lower case: the same value, except for the two old-version parts.
    std::wstring lower = reference;
    for (wchar_t& c : lower) c = towlower(c);
    EXPECT_EQ(Expand(lower), entry.case_sensitive ? lower : want) << Narrow(lower);
  }

  // The description names Wine and what it reports.
  std::wstring description = Expand(L"%OSDescription%");
  std::wstring wine = WineVersion();
  ASSERT_FALSE(wine.empty());
  std::wstring prefix = L"WINE " + wine + L" reporting as " + Expand(L"%OSName%");
  EXPECT_EQ(description.substr(0, prefix.size()), prefix) << Narrow(description);
  EXPECT_EQ(description.size() >= 4 && description.substr(description.size() - 4) == L" x64", Wow64())
      << Narrow(description);
}

TEST_F(PathVariablesOnWindows, EnvironmentPassMatchesTheSystem) {
  SetEnvironmentVariableW(L"HALBERD_A", L"one");
  SetEnvironmentVariableW(L"HALBERD_EMPTY", L"");
  const wchar_t* cases[] = {
      L"%HALBERD_A%",        L"%halberd_a%\\x",   L"%NoSuchVariable%\\x", L"%X%HALBERD_A%", L"%%HALBERD_A%",
      L"50%",                L"a%b%c",            L"%",                   L"%%",            L"",
      L"[%HALBERD_EMPTY%]",  L"%PATH%",           L"%windir%\\%HALBERD_A",
  };
  for (const wchar_t* text : cases) {
    std::u16string u(text, text + wcslen(text));
    std::u16string ours = ExpandEnvironmentReferences(u, SystemEnvironment());
    EXPECT_EQ(std::wstring(ours.begin(), ours.end()), ExpandedBySystem(text)) << Narrow(text);
  }
  SetEnvironmentVariableW(L"HALBERD_A", nullptr);
  SetEnvironmentVariableW(L"HALBERD_EMPTY", nullptr);

  // Through the whole expansion: a path variable first, the environment after.
  EXPECT_EQ(Expand(L"%installdir%\\bin;%PATH%"), L"C:\\Apps\\Prod\\bin;" + ExpandedBySystem(L"%PATH%"));
  EXPECT_EQ(Expand(L"%OLDVERSIONMAJOR%|%NoSuchVariable%"), L"%OLDVERSIONMAJOR%|%NoSuchVariable%");
}

TEST_F(PathVariablesOnWindows, NetworkAndPortableFolders) {
  engine::Run().install_folder = L"\\\\server\\share\\Prod";
  EXPECT_EQ(Expand(L"[%InstallDrive%][%NetworkInstall%][%Portable%]"), L"[][1][0]");
  // A drive letter that names no drive is neither.
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
    wchar_t root[] = {letter, L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR) continue;
    engine::Run().install_folder = std::wstring(root) + L"Prod";
    EXPECT_EQ(Expand(L"[%InstallDrive%][%NetworkInstall%][%Portable%]"),
              std::wstring(L"[") + letter + L":][0][0]");
    break;
  }
}

TEST_F(PathVariablesOnWindows, NotificationUrlOfTheRun) {
  engine::Settings().DisplayVersion = u"2.1 b&c";
  std::string url = ExpandNotificationUrl("https://x.example/?v=%version%&s=%SESSION%&os=%OS%&srv=%OSServer%");
  std::string os = Narrow(Expand(L"%OS%"));
  EXPECT_EQ(url, "https://x.example/?v=2.1%20b%26c&s=4611686018427387905&os=" + os + "&srv=" +
                     Narrow(Expand(L"%OSServer%")));
}

TEST_F(PathVariablesOnWindows, DefaultInstallFolderOfTheRun) {
  engine::RunState& run = engine::Run();
  run.install_folder.clear();
  run.install_folder_override.clear();
  const std::wstring saved_folder(engine::Script().default_install_folder.begin(),
                                  engine::Script().default_install_folder.end());
  const uint8_t saved_bitness = engine::Script().Bitness;
  engine::Script().Bitness = 0;
  struct Case { const char16_t* script_folder; std::wstring folder; };
  const Case cases[] = {
      {u"", ShellSays(CSIDL_PROGRAM_FILES) + L"\\Prod"},
      {u"%CompanyName%\\%ProductName% %VersionMajor%", ShellSays(CSIDL_PROGRAM_FILES) + L"\\Acme\\Prod 2"},
      {u"<os>\\Prod", Directory(GetWindowsDirectoryW) + L"\\Prod"},
      {u"%AppDataDir%\\Prod", ShellSays(CSIDL_APPDATA) + L"\\Prod"},
  };
  for (const Case& c : cases) {
    engine::Script().default_install_folder = c.script_folder;
    engine::SetDefaultInstallFolder();
    std::u16string label = c.script_folder;
    EXPECT_EQ(run.install_folder, c.folder) << Narrow(std::wstring(label.begin(), label.end()));
  }
  run.install_folder_override = L"D:\\Chosen";
  engine::SetDefaultInstallFolder();
  EXPECT_EQ(run.install_folder, L"D:\\Chosen");
  engine::Script().default_install_folder.assign(saved_folder.begin(), saved_folder.end());
  engine::Script().Bitness = saved_bitness;
}
