// Shortcuts and taskbar pins: shell link files written through the shell's link object on the
// desktop, in the Start menu and elsewhere, recorded for removal; pins undone by the uninstaller.
#pragma once
#include <string>

namespace halberd::integration {

// Windows only. The install run's step: shortcuts, then the taskbar pin.
void CreateShortcuts();
// Windows only. Removes the taskbar pin of one pinned shortcut file (a body line of the uninstall
// data under "...\User Pinned\...").
void UnpinFromTaskbar(const std::wstring& pinned_shortcut);

}  // namespace halberd::integration
