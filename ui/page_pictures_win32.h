// The wizard's default page pictures as bitmaps: unpacked from a module's resources into a DIB
// section, as loading a plain bitmap resource with LR_CREATEDIBSECTION would give.
#pragma once
#include <windows.h>

namespace halberd::ui {

// The picture of raw-data resource `resource` (kSidePictureResource, kBannerPictureResource) of
// `module`; nullptr when it is missing or damaged. The caller owns the bitmap.
HBITMAP LoadPagePicture(HMODULE module, int resource);

}  // namespace halberd::ui
