// Icon file to icon resources: the images cut out by their directory entries, and the group
// directory rebuilt with resource numbers in place of file offsets.
#include "foundation/format/icon_resources.h"

namespace halberd::format {

namespace {

uint16_t U16(std::string_view b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
uint32_t U32(std::string_view b, size_t at) {
  return uint32_t(U16(b, at)) | uint32_t(U16(b, at + 2)) << 16;
}
void PutU16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}

}  // namespace

std::optional<IconResources> IconResourcesFromIcoFile(std::string_view ico) {
  if (ico.size() < kIconDirHeaderSize || U16(ico, 0) != 0 || U16(ico, 2) != 1) return std::nullopt;
  const size_t count = U16(ico, 4);
  if (count == 0 || (ico.size() - kIconDirHeaderSize) / kIconEntryHeaderSize < count) return std::nullopt;
  IconResources out;
  out.group.assign(ico.substr(0, kIconDirHeaderSize));
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = kIconDirHeaderSize + i * kIconEntryHeaderSize;
    const uint32_t bytes = U32(ico, entry + 8);
    const uint32_t offset = U32(ico, entry + 12);
    // Compared without adding, so a huge offset cannot wrap around.
    if (bytes == 0 || offset > ico.size() || bytes > ico.size() - offset) return std::nullopt;
    out.images.emplace_back(ico.substr(offset, bytes));
    out.group.append(ico.substr(entry, 12));
    PutU16(out.group, uint16_t(i + 1));
  }
  return out;
}

}  // namespace halberd::format
