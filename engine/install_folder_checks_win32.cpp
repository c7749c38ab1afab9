#include "engine/install_folder_checks.h"

#include <windows.h>

#include "engine/default_install_folder.h"
#include "engine/earlier_installation.h"
#include "engine/exit_routine.h"
#include "engine/install_folder_page.h"
#include "engine/installation_data.h"
#include "engine/language_texts.h"
#include "engine/message_text.h"
#include "engine/messages.h"
#include "engine/policy_messages.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// A chosen folder expanded once with the run's path variables ("%ProgramFiles%\Acme" from /d:).
std::wstring ExpandChosen(const std::wstring& folder) {
  return ToWide(ExpandChosenFolder(ToU16(folder), [](std::u16string& text) {
    std::wstring wide = ToWide(text);
    variables::ExpandPathVariables(wide);
    text = ToU16(wide);
  }));
}

std::wstring RootOf(std::u16string_view drive) { return ToWide(drive) + L"\\"; }

DriveFacts SystemDriveFacts() {
  DriveFacts facts;
  facts.available = [](std::u16string_view drive) {
    UINT type = GetDriveTypeW(RootOf(drive).c_str());
    return type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
  };
  facts.network = [](std::u16string_view drive) { return GetDriveTypeW(RootOf(drive).c_str()) == DRIVE_REMOTE; };
  facts.read_only = [](std::u16string_view drive) {
    DWORD flags = 0;
    if (!GetVolumeInformationW(RootOf(drive).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
    return (flags & FILE_READ_ONLY_VOLUME) != 0;
  };
  facts.removable = [](std::u16string_view drive) {
    UINT type = GetDriveTypeW(RootOf(drive).c_str());
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM || type == DRIVE_RAMDISK;
  };
  return facts;
}

FolderRules RunFolderRules() {
  const RunState& run = Run();
  FolderRules rules;
  for (const std::wstring& f : {AllUsersDesktopFolder(), DesktopFolder(), AllUsersStartMenuFolder(), StartMenuFolder(),
                                ProfilesFolder()})
    rules.special_folders.push_back(ToU16(f));
  rules.program_files_32 = ToU16(ProgramFiles32Folder());
  rules.program_files_64 = Is64BitWindows() ? ToU16(ProgramFiles64Folder()) : std::u16string();
  rules.refuse_network = run.ProductFlags & format::kFlagRefuseNetworkFolder;
  rules.refuse_removable = run.ProductFlags & format::kFlagRefuseRemovableDrive;
  rules.ascii_only = run.ProductFlags2 & format::kFlags2AsciiFolderOnly;
  return rules;
}

std::wstring AmountText(uint64_t bytes) {
  wchar_t text[64];
  if (bytes >= 1024 * 1024) swprintf(text, 64, L"%.1f MB", double(bytes) / (1024.0 * 1024.0));
  else swprintf(text, 64, L"%.1f KB", double(bytes) / 1024.0);
  return text;
}

// Check 10: enough free space, asked only for a new installation outside automatic mode. False
// when the user answers No.
bool EnoughSpaceOrAgreed(const std::wstring& folder) {
  const RunState& run = Run();
  if (run.automatic || run.install_type != L"New") return true;
  ULARGE_INTEGER free_bytes{};
  std::wstring probe = folder;
  while (!probe.empty() && !GetDiskFreeSpaceExW(probe.c_str(), &free_bytes, nullptr, nullptr)) {
    std::u16string parent = ParentFolder(ToU16(probe));
    if (parent.empty() || ToWide(parent) == probe) return true;  // no drive to ask: the write test decides
    probe = ToWide(parent);
  }
  uint64_t needed = DiskSpaceNeededFor(Installation(), folder, Script().settings.ExtraDiskSpace());
  if (free_bytes.QuadPart >= needed) return true;
  std::wstring text = ToWide(FillInText(LanguageText16(text::kDiskSpaceQuestion), {ToU16(AmountText(needed)), ToU16(AmountText(free_bytes.QuadPart))}));
  return ShowMessage(text, LanguageText(text::kQuestionCaption), MB_YESNO | MB_ICONWARNING) == IDYES;
}

// Check 11: the confirmation of the folder (ProductFlags bit 31). False: choose again.
bool FolderConfirmed(const std::wstring& folder) {
  if (!(Run().ProductFlags & format::kFlagConfirmFolder)) return true;
  std::wstring text = ToWide(FillInText(LanguageText16(FolderExists(folder) ? text::kConfirmExistingFolder : text::kConfirmNewFolder), {ToU16(folder)}));
  // The buttons are "OK" and text 117 (choose again).
  return ShowMessage(text, LanguageText(text::kFolderPageTitle), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

// Check 12: the folder exists (created when missing) and takes a file. The message of a failure,
// empty when the folder can be used.
std::wstring PrepareFolder(const std::wstring& folder) {
  if (!FolderExists(folder) && !CreateFolderTree(folder)) {
    DWORD error = GetLastError();
    return LanguageText(text::kFolderNotCreated) + L"\r\n" + folder + L"\r\n\r\n" + SystemErrorText(error);
  }
  FileW probe;
  if (probe.Open(folder, open_mode::kPathNewTempFileInFolder) != 0)
    return ToWide(FillInText(LanguageText16(text::kFolderNotWritable), {ToU16(folder)}));
  probe.CloseAndDelete(0);
  return {};
}

// The folder page with the checks, until a folder passes them all.
std::wstring ChooseFolder(std::wstring folder) {
  const FolderRules rules = RunFolderRules();
  const DriveFacts drives = SystemDriveFacts();
  auto text = [](int n) { return LanguageText16(n); };
  for (bool shown_before = false;; shown_before = true) {
    if (!ShowInstallFolderPage(folder, shown_before)) CancelRun(exit_code::kCancelled);
    // A refused folder comes back to the page as the user typed it.
    const std::wstring typed = folder;
    // The checks see the folder the run would use.
    folder = ExpandChosen(folder);
    FolderCheckResult check = CheckInstallFolder(ToU16(folder), rules, drives, text);
    folder = ToWide(check.folder);
    if (check.check == FolderCheck::kEmpty) continue;
    if (check.check != FolderCheck::kPassed) {
      LogWide(ToWide(check.message) + L"\r\n");
      ShowMessage(ToWide(check.message), ErrorCaption(), MB_OK | MB_ICONERROR);
      folder = typed;
      continue;
    }
    if (!EnoughSpaceOrAgreed(folder) || !FolderConfirmed(folder)) continue;
    std::wstring problem = PrepareFolder(folder);
    if (!problem.empty()) {
      LogWide(problem + L"\r\n");
      ShowMessage(problem, ErrorCaption(), MB_OK | MB_ICONERROR);
      continue;
    }
    return folder;
  }
}

// A folder named by a registry value (the script's folder begins with "HKLM\" or "HKCU\").
std::wstring FolderFromRegistry(const std::wstring& location) {
  std::wstring folder = ReadRegistryLocationText(ToU16(location));
  if (folder.empty()) {
    std::wstring text = L"Failed to obtain installation path from \"" + location + L"\"";
    Refuse(text, exit_code::kMasterProduct);
  }
  variables::ExpandPathVariables(folder);
  if (!FolderExists(folder)) {
    std::wstring text = L"Installation path \"" + folder + L"\" obtained from \"" + location + L"\" does not exist.";
    LogWide(text + L"\r\n");
    if (!Run().automatic && !Run().silent) ShowMessage(text, LanguageText(text::kQuestionCaption), MB_OK | MB_ICONWARNING);
  }
  return folder;
}

}  // namespace

void SettleInstallFolder() {
  RunState& run = Run();
  const EarlierInstallation& earlier = Earlier();
  std::wstring folder = run.install_folder;
  if (!IsRegistryLocation(ToU16(folder)) && earlier.present) {
    folder = ToWide(earlier.folder);
  } else if (IsRegistryLocation(ToU16(folder))) {
    folder = FolderFromRegistry(folder);
  } else if (!run.automatic && (run.ProductFlags & format::kFlagAskFolder)) {
    folder = ChooseFolder(folder);
  } else {
    folder = ExpandChosen(folder);
  }
  run.install_folder = ToWide(WithoutTrailingBackslash(ToU16(folder)));
}

}  // namespace halberd::engine
