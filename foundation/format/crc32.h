// CRC-32 of zlib, started from 0: the checksum of every part of the installation data.
#pragma once
#include <cstddef>
#include <cstdint>

namespace halberd::format {
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
}
