// The wizard's default page pictures (the side picture and the banner) travel xz-packed in the
// program's resources: as plain 24-bit bitmaps they were most of the installer's size, and the
// packed form takes a few kilobytes. This unpacks one and checks that it is a bitmap the pages can
// show before any of its bytes are used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "foundation/format/byte_io.h"

namespace halberd::ui {

// Resource ids (raw data) of the packed pictures.
inline constexpr int kSidePictureResource = 2;
inline constexpr int kBannerPictureResource = 3;

// An unpacked picture: the whole BMP file image, with the places of its information header
// (a BITMAPINFOHEADER) and of its pixel rows.
struct UnpackedPicture {
  format::Bytes file;
  size_t header_offset = 0;
  size_t pixels_offset = 0;
  size_t pixels_size = 0;  // row stride times the number of rows
  int32_t width = 0;
  int32_t height = 0;  // as stored: positive for bottom-up rows
};

// Unpacks an xz-packed BMP file image. Only an uncompressed 24-bit bitmap of at most 4096 pixels
// each way whose rows lie wholly inside the image is accepted; anything else gives nothing.
std::optional<UnpackedPicture> UnpackPagePicture(const uint8_t* packed, size_t size);

}  // namespace halberd::ui
