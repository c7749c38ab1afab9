// The modal wizard pages (see the header).
#include "ui/wizard_pages_win32.h"

#include <richedit.h>
#include <shlobj.h>
#include <shellapi.h>
#include <commctrl.h>

#include "foundation/format/text_numbers.h"
#include "foundation/system_library.h"
#include "ui/look_win32.h"
#include "ui/page_runner_win32.h"

namespace halberd::ui {

namespace {

std::wstring Text(int number) { return PageText(number); }

std::wstring ToWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

void SetButtons(HWND page, int forward, int cancel) {
  if (forward >= 0) SetItemText(page, kIdForward, Text(forward));
  if (cancel >= 0) SetItemText(page, kIdBack, Text(cancel));
}

// The system folder picker titled `title`, starting at `start`, below `root` when given.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

bool PickFolder(HWND page, const std::wstring& title, const std::wstring& start, std::wstring& picked,
                PIDLIST_ABSOLUTE root = nullptr) {
  BROWSEINFOW info{};
  info.hwndOwner = page;
  info.pidlRoot = root;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = start.empty() ? 0 : LPARAM(start.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (!list) return false;
  wchar_t path[MAX_PATH] = {};
  bool ok = SHGetPathFromIDListW(list, path) != FALSE;
  CoTaskMemFree(list);
  if (ok) picked = path;
  return ok;
}

// ---- Language -------------------------------------------------------------------------------

struct LanguageData {
  const std::vector<std::wstring>* names;
  size_t* index;
  void (*select)(size_t);
};

void TranslateLanguagePage(HWND page, PageState& state) {
  SetItemText(page, kIdPrompt, Text(text::kLanguagePrompt));
  SetButtons(page, text::kNext, text::kCancel);
  SetPageCaption(page, state);
  if (state.layout == 2) {
    std::wstring heading = Text(text::kDialogCaptionOverride);
    SetItemText(page, kIdBannerHeading, heading.empty() ? DialogCaption() : heading);
  }
  LayOutButtons(page, state);
  InvalidateRect(page, nullptr, TRUE);
}

INT_PTR LanguageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam, PageState& state) {
  auto& d = *static_cast<LanguageData*>(state.data);
  HWND list = GetDlgItem(page, kIdLanguageList);
  auto store = [&] {
    LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    size_t count = d.names->size();
    *d.index = selected < 0 ? 0 : std::min(size_t(selected), count ? count - 1 : 0);
  };
  switch (message) {
    case WM_INITDIALOG: {
      HDC dc = GetDC(list);
      TEXTMETRICW metrics{};
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)));
      GetTextMetricsW(dc, &metrics);
      SelectObject(dc, old);
      ReleaseDC(list, dc);
      SendMessageW(list, LB_SETITEMHEIGHT, 0, metrics.tmHeight * 3 / 2);
      for (const std::wstring& name : *d.names) SendMessageW(list, LB_ADDSTRING, 0, LPARAM(name.c_str()));
      SendMessageW(list, LB_SETCURSEL, *d.index, 0);
      d.select(*d.index);
      TranslateLanguagePage(page, state);
      return TRUE;
    }
    case WM_MEASUREITEM: {
      auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (item.CtlID != UINT(kIdLanguageList)) break;
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID != UINT(kIdLanguageList) || item.itemID == UINT(-1)) break;
      bool selected = item.itemState & ODS_SELECTED;
      const Look& look = CurrentLook();
      COLORREF back = selected ? GetSysColor(COLOR_HIGHLIGHT)
                               : (look.custom_colours && IsSet(look.DialogBG) ? COLORREF(look.DialogBG) : GetSysColor(COLOR_WINDOW));
      HBRUSH brush = CreateSolidBrush(back);
      FillRect(item.hDC, &item.rcItem, brush);
      DeleteObject(brush);
      const std::wstring& name = (*d.names)[item.itemID];
      TEXTMETRICW metrics{};
      GetTextMetricsW(item.hDC, &metrics);
      RECT r = item.rcItem;
      r.left += metrics.tmHeight / 2;
      SetBkMode(item.hDC, TRANSPARENT);
      SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT));
      DrawTextW(item.hDC, name.c_str(), int(name.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdLanguageList && HIWORD(wparam) == LBN_SELCHANGE) {
        store();
        d.select(*d.index);
        TranslateLanguagePage(page, state);
        return TRUE;
      }
      if ((LOWORD(wparam) == kIdLanguageList && HIWORD(wparam) == LBN_DBLCLK) || LOWORD(wparam) == kIdForward) {
        store();
        EndDialog(page, kIdForward);
        return TRUE;
      }
      if (LOWORD(wparam) == kIdBack || LOWORD(wparam) == IDCANCEL) {
        EndDialog(page, kIdBack);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// ---- Greeting -------------------------------------------------------------------------------

struct GreetingData {
  std::wstring text, link, address;
  void (*clicked)();
};

// The link line as a link control in the place of the template's static; where the system has no
// link class the static keeps the line without its tags.
void MakeLinkControl(HWND page, HWND placeholder, const std::wstring& text) {
  RECT r;
  GetWindowRect(placeholder, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  HWND link = CreateWindowExW(0, L"SysLink", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, page, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!link) {
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'<') {
        size_t end = text.find(L'>', i);
        if (end != std::wstring::npos) {
          i = end;
          continue;
        }
      }
      plain += text[i];
    }
    SetWindowTextW(placeholder, plain.c_str());
    return;
  }
  SendMessageW(link, WM_SETFONT, SendMessageW(page, WM_GETFONT, 0, 0), FALSE);
  // Same place in the tab order, and the id the page and the tests know.
  SetWindowPos(link, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  DestroyWindow(placeholder);
  SetWindowLongPtrW(link, GWLP_ID, kIdLink);
}

INT_PTR GreetingProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam, PageState& state) {
  auto& d = *static_cast<GreetingData*>(state.data);
  switch (message) {
    case WM_INITDIALOG:
      SetItemText(page, kIdPrompt, state.layout == 2 ? L"\r\n\r\n" + d.text : d.text);
      SetButtons(page, text::kNext, text::kCancel);
      if (HWND link = GetDlgItem(page, kIdLink)) {
        if (d.link.empty()) ShowWindow(link, SW_HIDE);
        else MakeLinkControl(page, link, d.link);
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (header.idFrom == UINT(kIdLink) && (header.code == NM_CLICK || header.code == NM_RETURN)) {
        ShellExecuteW(page, L"open", d.address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (d.clicked) d.clicked();
        return TRUE;
      }
      break;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdForward) return EndDialog(page, kIdForward), TRUE;
      if (LOWORD(wparam) == kIdBack || LOWORD(wparam) == IDCANCEL) return EndDialog(page, kIdBack), TRUE;
      break;
  }
  return FALSE;
}

// ---- License and Readme ---------------------------------------------------------------------

struct DocumentData {
  const Document* document;
  bool read_to_end;
  bool license;
  WNDPROC button_procs[2] = {};
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, BYTE* buffer, LONG size, LONG* read) {
  auto* rest = reinterpret_cast<std::string_view*>(cookie);
  LONG n = LONG(std::min<size_t>(rest->size(), size_t(size)));
  memcpy(buffer, rest->data(), size_t(n));
  rest->remove_prefix(size_t(n));
  *read = n;
  return 0;
}

// The rich-edit control in place of the plain text control: same rectangle and style, links
// detected, the RTF streamed in.
void LoadRtf(HWND page, const std::string& rtf, int layout) {
  if (!LoadSystemLibrary(L"riched20.dll")) return;
  HWND plain = GetDlgItem(page, kIdDocument);
  RECT r;
  GetWindowRect(plain, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  DWORD style = DWORD(GetWindowLongPtrW(plain, GWL_STYLE));
  DWORD ex_style = DWORD(GetWindowLongPtrW(plain, GWL_EXSTYLE));
  HWND after = GetWindow(plain, GW_HWNDPREV);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(plain, WM_GETFONT, 0, 0));
  HWND rich = CreateWindowExW(ex_style, L"RichEdit20W", L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                              page, reinterpret_cast<HMENU>(INT_PTR(kIdDocument)), GetModuleHandleW(nullptr), nullptr);
  if (!rich) return;
  DestroyWindow(plain);
  // Same place in the tab order as the control it replaces.
  SetWindowPos(rich, after ? after : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(rich, WM_SETFONT, WPARAM(font), FALSE);
  SendMessageW(rich, EM_AUTOURLDETECT, TRUE, 0);
  SendMessageW(rich, EM_SETEVENTMASK, 0, ENM_LINK);
  SendMessageW(rich, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  RECT base{0, 0, 4, 8};
  MapDialogRect(page, &base);
  SendMessageW(rich, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(base.bottom / 2, base.bottom / 2));
  std::string_view rest(rtf);
  EDITSTREAM stream{DWORD_PTR(&rest), 0, StreamIn};
  SendMessageW(rich, EM_STREAMIN, SF_RTF, LPARAM(&stream));
  SendMessageW(rich, WM_VSCROLL, SB_TOP, 0);
  if (layout == 3)
    if (HWND panel = GetDlgItem(page, kIdPanel)) SetWindowPos(panel, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetTimer(page, kTimerHideCaret, 100, nullptr);
}

// Scrolling keys pressed on the buttons reach the text.
LRESULT CALLBACK ButtonKeys(HWND button, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND page = GetParent(button);
  auto* d = reinterpret_cast<DocumentData*>(GetPropW(button, L"HalberdDocument"));
  if (message == WM_KEYDOWN && (wparam == VK_PRIOR || wparam == VK_NEXT || wparam == VK_UP || wparam == VK_DOWN)) {
    SendMessageW(GetDlgItem(page, kIdDocument), WM_KEYDOWN, wparam, lparam);
    return 0;
  }
  if (message == WM_GETDLGCODE) {
    LRESULT code = CallWindowProcW(d->button_procs[GetDlgCtrlID(button) == kIdForward ? 0 : 1], button, message, wparam, lparam);
    auto* msg = reinterpret_cast<MSG*>(lparam);
    if (msg && msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_PRIOR || msg->wParam == VK_NEXT || msg->wParam == VK_UP || msg->wParam == VK_DOWN))
      code |= DLGC_WANTALLKEYS;
    return code;
  }
  return CallWindowProcW(d->button_procs[GetDlgCtrlID(button) == kIdForward ? 0 : 1], button, message, wparam, lparam);
}

bool ReadToTheEnd(HWND page) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!GetScrollInfo(GetDlgItem(page, kIdDocument), SB_VERT, &info)) return true;  // no scroll bar: all visible
  return info.nPos + int(info.nPage) >= info.nMax;
}

INT_PTR DocumentProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam, PageState& state) {
  auto& d = *static_cast<DocumentData*>(state.data);
  switch (message) {
    case WM_INITDIALOG: {
      SetItemText(page, kIdPrompt, Text(d.license ? text::kLicencePrompt : text::kReadmePrompt));
      if (d.license) SetButtons(page, text::kAgree, text::kDisagree);
      else SetButtons(page, text::kNext, text::kCancel);
      HWND edit = GetDlgItem(page, kIdDocument);
      RECT base{0, 0, 4, 8};
      MapDialogRect(page, &base);
      int margin = int(0.35 * base.right) + GetSystemMetrics(SM_CXEDGE);
      SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, margin));
      if (d.document->rtf) {
        LoadRtf(page, d.document->rtf_bytes, state.layout);
      } else {
        std::wstring text;
        // The edit control wants CR LF line ends.
        for (size_t i = 0; i < d.document->text.size(); ++i) {
          wchar_t c = d.document->text[i];
          if (c == L'\n' && (i == 0 || d.document->text[i - 1] != L'\r')) text += L'\r';
          text += c;
        }
        SetWindowTextW(edit, text.c_str());
      }
      for (int i = 0; i < 2; ++i) {
        HWND button = GetDlgItem(page, i == 0 ? kIdForward : kIdBack);
        SetPropW(button, L"HalberdDocument", &d);
        d.button_procs[i] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(button, GWLP_WNDPROC, LONG_PTR(ButtonKeys)));
      }
      if (d.read_to_end) {
        EnableWindow(GetDlgItem(page, kIdForward), FALSE);
        SetTimer(page, kTimerReadToEnd, 200, nullptr);
      }
      state.focus_id = d.read_to_end ? kIdDocument : kIdForward;
      return TRUE;
    }
    case WM_TIMER:
      if (wparam == UINT_PTR(kTimerHideCaret)) {
        KillTimer(page, kTimerHideCaret);
        HideCaret(GetDlgItem(page, kIdDocument));
        return TRUE;
      }
      if (wparam == UINT_PTR(kTimerReadToEnd) && ReadToTheEnd(page)) {
        KillTimer(page, kTimerReadToEnd);
        EnableWindow(GetDlgItem(page, kIdForward), TRUE);
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (header.idFrom != UINT(kIdDocument) || header.code != EN_LINK) break;
      const auto& link = *reinterpret_cast<const ENLINK*>(lparam);
      if (link.msg != WM_LBUTTONUP) break;
      std::wstring url(size_t(link.chrg.cpMax - link.chrg.cpMin) + 1, L'\0');
      TEXTRANGEW range{link.chrg, url.data()};
      url.resize(size_t(SendMessageW(header.hwndFrom, EM_GETTEXTRANGE, 0, LPARAM(&range))));
      ShellExecuteW(page, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdForward && IsWindowEnabled(GetDlgItem(page, kIdForward))) return EndDialog(page, kIdForward), TRUE;
      if (LOWORD(wparam) == kIdBack || LOWORD(wparam) == IDCANCEL) return EndDialog(page, kIdBack), TRUE;
      break;
    case WM_DESTROY:
      for (int i = 0; i < 2; ++i) {
        HWND button = GetDlgItem(page, i == 0 ? kIdForward : kIdBack);
        if (d.button_procs[i]) SetWindowLongPtrW(button, GWLP_WNDPROC, LONG_PTR(d.button_procs[i]));
        RemovePropW(button, L"HalberdDocument");
      }
      break;
  }
  return FALSE;
}

