// show_message_box.exe NAME=VALUE... : shows one message box of the installer (and, when asked,
// the background window behind it) and prints "answer=ID check=0|1". The tests drive the box with
// window_driver.exe.
//   text, caption, flags (0x...), zoom (percent), face, check (check box label), custom
//   (ID:CAPTION,ID:CAPTION), owner-drawn (1), system-box (1), dialog-bg / dialog-fg / button-face
//   / button-text / button-border (#RRGGBB), centred (1);
//   background (1) with top, bottom (#RRGGBB), title, position (0-6), picture (a .bmp file),
//   stretch (0-3), size (percent), taskbar.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "ui/background_window_win32.h"
#include "ui/look_win32.h"
#include "ui/message_box_win32.h"

using namespace halberd::ui;

namespace {

std::u16string U(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD n;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n) bytes.append(buffer, n);
  CloseHandle(file);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring> a;
  for (int i = 1; i < argc; ++i) {
    std::wstring s = argv[i];
    size_t eq = s.find(L'=');
    if (eq == std::wstring::npos) return 1;
    a[s.substr(0, eq)] = s.substr(eq + 1);
  }
  auto colour = [&](const wchar_t* name) { return a.count(name) ? ParseColour(U(a[name])) : kUnset; };
  BindOptionalSystemFunctions();

  Look look;
  look.DialogZoom = a.count(L"zoom") ? uint32_t(_wtoi(a[L"zoom"].c_str())) : 100;
  look.DialogFont = U(a[L"face"]);
  look.ButtonBG = colour(L"button-face");
  look.ButtonFG = colour(L"button-text");
  look.ButtonBorder = a.count(L"button-border") ? colour(L"button-border") : 0;
  look.background_window = a[L"background"] == L"1";
  look.TopColor = colour(L"top");
  look.BottomColor = colour(L"bottom");
  look.MonoColor = look.TopColor == look.BottomColor;
  look.DisplayTitle = U(a[L"title"]);
  look.TitlePosition = uint8_t(_wtoi(a[L"position"].c_str()));
  look.TaskbarText = a.count(L"taskbar") ? U(a[L"taskbar"]) : u"Setup";
  look.full_screen = true;
  if (a.count(L"picture")) look.background_picture = ReadWholeFile(a[L"picture"]);
  look.StretchMode = a.count(L"stretch") ? uint32_t(_wtoi(a[L"stretch"].c_str())) : 2;
  look.BitmapSize = uint32_t(_wtoi(a[L"size"].c_str()));
  SetLook(look);
  HWND owner = CreateBackgroundWindow(L"Setup", false);

  MessageBoxRequest r;
  r.owner = owner;
  r.text = a[L"text"];
  size_t tab;
  while ((tab = r.text.find(L"\\n")) != std::wstring::npos) r.text.replace(tab, 2, L"\r\n");
  while ((tab = r.text.find(L"\\t")) != std::wstring::npos) r.text.replace(tab, 2, L"\t");
  r.caption = a[L"caption"];
  r.flags = uint32_t(wcstoul(a[L"flags"].c_str(), nullptr, 0));
  r.check_text = a[L"check"];
  r.font_face = DialogFace();
  r.font_size = MessageBoxFontSize(look.DialogZoom);
  r.background_colour = colour(L"dialog-bg");
  r.text_colour = colour(L"dialog-fg");
  r.owner_drawn = a[L"owner-drawn"] == L"1";
  r.system_box = a[L"system-box"] == L"1";
  if (a[L"centred"] == L"1") r.button_alignment = 'a';
  std::wstring custom = a[L"custom"];
  while (!custom.empty()) {
    size_t comma = custom.find(L',');
    std::wstring one = custom.substr(0, comma);
    size_t colon = one.find(L':');
    if (colon != std::wstring::npos) r.buttons.push_back({_wtoi(one.c_str()), U(one.substr(colon + 1))});
    custom = comma == std::wstring::npos ? L"" : custom.substr(comma + 1);
  }
  int answer = ShowMessageBox(r);
  printf("answer=%d check=%d\n", answer, r.check_state ? 1 : 0);
  fflush(stdout);
  CloseBackgroundWindow();
  return 0;
}
