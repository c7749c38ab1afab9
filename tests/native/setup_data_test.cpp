// The installation data codec: what the pack tool writes, the installer reads back, byte for byte,
// and each damaged field is reported with its own corrupt code.
#include "foundation/format/setup_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/format/file_entry.h"
#include "foundation/format/pe_image.h"
#include "pack/installer_writer.h"
#include "pack/payload.h"

namespace fs = std::filesystem;
using namespace halberd;
using namespace halberd::format;

namespace {

struct Fixture {
  fs::path dir;
  std::vector<pack::PackedFile> files;
  Bytes expected_stream;  // entry heads and contents, in order
};

Fixture MakeProduct(const std::string& name) {
  Fixture f;
  f.dir = fs::temp_directory_path() / ("halberd-setup-data-" + name);
  fs::remove_all(f.dir);
  fs::create_directories(f.dir / "sub" / "deeper");
  std::string big;
  for (int i = 0; i < 30000; ++i) big += "line " + std::to_string(i * 7919 % 1000) + "\n";
  std::ofstream(f.dir / "a.txt", std::ios::binary) << "alpha";
  std::ofstream(f.dir / "sub" / "big.txt", std::ios::binary) << big;
  std::ofstream(f.dir / "sub" / "deeper" / "empty.bin", std::ios::binary);
  std::string error;
  EXPECT_TRUE(pack::CollectFiles(f.dir, f.files, error)) << error;
  for (const auto& file : f.files) {
    ByteWriter w;
    WriteFileEntryHead(file.entry, w);
    f.expected_stream.insert(f.expected_stream.end(), w.bytes().begin(), w.bytes().end());
    std::ifstream in(file.source, std::ios::binary);
    f.expected_stream.insert(f.expected_stream.end(), std::istreambuf_iterator<char>(in), {});
  }
  return f;
}

struct Packed {
  Bytes section;
  SetupHeader header;
};

Packed PackSection(const Fixture& f, const pack::ArchiveOptions& ao, const Bytes& key = {}) {
  pack::Archive archive;
  std::string error;
  EXPECT_TRUE(pack::BuildArchive(f.files, ao, archive, error)) << error;
  pack::InstallationData d;
  d.script = Bytes{'s', 'c', 'r', 'i', 'p', 't'};
  d.file_sizes = archive.file_sizes;
  d.archive = archive.bytes;
  d.cipher_key.assign(key.begin(), key.end());
  Packed p;
  size_t archive_offset = 0;
  EXPECT_TRUE(pack::BuildSectionData(d, p.section, archive_offset, error)) << error;
  EXPECT_EQ(ParseSetupHeader(p.section.data(), p.section.size(), p.header), 0);
  EXPECT_EQ(p.header.archive_offset, archive_offset);
  return p;
}

Bytes Unpack(const Packed& p, bool xz, int* code) {
  Bytes out;
  MemoryArchiveSource source(p.section.data() + p.header.archive_offset,
                             size_t(SectionArchiveBytes(p.header, p.section.size())));
  // Only damage is expected here: any other failure shows as -1.
  auto code_of = [](const ArchiveResult& r) { return r.ok() ? 0 : r.outcome == ArchiveOutcome::kCorrupt ? r.corrupt_code : -1; };
  *code = code_of(VerifyArchive(p.header, source));
  if (*code) return out;
  *code = code_of(UnpackArchive(p.header, xz, source, [&](const uint8_t* d, size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  }));
  return out;
}

}  // namespace

TEST(SetupData, ArchiveRoundTripsInEveryForm) {
  Fixture f = MakeProduct("roundtrip");
  Bytes key(kCipherKeySize);
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 13 + 5);
  struct Form { const char* name; uint32_t chunk; bool compress; bool encipher; };
  for (Form form : {Form{"xz, one chunk", 4u << 20, true, false}, Form{"xz, small chunks", 4096, true, false},
                    Form{"stored", 5000, false, false}, Form{"xz, enciphered", 4096, true, true},
                    Form{"stored, enciphered", 4099, false, true}}) {
    pack::ArchiveOptions ao;
    ao.chunk_size = form.chunk;
    ao.compress = form.compress;
    ao.cipher_key = form.encipher ? key.data() : nullptr;
    Packed p = PackSection(f, ao, form.encipher ? key : Bytes{});
    int code = -99;
    Bytes stream = Unpack(p, form.compress, &code);
    EXPECT_EQ(code, 0) << form.name;
    EXPECT_EQ(stream, f.expected_stream) << form.name;
    EXPECT_EQ(p.header.file_sizes.size(), 3u);
    // The script comes back from both protections.
    Bytes script;
    EXPECT_EQ(UnpackScript(p.header, p.section.data() + p.header.script_offset, script), 0) << form.name;
    EXPECT_TRUE(ScriptCrcMatches(p.header, script));
    EXPECT_EQ(script, (Bytes{'s', 'c', 'r', 'i', 'p', 't'}));
  }
}

