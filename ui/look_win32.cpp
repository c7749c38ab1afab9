// The process-wide look record, font lists resolved against the installed fonts, system colours
// for unset colours, and the optional system functions bound at run time.
#include "ui/look_win32.h"

#include <map>

#include "foundation/system_library.h"

namespace halberd::ui {

namespace {

struct LookState {
  Look look;
  std::wstring dialog_face;
};
LookState& State() {
  static LookState state;
  return state;
}

std::wstring Lower(std::wstring s) {
  CharLowerBuffW(s.data(), DWORD(s.size()));
  return s;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
  auto& faces = *reinterpret_cast<std::map<std::wstring, std::wstring>*>(param);
  const auto* full = reinterpret_cast<const ENUMLOGFONTEXW*>(font);
  std::wstring face = font->lfFaceName;
  faces.emplace(Lower(face), face);
  // A full name such as "Cambria Bold Italic" stands for its family's face.
  faces.emplace(Lower(full->elfFullName), face);
  return 1;
}

// Every installed family name and full name, lower case, with the face that draws it.
const std::map<std::wstring, std::wstring>& InstalledFaces() {
  static const std::map<std::wstring, std::wstring> faces = [] {
    std::map<std::wstring, std::wstring> found;
    HDC screen = GetDC(nullptr);
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(screen, &query, CollectFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
  }();
  return faces;
}

}  // namespace

const Look& CurrentLook() { return State().look; }

void SetLook(Look look) {
  State().look = std::move(look);
  const std::u16string& list = State().look.DialogFont;
  State().dialog_face = FontNames(list).empty() ? std::wstring() : FirstInstalledFace(list);
}

void SwitchToMonoColour() { State().look.MonoColor = true; }

const std::wstring& DialogFace() { return State().dialog_face; }

std::wstring FirstInstalledFace(const std::u16string& list) {
  const auto& faces = InstalledFaces();
  for (const std::u16string& name : FontNames(list)) {
    auto it = faces.find(Lower(std::wstring(name.begin(), name.end())));
    if (it != faces.end()) return it->second;
  }
  if (faces.count(L"ms shell dlg 2")) return L"MS Shell Dlg 2";
  return L"Arial";
}

COLORREF ColourOr(uint32_t colour, int system_index) {
  return IsSet(colour) ? COLORREF(colour) : GetSysColor(system_index);
}

void BindOptionalSystemFunctions() {
  static bool bound = false;
  if (bound) return;
  bound = true;
  using SetContext = BOOL(WINAPI*)(HANDLE);
  using SetAwareness = HRESULT(WINAPI*)(int);
  using SetAware = BOOL(WINAPI*)();
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4; PROCESS_PER_MONITOR_DPI_AWARE is 2.
  if (auto set = SystemFunction<SetContext>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set(reinterpret_cast<HANDLE>(intptr_t(-4)))) return;
  }
  if (auto set = SystemFunction<SetAwareness>(L"shcore.dll", "SetProcessDpiAwareness")) {
    if (SUCCEEDED(set(2))) return;
  }
  if (auto set = SystemFunction<SetAware>(L"user32.dll", "SetProcessDPIAware")) set();
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace halberd::ui