// ---- EnterPassword --------------------------------------------------------------------------

// After a refused password: the keyboard and mouse input typed meanwhile is dropped; other
// pending messages (at most 100) are dispatched.
void DropPendingInput() {
  MSG msg;
  for (int i = 0; i < 100 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                 (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
    if (input) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

INT_PTR PasswordProc(HWND page, UINT message, WPARAM wparam, LPARAM, PageState& state) {
  const auto& password = *static_cast<const std::wstring*>(state.data);
  switch (message) {
    case WM_INITDIALOG:
      SetItemText(page, kIdPrompt, Text(text::kPasswordPrompt));
      SetItemText(page, kIdPasswordLabel, Text(text::kPasswordLabel));
      SetItemText(page, kIdBack, WithoutAmpersands(Text(text::kCancel)));
      SendDlgItemMessageW(page, kIdPassword, EM_LIMITTEXT, 64, 0);
      SetEditHeight(page, kIdPassword);
      state.focus_id = kIdPassword;
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdForward || LOWORD(wparam) == IDOK) {
        if (PasswordMatches(ToU16(ItemText(page, kIdPassword)), ToU16(password))) return EndDialog(page, kIdForward), TRUE;
        Sleep(500);
        PageMessage(Text(text::kWrongPassword), Text(text::kErrorCaption), MB_OK | MB_ICONERROR);
        DropPendingInput();
        HWND field = GetDlgItem(page, kIdPassword);
        SendMessageW(page, WM_NEXTDLGCTL, WPARAM(field), TRUE);
        SendMessageW(field, EM_SETSEL, 0, -1);
        return TRUE;
      }
      if (LOWORD(wparam) == kIdBack || LOWORD(wparam) == IDCANCEL) return EndDialog(page, kIdBack), TRUE;
      break;
  }
  return FALSE;
}

// ---- ChooseDir and StartMenu ----------------------------------------------------------------

struct FolderData {
  std::wstring* folder;
  bool start_menu;
  bool space_lines;
  uint64_t needed;
  std::wstring programs;
};

void UpdateSpaceLines(HWND page, const FolderData& d) {
  if (!d.space_lines) return;
  std::wstring folder = ItemText(page, kIdFolder);
  SetItemText(page, kIdSpaceNeeded, Text(text::kSpaceNeeded) + L" " + ToWide(SizeText(d.needed)));
  ULARGE_INTEGER free_bytes{};
  bool drive = StartsWithDriveLetter(ToU16(folder));
  std::wstring root = folder.substr(0, 1) + L":\\";
  if (drive && GetDiskFreeSpaceExW(root.c_str(), &free_bytes, nullptr, nullptr))
    SetItemText(page, kIdSpaceAvailable, Text(text::kSpaceAvailable) + L" " + ToWide(SizeText(free_bytes.QuadPart)));
  ShowWindow(GetDlgItem(page, kIdSpaceAvailable), drive ? SW_SHOW : SW_HIDE);
}

INT_PTR FolderProc(HWND page, UINT message, WPARAM wparam, LPARAM, PageState& state) {
  auto& d = *static_cast<FolderData*>(state.data);
  switch (message) {
    case WM_INITDIALOG:
      SetItemText(page, kIdPrompt, Text(d.start_menu ? text::kStartMenuPrompt : text::kFolderPrompt));
      SetItemText(page, kIdBrowse, Text(text::kBrowse));
      SetButtons(page, text::kInstallButton, text::kCancel);
      SendDlgItemMessageW(page, kIdFolder, EM_LIMITTEXT, 259, 0);
      SetItemText(page, kIdFolder, *d.folder);
      SetEditHeight(page, kIdFolder);
      if (!d.start_menu) {
        if (!d.space_lines) {
          ShowWindow(GetDlgItem(page, kIdSpaceNeeded), SW_HIDE);
          ShowWindow(GetDlgItem(page, kIdSpaceAvailable), SW_HIDE);
        }
        UpdateSpaceLines(page, d);
      }
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kIdFolder:
          if (HIWORD(wparam) != EN_CHANGE) break;
          if (d.start_menu) EnableWindow(GetDlgItem(page, kIdForward), StartMenuNameAllowed(ToU16(ItemText(page, kIdFolder))));
          else UpdateSpaceLines(page, d);
          return TRUE;
        case kIdBrowse: {
          std::wstring picked;
          if (d.start_menu) {
            PIDLIST_ABSOLUTE root = nullptr;
            if (!d.programs.empty()) SHParseDisplayName(d.programs.c_str(), nullptr, &root, 0, nullptr);
            std::wstring start = d.programs.empty() ? std::wstring() : d.programs + L"\\" + ItemText(page, kIdFolder);
            bool ok = PickFolder(page, Text(text::kStartMenuPrompt), start, picked, root);
            if (root) CoTaskMemFree(root);
            if (!ok) return TRUE;
            // The Start-menu folder is named below the programs folder.
            if (!d.programs.empty() && picked.size() > d.programs.size() &&
                CompareStringOrdinal(picked.c_str(), int(d.programs.size()), d.programs.c_str(), -1, TRUE) == CSTR_EQUAL)
              picked = picked.substr(d.programs.size() + 1);
          } else if (!PickFolder(page, Text(text::kFolderPrompt), ItemText(page, kIdFolder), picked)) {
            return TRUE;
          }
          SetItemText(page, kIdFolder, picked);
          SendMessageW(page, WM_NEXTDLGCTL, WPARAM(GetDlgItem(page, kIdFolder)), TRUE);
          return TRUE;
        }
        case kIdForward:
          if (!IsWindowEnabled(GetDlgItem(page, kIdForward))) return TRUE;
          *d.folder = ItemText(page, kIdFolder);
          EndDialog(page, kIdForward);
          return TRUE;
        case kIdBack:
        case IDCANCEL:
          EndDialog(page, kIdBack);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

// ---- Summary --------------------------------------------------------------------------------

struct SummaryData {
  SummaryChoices shown;
  SummaryChoices* checked;
};

bool* ChoiceOf(SummaryChoices& choices, int id) {
  switch (id) {
    case kIdStartProgram: return &choices.start_program;
    case kIdShowDocument: return &choices.show_document;
    case kIdSecondDocument: return &choices.second_document;
    default: return &choices.view_log;
  }
}

INT_PTR SummaryProc(HWND page, UINT message, WPARAM wparam, LPARAM, PageState& state) {
  auto& d = *static_cast<SummaryData*>(state.data);
  auto finish = [&] {
    SummaryChoices result;
    for (int id : {kIdStartProgram, kIdShowDocument, kIdSecondDocument, kIdViewLog}) {
      HWND box = GetDlgItem(page, id);
      *ChoiceOf(result, id) = IsWindowVisible(box) && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    *d.checked = result;
    EndDialog(page, kIdForward);
  };
  switch (message) {
    case WM_INITDIALOG: {
      SetItemText(page, kIdPrompt, Text(text::kInstallComplete));
      SetItemText(page, kIdForward, Text(text::kFinish));
      const int labels[][2] = {{kIdStartProgram, text::kSummaryStartProgram}, {kIdShowDocument, text::kSummaryShowDocument},
                               {kIdSecondDocument, text::kSummarySecondDocument}, {kIdViewLog, text::kSummaryViewLog}};
      for (const auto& [id, label] : labels) {
        SetItemText(page, id, Text(label));
        ShowWindow(GetDlgItem(page, id), SW_HIDE);
      }
      for (const SummaryBox& box : SummaryBoxes(state.layout, d.shown)) {
        RECT r{box.rect.left, box.rect.top, box.rect.left + box.rect.width, box.rect.top + box.rect.height};
        MapDialogRect(page, &r);
        HWND control = GetDlgItem(page, box.id);
        SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, BM_SETCHECK, *ChoiceOf(*d.checked, box.id) ? BST_CHECKED : BST_UNCHECKED, 0);
        ShowWindow(control, SW_SHOW);
      }
      return TRUE;
    }
    case WM_CLOSE:
      finish();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == kIdForward || LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        finish();
        return TRUE;
      }
      break;
  }
  return FALSE;
}

PageState StateFor(int32_t style, int title, PageProc proc, void* data) {
  PageState state;
  state.layout = PageLayout(style);
  state.title_text = title;
  state.proc = proc;
  state.data = data;
  return state;
}

}  // namespace

INT_PTR ShowLanguagePage(int32_t style, const std::vector<std::wstring>& names, size_t& index, void (*select)(size_t)) {
  LanguageData data{&names, &index, select};
  PageState state = StateFor(style, text::kLanguageTitle, LanguageProc, &data);
  state.focus_id = kIdLanguageList;
  return RunPage(ToWide(TemplateName(Page::kLanguage, style)), state);
}

INT_PTR ShowGreetingPage(int32_t style, const std::wstring& text, const std::wstring& link, const std::wstring& address,
                         void (*link_clicked)()) {
  GreetingData data{text, link, address, link_clicked};
  PageState state = StateFor(style, PageLayout(style) == 2 ? text::kGreetingTitle : text::kPageCaption, GreetingProc, &data);
  return RunPage(ToWide(TemplateName(Page::kGreeting, style)), state);
}

INT_PTR ShowDocumentPage(Page page, int32_t style, const Document& document, bool read_to_end) {
  bool license = page == Page::kLicense;
  DocumentData data{&document, license && read_to_end, license};
  PageState state = StateFor(style, license ? text::kLicenceTitle : text::kReadmeTitle, DocumentProc, &data);
  return RunPage(ToWide(TemplateName(page, style)), state);
}

INT_PTR ShowPasswordPage(const std::wstring& password) {
  PageState state = StateFor(1, text::kPasswordTitle, PasswordProc, const_cast<std::wstring*>(&password));
  state.layout = 0;  // one template: no pictures, no banner
  return RunPage(L"EnterPassword", state);
}

INT_PTR ShowFolderPage(int32_t style, std::wstring& folder, bool space_lines, uint64_t needed) {
  FolderData data{&folder, false, space_lines, needed, {}};
  PageState state = StateFor(style, text::kFolderPageTitle, FolderProc, &data);
  return RunPage(ToWide(TemplateName(Page::kChooseDir, style)), state);
}

INT_PTR ShowStartMenuPage(int32_t style, std::wstring& folder, const std::wstring& programs) {
  FolderData data{&folder, true, false, 0, programs};
  PageState state = StateFor(style, text::kStartMenuTitle, FolderProc, &data);
  return RunPage(ToWide(TemplateName(Page::kStartMenu, style)), state);
}

INT_PTR ShowSummaryPage(int32_t style, const SummaryChoices& shown, SummaryChoices& checked) {
  SummaryData data{shown, &checked};
  PageState state = StateFor(style, text::kInstallCompleteCaption, SummaryProc, &data);
  state.closable = true;
  state.button_row = {kIdForward};
  return RunPage(ToWide(TemplateName(Page::kSummary, style)), state);
}

}  // namespace halberd::ui
