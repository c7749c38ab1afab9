// .xz stream encoding for the pack tool (the installer links the decoder only).
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/format/byte_io.h"

namespace halberd::format {

struct XzOptions {
  uint32_t preset = 6;    // 0-9, optionally with LZMA_PRESET_EXTREME
  bool x86_filter = false;  // BCJ x86 filter ahead of LZMA2, for machine code
};

bool XzEncode(const uint8_t* in, size_t in_size, const XzOptions& options, Bytes& out);

}  // namespace halberd::format
