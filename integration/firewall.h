// Firewall exceptions of the product: open ports and authorised programs, added by the install run
// after the file associations and removed by the uninstaller from the [Firewall] lines.
#pragma once
#include <string>
#include <vector>

namespace halberd::integration {

// Windows only. The install run's step: adds the exceptions of the setup script's firewall list
// and records those to remove in the uninstall data.
void AddFirewallExceptions();
// Windows only. Undoes the recorded lines (target;name;flags;keep); when the firewall service
// cannot be reached, nothing is done and nothing is said.
void RemoveFirewallExceptions(const std::vector<std::string>& lines, const std::wstring& install_folder);

}  // namespace halberd::integration
