#include "foundation/format/setup_cipher.h"

#include "foundation/format/blowfish.h"

namespace halberd::format {

void XorScramble(uint8_t* data, size_t size, uint32_t key) {
  size_t words = size / 4;
  for (size_t i = 0; i < words; ++i) StoreU32(data + 4 * i, LoadU32(data + 4 * i) ^ key);
  for (size_t i = words * 4, k = 0; i < size; ++i, ++k) data[i] ^= uint8_t(key >> (8 * k));
}

bool DecipherBlock(Bytes& block, const uint8_t key[kCipherKeySize]) {
  size_t n = block.size();
  if (n < 8 || n % 8 != 0) {
    block.clear();
    return false;
  }
  Blowfish(key, kCipherKeySize).DecryptEcb(block.data(), n);
  uint32_t length = LoadU32(block.data() + n - 4);
  if (uint64_t(length) + 12 < n || uint64_t(length) + 4 > n) {
    block.clear();
    return false;
  }
  block.resize(length);
  return true;
}

Bytes EncipherBlock(const uint8_t* payload, size_t size, const uint8_t key[kCipherKeySize]) {
  size_t total = (size + 4 + 7) / 8 * 8;
  Bytes block(total, 0);
  if (size) std::memcpy(block.data(), payload, size);
  StoreU32(block.data() + total - 4, uint32_t(size));
  Blowfish(key, kCipherKeySize).EncryptEcb(block.data(), total);
  return block;
}

}  // namespace halberd::format
