#include "foundation/format/xz_decode.h"

#include <lzma.h>

#include <cstdint>

namespace halberd::format {

namespace {
constexpr size_t kSlice = 16384;

struct Decoder {
  lzma_stream strm = LZMA_STREAM_INIT;
  ~Decoder() { lzma_end(&strm); }
};
}  // namespace

XzStatus XzDecodeTo(const uint8_t* in, size_t in_size, const OutputSink& sink) {
  Decoder d;
  if (lzma_stream_decoder(&d.strm, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) return XzStatus::kCorrupt;
  uint8_t out[kSlice];
  size_t consumed = 0;
  for (;;) {
    if (d.strm.avail_in == 0 && consumed < in_size) {
      size_t n = in_size - consumed < kSlice ? in_size - consumed : kSlice;
      d.strm.next_in = in + consumed;
      d.strm.avail_in = n;
      consumed += n;
    }
    lzma_action action = consumed == in_size ? LZMA_FINISH : LZMA_RUN;
    d.strm.next_out = out;
    d.strm.avail_out = kSlice;
    lzma_ret r = lzma_code(&d.strm, action);
    size_t produced = kSlice - d.strm.avail_out;
    if (produced > 0 && !sink(out, produced)) return XzStatus::kSinkFailed;
    if (r == LZMA_STREAM_END) {
      // Trailing bytes after the last stream are damage, not padding.
      return d.strm.avail_in == 0 && consumed == in_size ? XzStatus::kOk : XzStatus::kCorrupt;
    }
    if (r != LZMA_OK) return XzStatus::kCorrupt;
    // No progress with all input given means the stream is truncated.
    if (produced == 0 && d.strm.avail_in == 0 && consumed == in_size && action == LZMA_FINISH)
      return XzStatus::kCorrupt;
  }
}

bool XzDecodeAll(const uint8_t* in, size_t in_size, Bytes& out) {
  out.clear();
  out.reserve(in_size * 3 + 1024);
  auto status = XzDecodeTo(in, in_size, [&out](const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  if (status != XzStatus::kOk) out.clear();
  return status == XzStatus::kOk;
}

}  // namespace halberd::format
