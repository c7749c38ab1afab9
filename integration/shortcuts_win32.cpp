// The install run's shortcut step: shell link files written through the shell's link object
// (IShellLinkW saved with IPersistFile) in the places shortcut_plan.cpp works out, the desktop
// folder with its icon, the root shortcut of a portable drive and the taskbar pin; every link and
// every folder made for one is recorded for removal. The uninstaller's unpinning is here too.
//
// The shell's link object and its verbs are foreign code. MinGW's GCC has no structured exception
// handling (__try/__except), so the guard around them catches C++ exceptions only: a processor
// exception inside the shell reaches the crash filter like any other.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "engine/language_texts.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/windows_version.h"
#include "install/extraction_folders.h"
#include "install/installed_files.h"
#include "integration/shortcut_plan.h"
#include "integration/shortcuts.h"
#include "uninstall/run_uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

// The shell's link object, {00021401-0000-0000-C000-000000000046}.
constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// Owner of one COM interface pointer.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// A failed HRESULT as the system error the failure line shows.
DWORD ErrorOf(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return DWORD(HRESULT_CODE(hr));
  return DWORD(hr);
}

// Runs a step that calls into the shell; a C++ exception escaping it is logged with `crash_line`
// and the run goes on.
template <typename Step>
void Guarded(const wchar_t* crash_line, Step step) {
  try {
    step();
  } catch (...) {
    engine::LogWide(crash_line);
  }
}

struct LinkContents {
  std::wstring target;
  std::wstring arguments;
  std::wstring icon;  // empty: the target
  std::wstring start_in;
  uint32_t flags = 0;
};

// Writes the link file through the shell's link object. Returns 0 or the system error.
DWORD WriteShellLink(const std::wstring& link_path, const LinkContents& c) {
  ComRef<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.out());
  if (FAILED(hr)) return ErrorOf(hr);
  hr = link->SetPath(c.target.c_str());
  if (SUCCEEDED(hr)) hr = link->SetIconLocation((c.icon.empty() ? c.target : c.icon).c_str(), 0);
  if (SUCCEEDED(hr) && !c.arguments.empty()) hr = link->SetArguments(c.arguments.c_str());
  if (SUCCEEDED(hr) && (c.flags & kLinkMinimized)) hr = link->SetShowCmd(SW_SHOWMINNOACTIVE);
  if (SUCCEEDED(hr) && (c.flags & kLinkMaximized)) hr = link->SetShowCmd(SW_SHOWMAXIMIZED);
  if (SUCCEEDED(hr) && !c.start_in.empty()) hr = link->SetWorkingDirectory(c.start_in.c_str());
  if (FAILED(hr)) return ErrorOf(hr);
  ComRef<IPersistFile> file;
  hr = link->QueryInterface(__uuidof(IPersistFile), file.out());
  if (SUCCEEDED(hr)) hr = file->Save(link_path.c_str(), TRUE);
  return FAILED(hr) ? ErrorOf(hr) : 0;
}

// Creates the link's folder (recording the levels this run makes when `record`) and the link.
// Returns 0 or the system error.
DWORD MakeLink(const std::wstring& link_path, const LinkContents& c, bool record) {
  const std::wstring folder = W(ParentFolder(U16(link_path)));
  if (!folder.empty() && !install::CreateFolderRecorded(folder, record)) {
    DWORD error = GetLastError();
    return error ? error : ERROR_PATH_NOT_FOUND;
  }
  return WriteShellLink(link_path, c);
}

std::wstring Expanded(std::u16string_view text) {
  std::wstring w = W(text);
  variables::ExpandPathVariables(w);
  return w;
}

ShortcutRun CurrentShortcutRun() {
  const engine::RunState& run = engine::Run();
  const engine::ProductSettings& settings = engine::Settings();
  const format::SetupScript& script = engine::Script();
  ShortcutRun r;
  r.ProductFlags = run.ProductFlags;
  r.ProductFlags2 = run.ProductFlags2;
  r.ShortcutMode = settings.ShortcutMode;
  r.portable = install::PortableInstallation();
  r.install_folder = U16(run.install_folder);
  r.uninstall_folder = U16(uninstall::UninstallFolder());
  r.uninstaller_path = JoinPath(r.uninstall_folder, settings.uninstaller_file_name);
  r.uninstall_key_name = settings.uninstall_key_name;
  r.has_uninstaller_icon = !script.uninstaller_icon.empty();
  r.uninstall_name = engine::LanguageText16(text::kUninstallShortcutName);
  r.log_shortcut_name = engine::LanguageText16(text::kLogShortcutName);
  r.unnamed_format = engine::LanguageText16(text::kUnnamedShortcut);
  return r;
}

// The desktop folder of `DesktopFolder`, made before its first shortcut: the folder, and its icon
// when the product has one.
class DesktopFolderMaker {
 public:
  explicit DesktopFolderMaker(const std::u16string& folder) : folder_(W(folder)) {}

