#include "foundation/format/xz_encode.h"

#include <lzma.h>

namespace halberd::format {

bool XzEncode(const uint8_t* in, size_t in_size, const XzOptions& options, Bytes& out) {
  out.clear();
  lzma_options_lzma lzma_options;
  if (lzma_lzma_preset(&lzma_options, options.preset)) return false;
  // The dictionary never needs to be larger than the input: this keeps the decoder's memory small.
  uint32_t dict = lzma_options.dict_size;
  while (dict / 2 >= in_size && dict / 2 >= 4096) dict /= 2;
  lzma_options.dict_size = dict;
  lzma_filter filters[3];
  int f = 0;
  if (options.x86_filter) filters[f++] = {LZMA_FILTER_X86, nullptr};
  filters[f++] = {LZMA_FILTER_LZMA2, &lzma_options};
  filters[f] = {LZMA_VLI_UNKNOWN, nullptr};

  size_t bound = lzma_stream_buffer_bound(in_size);
  out.resize(bound);
  size_t out_pos = 0;
  lzma_ret r = lzma_stream_buffer_encode(filters, LZMA_CHECK_CRC32, nullptr, in, in_size, out.data(),
                                         &out_pos, out.size());
  if (r != LZMA_OK) {
    out.clear();
    return false;
  }
  out.resize(out_pos);
  return true;
}

}  // namespace halberd::format
