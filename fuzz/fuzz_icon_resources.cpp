// Arbitrary bytes as the uninstaller icon of the installation data, taken apart into icon
// resources. No input may crash or read outside the bytes; an icon that is accepted gives one
// image per directory entry, each a piece of the input, and a group directory of 6 bytes plus 14
// per image whose entries number the images 1, 2, 3, ...
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/format/icon_resources.h"

using namespace halberd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view ico(reinterpret_cast<const char*>(data), size);
  std::optional<format::IconResources> r = format::IconResourcesFromIcoFile(ico);
  if (!r) return 0;
  const size_t count = r->images.size();
  if (count == 0 || count != size_t(data[4] | data[5] << 8)) abort();
  if (r->group.size() != format::kIconDirHeaderSize + count * format::kGroupIconEntrySize) abort();
  if (r->group.compare(0, format::kIconDirHeaderSize, ico.substr(0, format::kIconDirHeaderSize)) != 0) abort();
  for (size_t i = 0; i < count; ++i) {
    if (r->images[i].empty() || ico.find(r->images[i]) == std::string_view::npos) abort();
    const size_t entry = format::kIconDirHeaderSize + i * format::kGroupIconEntrySize;
    const unsigned number = uint8_t(r->group[entry + 12]) | uint8_t(r->group[entry + 13]) << 8;
    if (number != i + 1) abort();
  }
  return 0;
}