  void MakeOnce() {
    if (made_) return;
    made_ = true;
    if (!install::CreateFolderRecorded(folder_, true)) {
      const DWORD error = GetLastError();
      engine::LogFormatW(L"Failed to create folder %s: %s\r\n\r\n", folder_.c_str(), SystemErrorText(error).c_str());
      return;
    }
    const std::string& icon = engine::Script().desktop_folder_icon;
    if (icon.empty()) return;
    const std::wstring icon_path = W(JoinPath(U16(uninstall::UninstallFolder()), u"Desktop Icon.ico"));
    FileW file;
    if (file.Open(icon_path, kCreateAlways | kNoReadAccess) != 0 || !file.Write(icon)) {
      file.Close();
      engine::LogWide(L"Failed to create Desktop shortcut folder icon \"" + icon_path + L"\"\r\n");
      return;
    }
    file.Close();
    uninstall::RecordRemoval(icon_path, uninstall::RemovalKind::kFile);
    GiveFolderIcon(icon_path);
  }

 private:
  // Desktop.ini names the icon; the folder becomes a system folder so that the shell reads it.
  void GiveFolderIcon(const std::wstring& icon_path) {
    const std::wstring ini = folder_ + L"\\Desktop.ini";
    const bool existed = FileExists(ini);
    if (!existed && NeedsUnicodeDesktopIni(U16(icon_path))) {
      // A file that begins with the UTF-16 byte-order mark keeps the profile writer in Unicode.
      FileW file;
      if (file.Open(ini, kCreateNew | kNoReadAccess) == 0) file.Write("\xFF\xFE", 2);
    }
    WritePrivateProfileStringW(L".ShellClassInfo", L"IconIndex", L"0", ini.c_str());
    WritePrivateProfileStringW(L".ShellClassInfo", L"IconFile", icon_path.c_str(), ini.c_str());
    if (!existed && FileExists(ini)) uninstall::RecordRemoval(ini, uninstall::RemovalKind::kFile);
    const DWORD folder_attributes = GetFileAttributesW(folder_.c_str());
    if (folder_attributes != INVALID_FILE_ATTRIBUTES)
      SetFileAttributesW(folder_.c_str(), folder_attributes | FILE_ATTRIBUTE_SYSTEM);
    SetAttributes(ini, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }

  std::wstring folder_;
  bool made_ = false;
};

ShellFolders CurrentShellFolders() {
  ShellFolders f;
  f.desktop = U16(DesktopFolder());
  f.all_users_desktop = U16(AllUsersDesktopFolder());
  f.programs = U16(ProgramsFolder());
  f.all_users_programs = U16(AllUsersProgramsFolder());
  f.startup = U16(StartupFolder());
  f.all_users_startup = U16(AllUsersStartupFolder());
  return f;
}

// Makes the links of one entry.
void MakeEntry(const ShortcutEntry& e, const ShortcutRun& run, const ShortcutTargets& targets,
               DesktopFolderMaker& desktop_folder, bool& desktop_changed) {
  const PrepareTools tools{
      [](std::u16string_view text) { return U16(Expanded(text)); },
      [](const std::u16string& folder) { return FolderExists(W(folder)); },
  };
  const PreparedShortcut p = PrepareShortcut(e, run, tools);
  if (!p.missing_start_in.empty()) engine::LogWide(W(MissingStartInLine(p.missing_start_in)));
  const LinkContents contents{W(p.target), W(p.arguments), W(p.icon), W(p.start_in), p.link_flags};
  const std::u16string extra = e.extra_folder.empty() ? std::u16string() : U16(Expanded(e.extra_folder));
  for (const ShortcutLink& link : LinksOf(e, p, targets, extra)) {
    if (link.place == ShortcutPlace::kDesktopFolder) desktop_folder.MakeOnce();
    const std::wstring path = W(link.path);
    const DWORD error = MakeLink(path, contents, link.record);
    if (error) {
      engine::FailItem(path, error);
      continue;
    }
    if (link.place == ShortcutPlace::kDesktop || link.place == ShortcutPlace::kDesktopFolder) desktop_changed = true;
    if (!(run.ProductFlags & format::kFlagHideFileNames)) engine::SetStatusText(path);
    if (run.ProductFlags & format::kFlagDetailedLog) engine::LogWide(W(LinkLogLine(link.place, p.name, link.path)));
    if (link.record) uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
  }
}

// The root shortcut of a portable drive.
void MakeRootShortcut(const ShortcutRun& run) {
  const format::FurtherCommand& root = engine::Script().further_commands[0];
  if (!run.portable || root.command.empty() || root.text.empty()) return;
  Guarded(L"Crash while installing root shortcut.\r\n", [&] {
    const std::u16string name = U16(Expanded(root.text));
    std::optional<std::u16string> path = RootShortcutPath(run.install_folder, name);
    if (!path) return;
    const SplitCommand command = SplitCommandLine(U16(Expanded(root.command)));
    const LinkContents contents{W(command.program), W(command.arguments), L"", W(run.install_folder), 0};
    const std::wstring link = W(*path);
    if (const DWORD error = WriteShellLink(link, contents)) {
      engine::FailItem(link, error);
      return;
    }
    if (run.ProductFlags & format::kFlagDetailedLog) engine::LogFormatW(L"Root Shortcut(%s) >>> %s\r\n", W(name).c_str(), link.c_str());
    uninstall::RecordRemoval(link, uninstall::RemovalKind::kFile);
  });
}

// Invokes a shell verb ("taskbarpin", "taskbarunpin") on a link file. Returns 0 or the error.
DWORD InvokeVerb(const wchar_t* verb, const std::wstring& file) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return 0;
  const DWORD error = GetLastError();
  return error ? error : ERROR_NO_ASSOCIATION;
}

