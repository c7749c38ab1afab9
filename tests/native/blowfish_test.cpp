// Blowfish against the published test vectors, and the installation data's block rule.
#include "foundation/format/blowfish.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/format/setup_cipher.h"

using namespace halberd::format;

namespace {
std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) { s += d[p[i] >> 4]; s += d[p[i] & 15]; }
  return s;
}
Bytes FromHex(const std::string& h) {
  Bytes b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(uint8_t(std::stoul(h.substr(i, 2), nullptr, 16)));
  return b;
}
}  // namespace

TEST(Blowfish, PublishedVectors) {
  struct Case { const char* key; const char* plain; const char* cipher; };
  const Case cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      // Variable key lengths (the set_key series).
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
  };
  for (const Case& c : cases) {
    Bytes key = FromHex(c.key), block = FromHex(c.plain);
    Blowfish bf(key.data(), key.size());
    bf.EncryptEcb(block.data(), block.size());
    EXPECT_EQ(Hex(block.data(), 8), c.cipher) << "key " << c.key;
    bf.DecryptEcb(block.data(), block.size());
    EXPECT_EQ(Hex(block.data(), 8), c.plain) << "key " << c.key;
  }
}

TEST(SetupCipher, BlockRoundTripsForEveryPaddingLength) {
  uint8_t key[kCipherKeySize];
  for (size_t i = 0; i < kCipherKeySize; ++i) key[i] = uint8_t(i * 7 + 1);
  for (size_t n = 0; n < 20; ++n) {
    Bytes payload(n);
    for (size_t i = 0; i < n; ++i) payload[i] = uint8_t(i * 31);
    Bytes block = EncipherBlock(payload.data(), payload.size(), key);
    EXPECT_EQ(block.size() % 8, 0u);
    EXPECT_TRUE(DecipherBlock(block, key)) << n;
    EXPECT_EQ(block, payload) << n;
  }
}

TEST(SetupCipher, BadBlocksAreLeftEmpty) {
  uint8_t key[kCipherKeySize] = {1};
  Bytes odd(12, 0x55);
  EXPECT_FALSE(DecipherBlock(odd, key));
  EXPECT_TRUE(odd.empty());
  Bytes too_short;
  EXPECT_FALSE(DecipherBlock(too_short, key));
  // A trailer claiming more bytes than the block holds.
  Bytes payload(3, 1);
  Bytes block = EncipherBlock(payload.data(), payload.size(), key);
  Blowfish(key, kCipherKeySize).DecryptEcb(block.data(), block.size());
  StoreU32(block.data() + block.size() - 4, 100);
  Blowfish(key, kCipherKeySize).EncryptEcb(block.data(), block.size());
  EXPECT_FALSE(DecipherBlock(block, key));
}

TEST(SetupCipher, ScrambleCoversTrailingBytes) {
  // Lengths 4..7 exercise the whole-word part plus 0-3 trailing bytes.
  const uint32_t key = 0xA1B2C3D4;
  for (size_t n = 4; n < 8; ++n) {
    Bytes data(n, 0);
    XorScramble(data.data(), data.size(), key);
    EXPECT_EQ(LoadU32(data.data()), key);
    for (size_t i = 4; i < n; ++i) EXPECT_EQ(data[i], uint8_t(key >> (8 * (i - 4)))) << n << " " << i;
    XorScramble(data.data(), data.size(), key);
    EXPECT_EQ(data, Bytes(n, 0));
  }
}
