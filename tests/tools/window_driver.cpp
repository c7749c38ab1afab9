// window_driver.exe COMMAND... : drives the windows of other programs for the tests (and for
// people who want to see the installer without clicking). Commands run in order on a current
// window; every wait polls with a bound and fails the run (exit 3) when the bound passes.
//
//   wait CLASS TITLE [MS]   a visible top-level window of that class ("*": any) whose title
//                           contains TITLE ("*": any); it becomes the current window
//   wait-gone [MS]          the current window no longer exists
//   wait-page ID [MS]       a visible dialog with a visible control of that id (a wizard page:
//                           its caption may be the same on every page); it becomes the current
//   probe MS                until the current window is gone, sends it WM_NULL again and again
//                           and fails (exit 5) when an answer takes longer than MS; prints the
//                           number of probes and the slowest answer
//   list                    the current window (rect, dpi, the work area of its monitor) and
//                           its controls, one line each:
//                           control id=ID class=C text="T" visible=V enabled=E checked=C
//                           focused=F rect=X,Y,W,H fits=1 (the text fits its rectangle)
//   press ID                clicks the control with that id
//   key NAME                ESC, ENTER, TAB, CTRL+C or a letter, as real input to the window
//   type ID TEXT            sets the text of an edit control
//   shot FILE.bmp           saves a picture of the current window as it is on the screen
//   clipboard [MS]          waits for Unicode text on the clipboard and prints it (CTRL+C
//                           empties the clipboard before it sends the keys)
//   answer-all DIR -- PROGRAM ARGS... (the rest of the line, as written)
//                           starts PROGRAM with this console's handles, and while it runs saves
//                           each dialog that any other program shows (DIR\N.bmp with its control
//                           list in DIR\N.txt) and presses its default button (Escape for a
//                           dialog seen unchanged before; a third time stops the program with
//                           exit 6); exits with the program's exit code
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

HWND g_current = nullptr;

struct Match {
  std::wstring cls, title;
  HWND found = nullptr;
};

BOOL CALLBACK FindWindowProc(HWND window, LPARAM param) {
  auto* m = reinterpret_cast<Match*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t cls[256] = {}, title[512] = {};
  GetClassNameW(window, cls, 256);
  GetWindowTextW(window, title, 512);
  if (m->cls != L"*" && m->cls != cls) return TRUE;
  if (m->title != L"*" && std::wstring(title).find(m->title) == std::wstring::npos) return TRUE;
  m->found = window;
  return FALSE;
}

// Waits for a window to be ready for input: its thread answers messages.
void WaitIdle(HWND window) {
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
}

BOOL CALLBACK PrintWindowProc(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t cls[256] = {}, title[512] = {};
  GetClassNameW(window, cls, 256);
  GetWindowTextW(window, title, 512);
  fprintf(stderr, "  visible: class=%ls title=\"%ls\"\n", cls, title);
  return TRUE;
}

struct PageMatch {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK FindPageProc(HWND window, LPARAM param) {
  auto* m = reinterpret_cast<PageMatch*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (!IsWindowVisible(window) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  HWND control = GetDlgItem(window, m->id);
  if (!control || !IsWindowVisible(control)) return TRUE;
  m->found = window;
  return FALSE;
}

bool WaitPage(int id, DWORD ms) {
  DWORD start = GetTickCount();
  do {
    PageMatch m{id};
    EnumWindows(FindPageProc, reinterpret_cast<LPARAM>(&m));
    if (m.found) {
      g_current = m.found;
      WaitIdle(m.found);
      return true;
    }
    Sleep(50);
  } while (GetTickCount() - start < ms);
  return false;
}

bool Wait(const std::wstring& cls, const std::wstring& title, DWORD ms) {
  DWORD start = GetTickCount();
  do {
    Match m{cls, title};
    EnumWindows(FindWindowProc, reinterpret_cast<LPARAM>(&m));
    if (m.found) {
      g_current = m.found;
      WaitIdle(m.found);
      return true;
    }
    Sleep(50);  // a poll step; the bound is `ms`
  } while (GetTickCount() - start < ms);
  return false;
}

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') out += L"\\r";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'"') out += L"\\\"";
    else if (c == L'\\') out += L"\\\\";
    else out += c;
  }
  return out;
}

