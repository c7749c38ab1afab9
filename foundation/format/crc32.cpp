#include "foundation/format/crc32.h"

#include <zlib.h>

namespace halberd::format {

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  auto p = static_cast<const Bytef*>(data);
  // zlib takes a 32-bit length: feed large buffers in slices.
  while (size > 0) {
    uInt n = size > 0x40000000u ? 0x40000000u : uInt(size);
    crc = uint32_t(crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}

}  // namespace halberd::format
