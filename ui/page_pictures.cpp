// Unpacking and checking the packed page pictures (see the header).
#include "ui/page_pictures.h"

#include "foundation/format/xz_decode.h"

namespace halberd::ui {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr int32_t kMaxSide = 4096;

uint16_t U16(const format::Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t U32(const format::Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

std::optional<UnpackedPicture> UnpackPagePicture(const uint8_t* packed, size_t size) {
  UnpackedPicture picture;
  if (!packed || !format::XzDecodeAll(packed, size, picture.file)) return std::nullopt;
  const format::Bytes& b = picture.file;
  if (b.size() < kFileHeaderSize + kInfoHeaderSize || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const uint32_t pixels_at = U32(b, 10);
  const uint32_t header_size = U32(b, 14);
  const int32_t width = int32_t(U32(b, 18));
  const int32_t height = int32_t(U32(b, 22));
  // A larger (V4/V5) header is read as its first 40 bytes, as Windows does.
  if (header_size < kInfoHeaderSize || header_size > b.size() - kFileHeaderSize) return std::nullopt;
  if (U16(b, 26) != 1 || U16(b, 28) != 24 || U32(b, 30) != 0) return std::nullopt;  // planes, bits, BI_RGB
  if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide) return std::nullopt;
  const size_t rows = size_t(height < 0 ? -int64_t(height) : height);
  const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
  if (pixels_at < kFileHeaderSize + header_size || pixels_at > b.size() || b.size() - pixels_at < stride * rows)
    return std::nullopt;
  picture.header_offset = kFileHeaderSize;
  picture.pixels_offset = pixels_at;
  picture.pixels_size = stride * rows;
  picture.width = width;
  picture.height = height;
  return picture;
}

}  // namespace halberd::ui
