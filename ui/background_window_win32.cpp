// The background window: class "SEA Window Class", erased with the gradient (GradientFill from
// the system's msimg32.dll, else bands) and the picture, painted with the title and copyright.
#include "ui/background_window_win32.h"

#include <string>

#include "foundation/system_library.h"
#include "ui/gdi_handles_win32.h"
#include "ui/look_win32.h"

namespace halberd::ui {

namespace {

struct WindowState {
  HWND window = nullptr;
  std::wstring title;  // the look's, else the language's
  std::string picture;  // BMP file bytes
};
WindowState& State() {
  static WindowState state;
  return state;
}

std::wstring W(const std::u16string& u) { return std::wstring(u.begin(), u.end()); }

bool IsBlank(const std::u16string& s) {
  return s.find_first_not_of(u" \t\r\n") == std::u16string::npos;
}

using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

bool FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  static GradientFillFn fill = SystemFunction<GradientFillFn>(L"msimg32.dll", "GradientFill");
  if (fill) {
    TRIVERTEX v[2] = {{r.left, r.top, COLOR16(GetRValue(top) << 8), COLOR16(GetGValue(top) << 8),
                       COLOR16(GetBValue(top) << 8), 0},
                      {r.right, r.bottom, COLOR16(GetRValue(bottom) << 8), COLOR16(GetGValue(bottom) << 8),
                       COLOR16(GetBValue(bottom) << 8), 0}};
    GRADIENT_RECT g{0, 1};
    if (fill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V)) return true;
  }
  // Bands of solid colour stepping from top to bottom.
  int height = r.bottom - r.top;
  if (height <= 0) return false;
  int band = GradientBandHeight(height);
  for (int y = 0; y < height; y += band) {
    UniqueGdiObject brush(CreateSolidBrush(GradientBandColour(top, bottom, y, height)));
    if (!brush) return false;
    RECT b{r.left, r.top + y, r.right, std::min<LONG>(r.top + y + band, r.bottom)};
    FillRect(dc, &b, static_cast<HBRUSH>(brush.get()));
  }
  return true;
}

// The picture's header and bits inside the BMP file bytes; nullptr when they are not a bitmap.
const BITMAPINFO* PictureInfo(const std::string& bmp, const void** bits) {
  if (bmp.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) || bmp[0] != 'B' || bmp[1] != 'M') return nullptr;
  const auto* file = reinterpret_cast<const BITMAPFILEHEADER*>(bmp.data());
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bmp.data() + sizeof(BITMAPFILEHEADER));
  if (info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight == 0 || file->bfOffBits >= bmp.size()) return nullptr;
  uint64_t stride = ((uint64_t(info->bmiHeader.biWidth) * info->bmiHeader.biBitCount + 31) / 32) * 4;
  uint64_t rows = uint64_t(std::abs(info->bmiHeader.biHeight));
  if (file->bfOffBits + stride * rows > bmp.size()) return nullptr;
  *bits = bmp.data() + file->bfOffBits;
  return info;
}

void DrawPicture(HDC dc, const RECT& client) {
  const Look& look = CurrentLook();
  const void* bits = nullptr;
  const BITMAPINFO* info = PictureInfo(State().picture, &bits);
  if (!info || look.BitmapSize == 0) return;
  const int pw = info->bmiHeader.biWidth, ph = std::abs(info->bmiHeader.biHeight);
  const int ww = client.right - client.left, wh = client.bottom - client.top;
  SetStretchBltMode(dc, HALFTONE);
  if (look.StretchMode == 3) {
    TileCount tiles = Tiles(ww, wh, pw, ph);
    for (int row = 0; row < tiles.rows; ++row)
      for (int col = 0; col < tiles.columns; ++col)
        StretchDIBits(dc, col * pw, row * ph, pw, ph, 0, 0, pw, ph, bits, info, DIB_RGB_COLORS, SRCCOPY);
    return;
  }
  Rect at = PicturePlacement(look.StretchMode, look.BitmapSize, ww, wh, pw, ph);
  if (at.width <= 0 || at.height <= 0) return;
  // A palette picture with a transparent index: the picture through a memory bitmap, that
  // palette entry left out.
  if (info->bmiHeader.biBitCount <= 8 && look.BitmapTPI >= 0) {
    UniqueMemoryDc memory(CreateCompatibleDC(dc));
    UniqueGdiObject bitmap(CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS));
    if (memory && bitmap) {
      Selected s(memory.get(), bitmap.get());
      const RGBQUAD& key = info->bmiColors[std::min<int>(look.BitmapTPI, 255)];
      static auto transparent = SystemFunction<BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, UINT)>(
          L"msimg32.dll", "TransparentBlt");
      if (transparent &&
          transparent(dc, at.left, at.top, at.width, at.height, memory.get(), 0, 0, pw, ph, RGB(key.rgbRed, key.rgbGreen, key.rgbBlue)))
        return;
    }
  }
  if (info->bmiHeader.biBitCount == 32) {
    static auto blend = SystemFunction<BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION)>(
        L"msimg32.dll", "AlphaBlend");
    UniqueMemoryDc memory(CreateCompatibleDC(dc));
    UniqueGdiObject bitmap(CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS));
    if (blend && memory && bitmap) {
      Selected s(memory.get(), bitmap.get());
      BLENDFUNCTION f{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      if (blend(dc, at.left, at.top, at.width, at.height, memory.get(), 0, 0, pw, ph, f)) return;
    }
  }
  StretchDIBits(dc, at.left, at.top, at.width, at.height, 0, 0, pw, ph, bits, info, DIB_RGB_COLORS, SRCCOPY);
}

