// The install run: one thread of control through the phases, each owned by its step. Phases
// whose steps do not exist yet are kept in place as empty steps, so the order is visible here.
#include <windows.h>

#include "engine/blocking_query.h"
#include "engine/corrupt_installer.h"
#include "engine/default_install_folder.h"
#include "engine/earlier_installation.h"
#include "engine/exit_routine.h"
#include "engine/install_run.h"
#include "engine/install_folder_checks.h"
#include "engine/install_log.h"
#include "engine/installation_data.h"
#include "engine/language_texts.h"
#include "engine/notifications.h"
#include "engine/opening_sound.h"
#include "engine/platform_checks.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/restore_point.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/running_programs.h"
#include "engine/setup_script_state.h"
#include "engine/start_menu_folder.h"
#include "engine/wizard.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/setup_script.h"
#include "foundation/format/text_numbers.h"
#include "foundation/windows_version.h"
#include "install/component_steps.h"
#include "install/file_extraction.h"
#include "integration/associations.h"
#include "integration/closing_phase.h"
#include "integration/firewall.h"
#include "integration/registry_entries.h"
#include "integration/shortcuts.h"
#include "install/restart_operations.h"
#include "uninstall/run_uninstall_data.h"
#include "ui/background_window_win32.h"
#include "ui/look_win32.h"
#include "variables/batch_runner.h"

namespace halberd::engine {

namespace {

// ProductFlags bit 2: the product gets an uninstaller, its registration and "Uninstall.dat".

// Phases 2 and 3: the setup script, the product settings, the lists and the language table.
void ReadSetupScript(const InstallationData& data) {
  format::SetupScript& script = Script();
  format::Bytes bytes = UnpackSetupScript(data);
  format::ByteReader reader(bytes);
  int head_code = format::ReadScriptHead(reader, Run().silent, script);
  CheckSetupScriptCrc(data, bytes);
  if (head_code) CorruptInstaller(head_code);
  script.ProductFlags2 = data.header.flags2;
  int code = format::ReadScriptBody(reader, script);
  if (code) CorruptInstaller(code);
  ApplyScriptToRun(script);
  if (Settings().DisplayName.empty()) CorruptInstaller(kCorruptNoProductName);
  ApplyBitness(Settings().Bitness);
  LoadLanguageTable(script.languages, RunLanguageTokens(script), script.dialog_caption);
}

// The product's look, and the background window unless the script (or silent mode, through
// ProductFlags bit 29) switches it off. It needs the colours and pictures of the script's body
// and text 0 of the language, so it follows them.
void ShowBackground() {
  ui::BindOptionalSystemFunctions();
  ui::SetLook(ui::LookFromScript(Script()));
  ui::CreateBackgroundWindow(LanguageText(text::kWindowTitle).c_str(), Run().minimized);
}

}  // namespace

void InstallRun() {
  // 1. Installation data: the section, its header and the file-size table.
  InstallationData& data = OpenInstallationData();
  // 2-3. Setup script and language table.
  ReadSetupScript(data);
  ShowBackground();
  PrepareWizard();
  SetDefaultInstallFolder();
  const format::SetupScript& script = Script();
  // 4. Blocking query, integrity of the program file, the uninstaller image.
  RunBlockingQuery();
  CheckProgramIntegrity(data, script.settings.integrity_mode);
  PrepareUninstallerImage(data);
  // 5. Language page.  6. Platform requirements.
  RunLanguagePage();
  RunPlatformChecks();
  // 7. Earlier installation, opening sound, greeting, password, licence and readme pages.
  FindEarlierInstallation();
  PlayOpeningSound();
  RunGreetingPage();
  RunPasswordPage();
  RunDocumentPages();
  // 8. Closing of running programs.
  CloseRunningPrograms();
  // 9. Version policy and install type (when the earlier installation gives the folder), the
  // installation folder, the Start-menu folder.
  ApplyVersionPolicy();
  SettleInstallFolder();
  SettleStartMenuFolder();
  OpenProgressPage();
  // Installation starts: the start notification goes out before the running log is opened.
  QueueStartNotification();
  // 10. The running log starts with the installation; the administrator-rights warning, the
  // restore point.
  StartRunningLog();
  if (!HasAdminRights()) LogUtf8("Warning: the installer does not have admin rights.\r\n\r\n");
  BeginRestorePoint();
  // 11. Uninstall and shared folders, batches before installation.
  install::PrepareFileExtraction();
  // 12. File extraction: the archive is unpacked into the extraction file first.
  std::wstring extraction = UnpackArchive(data, script.archive_source, (Run().ProductFlags & format::kFlagXzChunks) != 0);
  install::ExtractFiles(data, extraction);
  // 13. Shared-file counts, COM servers, type libraries, drivers; the uninstaller's icon.
  install::RegisterComponents();
  integration::WriteUninstallerIcon();
  // 14. Shortcuts and taskbar pins.
  integration::CreateShortcuts();
  // 15. Registry entries, merge file, App Paths.
  integration::WriteRegistryEntries();
  // 16. File associations.
  integration::MakeAssociations();
  // 17. Firewall exceptions.
  integration::AddFirewallExceptions();
  // 18. The closing phase: background image, readme and EULA copies, PATH, the uninstaller and
  // its registration, "reboot.dat" (lasting until the restart), the uninstall data.
  SetProgress(98);
  integration::SaveBackgroundImage();
  integration::SaveDocumentCopies();
  integration::AddPathEntry();
  SetProgress(99);
  integration::CreateUninstallerAndRegistration();
  install::WriteRestartMarker();
  SetProgress(100);
  if (Run().ProductFlags & format::kFlagUninstaller) uninstall::WriteUninstallData();
  // 19. Post-Installation batch, completion notification, the shell's notice, restore point commit.
  variables::RunPostInstallationBatch();
  QueueCompletionNotification();
  integration::NotifyProgramsFolder();
  CommitRestorePoint();
  // 20. Log and failure summary, summary page, restart question.
  CloseProgressPage();
  WriteLogAndOutcome(true);
  AskRestart();
  // 21. Installation-Exit batch, empty folders, restart or launches, exit.
  variables::RunInstallationExitBatch();
  integration::RemoveEmptyFolders();
  integration::EndInstallRun();
}

}  // namespace halberd::engine
