// The special folders from the shell, the registry and the environment. The shell functions are
// found once in "shell32.dll" of the system folder; a function that is missing (old systems)
// gives nothing and the chain goes on with its next source.
#include <windows.h>
#include <shlobj.h>

#include "foundation/special_folders.h"

#include "foundation/path_rules.h"
#include "foundation/system_library.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"

namespace halberd {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::wstring Clean(std::wstring_view folder) { return ToWide(WithoutTrailingBackslash(ToU16(folder))); }
std::wstring Join(std::wstring_view folder, std::wstring_view name) {
  return ToWide(JoinPath(ToU16(folder), ToU16(name)));
}
std::wstring Parent(std::wstring_view folder) { return ToWide(ParentFolder(ToU16(folder))); }

// A chain step: the first non-empty text wins.
template <typename... Sources>
std::wstring FirstOf(Sources... sources) {
  std::wstring result;
  ((result.empty() ? (void)(result = sources()) : (void)0), ...);
  return result;
}

using SHGetSpecialFolderPathWFn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
using SHGetKnownFolderPathFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
using SHChangeNotifyFn = void(WINAPI*)(LONG, UINT, LPCVOID, LPCVOID);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

struct ShellFunctions {
  SHGetSpecialFolderPathWFn special_folder = nullptr;
  SHGetKnownFolderPathFn known_folder = nullptr;
  SHChangeNotifyFn change_notify = nullptr;
};

const ShellFunctions& Shell() {
  static const ShellFunctions functions = [] {
    ShellFunctions f;
    f.special_folder = SystemFunction<SHGetSpecialFolderPathWFn>(L"shell32.dll", "SHGetSpecialFolderPathW");
    f.known_folder = SystemFunction<SHGetKnownFolderPathFn>(L"shell32.dll", "SHGetKnownFolderPath");
    f.change_notify = SystemFunction<SHChangeNotifyFn>(L"shell32.dll", "SHChangeNotify");
    return f;
  }();
  return functions;
}

// Shell folder by number, without creating it.
std::wstring ShellFolder(int csidl) {
  if (!Shell().special_folder) return {};
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!Shell().special_folder(nullptr, buffer, csidl, FALSE)) return {};
  return Clean(buffer);
}

// Known folder by identifier.
std::wstring KnownFolder(const GUID& id) {
  if (!Shell().known_folder) return {};
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(Shell().known_folder(id, 0, nullptr, &path)) && path) result = Clean(path);
  if (path) CoTaskMemFree(path);
  return result;
}

std::wstring RegistryFolderValue(HKEY root, const wchar_t* key_path, const wchar_t* name) {
  RegistryKey key;
  if (!key.OpenKey(root, key_path, reg_open::kOpenOnly, KEY_QUERY_VALUE)) return {};
  return ToWide(TrimFolderValue(ToU16(key.ReadText(name))));
}

constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kCurrentVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

std::wstring AllUsersShellValue(const wchar_t* name) { return RegistryFolderValue(HKEY_LOCAL_MACHINE, kShellFoldersKey, name); }
std::wstring UserShellValue(const wchar_t* name) { return RegistryFolderValue(HKEY_CURRENT_USER, kShellFoldersKey, name); }
std::wstring SetupValue(const wchar_t* name) { return RegistryFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name); }

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return Clean(std::wstring_view(buffer, n));
}

// Known-folder identifiers.
constexpr GUID kProgramFiles = {0x905E63B6, 0xC1BF, 0x494E, {0xB2, 0x9C, 0x65, 0xB7, 0x32, 0xD3, 0xD2, 0x1A}};
constexpr GUID kProgramFilesX64 = {0x6D809377, 0x6AF0, 0x444B, {0x89, 0x57, 0xA3, 0x77, 0x3F, 0x02, 0x20, 0x0E}};
constexpr GUID kProgramFilesCommon = {0xF7F1ED05, 0x9F6D, 0x47A2, {0xAA, 0xAE, 0x29, 0xD3, 0x17, 0xC6, 0xF0, 0x66}};
constexpr GUID kProgramFilesCommonX64 = {0x6365D5A7, 0x0F0D, 0x45E5, {0x87, 0xF6, 0x0D, 0xA5, 0x6B, 0x6A, 0x4F, 0x7D}};

bool IsWindowsNt() { return GetVersion() < 0x80000000u; }

