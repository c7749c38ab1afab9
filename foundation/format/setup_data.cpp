#include "foundation/format/setup_data.h"

#include <algorithm>
#include <cstring>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/version_compare.h"

namespace halberd::format {

int ParseSetupHeader(const uint8_t* section, size_t available, SetupHeader& h) {
  h = SetupHeader{};
  ByteReader r(section, available);
  uint32_t magic;
  if (!r.ReadU32(magic) || magic != kSetupMagic) return corrupt::kMagic;

  // The version text is bounded by its 8-byte field; a longer text is still shown in the message.
  size_t limit = r.remaining() < 64 ? r.remaining() : 64;
  const uint8_t* v = r.current();
  size_t len = 0;
  while (len < limit && v[len] != 0) ++len;
  h.version.assign(reinterpret_cast<const char*>(v), len);
  if (len >= kVersionFieldSize || CompareVersions(h.version, kDataFormatVersion) != 0) return kVersionMismatch;
  r.Skip(kVersionFieldSize);

  if (!r.ReadU32(h.flags2)) return corrupt::kScriptSize;
  if (!r.ReadI32(h.script_size) || h.script_size < 1 || h.script_size >= kMaxScriptSize) return corrupt::kScriptSize;
  if (!r.ReadU32(h.script_key) || !r.ReadU32(h.image_crc)) return corrupt::kScriptSize;
  if (!r.ReadI32(h.total_size) || h.total_size < 0) return corrupt::kTotalSize;
  if (!r.ReadI32(h.file_count) || h.file_count < 0) return corrupt::kFileCount;
  if (!r.ReadI32(h.archive_size) || h.archive_size < 0) return corrupt::kArchiveSize;
  if (!r.ReadU32(h.archive_crc)) return corrupt::kArchiveSize;

  if (uint64_t(h.file_count) * 4 > r.remaining()) return corrupt::kFileCount;
  h.file_sizes.resize(size_t(h.file_count));
  for (int32_t& size : h.file_sizes) {
    r.ReadI32(size);
    if (size < 0 || size > kMaxFileSize) return corrupt::kFileSize;
  }
  h.enciphered = (h.flags2 & kFlags2Enciphered) != 0;
  if (h.enciphered) {
    if (r.remaining() < kCipherKeySize) return corrupt::kScriptSize;
    std::memcpy(h.cipher_key.data(), r.current(), kCipherKeySize);
    r.Skip(kCipherKeySize);
  }
  h.script_offset = r.position();
  if (!r.Skip(size_t(h.script_size))) return corrupt::kScriptSize;
  h.archive_offset = r.position();
  return corrupt::kNone;
}

int UnpackScript(const SetupHeader& h, const uint8_t* block, Bytes& script) {
  Bytes stored(block, block + h.script_size);
  if (h.enciphered)
    DecipherBlock(stored, h.cipher_key.data());  // a bad block is left empty and fails below
  else
    XorScramble(stored.data(), stored.size(), h.script_key);
  if (!XzDecodeAll(stored.data(), stored.size(), script)) return corrupt::kScriptUnpack;
  return corrupt::kNone;
}

bool ScriptCrcMatches(const SetupHeader& h, const Bytes& script) {
  return Crc32(script.data(), script.size()) == h.script_key;
}

bool MemoryArchiveSource::Read(uint64_t offset, uint8_t* buffer, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n) std::memcpy(buffer, data_ + offset, n);
  return true;
}

const uint8_t* MemoryArchiveSource::View(uint64_t offset, size_t n) {
  if (offset > size_ || n > size_ - offset) return nullptr;
  return data_ + offset;
}

int VerifyArchive(const SetupHeader& h, ArchiveSource& source) {
  if (source.size() != uint64_t(h.archive_size)) return corrupt::kArchiveAvailable;
  uint32_t crc = 0;
  if (const uint8_t* all = source.View(0, size_t(h.archive_size))) {
    crc = Crc32(all, size_t(h.archive_size));
  } else {
    constexpr size_t kPiece = 1 << 20;
    Bytes piece(kPiece);
    for (uint64_t at = 0; at < uint64_t(h.archive_size);) {
      size_t n = size_t(uint64_t(h.archive_size) - at < kPiece ? uint64_t(h.archive_size) - at : kPiece);
      if (!source.Read(at, piece.data(), n)) return kSourceReadFailed;
      crc = Crc32(piece.data(), n, crc);
      at += n;
    }
  }
  return crc == h.archive_crc ? corrupt::kNone : corrupt::kArchiveCrc;
}

uint64_t SectionArchiveBytes(const SetupHeader& h, size_t mapped_size) {
  // Bytes past the mapped section cannot be read in place: none are offered then, which shows as a
  // size mismatch.
  if (uint64_t(h.total_size) > mapped_size || uint64_t(h.total_size) < h.archive_offset) return 0;
  return uint64_t(h.total_size) - h.archive_offset;
}

int ExtractionProgressPercent(uint64_t consumed, uint64_t total) {
  if (total == 0) return 59;
  return int(28 + 31 * consumed / total);
}

}  // namespace halberd::format
