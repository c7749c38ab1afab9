// The install run's second steps for the files that need one: fonts, installer packages and
// control-panel applets right after their file is written; after the file loop the shared-file
// counts, the COM servers, the type libraries and the driver information files. What the
// uninstaller needs goes into the run's uninstall data ([INF], [MSI], applet keys) and into the
// two values of the uninstall registration given here. Windows only (component_steps_win32.cpp).
#pragma once
#include <string>

#include "install/installed_files.h"

namespace halberd::install {

// Kind 4: the font's value under the fonts key and its resource in the running system.
void InstallFont(const std::wstring& path, const std::u16string& display_name);

// Kind 11: the package installed through the Windows Installer library of the system folder.
void InstallPackage(const PackageRequest& package);

// Kind 12: the applet's class keys and its Control Panel name-space key. A missing name or class
// identifier ends the run (corrupt installer 78, 79).
void RegisterApplet(const AppletRequest& applet);

// After the file loop (progress 92 to 95): the font-change notice, the shared-file counts, the
// COM servers, the type libraries, the driver information files.
void RegisterComponents();

// The uninstall registration's `SharedFiles` and `ProductFonts`, as 8-bit texts in the system
// code page turned wide (the registration writes them back through the 8-bit API).
std::u16string SharedFilesForRegistration();
std::u16string ProductFontsForRegistration();

}  // namespace halberd::install
