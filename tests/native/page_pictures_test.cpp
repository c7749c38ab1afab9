// The packed page pictures: the build's packed files give back the very bytes of ui/*.bmp, and a
// damaged or unsupported picture is refused before any of its bytes are used.
#include "ui/page_pictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "foundation/format/xz_encode.h"

using namespace halberd;
using halberd::format::Bytes;

namespace {

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Pack(const Bytes& plain) {
  Bytes packed;
  EXPECT_TRUE(format::XzEncode(plain.data(), plain.size(), {}, packed));
  return packed;
}

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A 2 x 2 bottom-up 24-bit bitmap written out by hand: 14-byte file header, 40-byte information
// header, then two rows of two pixels padded to 8 bytes each.
Bytes TwoByTwo() {
  return Bytes{'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
               40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
               0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
               1, 2, 3, 4, 5, 6, 0, 0,
               7, 8, 9, 10, 11, 12, 0, 0};
}

}  // namespace

TEST(PagePictures, ShippedPicturesUnpackToTheSourceBitmaps) {
  struct Case {
    const char* name;
    int32_t width, height;
  } cases[] = {{"wizard_side", 212, 424}, {"wizard_banner", 600, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes packed = ReadFile(std::string(HALBERD_PICTURES_DIR) + "/" + c.name + ".bmp.xz");
    Bytes source = ReadFile(std::string(HALBERD_SOURCE_DIR) + "/ui/" + c.name + ".bmp");
    ASSERT_FALSE(packed.empty());
    // Packing is what makes the stub small: each picture must shrink well below its plain size.
    EXPECT_LT(packed.size() * 10, source.size());
    auto picture = ui::UnpackPagePicture(packed.data(), packed.size());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->file, source);
    EXPECT_EQ(picture->width, c.width);
    EXPECT_EQ(picture->height, c.height);
    EXPECT_EQ(picture->header_offset, 14u);
    EXPECT_EQ(picture->pixels_offset, 54u);
    EXPECT_EQ(picture->pixels_size, size_t((c.width * 3 + 3) / 4 * 4 * c.height));
  }
}

TEST(PagePictures, HandMadeBitmapIsAccepted) {
  Bytes plain = TwoByTwo();
  Bytes packed = Pack(plain);
  auto picture = ui::UnpackPagePicture(packed.data(), packed.size());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->file, plain);
  EXPECT_EQ(picture->width, 2);
  EXPECT_EQ(picture->height, 2);
  EXPECT_EQ(picture->pixels_offset, 54u);
  EXPECT_EQ(picture->pixels_size, 16u);

  // Top-down rows (negative height) are a bitmap too.
  Put32(plain, 22, uint32_t(-2));
  packed = Pack(plain);
  picture = ui::UnpackPagePicture(packed.data(), packed.size());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->height, -2);
  EXPECT_EQ(picture->pixels_size, 16u);
}

TEST(PagePictures, DamagedOrUnsupportedBitmapsAreRefused) {
  struct Case {
    const char* what;
    size_t at;       // where the 32-bit value goes; 0: the 16-bit signature
    uint32_t value;
    size_t cut = 0;  // bytes cut off the end
  } cases[] = {
      {"not a bitmap signature", 0, 0x4D41, 0},
      {"pixel rows short by one byte", 0, 0x4D42, 1},
      {"8-bit palette picture", 28, 8},
      {"32-bit picture", 28, 32},
      {"run-length compressed", 30, 1},
      {"two planes", 26, 2 | 24 << 16},
      {"zero width", 18, 0},
      {"negative width", 18, uint32_t(-2)},
      {"zero height", 22, 0},
      {"wider than 4096", 18, 4097},
      {"taller than 4096", 22, 4097},
      {"taller than 4096 top-down", 22, uint32_t(-4097)},
      {"rows start inside the header", 10, 50},
      {"rows start past the end", 10, 71},
      {"header shorter than 40 bytes", 14, 12},
      {"header longer than the file", 14, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes plain = TwoByTwo();
    if (c.at == 0) {
      plain[0] = uint8_t(c.value);
      plain[1] = uint8_t(c.value >> 8);
    } else {
      Put32(plain, c.at, c.value);
    }
    plain.resize(plain.size() - c.cut);
    Bytes packed = Pack(plain);
    EXPECT_FALSE(ui::UnpackPagePicture(packed.data(), packed.size()));
  }
}

TEST(PagePictures, DamagedPackingIsRefused) {
  Bytes packed = Pack(TwoByTwo());
  Bytes truncated(packed.begin(), packed.end() - 1);
  Bytes flipped = packed;
  flipped[flipped.size() / 2] ^= 0x40;
  Bytes plain = TwoByTwo();  // an unpacked bitmap is not accepted as packed
  EXPECT_FALSE(ui::UnpackPagePicture(truncated.data(), truncated.size()));
  EXPECT_FALSE(ui::UnpackPagePicture(flipped.data(), flipped.size()));
  EXPECT_FALSE(ui::UnpackPagePicture(plain.data(), plain.size()));
  EXPECT_FALSE(ui::UnpackPagePicture(nullptr, 0));
}
