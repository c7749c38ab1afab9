// Loading the packed page pictures from the resources (see the header).
#include "ui/page_pictures_win32.h"

#include <cstring>

#include "ui/gdi_handles_win32.h"
#include "ui/page_pictures.h"

namespace halberd::ui {

HBITMAP LoadPagePicture(HMODULE module, int resource) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return nullptr;
  std::optional<UnpackedPicture> picture =
      UnpackPagePicture(static_cast<const uint8_t*>(data), SizeofResource(module, found));
  if (!picture) return nullptr;
  BITMAPINFO info{};
  std::memcpy(&info.bmiHeader, picture->file.data() + picture->header_offset, sizeof info.bmiHeader);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return nullptr;
  std::memcpy(bits, picture->file.data() + picture->pixels_offset, picture->pixels_size);
  return static_cast<HBITMAP>(bitmap.release());
}

}  // namespace halberd::ui
