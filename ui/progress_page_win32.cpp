// The progress page on its own thread (see the header).
#include "ui/progress_page_win32.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>

#include "foundation/format/text_numbers.h"
#include "foundation/message_pump.h"
#include "foundation/tl_file.h"
#include "ui/background_window_win32.h"
#include "ui/page_runner_win32.h"
#include "ui/wizard_layout.h"

namespace halberd::ui {

namespace {

constexpr UINT kStatusChanged = WM_APP + 1;
constexpr UINT kClose = WM_APP + 2;

struct ProgressPage {
  ProgressOptions options;
  PageState state;
  HWND window = nullptr;
  HFONT heading_font = nullptr;
  std::mutex lock;
  std::wstring status;  // the latest status text, taken by the page's thread
  std::atomic<bool> cancel_confirmed{false};
  UniqueHandle<KernelHandleTraits> ready;
  UniqueHandle<KernelHandleTraits> thread;
};

ProgressPage* g_page = nullptr;

void EnlargeHeading(HWND page, ProgressPage& p) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
  LOGFONTW face{};
  if (!font || !GetObjectW(font, sizeof face, &face)) return;
  face.lfHeight = LONG(face.lfHeight * 1.1);
  p.heading_font = CreateFontIndirectW(&face);
  SendDlgItemMessageW(page, kIdPrompt, WM_SETFONT, WPARAM(p.heading_font), TRUE);
}

void Place(HWND page, const ProgressOptions& options) {
  if (!options.placement) return;
  RECT area;
  if (options.full_screen) area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  else SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT own;
  GetWindowRect(page, &own);
  Point at = PlaceProgress(options.placement, {area.left, area.top, area.right - area.left, area.bottom - area.top},
                           {own.left, own.top}, own.right - own.left, own.bottom - own.top);
  SetWindowPos(page, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR ProgressProc(HWND page, UINT message, WPARAM wparam, LPARAM, PageState& state) {
  auto& p = *static_cast<ProgressPage*>(state.data);
  switch (message) {
    case WM_INITDIALOG:
      SetItemText(page, kIdPrompt, PageText(p.options.uninstalling ? text::kUninstallProgressHeading : text::kProgressHeading));
      if (state.layout == 0 || state.layout == 2) EnlargeHeading(page, p);
      SetItemText(page, kIdBack, PageText(text::kCancel));
      EnableWindow(GetDlgItem(page, kIdBack), p.options.cancel_allowed && !p.options.uninstalling);
      SendDlgItemMessageW(page, kIdProgressBar, PBM_SETRANGE32, 0, 100);
      Place(page, p.options);
      return TRUE;
    case WM_QUERYENDSESSION:
      // No log-off or shutdown in the middle of an installation.
      SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
      return TRUE;
    case kStatusChanged: {
      std::wstring text;
      {
        std::lock_guard<std::mutex> hold(p.lock);
        text = p.status;
      }
      SetItemText(page, kIdStatus, text);
      return TRUE;
    }
    case kClose:
      DestroyWindow(page);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdBack || LOWORD(wparam) == IDCANCEL) {
        if (!IsWindowEnabled(GetDlgItem(page, kIdBack)) || p.cancel_confirmed) return TRUE;
        if (PageMessage(PageText(text::kCancelQuestion), PageText(text::kQuestionCaption), MB_YESNO | MB_ICONQUESTION) == IDYES)
          p.cancel_confirmed = true;
        return TRUE;
      }
      return TRUE;  // no forward button: Enter and IDOK do nothing
  }
  return FALSE;
}

DWORD WINAPI ProgressThread(void* parameter) {
  auto& p = *static_cast<ProgressPage*>(parameter);
  p.state.layout = PageLayout(p.options.style);
  p.state.title_text = p.options.uninstalling ? text::kUninstallCaption : text::kProgressTitle;
  p.state.button_row = {kIdBack};
  p.state.focus_id = kIdBack;
  p.state.centre_buttons = p.state.layout == 0 || p.state.layout == 2;
  p.state.proc = ProgressProc;
  p.state.data = &p;
  std::u16string name = TemplateName(Page::kProgress, p.options.style);
  // Not owned by the background window: a window owned across threads shares the owner's input
  // queue, and every activation would then wait for the engine's thread, busy writing files.
  // Kept above the background window instead.
  HWND page = CreatePage(std::wstring(name.begin(), name.end()), nullptr, p.state);
  p.window = page;
  if (page) {
    if (BackgroundWindow()) SetWindowPos(page, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(page, SW_SHOW);
  }
  SetEvent(p.ready.get());
  if (!page) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(page, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (p.heading_font) DeleteObject(p.heading_font);
  return 0;
}

}  // namespace

bool OpenProgressPage(const ProgressOptions& options) {
  if (g_page) return true;
  auto* p = new ProgressPage;
  p->options = options;
  p->ready.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  p->thread.reset(CreateThread(nullptr, 0, ProgressThread, p, 0, nullptr));
  if (!p->thread || !p->ready) {
    delete p;
    return false;
  }
  WaitForSingleObject(p->ready.get(), INFINITE);
  if (!p->window) {
    WaitForSingleObject(p->thread.get(), INFINITE);
    delete p;
    return false;
  }
  g_page = p;
  SetProgressWindow(p->window);
  return true;
}

HWND ProgressPageWindow() { return g_page ? g_page->window : nullptr; }

void SetProgressStatus(const std::wstring& text) {
  if (!g_page) return;
  {
    std::lock_guard<std::mutex> hold(g_page->lock);
    g_page->status = text;
  }
  PostMessageW(g_page->window, kStatusChanged, 0, 0);
}

void SetProgressPosition(int percent) {
  if (g_page) PostMessageW(GetDlgItem(g_page->window, kIdProgressBar), PBM_SETPOS, WPARAM(percent), 0);
}

bool ProgressCancelConfirmed() { return g_page && g_page->cancel_confirmed; }

void CloseProgressPage() {
  if (!g_page) return;
  SetProgressWindow(nullptr);
  PostMessageW(g_page->window, kClose, 0, 0);
  // While its window goes, the page's thread sends messages to this thread's windows (its
  // neighbour the background window among them): they are answered while it is waited for, or
  // both threads would stand still until the wait ran out. A page whose thread hangs must not
  // hold the run: the wait is bounded.
  const DWORD start = GetTickCount();
  HANDLE thread = g_page->thread.get();
  for (DWORD waited = 0; waited < 5000; waited = GetTickCount() - start) {
    if (MsgWaitForMultipleObjects(1, &thread, FALSE, 5000 - waited, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) break;
    PumpPendingMessages();
  }
  g_page = nullptr;  // kept alive if its thread still runs; the process ends soon after
}

}  // namespace halberd::ui