// Whether the control's text, in the control's font, fits its client rectangle: buttons on one
// line, statics wrapped to the width. Edit fields scroll their text: they always fit.
bool TextFits(HWND control, const wchar_t* cls, const std::wstring& text) {
  if (text.empty() || (lstrcmpiW(cls, L"Button") != 0 && lstrcmpiW(cls, L"Static") != 0)) return true;
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  bool button = lstrcmpiW(cls, L"Button") == 0;
  LONG style = GetWindowLongW(control, GWL_STYLE);
  bool check = button && ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX || (style & BS_TYPEMASK) == BS_CHECKBOX);
  int room = client.right - (check ? GetSystemMetrics(SM_CXMENUCHECK) + 2 : 0);
  RECT need{0, 0, room, 0};
  UINT format = DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  DrawTextW(dc, text.c_str(), int(text.size()), &need, format);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return need.right <= room && need.bottom <= client.bottom;
}

// WM_GETTEXT, not GetWindowText: across processes GetWindowText reads only a caption, and an
// edit control keeps its text itself.
std::wstring TextOf(HWND control) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, length + 1, LPARAM(text.data()), SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<size_t>(copied, length));
  return text;
}

void ListWindow(HWND window, FILE* out) {
  wchar_t cls[256] = {}, title[512] = {};
  GetClassNameW(window, cls, 256);
  GetWindowTextW(window, title, 512);
  RECT r;
  GetWindowRect(window, &r);
  HDC screen = GetDC(window);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(window, screen);
  // The work area of the window's monitor: what a window must keep within.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  fprintf(out, "window class=%s title=\"%s\" rect=%ld,%ld,%ld,%ld dpi=%d work=%ld,%ld,%ld,%ld\n", Utf8(cls).c_str(),
          Utf8(Escaped(title)).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top, dpi, work.left, work.top,
          work.right - work.left, work.bottom - work.top);
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(thread, &gui);
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t ccls[256] = {};
    GetClassNameW(c, ccls, 256);
    const std::wstring text = TextOf(c);
    RECT cr;
    GetWindowRect(c, &cr);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&cr), 2);
    int checked = lstrcmpiW(ccls, L"Button") == 0 ? int(SendMessageW(c, BM_GETCHECK, 0, 0)) : 0;
    fprintf(out, "control id=%d class=%s text=\"%s\" visible=%d enabled=%d checked=%d focused=%d rect=%ld,%ld,%ld,%ld fits=%d\n",
            GetDlgCtrlID(c), Utf8(ccls).c_str(), Utf8(Escaped(text)).c_str(), IsWindowVisible(c) ? 1 : 0,
            IsWindowEnabled(c) ? 1 : 0, checked, gui.hwndFocus == c ? 1 : 0, cr.left, cr.top, cr.right - cr.left,
            cr.bottom - cr.top, TextFits(c, ccls, text) ? 1 : 0);
  }
  fflush(out);
}

bool SaveBitmap(HDC dc, HBITMAP bitmap, int width, int height, const std::wstring& path) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  DWORD stride = ((width * 3 + 3) / 4) * 4;
  std::vector<char> bits(size_t(stride) * height);
  if (!GetDIBits(dc, bitmap, 0, height, bits.data(), reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS)) return false;
  BITMAPFILEHEADER f{};
  f.bfType = 0x4D42;
  f.bfOffBits = sizeof f + sizeof h;
  f.bfSize = DWORD(f.bfOffBits + bits.size());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written;
  bool ok = WriteFile(file, &f, sizeof f, &written, nullptr) && WriteFile(file, &h, sizeof h, &written, nullptr) &&
            WriteFile(file, bits.data(), DWORD(bits.size()), &written, nullptr);
  CloseHandle(file);
  return ok;
}

// The window as it is on the screen, copied from the screen's device context.
bool Shot(HWND window, const std::wstring& path) {
  WaitIdle(window);
  RECT r;
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) != 0;
  SelectObject(memory, old);
  ok = ok && SaveBitmap(memory, bitmap, width, height, path);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

