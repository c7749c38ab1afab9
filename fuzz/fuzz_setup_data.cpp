// The installation data reader over arbitrary bytes taken as a mapped ".setup" section: header,
// script block, archive size and CRC, then every chunk. Each input must end in success, a corrupt
// code or the version message; never a crash, a read out of bounds or a hang. The chunks are
// unpacked with one thread and with three, which must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "foundation/format/setup_data.h"

using namespace halberd::format;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<int> kCodes = {0, 20, 22, 25, 27, 28, 29, 45, 46, 47, 55, 60, 61, 62, 63, kVersionMismatch};
  SetupHeader h;
  int code = ParseSetupHeader(data, size, h);
  if (!kCodes.count(code)) std::abort();
  if (code) return 0;
  Bytes script;
  code = UnpackScript(h, data + h.script_offset, script);
  if (!kCodes.count(code)) std::abort();
  ScriptCrcMatches(h, script);
  MemoryArchiveSource source(data + h.archive_offset, size_t(SectionArchiveBytes(h, size)));
  // A memory source never fails to read: checking ends in success or damage.
  ArchiveResult verified = VerifyArchive(h, source);
  if (!verified.ok() && (verified.outcome != ArchiveOutcome::kCorrupt || !kCodes.count(verified.corrupt_code)))
    std::abort();
  if (verified.corrupt_code == 46) return 0;  // the installer stops here: the chunks lie partly outside the bytes given
  // The fuzzer cannot forge the archive CRC: check the chunks whether or not it matched. One
  // thread and three must give the same bytes in the same order and the same first result.
  const bool xz_chunks = data[size - 1] & 1;
  struct Outcome {
    ArchiveResult result;
    std::vector<uint8_t> bytes;
  };
  auto unpack = [&](unsigned threads) {
    Outcome out;
    MemoryArchiveSource fresh(data + h.archive_offset, size_t(SectionArchiveBytes(h, size)));
    out.result = UnpackArchive(h, xz_chunks, fresh, [&](const uint8_t* piece, size_t n) {
      out.bytes.insert(out.bytes.end(), piece, piece + n);
      return out.bytes.size() < (16u << 20);  // a bound on the output of one input
    }, {}, threads);
    return out;
  };
  const Outcome one = unpack(1);
  if (one.result.outcome == ArchiveOutcome::kSourceReadFailed) std::abort();
  if (one.result.outcome == ArchiveOutcome::kCorrupt && !kCodes.count(one.result.corrupt_code)) std::abort();
  const Outcome three = unpack(3);
  if (!(three.result == one.result) || three.bytes != one.bytes) std::abort();
  return 0;
}
