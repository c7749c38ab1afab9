// The path-variable inputs from Windows (special folders, drive types, the environment, the
// operating system) and from the install run's state.
#include <windows.h>

#include "variables/path_variables.h"

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "foundation/special_folders.h"
#include "foundation/system_library.h"

namespace halberd::variables {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::string ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  std::wstring w = ToWide(text);
  int n = WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, "?", nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), out.data(), n, "?", nullptr);
  return out;
}

// The version record as the kernel keeps it (RtlGetVersion is not subject to the compatibility
// shims that make GetVersionExW report an older Windows to unmanifested programs).
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
using WineGetVersionFn = const char*(CDECL*)();

OsVersion ReadOsVersion() {
  OsVersion os;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtl_get_version =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  bool ok = rtl_get_version && rtl_get_version(&info) == 0;
  if (!ok) {
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0;
  }
  if (!ok) return os;
  os.major = info.dwMajorVersion;
  os.minor = info.dwMinorVersion;
  os.build = info.dwBuildNumber & 0xFFFF;
  os.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  os.product_type = info.wProductType ? info.wProductType : 1;
  os.suite_mask = info.wSuiteMask;
  os.server_r2 = GetSystemMetrics(SM_SERVERR2) != 0;
  os.windows_64bit = Is64BitWindows();
  if (auto product_info = SystemFunction<GetProductInfoFn>(L"kernel32.dll", "GetProductInfo")) {
    DWORD edition = 0;
    if (product_info(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor, info.wServicePackMinor,
                     &edition)) {
      os.product_info = edition;
    }
  }
  return os;
}

std::u16string WineVersion() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto wine_get_version =
      ntdll ? reinterpret_cast<WineGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
            : nullptr;
  const char* version = wine_get_version ? wine_get_version() : nullptr;
  if (!version) return {};
  std::string v(version);
  return std::u16string(v.begin(), v.end());
}

std::u16string InstallerPath() {
  wchar_t buffer[1025];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 1025);
  if (n == 0 || n > 1024) return {};
  return std::u16string(buffer, buffer + n);
}

}  // namespace

PathVariableRunValues& PathVariableRun() {
  static PathVariableRunValues values;
  return values;
}

const OsVersion& RunningOsVersion() {
  static const OsVersion version = ReadOsVersion();
  return version;
}

const OsInfo& RunningOs() {
  static const OsInfo info = DescribeOs(RunningOsVersion(), WineVersion());
  return info;
}

std::u16string SystemFolderValue(PathFolder folder) {
  std::wstring value;
  switch (folder) {
    case PathFolder::kAppDataAll: value = AllUsersAppDataFolder(); break;
    case PathFolder::kAppData: value = AppDataFolder(); break;
    case PathFolder::kBootDrive: value = BootDrive(); break;
    case PathFolder::kCommon32: value = CommonFiles32Folder(); break;
    case PathFolder::kCommon64: value = CommonFilesFolder(4); break;  // the 32-bit one on 32-bit Windows
    case PathFolder::kDesktopAll: value = AllUsersDesktopFolder(); break;
    case PathFolder::kDesktop: value = DesktopFolder(); break;
    case PathFolder::kDevice: value = DriverSearchFolder(); break;
    case PathFolder::kDocumentsAll: value = AllUsersDocumentsFolder(); break;
    case PathFolder::kDocuments: value = DocumentsFolder(); break;
    case PathFolder::kFavoritesAll: value = AllUsersFavoritesFolder(); break;
    case PathFolder::kFavorites: value = FavoritesFolder(); break;
    case PathFolder::kFonts: value = FontsFolder(); break;
    case PathFolder::kInetpub: value = WebRootParentFolder(); break;
    case PathFolder::kMedia: value = MediaFolder(); break;
    case PathFolder::kPrograms32: value = ProgramFiles32Folder(); break;
    case PathFolder::kPrograms64: value = ProgramFilesFolder(4); break;
    case PathFolder::kSmProgramsAll: value = AllUsersProgramsFolder(); break;
    case PathFolder::kSmPrograms: value = ProgramsFolder(); break;
    case PathFolder::kStartMenuAll: value = AllUsersStartMenuFolder(); break;
    case PathFolder::kStartMenu: value = StartMenuFolder(); break;
    case PathFolder::kStartupAll: value = AllUsersStartupFolder(); break;
    case PathFolder::kStartup: value = StartupFolder(); break;
    case PathFolder::kSystem: value = SystemFolder(); break;
    case PathFolder::kTemp: value = TemporaryFolder(); break;
    case PathFolder::kWindows: value = WindowsFolder(); break;
  }
  return ToU16(value);
}