std::wstring UserName() {
  wchar_t buffer[257];
  DWORD size = 257;
  if (!GetUserNameW(buffer, &size) || size == 0) return {};
  return std::wstring(buffer, size - 1);
}

}  // namespace

std::wstring AllUsersAppDataFolder() {
  return FirstOf([] { return ShellFolder(35); }, [] { return AllUsersShellValue(L"Common AppData"); },
                 [] { return CommonFiles32Folder(); });
}

std::wstring AppDataFolder() {
  return FirstOf([] { return ShellFolder(26); }, [] { return UserShellValue(L"AppData"); },
                 [] { return CommonFiles32Folder(); });
}

std::wstring BootDrive() {
  RegistryKey key;
  std::wstring value;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Setup", reg_open::kOpenOnly,
                  KEY_QUERY_VALUE)) {
    value = key.ReadText(L"BootDir");
  }
  return ToWide(BootDriveFromValue(ToU16(value)));
}

std::wstring CommonFiles32Folder() {
  return FirstOf([] { return ShellFolder(43); }, [] { return KnownFolder(kProgramFilesCommon); },
                 [] { return SetupValue(L"CommonFilesDir"); },
                 [] { return Join(ProgramFiles32Folder(), L"Common Files"); });
}

std::wstring CommonFiles64Folder() {
  return FirstOf([] { return KnownFolder(kProgramFilesCommonX64); },
                 [] { return Environment(L"CommonProgramW6432"); },
                 [] { return ToWide(WithoutX86(ToU16(CommonFiles32Folder()))); });
}

std::wstring CommonFilesFolder(int bitness) {
  return WantsSixtyFourBitFolder(bitness, Is64BitWindows()) ? CommonFiles64Folder() : CommonFiles32Folder();
}

std::wstring ProgramFiles32Folder() {
  return FirstOf([] { return ShellFolder(38); }, [] { return KnownFolder(kProgramFiles); },
                 [] { return SetupValue(L"ProgramFilesDir"); },
                 [] { return std::wstring(L"c:\\Program Files"); });
}

std::wstring ProgramFiles64Folder() {
  return FirstOf([] { return KnownFolder(kProgramFilesX64); }, [] { return Environment(L"ProgramW6432"); },
                 [] { return ToWide(WithoutX86(ToU16(ProgramFiles32Folder()))); });
}

std::wstring ProgramFilesFolder(int bitness) {
  return WantsSixtyFourBitFolder(bitness, Is64BitWindows()) ? ProgramFiles64Folder() : ProgramFiles32Folder();
}

std::wstring AllUsersDesktopFolder() {
  return FirstOf([] { return ShellFolder(25); }, [] { return AllUsersShellValue(L"Common Desktop"); },
                 [] { return DesktopFolder(); });
}

std::wstring DesktopFolder() {
  return FirstOf([] { return ShellFolder(16); }, [] { return UserShellValue(L"Desktop"); },
                 [] { return Join(WindowsFolder(), L"Desktop"); });
}

std::wstring AllUsersDocumentsFolder() {
  return FirstOf([] { return ShellFolder(46); }, [] { return AllUsersShellValue(L"Common Documents"); },
                 [] { return DocumentsFolder(); });
}

std::wstring DocumentsFolder() {
  return FirstOf([] { return ShellFolder(5); }, [] { return UserShellValue(L"Personal"); },
                 [] { return std::wstring(L"c:\\My Documents"); });
}

std::wstring AllUsersFavoritesFolder() {
  return FirstOf([] { return ShellFolder(31); }, [] { return AllUsersShellValue(L"Common Favorites"); },
                 [] { return FavoritesFolder(); });
}

std::wstring FavoritesFolder() {
  return FirstOf([] { return ShellFolder(6); }, [] { return UserShellValue(L"Favorites"); },
                 [] { return Join(WindowsFolder(), L"Favorites"); });
}

std::wstring FontsFolder() {
  return FirstOf([] { return ShellFolder(20); }, [] { return UserShellValue(L"Fonts"); },
                 [] { return Join(WindowsFolder(), L"Fonts"); });
}

std::wstring DriverSearchFolder() {
  RegistryKey key;
  std::wstring value;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kCurrentVersionKey, reg_open::kOpenOnly, KEY_QUERY_VALUE)) {
    value = key.ReadText(L"DevicePath");
  }
  std::wstring windows = WindowsFolder();
  std::wstring system_root;
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(L"SystemRoot", buffer, MAX_PATH + 1);
  system_root = (n > 0 && n <= MAX_PATH) ? std::wstring(buffer, n) : windows;
  return ToWide(DriverFolderFromDevicePath(ToU16(value), ToU16(system_root), ToU16(windows)));
}

