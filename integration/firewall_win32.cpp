#include "integration/firewall.h"

namespace halberd::integration {

void AddFirewallExceptions() {}
void RemoveFirewallExceptions(const std::vector<std::string>&, const std::wstring&) {}

}  // namespace halberd::integration
