// The two protections of the setup script block and the archive chunks:
//  - scrambling: XOR with the script key as 32-bit little-endian words, the 1-3 trailing bytes
//    with the key's low, second and third bytes in turn (its own inverse);
//  - enciphering: Blowfish ECB with the 56-byte key over a block whose last 4 bytes (little-endian)
//    give the true payload length L, with length - 12 <= L <= length - 4.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/format/byte_io.h"

namespace halberd::format {

constexpr size_t kCipherKeySize = 56;

void XorScramble(uint8_t* data, size_t size, uint32_t key);

// Deciphers in place and cuts the block to its payload. A block that breaks the length rules
// (not a multiple of 8, shorter than 8, a bad trailer) is left empty and false is returned.
bool DecipherBlock(Bytes& block, const uint8_t key[kCipherKeySize]);

// The inverse, for the pack tool: payload, zero padding, then the length trailer, enciphered.
Bytes EncipherBlock(const uint8_t* payload, size_t size, const uint8_t key[kCipherKeySize]);

}  // namespace halberd::format
