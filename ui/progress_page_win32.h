// The progress page: a modeless page with the heading, a standard progress bar, the status line
// and Cancel. It lives on a thread of its own, so that it repaints and answers while the engine's
// thread writes files; the engine posts status and position to it and learns of a confirmed
// Cancel at its next update.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace halberd::ui {

struct ProgressOptions {
  int32_t style = 2;
  bool uninstalling = false;
  bool cancel_allowed = true;
  uint32_t placement = 0;     // the script's placement bits
  bool full_screen = false;   // the background covers the whole screen
};

// Opens the page; false when it could not be created (the run goes on without it).
bool OpenProgressPage(const ProgressOptions& options);
// The page's window, or nullptr.
HWND ProgressPageWindow();
void SetProgressStatus(const std::wstring& text);
void SetProgressPosition(int percent);
// Whether the user pressed Cancel and answered Yes.
bool ProgressCancelConfirmed();
// Destroys the page and ends its thread.
void CloseProgressPage();

}  // namespace halberd::ui
