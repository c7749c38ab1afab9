// Messages to the user. Until the product's own message box and wizard exist, every run behaves
// as a silent run: nothing is shown. The text that would have been shown goes to the log and,
// when the caller gave the process a standard error handle (a script or a deployment tool that
// captures output), to that handle, so a caller can read why a run ended.
#pragma once
#include <windows.h>

#include <string>

namespace halberd::engine {

// Returns the answer: the default button's result when nothing is shown.
int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags);

// Caption of error boxes: text 21 of the language table, or "Error".
std::wstring ErrorCaption();

}  // namespace halberd::engine
