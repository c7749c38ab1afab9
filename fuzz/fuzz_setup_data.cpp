// The installation data reader over arbitrary bytes taken as a mapped ".setup" section: header,
// script block, archive size and CRC, then every chunk. Each input must end in success, a corrupt
// code or the version message; never a crash, a read out of bounds or a hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

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
  // The fuzzer cannot forge the archive CRC: check the chunks whether or not it matched.
  uint64_t produced = 0;
  ArchiveResult unpacked = UnpackArchive(h, data[size - 1] & 1, source, [&](const uint8_t*, size_t n) {
    produced += n;
    return produced < (64u << 20);  // a bound on the output of one input
  });
  if (unpacked.outcome == ArchiveOutcome::kSourceReadFailed) std::abort();
  if (unpacked.outcome == ArchiveOutcome::kCorrupt && !kCodes.count(unpacked.corrupt_code)) std::abort();
  return 0;
}
