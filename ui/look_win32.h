// The process-wide look record and what the windows need of the system to show it: the installed
// face of a font list, the system colour for an unset colour, and the optional system functions
// (DPI awareness, themes, desktop composition) bound at run time from the system folder.
#pragma once
#include <windows.h>

#include <string>

#include "ui/look.h"

namespace halberd::ui {

// The look of this process; filled once (SetLook) before the first window is shown.
const Look& CurrentLook();
void SetLook(Look look);
// The gradient could not be drawn: plain fills for the rest of the run.
void SwitchToMonoColour();
// The dialog font list resolved to one installed face; empty when the list is empty.
const std::wstring& DialogFace();

// The first installed face of a comma-separated list; "MS Shell Dlg 2" when none is installed
// and that one is, else "Arial".
std::wstring FirstInstalledFace(const std::u16string& list);
// `colour` when set, otherwise the system colour `system_index` (COLOR_WINDOW, ...).
COLORREF ColourOr(uint32_t colour, int system_index);

// Makes the process DPI-aware per monitor where the system can (SetProcessDpiAwarenessContext,
// else SetProcessDpiAwareness, else SetProcessDPIAware), once, before any window exists.
void BindOptionalSystemFunctions();
// Vertical dots per inch of the screen.
int ScreenDpi();

}  // namespace halberd::ui
