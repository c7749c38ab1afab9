// The look on Windows: font lists resolved against the installed fonts, and the unset colours.
#include <gtest/gtest.h>

#include "ui/look_win32.h"

using namespace halberd::ui;

TEST(LookWindows, FontListTakesTheFirstInstalledFace) {
  // Wine and Windows both carry Tahoma; a name that is not installed is passed over.
  EXPECT_EQ(FirstInstalledFace(u"No Such Font Anywhere, Tahoma, Arial"), L"Tahoma");
  EXPECT_EQ(FirstInstalledFace(u"  tahoma  "), L"Tahoma");  // names are trimmed and matched in any case
}

TEST(LookWindows, NoInstalledFaceFallsBackToShellDlgThenArial) {
  std::wstring face = FirstInstalledFace(u"No Such Font, Nor This One");
  EXPECT_TRUE(face == L"MS Shell Dlg 2" || face == L"Arial") << face.c_str();
}

TEST(LookWindows, UnsetColoursAreTheSystemColours) {
  EXPECT_EQ(ColourOr(kUnset, COLOR_WINDOW), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(ColourOr(0x123456, COLOR_WINDOW), COLORREF(0x123456));
}
