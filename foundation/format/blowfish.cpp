// Blowfish as published by Schneier: 16 rounds, P-array and S-boxes seeded from pi and then
// replaced by encrypting a zero block with the key schedule.
#include "foundation/format/blowfish.h"

#include <cstring>

#include "foundation/format/blowfish_tables.h"

namespace halberd::format {

Blowfish::Blowfish(const uint8_t* key, size_t key_length) {
  std::memcpy(p_, blowfish_tables::kP, sizeof p_);
  std::memcpy(s_, blowfish_tables::kS, sizeof s_);
  if (key_length > 0) {
    size_t k = 0;
    for (uint32_t& p : p_) {
      uint32_t word = 0;
      for (int i = 0; i < 4; ++i) {
        word = (word << 8) | key[k];
        k = (k + 1) % key_length;
      }
      p ^= word;
    }
  }
  uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(l, r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      Encrypt(l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  }
}

void Blowfish::Encrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  left = r ^ p_[17];
  right = l ^ p_[16];
}

void Blowfish::Decrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i - 1];
    l ^= F(r);
  }
  left = r ^ p_[0];
  right = l ^ p_[1];
}

namespace {
uint32_t LoadBe(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
void StoreBe(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}
}  // namespace

void Blowfish::EncryptEcb(uint8_t* data, size_t size) const {
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint32_t l = LoadBe(data + i), r = LoadBe(data + i + 4);
    Encrypt(l, r);
    StoreBe(data + i, l);
    StoreBe(data + i + 4, r);
  }
}

void Blowfish::DecryptEcb(uint8_t* data, size_t size) const {
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint32_t l = LoadBe(data + i), r = LoadBe(data + i + 4);
    Decrypt(l, r);
    StoreBe(data + i, l);
    StoreBe(data + i + 4, r);
  }
}

}  // namespace halberd::format
