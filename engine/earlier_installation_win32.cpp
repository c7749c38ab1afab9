#include "engine/earlier_installation.h"

#include <windows.h>

#include "engine/exit_routine.h"
#include "engine/language_texts.h"
#include "engine/message_text.h"
#include "engine/messages.h"
#include "engine/policy_messages.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/program_command.h"
#include "foundation/program_start.h"
#include "foundation/system_error_text.h"
#include "foundation/text_convert.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"
#include "uninstall/run_uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr size_t kMaxInstallLocation = 4096;

EarlierInstallation& Found() {
  static EarlierInstallation earlier;
  return earlier;
}

std::wstring ProductUninstallKey() { return kUninstallRoot + ToWide(Settings().uninstall_key_name); }

bool OpenProductUninstallKey(RegistryKey& key) {
  return key.OpenKey(RegistryRoot::kLocalMachine, ProductUninstallKey(), reg_open::kOpenOnly,
                     KEY_READ | reg_view::k32Bit) != reg_opened::kFailed;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
  DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::wstring out(needed, L'\0');
  DWORD got = ExpandEnvironmentStringsW(text.c_str(), out.data(), needed);
  if (got == 0 || got > needed) return text;
  out.resize(got - 1);
  return out;
}

}  // namespace

std::wstring ReadRegistryLocationText(std::u16string_view location_text) {
  std::optional<RegistryValueLocation> location = ParseRegistryLocation(location_text);
  if (!location) return {};
  RegistryKey key;
  if (key.OpenKey(location->current_user ? RegistryRoot::kCurrentUser : RegistryRoot::kLocalMachine,
                  ToWide(location->key), reg_open::kOpenOnly, KEY_READ) == reg_opened::kFailed)
    return {};
  return key.ReadText(ToWide(location->value));
}

namespace {

// Starts the earlier uninstaller; this installer ends with 10 once it runs. A command that cannot
// be started ends the run with the step's code, with the reason in the log and the failure text.
[[noreturn]] void StartEarlierUninstaller(const std::wstring& uninstall_command, int step_code) {
  const RunState& run = Run();
  std::wstring command = ToWide(EarlierUninstallerCommand(ToU16(uninstall_command), ToU16(GetCommandLineW()),
                                                           run.silent, run.automatic));
  LogWide(L"Starting the earlier uninstaller: " + command + L"\r\n");
  // The uninstaller is started by the full path its command names; a command that names no full
  // path is not searched for.
  std::optional<std::u16string> program = ProgramOfCommand(ToU16(command));
  if (!program) SetLastError(ERROR_BAD_PATHNAME);
  if (!program || !StartProgram(ToWide(*program), command)) {
    DWORD error = GetLastError();
    std::wstring reason = L"The earlier uninstaller could not be started: " + command + L"\r\nCode " +
                          std::to_wstring(error) + L": " + SystemErrorText(error) + L"\r\n";
    LogWide(reason);
    AppendFailureText(reason);
    ShowErrorMessage(reason);
    ExitRun(step_code);
  }
  ExitRun(exit_code::kEarlierUninstallerStarted);
}

// The earlier-uninstaller procedure of the uninstall-first and downgrade steps.
[[noreturn]] void RemoveEarlierVersionFirst(const std::wstring& message, int step_code) {
  const RunState& run = Run();
  std::wstring command;
  RegistryKey key;
  if (OpenProductUninstallKey(key)) {
    command = key.ReadText(L"QuietUninstallString");
    if (command.empty()) command = key.ReadText(L"UninstallString");
  }
  switch (DecideEarlierUninstaller(run.automatic || run.silent, !command.empty())) {
    case EarlierUninstallerAction::kStart:
      StartEarlierUninstaller(command, step_code);
    case EarlierUninstallerAction::kAskThenStart: {
      int answer = ShowMessage(message, ErrorCaption(), MB_OKCANCEL | MB_ICONEXCLAMATION);
      if (answer != IDOK) CancelRun(step_code);
      StartEarlierUninstaller(command, step_code);
    }
    case EarlierUninstallerAction::kRefuse:
      Refuse(message, step_code);
    case EarlierUninstallerAction::kRefuseNoCommand: {
      // Nothing may be started in place of the missing command: the run ends with the reason.
      std::wstring reason = message + L"\r\nNo uninstall command is registered under \"HKEY_LOCAL_MACHINE\\" +
                            ProductUninstallKey() + L"\", so the earlier version cannot be removed automatically.\r\n";
      AppendFailureText(reason);
      Refuse(reason, step_code);
    }
  }
  ExitRun(step_code);
}

}  // namespace

