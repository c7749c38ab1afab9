// Arbitrary bytes as a server's response. The first byte chooses the run: bit 0 a HEAD request,
// bit 1 the connection ends with a reset instead of a close, bit 2 the body goes to a sink, bit 3
// the headers hook declines the body; the next two bytes seed the slice sizes. The rest is fed
// once whole and once in slices of 1-64 bytes. Both runs must end in the same result and body,
// and that result must be a status (100-999) or one of the parser's codes. A sink stops the read
// (1006) at a DEL byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/http_response.h"
#include "foundation/http_result.h"

using namespace halberd;

namespace {

bool IsParserResult(int result) {
  if (IsHttpStatus(result)) return true;
  switch (result) {
    case http_result::kClosed:
    case http_result::kBadStatusLine:
    case http_result::kCancelled:
    case http_result::kReset:
    case http_result::kBadResponse:
    case http_result::kTooLarge:
      return true;
    default:
      return false;
  }
}

struct Outcome {
  int result;
  std::string body;
};

Outcome ParseInSlices(std::string_view bytes, uint8_t mode, uint32_t seed) {
  HttpResponseParser parser(mode & 1);
  parser.SetMaxKeptBody(1 << 20);
  std::string sunk;
  if (mode & 4) {
    parser.SetBodySink([&](std::string_view piece) {
      if (piece.empty()) std::abort();  // the sink never gets empty pieces
      sunk += piece;
      return piece.find('\x7F') == std::string_view::npos;  // a DEL byte in the body stops it: 1006
    });
  }
  if (mode & 8) parser.SetHeadersHook([](const HttpResponseParser& p) { return p.status() != 200; });
  int result = 0;
  while (!bytes.empty()) {
    size_t size = bytes.size();
    if (seed != 0) {
      seed = seed * 1103515245u + 12345u;
      size = std::min<size_t>(bytes.size(), 1 + (seed >> 16) % 64);
    }
    int r = parser.Feed(bytes.substr(0, size));
    if (result != 0 && r != result) std::abort();  // a result never changes
    result = r;
    bytes.remove_prefix(size);
  }
  int final_result = parser.Finish(mode & 2);
  if (result != 0 && final_result != result) std::abort();
  if (final_result == 0 || final_result != parser.result()) std::abort();
  if (parser.phase() != HttpResponseParser::Phase::kDone) std::abort();
  return {final_result, (mode & 4) ? sunk : parser.body()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  const uint32_t seed = (uint32_t(data[1]) << 8 | data[2]) | 1;
  // A copy of exactly the input's size: a read past its end is an ASan report.
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);

  const Outcome whole = ParseInSlices(bytes, mode, 0);
  if (!IsParserResult(whole.result)) std::abort();
  const Outcome sliced = ParseInSlices(bytes, mode, seed);
  if (sliced.result != whole.result) std::abort();
  // A stopped body holds what the sink had taken, which depends on the slices.
  if (whole.result != http_result::kCancelled && sliced.body != whole.body) std::abort();
  return 0;
}