// A new folder in the temporary folder, made by this call (CreateDirectoryW fails for a name that
// exists, so nothing planted is taken over); empty when none could be made.
std::wstring NewPrivateFolder() {
  const std::wstring base = TempFolder();
  const DWORD seed = GetCurrentProcessId() ^ GetTickCount();
  for (DWORD i = 0; i < 100; ++i) {
    wchar_t name[32];
    wsprintfW(name, L"\\TLP%08lX", seed + i * 7919);
    const std::wstring folder = base + name;
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return {};
}

// The taskbar pin (Windows 7 to 8.1, not portable).
void PinToTaskbar(const ShortcutRun& run) {
  const format::FurtherCommand& pin = engine::Script().further_commands[1];
  if (run.portable || pin.command.empty()) return;
  const WindowsVersion& windows = RunningWindows();
  if (!PinSupported(windows.major, windows.minor)) return;
  Guarded(L"Crash while pinning to taskbar.\r\n", [&] {
    const SplitCommand command = SplitCommandLine(U16(Expanded(pin.command)));
    std::u16string name = SafeLinkName(U16(Expanded(pin.text.empty() ? engine::Settings().DisplayName : pin.text)));
    name = name.substr(name.find_last_of(u'\\') + 1);  // one file name, no sub-folder
    if (name.empty()) return;
    engine::SetStatusText(L"Pin to taskbar");
    // The shell names the pinned copy after the link, so the link keeps the name; it is made in a
    // new folder of its own, where nothing can have been planted before.
    const std::wstring folder = NewPrivateFolder();
    if (folder.empty()) {
      engine::FailItem(TempFolder(), GetLastError());
      return;
    }
    const std::wstring link = folder + L"\\" + W(name) + L".lnk";
    const LinkContents contents{W(command.program), W(command.arguments), L"", W(run.install_folder), 0};
    if (const DWORD error = WriteShellLink(link, contents)) {
      engine::FailItem(link, error);
      RemoveDirectoryW(folder.c_str());
      return;
    }
    const DWORD error = InvokeVerb(L"taskbarpin", link);
    if (error) {
      engine::LogFormatW(L"Pin to taskbar(%s): FAIL\r\nCode %lu: %s\r\n", W(name).c_str(), error,
                         SystemErrorText(error).c_str());
    } else {
      engine::LogFormatW(L"Pin to taskbar(%s): OK\r\n", W(name).c_str());
      uninstall::RecordRemoval(W(PinnedCopyPath(U16(AppDataFolder()), name)), uninstall::RemovalKind::kFile);
    }
    RemoveFile(link);
    RemoveDirectoryW(folder.c_str());
  });
}

}  // namespace

void CreateShortcuts() {
  const ShortcutRun run = CurrentShortcutRun();
  const engine::ProductSettings& settings = engine::Settings();
  const std::optional<std::u16string>& chosen = variables::PathVariableRun().start_menu_name;
  const ShortcutTargets targets =
      TargetsOf(CurrentShellFolders(), run.ShortcutMode, settings.DesktopFolder, chosen ? *chosen : settings.ProductStartMenu);
  std::vector<ShortcutEntry> entries;
  for (const format::RegistrationEntry& e : engine::Script().registrations) entries.push_back(EntryFromScript(e));
  for (const install::ShortcutRequest& r : install::RunFiles().shortcuts) entries.push_back(EntryFromFile(r));
  for (ShortcutEntry& e : AddedShortcuts(run)) entries.push_back(std::move(e));

  DesktopFolderMaker desktop_folder(targets.desktop_folder);
  bool desktop_changed = false;
  for (const ShortcutEntry& e : entries) {
    if (!EntryWanted(e, run)) continue;
    Guarded(L"CRASHED!\r\n", [&] { MakeEntry(e, run, targets, desktop_folder, desktop_changed); });
  }
  if (desktop_changed) NotifyDesktopUpdated(run.ShortcutMode == 1);
  MakeRootShortcut(run);
  PinToTaskbar(run);
}

void UnpinFromTaskbar(const std::wstring& pinned_shortcut) {
  if (!IsPinnedShortcut(U16(pinned_shortcut))) return;
  Guarded(L"Crash while unpinning from taskbar.\r\n", [&] { InvokeVerb(L"taskbarunpin", pinned_shortcut); });
}

}  // namespace halberd::integration
