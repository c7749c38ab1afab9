// The common runner of the wizard pages: loads a page template, rebuilds it with the look's font,
// shows it (modally, or modeless for the progress page) and performs the set-up every page
// shares: the greyed close box, the product icon, centring, caption and pictures by layout, the
// button row, the colours, the owner-drawn prompt and buttons, and the first focus.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace halberd::ui {

// What the pages take from the run: the texts of the current language (tokens replaced) and the
// dialog caption, the product's window icon, and whether window creation is allowed at all.
struct PageEnvironment {
  std::wstring (*text)(int number) = nullptr;
  std::wstring (*dialog_caption)() = nullptr;
  int (*message)(const std::wstring& text, const std::wstring& caption, UINT flags) = nullptr;
  HICON icon = nullptr;
  bool windows_allowed = true;
};
void SetPageEnvironment(const PageEnvironment& environment);
std::wstring PageText(int number);
std::wstring DialogCaption();
// A prompt through the run's message box; 0 when the run gave none.
int PageMessage(const std::wstring& text, const std::wstring& caption, UINT flags);

// One page being shown. The page procedure sees every message after the common handling; it
// returns TRUE for a message it handled.
struct PageState;
using PageProc = INT_PTR (*)(HWND page, UINT message, WPARAM wparam, LPARAM lparam, PageState& state);
struct PageState {
  int layout = 2;              // 0-3 (PageLayout of the style)
  int title_text = -1;         // the page title's text number
  std::wstring title;          // or the title itself when there is no number
  bool closable = false;       // the close box stays (Summary)
  bool centre_buttons = false; // Progress in layouts 0 and 2
  std::vector<int> button_row = {1001, 1003};
  int focus_id = 1001;         // the control the page focuses first
  PageProc proc = nullptr;
  void* data = nullptr;        // the page's own values
  int default_id = 0;          // found when the buttons become owner-drawn
  HWND window = nullptr;
};

// The owner of pages and prompts: the progress window while it is open, else the background
// window, else none.
HWND PageOwner();
void SetProgressWindow(HWND window);

// Shows a modal page; the id of the button that ended it, or -1 when the template could not be
// built or no window may be created.
INT_PTR RunPage(const std::wstring& template_name, PageState& state);
// Creates a modeless page (the progress page) owned by `owner`; nullptr on failure.
HWND CreatePage(const std::wstring& template_name, HWND owner, PageState& state);

// Helpers for the page procedures.
void SetItemText(HWND page, int id, const std::wstring& text);
std::wstring ItemText(HWND page, int id);
// Re-lays the button row after the captions changed (the Language page re-translates).
void LayOutButtons(HWND page, PageState& state);
// Sets an edit field's height to 1.3 x the font's character height.
void SetEditHeight(HWND page, int id);
// The page's caption, banner texts and translated standard buttons, set again.
void SetPageCaption(HWND page, PageState& state);
// A caption without its "&" markers.
std::wstring WithoutAmpersands(const std::wstring& text);

}  // namespace halberd::ui