TEST(SetupData, ProgressRunsFrom28To59) {
  Fixture f = MakeProduct("progress");
  pack::ArchiveOptions ao;
  ao.chunk_size = 4096;
  Packed p = PackSection(f, ao);
  MemoryArchiveSource source(p.section.data() + p.header.archive_offset, size_t(p.header.archive_size));
  std::vector<int> seen;
  ArchiveProgress progress;
  progress.on_chunk = [&](uint64_t done, uint64_t total) { seen.push_back(ExtractionProgressPercent(done, total)); };
  ASSERT_TRUE(UnpackArchive(p.header, true, source, [](const uint8_t*, size_t) { return true; }, progress).ok());
  ASSERT_GT(seen.size(), 2u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GE(seen.front(), 28);
  EXPECT_EQ(seen.back(), 59);
}

TEST(SetupData, HeaderChecksGiveTheirCodes) {
  Fixture f = MakeProduct("header");
  Packed good = PackSection(f, pack::ArchiveOptions{});
  struct Case { const char* name; size_t offset; int32_t value; int code; };
  const Case cases[] = {
      {"magic", 0, 0x11111111, corrupt::kMagic},
      {"script size 0", 16, 0, corrupt::kScriptSize},
      {"script size at the limit", 16, kMaxScriptSize, corrupt::kScriptSize},
      {"script past the section", 16, 0x100000, corrupt::kScriptSize},
      {"negative total", 28, -1, corrupt::kTotalSize},
      {"negative file count", 32, -1, corrupt::kFileCount},
      {"file table past the section", 32, 0x1000000, corrupt::kFileCount},
      {"negative archive size", 36, -1, corrupt::kArchiveSize},
      {"negative file size", 44, -1, corrupt::kFileSize},
      {"file size above the limit", 44, kMaxFileSize + 1, corrupt::kFileSize},
  };
  for (const Case& c : cases) {
    Bytes s = good.section;
    StoreU32(s.data() + c.offset, uint32_t(c.value));
    SetupHeader h;
    EXPECT_EQ(ParseSetupHeader(s.data(), s.size(), h), c.code) << c.name;
  }
  // Any other version text, older or newer, is a version mismatch and not a corrupt code.
  for (const char* version : {"47.9.9", "48.0.12", "48.0.1", "x"}) {
    Bytes s = good.section;
    std::memset(s.data() + 4, 0, 8);
    std::memcpy(s.data() + 4, version, std::strlen(version));
    SetupHeader h;
    EXPECT_EQ(ParseSetupHeader(s.data(), s.size(), h), kVersionMismatch) << version;
    EXPECT_EQ(h.version, version);
  }
  // Cut short anywhere in the header: a code, never a read past the end.
  for (size_t n = 0; n < good.header.script_offset; ++n) {
    SetupHeader h;
    EXPECT_NE(ParseSetupHeader(good.section.data(), n, h), 0) << n;
  }
}

TEST(SetupData, ArchiveChecksGiveTheirCodes) {
  Fixture f = MakeProduct("chunks");
  pack::ArchiveOptions ao;
  ao.chunk_size = 8192;
  Packed good = PackSection(f, ao);
  const size_t a = good.header.archive_offset;
  auto refresh_archive_crc = [&](Bytes& s) {
    StoreU32(s.data() + 40, Crc32(s.data() + a, size_t(good.header.archive_size)));
  };
  struct Case { const char* name; std::function<void(Bytes&)> damage; int code; };
  const Case cases[] = {
      {"archive CRC", [&](Bytes& s) { s[a + 20] ^= 1; }, corrupt::kArchiveCrc},
      {"chunk length 0", [&](Bytes& s) { StoreU32(s.data() + a, 0); refresh_archive_crc(s); }, corrupt::kChunkLength},
      {"chunk length negative", [&](Bytes& s) { StoreU32(s.data() + a, 0x80000000u); refresh_archive_crc(s); },
       corrupt::kChunkLength},
      {"chunk past the archive", [&](Bytes& s) { StoreU32(s.data() + a, 0x7FFFFFF0); refresh_archive_crc(s); },
       corrupt::kChunkOverrun},
      {"chunk CRC", [&](Bytes& s) { s[a + 4] ^= 1; refresh_archive_crc(s); }, corrupt::kChunkCrc},
      {"chunk xz data", [&](Bytes& s) {
         uint32_t n = LoadU32(s.data() + a);
         for (size_t i = 8; i < 40; ++i) s[a + 8 + i] ^= 0xA5;
         StoreU32(s.data() + a + 4, Crc32(s.data() + a + 8, n));
         refresh_archive_crc(s);
       }, corrupt::kChunkUnpack},
  };
  for (const Case& c : cases) {
    Packed p = good;
    c.damage(p.section);
    ASSERT_EQ(ParseSetupHeader(p.section.data(), p.section.size(), p.header), 0) << c.name;
    int code = -99;
    Unpack(p, true, &code);
    EXPECT_EQ(code, c.code) << c.name;
  }
  // The archive runs past the section: a size mismatch.
  Packed p = good;
  StoreU32(p.section.data() + 28, uint32_t(p.section.size() + 100));
  ASSERT_EQ(ParseSetupHeader(p.section.data(), p.section.size(), p.header), 0);
  int code = -99;
  Unpack(p, true, &code);
  EXPECT_EQ(code, corrupt::kArchiveAvailable);
}

TEST(SetupData, ScriptChecks) {
  Fixture f = MakeProduct("script");
  Packed p = PackSection(f, pack::ArchiveOptions{});
  Bytes script;
  Bytes damaged = p.section;
  damaged[p.header.script_offset + 3] ^= 0x40;
  EXPECT_EQ(UnpackScript(p.header, damaged.data() + p.header.script_offset, script), corrupt::kScriptUnpack);
  SetupHeader wrong_key = p.header;
  ASSERT_EQ(UnpackScript(p.header, p.section.data() + p.header.script_offset, script), 0);
  wrong_key.script_key ^= 1;
  EXPECT_FALSE(ScriptCrcMatches(wrong_key, script));
}

// Archive source 1 reads up to the file's end, or in a signed file up to its certificate table;
// the zeros a signer puts before the table to align it are not archive bytes.
TEST(SetupData, ArchiveBytesInTheFileEndAtTheCertificateTable) {
  SetupHeader h;
  h.archive_size = 1001;
  const uint64_t start = 4096, end = start + 1001;  // the archive ends the unsigned file at 5097
  auto table = [](uint32_t position, uint32_t size) {
    CertificateTable t;
    t.entry_offset = 280;
    t.position = position;
    t.size = size;
    return t;
  };
  struct Case {
    const char* what;
    uint64_t file_size;
    CertificateTable certificates;
    uint64_t available;
  };
  const Case cases[] = {
      {"unsigned", end, CertificateTable{}, 1001},
      {"unsigned, a byte more", end + 1, CertificateTable{}, 1002},
      {"signed, 7 zeros of alignment", 5104 + 1464, table(5104, 1464), 1001},
      {"signed, table right after the archive", 5097 + 1464, table(5097, 1464), 1001},
      {"signed after 8 bytes more: not alignment", 5112 + 1464, table(5112, 1464), 1016},
      {"signed, table before the archive's end", 5096 + 1464, table(5096, 1464), 1000},
      {"table past the file's end: ignored", end, table(9000, 1464), 1001},
      {"table before the archive's start: ignored", end, table(1000, 100), 1001},
      {"entry without a size: unsigned", end, table(5104, 0), 1001},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FileArchiveBytes(uint64_t(h.archive_size), c.file_size, start, c.certificates), c.available) << c.what;
}