void SendKey(WORD vk, bool ctrl) {
  std::vector<INPUT> in;
  auto add = [&](WORD key, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = key;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  };
  if (ctrl) add(VK_CONTROL, false);
  add(vk, false);
  add(vk, true);
  if (ctrl) add(VK_CONTROL, true);
  SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

bool Key(const std::wstring& name) {
  SetForegroundWindow(g_current);
  if (name == L"ESC") SendKey(VK_ESCAPE, false);
  else if (name == L"ENTER") SendKey(VK_RETURN, false);
  else if (name == L"TAB") SendKey(VK_TAB, false);
  else if (name == L"CTRL+C") {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    SendKey('C', true);
  }
  else if (name.size() == 1) SendKey(WORD(towupper(name[0])), false);
  else return false;
  WaitIdle(g_current);
  return true;
}

bool PrintClipboard() {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return false;
  bool printed = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      printf("clipboard \"%s\"\n", Utf8(Escaped(text)).c_str());
      printed = true;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return printed;
}

// ---- answer-all ---------------------------------------------------------------------------------

struct Answering {
  std::wstring dir;
  std::vector<HWND> seen;
  std::map<std::wstring, int> answered;  // a dialog's caption and control texts: times answered
  int count = 0;
  bool looping = false;
};

// What a user sees of a dialog: its caption and each control's id and text.
std::wstring Signature(HWND window) {
  std::wstring s = TextOf(window);
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    s += L"\n" + std::to_wstring(GetDlgCtrlID(c)) + L"=" + TextOf(c);
  return s;
}

BOOL CALLBACK AnswerProc(HWND window, LPARAM param) {
  auto* a = reinterpret_cast<Answering*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (!IsWindowVisible(window) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId()) return TRUE;
  for (HWND s : a->seen)
    if (s == window) return TRUE;
  a->seen.push_back(window);
  WaitIdle(window);
  std::wstring base = a->dir + L"\\" + std::to_wstring(++a->count);
  Shot(window, base + L".bmp");
  if (FILE* f = _wfopen((base + L".txt").c_str(), L"w")) {
    ListWindow(window, f);
    fclose(f);
  }
  // A user pressing Enter on a dialog that comes back unchanged (a refused folder, say) would go
  // round for ever: the second time it is cancelled as with Escape, and a third time stops the
  // program, so that a test fails at once instead of at its timeout.
  const int times = ++a->answered[Signature(window)];
  if (times >= 3) {
    a->looping = true;
    return FALSE;
  }
  if (times == 2) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  LRESULT def = SendMessageW(window, DM_GETDEFID, 0, 0);
  int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
  HWND button = GetDlgItem(window, id);
  if (!button) button = GetDlgItem(window, IDOK);
  if (button) PostMessageW(button, BM_CLICK, 0, 0);
  else PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

int AnswerAll(const std::wstring& dir) {
  // The program's command line exactly as the caller wrote it after " -- ", so that its quotes
  // reach the program as they would from a batch file or a deployment tool.
  const std::wstring line = GetCommandLineW();
  const size_t tail = line.find(L" -- ");
  if (tail == std::wstring::npos) return 1;
  std::wstring command = line.substr(tail + 4);
  CreateDirectoryW(dir.c_str(), nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "window_driver: cannot start the program (error %lu)\n", GetLastError());
    return 4;
  }
  CloseHandle(pi.hThread);
  Answering a{dir};
  // Wakes on the program's exit, or every 100 ms to look for new dialogs.
  while (WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT) {
    EnumWindows(AnswerProc, reinterpret_cast<LPARAM>(&a));
    if (a.looping) {
      fprintf(stderr, "window_driver: the same dialog came back a third time; the program is stopped\n");
      TerminateProcess(pi.hProcess, 6);
      WaitForSingleObject(pi.hProcess, INFINITE);
      CloseHandle(pi.hProcess);
      return 6;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return int(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    std::wstring c = argv[i];
    auto arg = [&](int k) -> std::wstring { return i + k < argc ? argv[i + k] : L""; };
    if (c == L"answer-all") {
      if (arg(2) != L"--") return 1;
      return AnswerAll(arg(1));
    }
    if (c == L"wait") {
      DWORD ms = i + 3 < argc && iswdigit(argv[i + 3][0]) ? DWORD(_wtoi(argv[i + 3])) : 30000;
      if (!Wait(arg(1), arg(2), ms)) {
        fprintf(stderr, "window_driver: no window %s \"%s\"\n", Utf8(arg(1)).c_str(), Utf8(arg(2)).c_str());
        EnumWindows(PrintWindowProc, 0);
        return 3;
      }
      printf("found %p\n", static_cast<void*>(g_current));
      i += (i + 3 < argc && iswdigit(argv[i + 3][0])) ? 3 : 2;
      continue;
    }
    if (c == L"wait-page") {
      DWORD ms = i + 2 < argc && iswdigit(argv[i + 2][0]) ? DWORD(_wtoi(argv[i + 2])) : 30000;
      if (!WaitPage(_wtoi(arg(1).c_str()), ms)) {
        fprintf(stderr, "window_driver: no page with control %s\n", Utf8(arg(1)).c_str());
        EnumWindows(PrintWindowProc, 0);
        return 3;
      }
      printf("page %s found\n", Utf8(arg(1)).c_str());
      fflush(stdout);
      i += (i + 2 < argc && iswdigit(argv[i + 2][0])) ? 2 : 1;
      continue;
    }
    if (!g_current && c != L"clipboard") {
      fprintf(stderr, "window_driver: %s needs a window (wait first)\n", Utf8(c).c_str());
      return 1;
    }
    if (c == L"wait-gone") {
      DWORD ms = i + 1 < argc && iswdigit(argv[i + 1][0]) ? DWORD(_wtoi(argv[++i])) : 30000;
      DWORD start = GetTickCount();
      while (IsWindow(g_current)) {
        if (GetTickCount() - start > ms) return 3;
        Sleep(50);
      }
      printf("gone\n");
    } else if (c == L"probe") {
      DWORD bound = DWORD(_wtoi(arg(1).c_str()));
      ++i;
      int probes = 0;
      DWORD slowest = 0;
      while (IsWindow(g_current)) {
        DWORD_PTR ignored;
        DWORD start = GetTickCount();
        LRESULT answered = SendMessageTimeoutW(g_current, WM_NULL, 0, 0, SMTO_NORMAL, bound, &ignored);
        DWORD took = GetTickCount() - start;
        if (!IsWindow(g_current)) break;
        ++probes;
        if (took > slowest) slowest = took;
        if (!answered || took > bound) {
          printf("probe %d took %lu ms\n", probes, took);
          return 5;
        }
        Sleep(20);
      }
      printf("probed %d slowest %lu\n", probes, slowest);
    } else if (c == L"list") {
      ListWindow(g_current, stdout);
    } else if (c == L"press") {
      HWND control = GetDlgItem(g_current, _wtoi(arg(1).c_str()));
      if (!control) return 2;
      PostMessageW(control, BM_CLICK, 0, 0);
      ++i;
    } else if (c == L"key") {
      if (!Key(arg(1))) return 1;
      ++i;
    } else if (c == L"type") {
      SetDlgItemTextW(g_current, _wtoi(arg(1).c_str()), arg(2).c_str());
      i += 2;
    } else if (c == L"shot") {
      if (!Shot(g_current, arg(1))) {
        fprintf(stderr, "window_driver: no picture of the window\n");
        return 2;
      }
      printf("shot %s\n", Utf8(arg(1)).c_str());
      ++i;
    } else if (c == L"clipboard") {
      DWORD ms = i + 1 < argc && iswdigit(argv[i + 1][0]) ? DWORD(_wtoi(argv[++i])) : 30000;
      DWORD start = GetTickCount();
      while (!PrintClipboard()) {
        if (GetTickCount() - start > ms) {
          fprintf(stderr, "window_driver: no text on the clipboard\n");
          return 3;
        }
        Sleep(50);
      }
    } else {
      fprintf(stderr, "window_driver: unknown command %s\n", Utf8(c).c_str());
      return 1;
    }
    fflush(stdout);
  }
  return 0;
}
