// Arbitrary bytes as a setup script. The first byte chooses the run: bit 0 silent mode, bits 1-3
// the ProductFlags2 bits 24-26 that add items 49-51. Every input must end in success or one of
// the script's corrupt codes; a script that loads must write again and read back to the same
// bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/setup_script.h"

using namespace halberd::format;

namespace {

bool IsScriptCode(int code) {
  switch (code) {
    case corrupt::kNone:
    case corrupt::kScriptDwellTime:
    case corrupt::kScriptLicenseCount:
    case corrupt::kScriptReadmeCount:
    case corrupt::kScriptLanguageCount:
    case corrupt::kScriptTextCount:
    case corrupt::kScriptEnd:
    case corrupt::kScriptAssociationCount:
    case corrupt::kScriptUninstallValueCount:
    case corrupt::kScriptDeletionCount:
    case corrupt::kScriptBitmapSize:
    case corrupt::kScriptAutoCloseCount:
    case corrupt::kScriptRegistrationCount:
      return true;
    default:
      return false;
  }
}

int ReadScript(const Bytes& bytes, bool silent, uint32_t flags2, SetupScript& script) {
  ByteReader in(bytes);
  script.ProductFlags2 = flags2;
  int code = ReadScriptHead(in, silent, script);
  return code ? code : ReadScriptBody(in, script);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool silent = data[0] & 1;
  const uint32_t flags2 = uint32_t((data[0] >> 1) & 7) << 24;
  const Bytes bytes(data + 1, data + size);  // exact size: a read past the end is an ASan report

  SetupScript script;
  int code = ReadScript(bytes, silent, flags2, script);
  if (!IsScriptCode(code)) std::abort();
  if (code != 0) return 0;

  // Compared as bytes, not as structures: a double read from the input may be a NaN.
  ByteWriter first;
  if (!WriteSetupScript(script, first)) std::abort();
  SetupScript again;
  if (ReadScript(first.bytes(), false, flags2, again) != 0) std::abort();
  ByteWriter second;
  if (!WriteSetupScript(again, second) || second.bytes() != first.bytes()) std::abort();
  return 0;
}
