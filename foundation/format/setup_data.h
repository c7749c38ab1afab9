// The installation data carried in the ".setup" section of the installer's program file.
//
// Header (offsets from the start of the section, little-endian):
//   0   u32   magic 0xA4F23DE5                                  (corrupt 20)
//   4   char[8] data format version "48.0.11" and its zero byte (other text: version message)
//   12  u32   ProductFlags2
//   16  i32   packed size of the setup script block             1 <= v < 0x3200000 (22)
//   20  u32   script key: CRC-32 of the unpacked script, also the scrambling key (25)
//   24  u32   CRC-32 of the program image before the section, from e_lfanew+92 (40)
//   28  i32   total size of the installation data               >= 0 (45)
//   32  i32   number of files N                                 >= 0 (27)
//   36  i32   archive size                                      >= 0 (29)
//   40  u32   CRC-32 of the archive                             (55)
//   44  N*i32 file-size table                                   0 <= v <= 0x73333333 (28)
//   then 56 bytes of Blowfish key when ProductFlags2 bit 12, the script block, the archive.
//
// Archive: chunks of { i32 stored length S (> 0: 61; within the archive: 63), u32 CRC-32 of the
// S bytes (62), S bytes }, each deciphered when enciphered and unpacked from xz when ProductFlags
// bit 5 (60); the unpacked chunks in order form the extraction stream of file entries.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/format/byte_io.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/setup_cipher.h"
#include "foundation/format/xz_decode.h"

namespace halberd::format {

constexpr uint32_t kSetupMagic = 0xA4F23DE5;
constexpr char kDataFormatVersion[] = "48.0.11";
constexpr size_t kVersionFieldSize = 8;
constexpr int32_t kMaxScriptSize = 0x3200000;
constexpr int32_t kMaxFileSize = 0x73333333;

// Returned by ParseSetupHeader when the version text differs: not a corrupt code, the caller
// shows the installer-version message instead.
constexpr int kVersionMismatch = -1;

struct SetupHeader {
  std::string version;  // the version text found
  uint32_t flags2 = 0;
  int32_t script_size = 0;
  uint32_t script_key = 0;
  uint32_t image_crc = 0;
  int32_t total_size = 0;
  int32_t file_count = 0;
  int32_t archive_size = 0;
  uint32_t archive_crc = 0;
  std::vector<int32_t> file_sizes;
  bool enciphered = false;
  std::array<uint8_t, kCipherKeySize> cipher_key{};
  size_t script_offset = 0;   // from the start of the section
  size_t archive_offset = 0;  // read pointer after the script block
};

// Reads and checks the header from the section bytes available in memory. Returns 0, a corrupt
// code, or kVersionMismatch. The header never reads past `available`: a table or script block
// that would run past the section counts as a bad count or size.
int ParseSetupHeader(const uint8_t* section, size_t available, SetupHeader& header);

// Unscrambles or deciphers the script block, then unpacks it (47). The CRC check against the
// script key (25) is left to the caller, which runs it after the first items are read.
int UnpackScript(const SetupHeader& header, const uint8_t* block, Bytes& script);
bool ScriptCrcMatches(const SetupHeader& header, const Bytes& script);

// Where the archive bytes come from: the mapped section in memory or the program file.
class ArchiveSource {
 public:
  virtual ~ArchiveSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at offset; false on failure.
  virtual bool Read(uint64_t offset, uint8_t* buffer, size_t n) = 0;
  // The bytes in place when the source is in memory (no copy), else nullptr.
  virtual const uint8_t* View(uint64_t offset, size_t n) { return nullptr; }
};

class MemoryArchiveSource : public ArchiveSource {
 public:
  MemoryArchiveSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* buffer, size_t n) override;
  const uint8_t* View(uint64_t offset, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Size (46) and CRC (55) of the whole archive, checked before anything is extracted.
// A failed read of the source returns kSourceReadFailed.
constexpr int kSourceReadFailed = -2;
int VerifyArchive(const SetupHeader& header, ArchiveSource& source);

struct ArchiveProgress {
  // Called after each chunk with the archive bytes consumed so far.
  std::function<void(uint64_t consumed, uint64_t total)> on_chunk;
};

// Walks the chunks and hands each unpacked piece to the sink in order. Returns 0, a chunk corrupt
// code (60-63), kSourceReadFailed, or kSinkFailed when the sink refused a piece.
//
// With `threads` > 1 that many workers decipher and unpack the next chunks ahead while the calling
// thread reads the source and feeds the sink, strictly in archive order: the sink receives the
// same bytes, progress the same calls, and the first damaged chunk in archive order gives its
// code, as with one thread. At most threads + 1 chunks are in flight, each holding at most
// kMaxBufferedChunk unpacked bytes; an archive with larger chunks goes on in one thread.
constexpr int kSinkFailed = -3;
constexpr size_t kMaxBufferedChunk = 8u << 20;
int UnpackArchive(const SetupHeader& header, bool xz_chunks, ArchiveSource& source,
                  const OutputSink& sink, const ArchiveProgress& progress = {}, unsigned threads = 1);

// Archive source 0: the bytes from the archive offset up to the total size, which must lie within
// the mapped section; otherwise none, so that the size check reports the mismatch (46).
uint64_t SectionArchiveBytes(const SetupHeader& header, size_t mapped_size);

// Progress position of the extraction: 28 + 31 * consumed / total percent.
int ExtractionProgressPercent(uint64_t consumed, uint64_t total);

}  // namespace halberd::format
