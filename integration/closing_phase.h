// The closing phase of an install run, as the steps the run calls in their order: the
// uninstaller icon (earlier, after the registrations), the background image copy, the readme and
// EULA copies, the PATH entry, the uninstaller with the uninstall registration, the shell's
// notice of the Programs folder, the removal of folders left empty, and the end of the run
// (restart, or the launch-after program and the documents and program of the product, and the
// exit code). Windows only (closing_phase_win32.cpp, end_of_run_win32.cpp).
#pragma once

namespace halberd::integration {

// With ProductFlags bit 2: "uninstall.ico" in the uninstall folder, from the uninstaller icon.
void WriteUninstallerIcon();
// With ProductFlags bit 15: "Installer Background.bmp" in the uninstall folder.
void SaveBackgroundImage();
// With ProductFlags bits 46 and 47: the readme and EULA copies in the installation folder.
void SaveDocumentCopies();
// With ProductFlags bit 12: the product's folder in the PATH.
void AddPathEntry();
// With ProductFlags bit 2: "product.ico", the uninstaller (from the uninstaller image or as a
// copy of this installer, replaced at restart when the old one is in use) and the Uninstall key.
void CreateUninstallerAndRegistration();
// The Start menu's Programs folder changed (the all-users one with ShortcutMode 1).
void NotifyProgramsFolder();
// The shared folder, the uninstall folder and the installation folder, each when empty.
void RemoveEmptyFolders();
// Restarts Windows when the restart was agreed; otherwise starts the launch-after program and
// opens or starts what the product names for the end of the run. Then exits with 16, 17 or 0.
[[noreturn]] void EndInstallRun();

// The restart itself: ExitWindowsEx with the shutdown privilege, forced if hung, reason "planned
// application installation". Test programs replace it with a stand-in (nullptr restores it), so
// that no test restarts the machine it runs on; the installer never sets one.
using RestartStandIn = bool (*)();
void SetRestartStandIn(RestartStandIn stand_in);
bool RestartWindows();

}  // namespace halberd::integration