DriveKind SystemDriveKind(char16_t letter) {
  wchar_t root[] = {wchar_t(letter), L':', L'\\', L'\0'};
  switch (GetDriveTypeW(root)) {
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
      return DriveKind::kPortable;
    case DRIVE_REMOTE:
      return DriveKind::kNetwork;
    default:
      return DriveKind::kOther;
  }
}

EnvironmentLookup SystemEnvironment() {
  return [](std::u16string_view name) -> std::optional<std::u16string> {
    std::wstring z = ToWide(name);
    std::wstring buffer(256, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
      SetLastError(ERROR_SUCCESS);
      DWORD n = GetEnvironmentVariableW(z.c_str(), buffer.data(), DWORD(buffer.size()));
      if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::u16string();
      }
      if (n < buffer.size()) return ToU16(std::wstring_view(buffer.data(), n));
      buffer.assign(size_t(n) + 1, L'\0');
    }
    return std::nullopt;
  };
}

PathVariableInputs SystemPathVariableInputs() {
  PathVariableInputs in;
  in.folder = SystemFolderValue;
  in.drive_kind = SystemDriveKind;
  in.windows_64bit = Is64BitWindows();
  in.os = RunningOs();
  in.installer_path = InstallerPath();
  return in;
}

PathVariableInputs CurrentPathVariableInputs() {
  PathVariableInputs in = SystemPathVariableInputs();
  const engine::RunState& run = engine::Run();
  const engine::ProductSettings& settings = engine::Settings();
  const PathVariableRunValues& values = PathVariableRun();
  in.automatic = run.automatic || run.silent;
  in.existing = values.existing;
  in.install_folder = ToU16(run.install_folder);
  in.uninstall_folder = values.uninstall_folder;
  in.uninstaller_name = settings.uninstaller_file_name;
  in.uninstall_subdir = settings.UninstallSubdir;
  in.language = settings.Language;
  in.old_version = values.old_version;
  in.product_name = settings.DisplayName;
  in.company = settings.Publisher;
  in.version = settings.DisplayVersion;
  in.bitness = settings.Bitness;
  in.shortcut_mode = settings.ShortcutMode;
  in.desktop_subfolder = settings.DesktopFolder;
  in.start_menu_name = values.start_menu_name ? *values.start_menu_name : settings.ProductStartMenu;
  in.has_uninstaller = (run.ProductFlags >> 2) & 1;
  in.shared_folder = values.shared_folder;
  return in;
}

void ExpandPathVariables(std::wstring& text, const PathVariableInputs& inputs) {
  std::u16string u = ToU16(text);
  ExpandPathVariables(u, inputs, SystemEnvironment());
  text = ToWide(u);
}

void ExpandPathVariables(std::wstring& text) { ExpandPathVariables(text, CurrentPathVariableInputs()); }

std::string ExpandNotificationUrl(std::string_view url) {
  const OsInfo& os = RunningOs();
  NotificationUrlValues v;
  v.version = ToAnsi(engine::Settings().DisplayVersion);
  v.session = engine::Run().session;
  v.os_code = os.code;
  v.os_major = os.major;
  v.os_minor = os.minor;
  v.os_name = ToAnsi(os.name);
  v.os_description = ToAnsi(os.description);
  v.os_server = os.server;
  std::string text(url);
  ExpandNotificationUrl(text, v);
  return text;
}

}  // namespace halberd::variables
