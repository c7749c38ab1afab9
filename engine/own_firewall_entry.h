// The installer's own entry among the Windows Firewall's authorised applications, so that the
// answers to its notifications are not blocked. It lives from the first notification to the exit.
#pragma once

namespace halberd::engine {

// Adds the running program file under the name "Halberd Setup Installer" through the firewall
// manager. Returns true when the entry was added; only then is it removed again.
bool AuthorizeOwnProgram();
// Removes the entry AuthorizeOwnProgram added (nothing when it added none). Failures are ignored.
void RemoveOwnProgramAuthorization();

}  // namespace halberd::engine