std::wstring MediaFolder() {
  std::wstring media = SetupValue(L"MediaPath");
  if (!media.empty()) return Clean(media);
  std::wstring windows = WindowsFolder();
  return windows.empty() ? std::wstring(L"Media") : Join(windows, L"Media");
}

std::wstring WebRootParentFolder() {
  std::string root;
  RegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\INetStp", reg_open::kOpenOnly, KEY_QUERY_VALUE)) {
    root = key.ReadTextA("PathWWWRoot");
  }
  std::wstring folder;
  if (!root.empty()) {
    char expanded[MAX_PATH + 1];
    DWORD n = ExpandEnvironmentStringsA(root.c_str(), expanded, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH + 1) root.assign(expanded);
    int w = MultiByteToWideChar(CP_ACP, 0, root.data(), int(root.size()), nullptr, 0);
    folder.assign(size_t(w), L'\0');
    MultiByteToWideChar(CP_ACP, 0, root.data(), int(root.size()), folder.data(), w);
  }
  if (IsBlank(ToU16(folder))) folder = L"c:\\Inetpub\\wwwroot";
  return ToWide(WebRootParent(ToU16(folder)));
}

std::wstring AllUsersStartMenuFolder() {
  return FirstOf([] { return ShellFolder(22); }, [] { return AllUsersShellValue(L"Common Start Menu"); },
                 [] { return Parent(Parent(AllUsersShellValue(L"Common Startup"))); },
                 [] { return StartMenuFolder(); });
}

std::wstring StartMenuFolder() {
  return FirstOf([] { return ShellFolder(11); }, [] { return UserShellValue(L"Start Menu"); },
                 [] { return Join(WindowsFolder(), L"Start Menu"); });
}

std::wstring AllUsersProgramsFolder() {
  return FirstOf([] { return ShellFolder(23); }, [] { return AllUsersShellValue(L"Common Programs"); },
                 [] { return Parent(AllUsersShellValue(L"Common Startup")); }, [] { return ProgramsFolder(); });
}

std::wstring ProgramsFolder() {
  return FirstOf([] { return ShellFolder(2); }, [] { return UserShellValue(L"Programs"); },
                 [] { return Join(StartMenuFolder(), L"Programs"); });
}

std::wstring AllUsersStartupFolder() {
  return FirstOf([] { return ShellFolder(24); }, [] { return AllUsersShellValue(L"Common Startup"); },
                 [] { return StartupFolder(); });
}

std::wstring StartupFolder() {
  return FirstOf([] { return ShellFolder(7); }, [] { return UserShellValue(L"Startup"); },
                 [] { return Join(ProgramsFolder(), L"StartUp"); });
}

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH + 1];
  UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) return Clean(std::wstring_view(buffer, n));
  return Join(WindowsFolder(), IsWindowsNt() ? L"System32" : L"System");
}

std::wstring System32BitFolder() {
  return FirstOf([] { return ShellFolder(41); }, [] { return SystemFolder(); });
}

std::wstring WindowsFolder() {
  wchar_t buffer[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return Clean(std::wstring_view(buffer, n));
}

std::wstring UserProfileFolder() {
  return FirstOf([] { return ShellFolder(40); },
                 [] { return Join(Join(WindowsFolder(), L"Profiles"), UserName()); });
}

std::wstring ProfilesFolder() {
  std::wstring parent = Parent(UserProfileFolder());
  return parent.empty() ? std::wstring() : Clean(parent);
}

std::wstring TemporaryFolder() { return TempFolder(); }

bool Is64BitWindows() {
  static const bool wow64 = [] {
    auto is_wow64 = SystemFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    BOOL result = FALSE;
    return is_wow64 && is_wow64(GetCurrentProcess(), &result) && result;
  }();
  return wow64;
}

void NotifyAssociationsChanged() {
  if (Shell().change_notify) Shell().change_notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void NotifyDesktopUpdated(bool all_users) {
  std::wstring folder = all_users ? AllUsersDesktopFolder() : DesktopFolder();
  if (Shell().change_notify && !folder.empty()) {
    Shell().change_notify(SHCNE_UPDATEDIR, SHCNF_PATHW, folder.c_str(), nullptr);
  }
}

}  // namespace halberd
