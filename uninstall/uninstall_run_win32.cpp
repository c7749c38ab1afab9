// The uninstall run: the product's uninstall key and "Uninstall.dat" are read, the user is asked,
// the product's programs are closed, and what the install run made is taken away in a fixed
// order; what cannot be removed stays listed in a rewritten "Uninstall.dat" so that a later run
// can finish. The decisions (settings and their defaults, folder order, shared-file marks, what
// may be deleted) are portable and tested natively; this file is the pipeline and its system calls.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "engine/language_texts.h"
#include "engine/message_text.h"
#include "engine/messages.h"
#include "engine/notifications.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/running_programs.h"
#include "foundation/fatal_error.h"
#include "foundation/file_errors.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/message_pump.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/text_convert.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"
#include "install/restart_operations.h"
#include "integration/associations.h"
#include "integration/firewall.h"
#include "integration/path_entry.h"
#include "integration/registry_entries.h"
#include "integration/shortcuts.h"
#include "ui/look_win32.h"
#include "uninstall/component_removal.h"
#include "uninstall/delete_safety.h"
#include "uninstall/removal_order.h"
#include "uninstall/run_uninstall_data.h"
#include "uninstall/uninstall_data.h"
#include "uninstall/uninstall_run.h"
#include "uninstall/uninstall_settings.h"
#include "variables/batch_runner.h"