const EarlierInstallation& Earlier() { return Found(); }

void FindEarlierInstallation() {
  if (!(Run().ProductFlags & format::kFlagUninstaller)) return;
  EarlierInstallation& e = Found();
  RegistryKey key;
  if (OpenProductUninstallKey(key)) {
    std::wstring location = key.ReadText(L"InstallLocation");
    if (location.size() > kMaxInstallLocation) location.resize(kMaxInstallLocation);
    e.folder = ToU16(location);
    e.version = ToU16(key.ReadText(L"DisplayVersion"));
    e.shared_files = ToU16(key.ReadText(L"SharedFiles"));
    e.start_menu = ToU16(key.ReadText(L"ProductStartMenu"));
    e.no_downgrade_below = ToU16(key.ReadText(L"NoDowngradeBelow"));
  }
  const std::u16string& registry_location = Script().earlier_install_location;
  if (e.folder.empty() && !registry_location.empty()) {
    e.folder = ToU16(ExpandEnvironment(ReadRegistryLocationText(registry_location)));
    if ((Run().ProductFlags2 & format::kFlags2RecordEarlierLocation) && IsRegistryLocation(registry_location))
      uninstall::RecordRemoval(L"\\" + ToWide(registry_location), uninstall::RemovalKind::kRegistryValue);
  }
  while (e.folder.size() > 3 && e.folder.back() == u'\\') e.folder.pop_back();
  e.present = !e.folder.empty() && FolderExists(ToWide(e.folder));
  if (e.present) Run().overwriting_version = ToWide(e.version);
  // Known from here on, so that the wizard's texts and every batch see them.
  EarlierInstallationValues values =
      ValuesOfEarlierInstallation(e, Run().ProductFlags & format::kFlagCompareVersions, Settings().DisplayVersion);
  Run().install_type = ToWide(InstallTypeName(values.type));
  Run().earlier_install_location = ToWide(values.folder);
  variables::PathVariableRun().existing = values.existing;
  variables::PathVariableRun().old_version = values.old_version;
}

void ApplyVersionPolicy() {
  const EarlierInstallation& e = Found();
  const RunState& run = Run();
  const format::SetupScript& script = Script();
  bool folder_from_registry = IsRegistryLocation(ToU16(run.install_folder));
  // The policy applies to an earlier installation that gives this run its folder.
  if (!e.present || folder_from_registry) return;
  // 12. Uninstall first.
  if (MustUninstallFirst(run.ProductFlags & format::kFlagUninstallFirst, e, folder_from_registry,
                         script.upgrade_minimum_version))
    RemoveEarlierVersionFirst(LanguageText(text::kUninstallFirst), exit_code::kUninstallFirst);
  // 13. NoDowngradeBelow of the earlier installation.
  if (IsDowngradeRefused(e.no_downgrade_below, Settings().DisplayVersion))
    RemoveEarlierVersionFirst(ToWide(FillInText(LanguageText16(text::kDowngradeRefused), {e.no_downgrade_below})), exit_code::kNoDowngrade);
  // 14. Install type.
  InstallTypeResult type = ClassifyInstall(e.present, run.ProductFlags & format::kFlagCompareVersions,
                                           Settings().DisplayVersion, e.version);
  Run().install_type = ToWide(InstallTypeName(type.type));
  if (type.type != kInstallNew && !run.automatic && !run.silent &&
      !(run.ProductFlags & format::kFlagNoInstallTypeConfirmation)) {
    std::wstring text = LanguageText(type.text) + L"\r\n" + ToWide(e.folder) + L"\r\n\r\n" + LanguageText(text::kContinueQuestion);
    // The buttons are text 90 (go on) and text 49 (cancel).
    if (ShowMessage(text, LanguageText(text::kEarlierInstallationCaption), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) CancelRun(exit_code::kCancelled);
  }
  // 15. Over-installation question.
  if (AsksOverInstall(run.ProductFlags & format::kFlagAskOverInstall, e.version,
                      Utf8ToUtf16(script.upgrade_confirm_minimum)) &&
      !run.automatic && !run.silent) {
    if (ShowMessage(LanguageText(text::kOverInstallQuestion), LanguageText(text::kQuestionCaption), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) CancelRunQuietly();
  }
}

}  // namespace halberd::engine