void Erase(HWND window, HDC dc) {
  const Look& look = CurrentLook();
  RECT client;
  GetClientRect(window, &client);
  COLORREF top = ColourOr(look.TopColor, COLOR_WINDOW);
  COLORREF bottom = ColourOr(look.BottomColor, COLOR_WINDOW);
  if (look.MonoColor || !FillGradient(dc, client, top, bottom)) {
    if (!look.MonoColor) SwitchToMonoColour();
    UniqueGdiObject brush(CreateSolidBrush(top));
    FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
  }
  DrawPicture(dc, client);
}

void DrawBackgroundText(HDC dc, const RECT& client, const std::wstring& text, const std::u16string& fonts,
                        COLORREF colour, int position, int shadow_factor, double start_points) {
  if (position < 1 || position > 6 || text.empty()) return;
  const std::wstring face = FirstInstalledFace(fonts);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  auto make_font = [&](int pixel_height) {
    return CreateFontW(-pixel_height, 0, 0, 0, 900, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, face.c_str());
  };
  TextFit fit = FitBackgroundText(start_points, shadow_factor, dpi, client.right, [&](int pixel_height) {
    UniqueGdiObject font(make_font(pixel_height));
    Selected s(dc, font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    return int(size.cx);
  });
  UniqueGdiObject font(make_font(fit.pixel_height));
  Selected s(dc, font.get());
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
  TextBox tb = BackgroundTextBox(position, client.right, client.bottom, size.cy, fit.shadow_offset);
  UINT align = tb.align == 0 ? DT_LEFT : tb.align == 1 ? DT_CENTER : DT_RIGHT;
  RECT box{tb.box.left, tb.box.top, tb.box.left + tb.box.width, tb.box.top + tb.box.height};
  SetBkMode(dc, TRANSPARENT);
  if (fit.shadow_offset >= 1) {
    RECT shadow = box;
    OffsetRect(&shadow, fit.shadow_offset, fit.shadow_offset);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), int(text.size()), &shadow, align | DT_SINGLELINE | DT_NOPREFIX);
  }
  SetTextColor(dc, colour);
  DrawTextW(dc, text.c_str(), int(text.size()), &box, align | DT_SINGLELINE | DT_NOPREFIX);
}

void Paint(HWND window) {
  const Look& look = CurrentLook();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  DrawBackgroundText(dc, client, State().title, look.TitleFont, ColourOr(look.TitleColor, COLOR_WINDOWTEXT),
                     look.TitlePosition, look.TitleShadow, 26 * look.TitleSize);
  DrawBackgroundText(dc, client, W(look.CopyrightText), look.CopyrightFont,
                     ColourOr(look.CopyrightColor, COLOR_WINDOWTEXT), look.CopyrightPos, 0, 16 * look.CopyrightSize);
  EndPaint(window, &ps);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_ERASEBKGND:
      Erase(window, reinterpret_cast<HDC>(w));
      return 1;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_SIZE:
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    default:
      return DefWindowProcW(window, message, w, l);
  }
}

}  // namespace

HWND CreateBackgroundWindow(const wchar_t* title, bool minimized) {
  const Look& look = CurrentLook();
  if (!look.background_window) return nullptr;
  WindowState& s = State();
  if (s.window) return s.window;
  s.title = IsBlank(look.DisplayTitle) ? std::wstring(title ? title : L"") : W(look.DisplayTitle);
  s.picture = look.background_picture;
  bool full_screen = look.full_screen;
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) full_screen = true;
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kBackgroundWindowClass;
    registered = RegisterClassW(&wc) != 0;
  }
  const std::wstring caption = W(look.TaskbarText);
  DWORD style = WS_POPUP | (minimized ? WS_MINIMIZE : 0);
  s.window = CreateWindowExW(0, kBackgroundWindowClass, caption.c_str(), style, area.left, area.top,
                             area.right - area.left, area.bottom - area.top, nullptr, nullptr, instance, nullptr);
  if (!s.window) return nullptr;
  ShowWindow(s.window, SW_HIDE);
  ShowWindow(s.window, full_screen ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  if (minimized) ShowWindow(s.window, SW_MINIMIZE);
  SetForegroundWindow(s.window);
  SetActiveWindow(s.window);
  InvalidateRect(s.window, nullptr, TRUE);
  UpdateWindow(s.window);
  return s.window;
}

HWND BackgroundWindow() { return State().window; }

void SetBackgroundTitle(const wchar_t* title) {
  WindowState& s = State();
  if (!IsBlank(CurrentLook().DisplayTitle)) return;  // the look's own title stays
  s.title = title ? title : L"";
  if (s.window) InvalidateRect(s.window, nullptr, TRUE);
}

void CloseBackgroundWindow() {
  WindowState& s = State();
  if (!s.window) return;
  ShowWindow(s.window, SW_MINIMIZE);
  DestroyWindow(s.window);
  s.window = nullptr;
}

}  // namespace halberd::ui
