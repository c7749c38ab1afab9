// The background window behind the wizard: a caption-less popup over the work area (or the whole
// screen) painted with the look's gradient, picture, title and copyright line; its caption is the
// text of the taskbar button, and it owns the pages and message boxes.
#pragma once
#include <windows.h>

namespace halberd::ui {

inline constexpr wchar_t kBackgroundWindowClass[] = L"SEA Window Class";

// Creates the window from the current look unless the look switches it off; `title` is the
// title shown when the look's is blank (text 0 of the language). Returns it, or nullptr.
HWND CreateBackgroundWindow(const wchar_t* title, bool minimized);
// The language changed: the title shown when the look's is blank.
void SetBackgroundTitle(const wchar_t* title);
// The background window of this run, or nullptr.
HWND BackgroundWindow();
// Minimises and destroys it at the end of the run.
void CloseBackgroundWindow();

}  // namespace halberd::ui
