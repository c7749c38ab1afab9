// How the checks before installing tell the user and end the run. Error messages follow the run's rules: nothing is shown in silent mode, and in automatic
// mode only when ProductFlags bit 35 asks for errors. A refusal also goes to the running log, so
// the install log of a later run or a caller reading the log can see why the run ended.
#pragma once
#include <cstdint>
#include <string>

namespace halberd::engine {

// Whether an error message is shown in this run (Windows only, as the functions below).
bool ErrorMessagesShown();
// Shows an error message under the rules above (caption text 21, error icon).
void ShowErrorMessage(const std::wstring& text);
// Logs the text, shows it under the rules above and ends the run with `code`.
[[noreturn]] void Refuse(const std::wstring& text, int code);

}  // namespace halberd::engine
