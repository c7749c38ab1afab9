// The default page pictures as the wizard loads them: unpacked from the installer's own resources
// into 24-bit DIB sections of the pictures' sizes, with the source bitmaps' colours.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ui/page_pictures.h"
#include "ui/page_pictures_win32.h"

using namespace halberd::ui;

namespace {

// The installer stub, built beside this test program, opened for its resources only.
HMODULE OpenStub() {
  wchar_t self[MAX_PATH];
  std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  path = path.substr(0, path.rfind(L'\\') + 1) + L"halberd-setup.exe";
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// Colour of pixel (x, y), y counted from the top, of a bottom-up 24-bit DIB section.
COLORREF Pixel(const DIBSECTION& dib, int x, int y) {
  const int stride = (dib.dsBm.bmWidth * 3 + 3) / 4 * 4;
  const auto* p = static_cast<const BYTE*>(dib.dsBm.bmBits) + (dib.dsBm.bmHeight - 1 - y) * stride + x * 3;
  return RGB(p[2], p[1], p[0]);
}

}  // namespace

TEST(PagePicturesWindows, StubPicturesLoadAsDibSections) {
  HMODULE stub = OpenStub();
  ASSERT_NE(stub, nullptr);
  // Sizes from the pictures; colours read off ui/wizard_side.bmp and ui/wizard_banner.bmp.
  struct Case {
    int resource, width, height;
    COLORREF top_left, centre, bottom_right;
  } cases[] = {
      {kSidePictureResource, 212, 424, RGB(52, 75, 113), RGB(110, 148, 172), RGB(40, 120, 150)},
      {kBannerPictureResource, 600, 64, RGB(160, 191, 212), RGB(252, 253, 255), RGB(170, 180, 190)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resource);
    HBITMAP picture = LoadPagePicture(stub, c.resource);
    ASSERT_NE(picture, nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(picture, sizeof dib, &dib), int(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, c.width);
    EXPECT_EQ(dib.dsBm.bmHeight, c.height);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    ASSERT_NE(dib.dsBm.bmBits, nullptr);
    EXPECT_EQ(Pixel(dib, 0, 0), c.top_left);
    EXPECT_EQ(Pixel(dib, c.width / 2, c.height / 2), c.centre);
    EXPECT_EQ(Pixel(dib, c.width - 1, c.height - 1), c.bottom_right);
    DeleteObject(picture);
  }
  // A picture the program does not carry gives nothing rather than a blank bitmap.
  EXPECT_EQ(LoadPagePicture(stub, 99), nullptr);
  FreeLibrary(stub);
}
