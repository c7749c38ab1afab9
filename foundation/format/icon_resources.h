// An icon file (.ico) taken apart into the resources that give a program its icon: one icon
// resource per image and the group directory that lists them. The installer uses it to put the
// product's uninstaller icon into the uninstaller copy; the byte layouts are the ones Windows
// reads for a program's icon group.
//
// Icon file (little-endian):
//   0   u16  reserved, 0
//   2   u16  type, 1 (icon)
//   4   u16  n, number of images (at least 1)
//   6   n x 16 bytes, one IconEntryHeader each:
//        0  u8   width      1  u8  height     2  u8  colour count   3  u8  reserved
//        4  u16  planes     6  u16 bit count  8  u32 bytes of the image
//       12  u32  file offset of the image
// Group directory (group-icon resource): the same 6-byte header, then n entries of 14 bytes:
// the first 12 bytes of the image's IconEntryHeader, then a u16 with the image's resource
// number (1, 2, 3, ... in file order).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::format {

inline constexpr size_t kIconDirHeaderSize = 6;
inline constexpr size_t kIconEntryHeaderSize = 16;
inline constexpr size_t kGroupIconEntrySize = 14;

struct IconResources {
  std::vector<std::string> images;  // icon resource i+1
  std::string group;                // group-icon resource 1
};

// The resources of an icon file; nullopt when it is not one: a header other than 0, 1, n >= 1,
// a directory or an image that runs past the end of the data, or an empty image.
std::optional<IconResources> IconResourcesFromIcoFile(std::string_view ico);

}  // namespace halberd::format