namespace halberd::uninstall {

namespace {

namespace flags = format;

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr DWORD kStatusDwell = 700;  // ms each status line stays in an interactive run

// The run's own state, beside the engine's run state.
struct UninstallRunState {
  std::wstring name;             // the /u name
  std::wstring key_path;         // below HKLM, 32-bit view
  RegistryKey key;               // open for reading and writing
  UninstallSettings settings;
  std::wstring install_folder;
  std::wstring uninstall_folder;
  std::vector<std::u16string> folders;  // folder records, in body order
  std::vector<std::u16string> deleted;  // deleted files, as recorded (the pending list compares them)
};

UninstallRunState& State() {
  static UninstallRunState state;
  return state;
}

std::function<void()>& RestartHandler() {
  static std::function<void()> handler;
  return handler;
}

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

const engine::RunState& RunFlags() { return engine::Run(); }
bool Automatic() { return engine::Run().automatic || engine::Run().silent; }
bool Interactive() { return !Automatic(); }
bool Flag(uint64_t bit) { return (State().settings.ProductFlags & bit) != 0; }

// A text of the [Strings] section; the uninstaller has no other copy of the language.
std::wstring Text(int id) {
  const UninstallData& data = RunUninstallData();
  auto it = data.texts.find(id);
  return it == data.texts.end() ? std::wstring() : W(it->second);
}

std::wstring TextWith(int id, std::wstring_view value) {
  const UninstallData& data = RunUninstallData();
  auto it = data.texts.find(id);
  if (it == data.texts.end()) return std::wstring(value);
  return W(engine::FillInText(it->second, {U(value)}));
}

// Error boxes of the start: before the flags are read they are never shown in automatic mode;
// afterwards only with ProductFlags bit 35. The reason always reaches the running log.
void StartError(const std::wstring& text, bool flags_read) {
  engine::LogWide(text + L"\r\n");
  bool show = !Automatic() || (flags_read && Flag(flags::kFlagErrorsWhenAutomatic) && !RunFlags().silent);
  if (show) engine::ShowMessage(text, engine::ErrorCaption(), MB_OK | MB_ICONERROR);
}

// A status line of the progress page, held for its minimum time in an interactive run.
void Status(int text_id, int percent) {
  engine::SetProgress(percent);
  engine::SetStatusText(Text(text_id));
  if (!Interactive()) return;
  for (DWORD waited = 0; waited < kStatusDwell; waited += 50) {
    PumpPendingMessages();
    Sleep(50);
  }
}

void ShowPath(const std::wstring& path) {
  if (!Flag(flags::kFlagHideFileNames)) engine::SetStatusText(path);
}

PathKind KindOf(const std::u16string& path) {
  DWORD attributes = GetFileAttributesW(W(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

// Removes a link itself: a folder link with RemoveDirectoryW, a file link with DeleteFileW;
// neither looks behind the link.
bool RemoveLink(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != FALSE
                                                  : DeleteFileW(path.c_str()) != FALSE;
}

void LogNotFollowed(const std::wstring& path) {
  engine::LogWide(L"Not removed, its folder is a link: " + path + L"\r\n");
}

// Deletes one file the product recorded. Returns false only for a file that is still there.
bool DeleteRecordedFile(const std::wstring& path) {
  switch (CheckDeletion(U(path), U(State().install_folder), KindOf)) {
    case DeletionCheck::kRefused:
      LogNotFollowed(path);
      return true;  // not the product's file any more: nothing of ours is left there
    case DeletionCheck::kLinkItself:
      return RemoveLink(path);
    case DeletionCheck::kFollow:
      break;
  }
  if (!FileExists(path)) return true;
  return RemoveFile(path);
}

// Removes a folder when it holds nothing but shell clutter; false when it stays.
bool RemoveEmptyFolder(const std::wstring& path) {
  switch (CheckDeletion(U(path), U(State().install_folder), KindOf)) {
    case DeletionCheck::kRefused:
      LogNotFollowed(path);
      return false;
    case DeletionCheck::kLinkItself:
      return RemoveLink(path);
    case DeletionCheck::kFollow:
      break;
  }
  SetAttributes(path, 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (!FolderIsEmpty(path, true)) return false;
  return RemoveFolder(path);
}

// Folders the climb from a recorded folder never removes: the system's and the user's own.
std::vector<std::u16string> KeptFolders() {
  std::vector<std::wstring> kept = {
      DesktopFolder(),        AllUsersDesktopFolder(),   ProgramsFolder(),        AllUsersProgramsFolder(),
      StartMenuFolder(),      AllUsersStartMenuFolder(), StartupFolder(),         AllUsersStartupFolder(),
      ProgramFiles32Folder(), ProgramFiles64Folder(),    CommonFiles32Folder(),   CommonFiles64Folder(),
      WindowsFolder(),        SystemFolder(),            System32BitFolder(),     AppDataFolder(),
      AllUsersAppDataFolder(), DocumentsFolder(),        AllUsersDocumentsFolder(), UserProfileFolder(),
      ProfilesFolder(),       FontsFolder(),             TemporaryFolder(),       FavoritesFolder(),
      AllUsersFavoritesFolder()};
  std::vector<std::u16string> out;
  for (const std::wstring& k : kept)
    if (!k.empty()) out.push_back(U(k));
  return out;
}

std::vector<std::u16string> SystemFolders() {
  std::vector<std::u16string> out;
  for (const std::wstring& s : {WindowsFolder(), SystemFolder(), System32BitFolder(), ProgramFiles32Folder(),
                                ProgramFiles64Folder(), CommonFiles32Folder(), CommonFiles64Folder(),
                                ProfilesFolder(), UserProfileFolder()})
    if (!s.empty()) out.push_back(U(s));
  return out;
}

void DeleteKeyValue(const wchar_t* name) { State().key.DeleteValue(name); }

// ---------------------------------------------------------------------------------------------
// Start

// Steps 1-2.
int OpenUninstallKey() {
  UninstallRunState& s = State();
  s.key_path = std::wstring(kUninstallRoot) + L"\\" + s.name;
  if (!KeyExists(HKEY_LOCAL_MACHINE, s.key_path, reg_view::k32Bit)) {
    if (GetLastError() == ERROR_ACCESS_DENIED)
      StartError(L"Permission denied.  Please run the uninstaller with administrator rights.", false);
    else
      StartError(L"No product named '" + s.name + L"' is installed.", false);
    return uninstall_exit::kNotInstalled;
  }
  if (s.key.OpenKey(HKEY_LOCAL_MACHINE, s.key_path, reg_open::kOpenOnly, KEY_ALL_ACCESS | reg_view::k32Bit) ==
      reg_opened::kFailed) {
    StartError(L"Unable to access the uninstall information for:\r\n" + s.name +
                   L"\r\n\r\nThe uninstallation cannot be performed.",
               false);
    return uninstall_exit::kNotInstalled;
  }
  return 0;
}

// Steps 3-5.
int ReadUninstallKey() {
  UninstallRunState& s = State();
  UninstallKeyValues values{
      [&](std::u16string_view name) -> std::optional<std::u16string> {
        if (!s.key.ValueExists(W(name))) return std::nullopt;
        return U(s.key.ReadText(W(name)));
      },
      [&](std::u16string_view name) -> std::optional<std::string> {
        if (!s.key.ValueExists(W(name))) return std::nullopt;
        return s.key.ReadTextA(Utf16ToUtf8(name));
      }};
  s.settings = ReadUninstallSettings(values, U(s.name));
  engine::RunState& run = engine::Run();
  run.display_name = W(s.settings.DisplayName);
  if (s.settings.InstallLocation.empty()) {
    StartError(L"The uninstall information for " + run.display_name +
                   L" is corrupt.\r\n\r\nThe uninstallation cannot be performed.",
               false);
    return uninstall_exit::kCorrupt;
  }
  run.ProductFlags = s.settings.ProductFlags;
  run.ProductFlags2 = s.settings.ProductFlags2;
  if (Flag(flags::kFlagUninstallAutomatic)) run.automatic = true;
  if (s.settings.Bitness == 1) {
    engine::ApplyBitness(1);
    if (run.fs_redirection_failed) FatalError("Wow64DisableWow64FsRedirection() failed");
  }
  s.install_folder = W(WithoutTrailingBackslash(s.settings.InstallLocation));
  run.install_folder = s.install_folder;
  const std::u16string& subdir = s.settings.UninstallSubdir;
  s.uninstall_folder = subdir.empty() ? s.install_folder
                       : IsFullPath(subdir) ? W(subdir)
                                            : W(JoinPath(U(s.install_folder), subdir));
  SetUninstallFolder(s.uninstall_folder);
  // The notification and the batches speak for this installation.
  if (s.settings.Session != 0) run.session = s.settings.Session;
  engine::ProductSettings& product = engine::Settings();
  product.DisplayName = s.settings.DisplayName;
  product.DisplayVersion = s.settings.DisplayVersion;
  product.UninstallSubdir = s.settings.UninstallSubdir;
  product.SharedPath = s.settings.SharedPath;
  product.NotifyURL = s.settings.NotifyURL;
  product.Language = s.settings.Language;
  product.Session = run.session;
  product.DialogZoom = s.settings.DialogZoom;
  return 0;
}

// Step 6. An elevated run acts only on a file that no ordinary user could have written.
int LoadUninstallDataStep() {
  UninstallRunState& s = State();
  const std::wstring path = W(UninstallDataPath(U(s.uninstall_folder)));
  UninstallData& data = RunUninstallData();
  const bool elevated = ProcessIsElevated();
  bool open_to_users = false;
  int code = LoadUninstallDataFile(path, data, elevated ? &open_to_users : nullptr);
  if (code == file_error::kSuccess && open_to_users) {
    code = file_error::kAccessDenied;
    SetLastError(ERROR_ACCESS_DENIED);
  }
  if (code != file_error::kSuccess) {
    wchar_t number[16];
    wsprintfW(number, L"%d", code);
    StartError(L"The uninstall information for " + W(s.settings.DisplayName) + L" could not be loaded.\r\n\r\nFilepath: " +
                   path + L"\r\nCode " + number + L": " + CodePageToWide(FileErrorText(code), CP_ACP),
               true);
    return uninstall_exit::kCorrupt;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Questions

std::u16string WindowText(HWND window, bool class_name) {
  wchar_t text[512];
  int n = class_name ? GetClassNameW(window, text, 512) : GetWindowTextW(window, text, 512);
  return U(std::wstring_view(text, n > 0 ? size_t(n) : 0));
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The top-level windows of other processes that match `entry`.
std::vector<HWND> MatchingWindows(const CloseEntry& entry) {
  std::vector<HWND> all, matching;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&all));
  const DWORD own = GetCurrentProcessId();
  for (HWND window : all) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == own) continue;
    if (engine::WindowPatternMatches(entry.window_class, WindowText(window, true)) &&
        engine::WindowPatternMatches(entry.window_title, WindowText(window, false)))
      matching.push_back(window);
  }
  return matching;
}

// Step 7: close messages, quit messages and terminations.
void CloseProgramsFirstPass() {
  for (const CloseEntry& entry : RunUninstallData().close_list) {
    if (entry.method == engine::kCloseAskUser) continue;
    for (HWND window : MatchingWindows(entry)) {
      if (entry.method == engine::kCloseByMessage) {
        PostMessageW(window, WM_CLOSE, 0, 0);
      } else if (entry.method == engine::kCloseByQuit) {
        PostMessageW(window, WM_QUIT, 0, 0);
      } else if (entry.method == engine::kCloseTerminate) {
        DWORD process_id = 0;
        GetWindowThreadProcessId(window, &process_id);
        UniqueKernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id));
        if (process) TerminateProcess(process.get(), 0);
      }
    }
  }
}

// Step 8.
bool Confirmed() {
  if (Automatic()) return true;
  return engine::ShowMessage(Text(text::kUninstallConfirm), Text(text::kUninstallCaption),
                             MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Step 9: the support offer; its button opens the address and ends the run. Only web addresses
// are opened: the value is handed to the shell.
bool SupportTaken() {
  const std::wstring address = W(State().settings.SupportOffer);
  if (Automatic() || address.empty()) return false;
  if (_wcsnicmp(address.c_str(), L"http://", 7) != 0 && _wcsnicmp(address.c_str(), L"https://", 8) != 0) return false;
  // Yes stands for the support button (text 110), No for Continue (text 104), the default.
  if (engine::ShowMessage(Text(text::kSupportOffer), Text(text::kSupportButton),
                          MB_YESNO | MB_DEFBUTTON2 | MB_ICONINFORMATION) != IDYES)
    return false;
  ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return true;
}

// Step 10: programs the user is asked to close. False when the user cancelled.
bool CloseProgramsSecondPass() {
  for (const CloseEntry& entry : RunUninstallData().close_list) {
    if (entry.method != engine::kCloseAskUser) continue;
    while (!MatchingWindows(entry).empty()) {
      if (engine::ShowMessage(TextWith(text::kUninstallCloseProgram, W(entry.program_name)),
                              Text(text::kUninstallCaption), MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY)
        continue;
      if (!Automatic())
        engine::ShowMessage(Text(text::kUninstallCancelled), Text(text::kCancelledCaption), MB_OK | MB_ICONWARNING);
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Removal

// Steps 12 and 30: an uninstall batch runs once; its value goes with it.
void RunUninstallBatch(const std::string& batch, uint64_t hide_flag, const wchar_t* value_name) {
  if (batch.empty()) return;
  variables::RunBatch(batch, Flag(hide_flag), L"");
  DeleteKeyValue(value_name);
}

// Step 13.
void RemoveAssociationsStep() {
  Status(text::kStatusRemovingAssociations, 1);
  const UninstallData& data = RunUninstallData();
  if (data.associations.empty()) return;
  integration::RemoveAssociations(data.associations, State().settings.DisplayName);
  NotifyAssociationsChanged();
}

// Step 14.
void RemoveFontsStep() {
  Status(text::kStatusRemovingFonts, 3);
  UninstallRunState& s = State();
  if (s.settings.ProductFonts.empty()) return;
  RemoveFonts(s.settings.ProductFonts, s.settings.UninstallFonts, Automatic());
  DeleteKeyValue(L"ProductFonts");
}

// Step 15.
void RemoveInstallLogStep() {
  Status(text::kStatusRemovingFiles, 5);
  if (Flag(flags::kFlagUninstallKeepsLog)) return;
  DeleteRecordedFile(W(JoinPath(U(State().uninstall_folder), u"Install.log")));
}

// Step 16.
void ReleaseSharedFilesStep() {
  UninstallRunState& s = State();
  if (s.settings.SharedFiles.empty()) return;
  ReleaseSharedFiles(s.settings.SharedFiles, s.settings.UninstallShared, Automatic());
  DeleteKeyValue(L"SharedFiles");
}

// Step 17.
void UnpinFromTaskbarStep() {
  const CodePage code_page = SystemCodePage();
  for (const std::string& line : RunUninstallData().records())
    if (IsTaskbarPin(line)) integration::UnpinFromTaskbar(W(ReadRemovalRecord(line, code_page).text));
}

// Step 18.
void RemovePackagesStep() {
  UninstallData& data = RunUninstallData();
  if (data.packages.empty()) return;
  Status(text::kStatusRemovingPackages, engine::Progress());
  data.packages = RemovePackages(data.packages);
}

// Step 19: files, registry values and keys; folders are gathered for step 21.
void RemoveRecordsStep() {
  engine::SetProgress(10);
  UninstallRunState& s = State();
  UninstallData& data = RunUninstallData();
  const std::vector<std::string> lines = data.records();
  data.ClearRecords();
  const CodePage code_page = SystemCodePage();
  const size_t total = lines.size();
  for (size_t done = 0; done < total; ++done) {
    const std::string& line = lines[done];
    if (line.empty()) continue;
    RemovalRecord record = ReadRemovalRecord(line, code_page);
    const std::wstring text = W(record.text);
    switch (record.kind) {
      case RemovalKind::kFolder:
        s.folders.push_back(record.text);
        break;
      case RemovalKind::kRegistryValue:
        DeleteValuePath(text);
        break;
      case RemovalKind::kRegistryKey:
        DeleteKeyPath(text);
        break;
      case RemovalKind::kRegistryKey64:
        DeleteKeyPath(text, reg_view::k64Bit);
        break;
      case RemovalKind::kFile:
        ShowPath(text);
        engine::SetProgress(11 + int(81 * double(done) / double(total)));
        if (DeleteRecordedFile(text)) {
          s.deleted.push_back(record.text);
          // A later run that finishes a failed one has only the failed files left in its data: the
          // folders of a file inside the installation folder go with it when they are empty.
          if (IsSameOrBelow(record.text, U(s.install_folder))) s.folders.push_back(ParentFolder(record.text));
        } else {
          engine::AppendFailureText(Text(text::kNotRemoved) + L" " + text + L"\r\n");
          RecordRemoval(text, RemovalKind::kFile);
        }
        break;
    }
  }
}

// Step 20. Conditional deletions at uninstall time are kept in the data as read.
void CleanPendingRenamesStep() {
  engine::SetProgress(92);
  std::vector<std::wstring> deleted;
  for (const std::u16string& path : State().deleted) deleted.push_back(W(path));
  if (!deleted.empty()) install::CleanPendingOperations(deleted, false);
  engine::SetProgress(93);
}

// Step 21: longest first, each with its parents while they can go.
void RemoveFoldersStep() {
  UninstallRunState& s = State();
  const std::vector<std::u16string> kept = KeptFolders();
  for (const std::u16string& folder : FolderRemovalOrder(s.folders)) {
    ShowPath(W(folder));
    for (const std::u16string& step : FolderClimb(folder, U(s.install_folder), kept))
      if (!RemoveEmptyFolder(W(step))) break;
  }
}

// Step 22: what could not be removed, for a later run. The associations, firewall lines and
// driver packages are not written again (the steps below still use them).
void RewriteUninstallDataStep() {
  UninstallData& data = RunUninstallData();
  UninstallData rewritten = data;
  rewritten.associations.clear();
  rewritten.firewall.clear();
  rewritten.drivers.clear();
  const std::wstring path = W(UninstallDataPath(U(State().uninstall_folder)));
  if (!WriteUninstallDataFile(rewritten, path)) engine::AppendFailureText(engine::FailedItemText(path, GetLastError()));
  data.ClearRecords();
}

// Step 23: the Start-menu folder and its parents within the product's part of the path.
void RemoveStartMenuFolderStep() {
  const UninstallSettings& settings = State().settings;
  const std::wstring programs = settings.ShortcutMode == 1 ? AllUsersProgramsFolder() : ProgramsFolder();
  for (const std::u16string& folder : StartMenuClimb(U(programs), settings.ProductStartMenu))
    if (!RemoveEmptyFolder(W(folder))) break;
  Status(text::kStatusRemovingRegistry, 95);
}

// Steps 24-25.
void RemoveRegistryStep() {
  const UninstallSettings& settings = State().settings;
  const bool view64 = Flag(flags::kFlagRegistry64);
  if (!settings.ProductRegistry.empty()) {
    integration::RemoveProductRegistry(settings.ProductRegistry, view64);
    DeleteKeyValue(L"ProductRegistry");
  }
  const std::string& registry = RunUninstallData().registry;
  if (registry.empty()) return;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < registry.size()) {
    size_t end = registry.find_first_of("\r\n", start);
    if (end == std::string::npos) end = registry.size();
    if (end > start) lines.push_back(registry.substr(start, end - start));
    start = end + 1;
  }
  integration::RemoveRegistry2Lines(lines, view64);
}

// Step 26.
void RemoveFirewallStep() {
  engine::SetProgress(96);
  const UninstallData& data = RunUninstallData();
  if (!data.firewall.empty()) integration::RemoveFirewallExceptions(data.firewall, State().install_folder);
}

// Step 27.
void RemoveDriversStep() {
  engine::SetProgress(97);
  const UninstallData& data = RunUninstallData();
  if (!data.drivers.empty()) RemoveDriverPackages(data.drivers);
}

// Step 28: the installation folder with everything left in it, only the recorded one and never a
// root or a system folder; links inside it are removed as links.
void RemoveInstallFolderTreeStep() {
  UninstallRunState& s = State();
  if (!Flag(flags::kFlagUninstallDeletesInstallFolder)) return;
  TreeDeletionCheck check = CheckTreeDeletion(U(s.install_folder), s.settings.InstallLocation, SystemFolders());
  if (check != TreeDeletionCheck::kAllowed || KindOf(U(s.install_folder)) != PathKind::kFolder) {
    engine::LogWide(L"The installation folder is not deleted with its contents: " + s.install_folder + L"\r\n");
    return;
  }
  DeleteFolderContents(s.install_folder);
}

// Step 29.
void RemoveSharedFolderStep() {
  engine::SetProgress(98);
  const std::u16string& shared = State().settings.SharedPath;
  if (!shared.empty() && IsFullPath(shared)) RemoveEmptyFolder(W(shared));
}

// Step 30: only a run without failures takes away what lets a later run finish.
void RemoveRegistrationStep() {
  UninstallRunState& s = State();
  if (!engine::FailureText().empty()) return;
  RemoveFile(W(UninstallDataPath(U(s.uninstall_folder))));
  if (Flag(flags::kFlagAddToPath))
    integration::UpdatePath(integration::PathChange::kRemove, s.install_folder, s.settings.AddToPathSubfolder);
  RunUninstallBatch(s.settings.UninstallBatch2, flags::kFlagHideUninstallBatch2, L"UninstallBatch2");
  s.key.CloseAll();
  RegistryKey parent;
  if (parent.OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot, reg_open::kOpenOnly, KEY_ALL_ACCESS | reg_view::k32Bit) !=
      reg_opened::kFailed)
    parent.DeleteSubkey(s.name, reg_view::k32Bit);
}

// Step 31.
void CloseUpStep() {
  UninstallRunState& s = State();
  s.key.CloseAll();
  const std::wstring programs = s.settings.ShortcutMode == 1 ? AllUsersProgramsFolder() : ProgramsFolder();
  if (!programs.empty()) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, programs.c_str(), nullptr);
  engine::SetProgress(100);
  engine::RestoreFsRedirection();
}

// ---------------------------------------------------------------------------------------------
// End

void RestartWindows() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    UniqueKernelHandle owned(token);
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid))
      AdjustTokenPrivileges(owned.get(), FALSE, &tp, 0, nullptr, nullptr);
  }
  // Planned application installation.
  ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0x80040002);
}

void StartLaunchAfter() {
  const std::wstring& command = RunFlags().launch_after;
  if (command.empty()) return;
  std::wstring line = command;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  }
}

