// Blowfish block cipher (64-bit blocks, keys of 1 to 56 bytes). The installation data uses it in
// ECB mode with a 448-bit key; each 8-byte block is two big-endian 32-bit halves.
#pragma once
#include <cstddef>
#include <cstdint>

namespace halberd::format {

class Blowfish {
 public:
  Blowfish(const uint8_t* key, size_t key_length);
  void Encrypt(uint32_t& left, uint32_t& right) const;
  void Decrypt(uint32_t& left, uint32_t& right) const;
  // In place over whole 8-byte blocks; a trailing partial block is left as it is.
  void EncryptEcb(uint8_t* data, size_t size) const;
  void DecryptEcb(uint8_t* data, size_t size) const;

 private:
  uint32_t F(uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
  }
  uint32_t p_[18];
  uint32_t s_[4][256];
};

}  // namespace halberd::format
