// Icon file to icon resources: the images cut out and the group directory built, checked against
// hand-made bytes; damaged icon files are refused.
#include "foundation/format/icon_resources.h"

#include <gtest/gtest.h>

#include <string>

using namespace halberd::format;

namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(char(b));
  return out;
}

// Two images: a 16x16 of 4 bytes at offset 38 and a 32x32 of 3 bytes at offset 42 (the header,
// two entries of 16 bytes, then the images).
std::string TwoImageIco() {
  return B({0, 0, 1, 0, 2, 0,
            16, 16, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 38, 0, 0, 0,
            32, 32, 16, 0, 1, 0, 8, 0, 3, 0, 0, 0, 42, 0, 0, 0,
            'a', 'b', 'c', 'd', 'x', 'y', 'z'});
}

}  // namespace

TEST(IconResources, ImagesAndGroupDirectory) {
  std::optional<IconResources> r = IconResourcesFromIcoFile(TwoImageIco());
  ASSERT_TRUE(r);
  ASSERT_EQ(r->images.size(), 2u);
  EXPECT_EQ(r->images[0], "abcd");
  EXPECT_EQ(r->images[1], "xyz");
  // 6-byte header, then 14 bytes per image: the first 12 bytes of its entry and its number.
  EXPECT_EQ(r->group, B({0, 0, 1, 0, 2, 0,
                         16, 16, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 1, 0,
                         32, 32, 16, 0, 1, 0, 8, 0, 3, 0, 0, 0, 2, 0}));
}

TEST(IconResources, DamagedIconFilesAreRefused) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string good = TwoImageIco();
  auto with = [&](size_t at, int value) {
    std::string b = good;
    b[at] = char(value);
    return b;
  };
  const Case cases[] = {
      {"empty", ""},
      {"header cut short", good.substr(0, 5)},
      {"reserved not 0", with(0, 1)},
      {"a cursor, not an icon", with(2, 2)},
      {"no images", with(4, 0)},
      {"directory past the end", with(4, 3)},
      {"image past the end", with(6 + 16 + 8, 4)},
      {"offset past the end", with(6 + 16 + 12, 200)},
      {"offset near 4 GiB", with(6 + 16 + 15, 0xFF)},
      {"empty image", with(6 + 8, 0)},
  };
  for (const Case& c : cases) EXPECT_FALSE(IconResourcesFromIcoFile(c.bytes)) << c.what;
}
