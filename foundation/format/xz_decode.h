// .xz stream decoding with liblzma (no memory limit, concatenated streams accepted). Input is fed
// in slices of at most 16384 bytes and output produced 16384 bytes at a time, so a chunk of any
// size is unpacked without holding its output whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "foundation/format/byte_io.h"

namespace halberd::format {

// Receives each piece of output; returning false stops decoding.
using OutputSink = std::function<bool(const uint8_t* data, size_t size)>;

enum class XzStatus { kOk, kCorrupt, kSinkFailed };

XzStatus XzDecodeTo(const uint8_t* in, size_t in_size, const OutputSink& sink);

// Whole output in memory (the setup script): the buffer starts at three times the input plus
// 1024 bytes and grows as needed.
bool XzDecodeAll(const uint8_t* in, size_t in_size, Bytes& out);

}  // namespace halberd::format