// Steps 32-33.
int EndOfRun() {
  const std::wstring& failures = engine::FailureText();
  if (!failures.empty()) {
    engine::LogWide(failures);
    if (!Automatic())
      engine::ShowMessage(TextWith(text::kUninstallFailures, failures), Text(text::kQuestionCaption),
                          MB_OK | MB_ICONWARNING);
    return uninstall_exit::kRemovedWithFailures;
  }
  if (!Automatic() && (RunFlags().ProductFlags2 & flags::kFlags2UninstallCompletionMessage))
    engine::ShowMessage(Text(text::kUninstallComplete), Text(text::kUninstallCompleteCaption),
                        MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
  if (Flag(flags::kFlagUninstallRestarts)) {
    bool agreed = Automatic() || engine::ShowMessage(Text(text::kUninstallRestartQuestion),
                                                     Text(text::kQuestionCaption),
                                                     MB_YESNO | MB_ICONQUESTION) == IDYES;
    if (agreed) {
      if (RestartHandler())
        RestartHandler()();
      else
        RestartWindows();
    }
  }
  StartLaunchAfter();
  return uninstall_exit::kRemoved;
}

}  // namespace

int RunUninstall(const std::wstring& name) {
  UninstallRunState& s = State();
  s.name = name;
  engine::StartRunningLog();
  // Start: 1-2. The uninstall key.  3-5. Its values.  6. "Uninstall.dat".
  if (int code = OpenUninstallKey()) return code;
  if (int code = ReadUninstallKey()) return code;
  ui::SetLook(ui::LookFromUninstallSettings(s.settings));  // the boxes take the product's look
  if (int code = LoadUninstallDataStep()) return code;
  // Questions: 7. First close pass.  8. Confirmation.  9. Support offer.  10. Second close pass.
  CloseProgramsFirstPass();
  if (!Confirmed()) return uninstall_exit::kCancelled;
  if (SupportTaken()) return uninstall_exit::kCancelled;
  if (!CloseProgramsSecondPass()) return uninstall_exit::kCancelled;
  // 11. The progress page.
  engine::SetProgress(0);
  // Removal: 12. Uninstall batch 1.
  RunUninstallBatch(s.settings.UninstallBatch1, flags::kFlagHideUninstallBatch1, L"UninstallBatch1");
  // 13. Associations.  14. Fonts.  15. The install log.  16. Shared files.  17. Taskbar pins.
  RemoveAssociationsStep();
  RemoveFontsStep();
  RemoveInstallLogStep();
  ReleaseSharedFilesStep();
  UnpinFromTaskbarStep();
  // 18. Installer packages.  19. Files and registry records.  20. Pending renames.  21. Folders.
  RemovePackagesStep();
  RemoveRecordsStep();
  CleanPendingRenamesStep();
  RemoveFoldersStep();
  // 22. The rewritten "Uninstall.dat".  23. The Start-menu folder.  24-25. Registry.
  RewriteUninstallDataStep();
  RemoveStartMenuFolderStep();
  RemoveRegistryStep();
  // 26. Firewall.  27. Driver packages.  28. The installation folder (bit 10).  29. Shared folder.
  RemoveFirewallStep();
  RemoveDriversStep();
  RemoveInstallFolderTreeStep();
  RemoveSharedFolderStep();
  // 30. On success: "Uninstall.dat", the PATH entry, uninstall batch 2, the uninstall key.
  RemoveRegistrationStep();
  // 31. Close up.  End: 32-33.
  CloseUpStep();
  return EndOfRun();
}

void FinishSuccessfulUninstall() {
  const UninstallRunState& s = State();
  engine::QueueUninstallNotification(W(s.settings.NotifyURL));
  StartSelfDeletion(s.install_folder, s.settings.UninstallSubdir);
}

void SetRestartHandler(std::function<void()> handler) { RestartHandler() = std::move(handler); }

}  // namespace halberd::uninstall
