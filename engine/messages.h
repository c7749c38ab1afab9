// Messages to the user, in the installer's own message box (ui/message_box_win32.h) with the
// product's look and the current language's button captions. Silent runs show none, automatic
// runs only errors and only when ProductFlags bit 35 asks for them; a box not shown gives its
// default button's answer. The text also goes, when the caller gave the process a standard error
// handle (a script or a deployment tool that captures output), to that handle, so a caller can
// read why a run ended.
#pragma once
#include <windows.h>

#include <string>

namespace halberd::engine {

// Returns the id of the pressed button: the default button's when nothing is shown. The flags are
// the system's message-box flags plus the box's own Yes to all (0x8000000, answer 19) and No to all
// (0x10000000, answer 20).
int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags);

// Caption of error boxes: text 21 of the language table, or "Error".
std::wstring ErrorCaption();

}  // namespace halberd::engine
