// The look on Windows: font lists resolved against the installed fonts, and the unset colours.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <cwctype>
#include <string>

#include "ui/look_win32.h"

using namespace halberd::ui;

namespace {

// A face the system reports as installed, other than Arial (what it names, not what the code
// under test finds). Systems differ: Debian's Wine carries no Tahoma, for one.
int CALLBACK TakeFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
  std::wstring face = font->lfFaceName;
  if (face.empty() || face[0] == L'@' || _wcsicmp(face.c_str(), L"Arial") == 0) return 1;
  *reinterpret_cast<std::wstring*>(param) = face;
  return 0;
}

std::wstring SomeInstalledFace() {
  std::wstring found;
  HDC dc = GetDC(nullptr);
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &wanted, TakeFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

TEST(LookWindows, FontListTakesTheFirstInstalledFace) {
  const std::wstring face = SomeInstalledFace();
  ASSERT_FALSE(face.empty()) << "the system reports no font";
  // A name that is not installed is passed over.
  EXPECT_EQ(FirstInstalledFace(u"No Such Font Anywhere, " + U16(face) + u", Arial"), face);
  // Names are trimmed and matched in any case.
  std::wstring lower = face;
  for (wchar_t& c : lower) c = towlower(c);
  EXPECT_EQ(FirstInstalledFace(u"  " + U16(lower) + u"  "), face);
}

TEST(LookWindows, NoInstalledFaceFallsBackToShellDlgThenArial) {
  std::wstring face = FirstInstalledFace(u"No Such Font, Nor This One");
  EXPECT_TRUE(face == L"MS Shell Dlg 2" || face == L"Arial") << face.c_str();
}

TEST(LookWindows, UnsetColoursAreTheSystemColours) {
  EXPECT_EQ(ColourOr(kUnset, COLOR_WINDOW), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(ColourOr(0x123456, COLOR_WINDOW), COLORREF(0x123456));
}
