// Appending the setup section to the stub and taking it off again for the uninstaller copy.
#include "foundation/format/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "pack/installer_writer.h"

using namespace halberd;
using namespace halberd::format;

namespace {
// The real stub of the Windows build, when it has been built.
bool LoadStub(Bytes& stub) {
  std::string error;
  return pack::ReadWholeFile(HALBERD_SOURCE_DIR "/build/win32/bin/halberd-setup.exe", stub, error);
}
}  // namespace

// The uninstaller copy of an installer of each archive layout: the section is taken off and what
// is left is the stub again, a program the loader maps as it maps the stub. The stub's own image
// size and section table, as the linker wrote them, are the oracle.
TEST(PeImage, StrippingTheSectionGivesBackTheStubForEveryLayout) {
  Bytes stub;
  if (!LoadStub(stub)) GTEST_SKIP() << "the Windows stub is not built";
  PeLayout stub_layout;
  PeSection unused;
  bool stub_has_section = true;
  ASSERT_EQ(LocateSetupSection(stub.data(), std::min(stub.size(), kPeHeaderReadSize), stub_layout, unused,
                               stub_has_section), 0);
  ASSERT_FALSE(stub_has_section);
  const uint32_t opt = stub_layout.optional_header_offset;
  const uint32_t stub_image_size = LoadU32(stub.data() + opt + 56);

  struct Case {
    const char* name;
    bool archive_in_file;
    size_t archive_size;
  };
  for (Case c : {Case{"section, empty archive", false, 0}, Case{"section, 300 KB archive", false, 300000},
                 Case{"file, 300 KB archive", true, 300000}, Case{"file, 5 MB archive", true, 5u << 20}}) {
    SCOPED_TRACE(c.name);
    pack::InstallationData d;
    d.script = Bytes(100, 7);
    d.archive = Bytes(c.archive_size);
    for (size_t i = 0; i < d.archive.size(); ++i) d.archive[i] = uint8_t(i * 131 + (i >> 9));
    d.archive_in_file = c.archive_in_file;
    Bytes installer;
    std::string error;
    ASSERT_TRUE(pack::BuildInstaller(stub, d, installer, error)) << error;

    PeLayout layout;
    PeSection section;
    bool found = false;
    ASSERT_EQ(LocateSetupSection(installer.data(), std::min(installer.size(), kPeHeaderReadSize), layout, section, found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(section.index, layout.section_count - 1);
    // On a page boundary, so that the loader can map the data from the file instead of reading it.
    EXPECT_EQ(section.raw_position % 4096, 0u);
    if (c.archive_in_file) EXPECT_LT(section.virtual_size, section.raw_size);

    // What the installer holds when it prepares the uninstaller: the file up to the section, and
    // the bytes after the section's raw data.
    Bytes image(installer.begin(), installer.begin() + section.raw_position);
    Bytes tail(installer.begin() + std::min<size_t>(installer.size(), size_t(section.raw_position) + section.raw_size),
               installer.end());
    ASSERT_TRUE(StripSection(image, layout, section, tail));

    bool still_there = true;
    PeLayout l2;
    PeSection s2;
    ASSERT_EQ(LocateSetupSection(image.data(), std::min(image.size(), kPeHeaderReadSize), l2, s2, still_there), 0);
    EXPECT_FALSE(still_there);
    EXPECT_EQ(l2.section_count, stub_layout.section_count);
    // The image size is the stub's, which is also what the remaining sections span.
    EXPECT_EQ(LoadU32(image.data() + opt + 56), stub_image_size);
    uint32_t alignment = LoadU32(image.data() + opt + 32);
    uint64_t end = 0;
    for (int i = 0; i < l2.section_count; ++i) {
      const uint8_t* e = image.data() + l2.section_table_offset + 40 * i;
      end = std::max<uint64_t>(end, uint64_t(LoadU32(e + 12)) + LoadU32(e + 8));
    }
    EXPECT_EQ(LoadU32(image.data() + opt + 56), (end + alignment - 1) / alignment * alignment);
    // Headers, section table and section data are the stub's byte for byte, apart from the
    // checksum the pack tool set; the table entry the section had is cleared.
    ASSERT_GE(image.size(), stub.size());
    Bytes expected = stub;
    const size_t checksum = opt + 64;
    std::copy(image.begin() + checksum, image.begin() + checksum + 4, expected.begin() + checksum);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
    const uint8_t* cleared = image.data() + layout.section_table_offset + 40 * (layout.section_count - 1);
    EXPECT_TRUE(std::all_of(cleared, cleared + 40, [](uint8_t b) { return b == 0; }));
  }
}

TEST(PeImage, HeaderChecks) {
  Bytes head(4096, 0);
  head[0] = 'M';
  head[1] = 'Z';
  PeLayout layout;
  PeSection section;
  bool found;
  struct Case { uint16_t e_lfanew; uint16_t sections; int code; };
  for (Case c : {Case{63, 5, corrupt::kPeOffset}, Case{4097, 5, corrupt::kPeOffset}, Case{128, 3, corrupt::kSectionCount},
                 Case{128, 100, corrupt::kSectionCount}, Case{128, 4, 0}}) {
    StoreU16(head.data() + 0x3C, c.e_lfanew);
    if (c.e_lfanew + 8u < head.size()) StoreU16(head.data() + c.e_lfanew + 6, c.sections);
    EXPECT_EQ(LocateSetupSection(head.data(), head.size(), layout, section, found), c.code) << c.e_lfanew << " " << c.sections;
  }
  EXPECT_FALSE(found);
}

TEST(PeImage, AppendRefusesWhatItCannotDo) {
  Bytes stub;
  if (!LoadStub(stub)) GTEST_SKIP() << "the Windows stub is not built";
  PeSection added;
  std::string error;
  Bytes not_pe(1000, 0);
  EXPECT_FALSE(AppendSection(not_pe, ".setup", Bytes(10), 10, added, error));
  Bytes twice = stub;
  ASSERT_TRUE(AppendSection(twice, ".setup", Bytes(10), 10, added, error)) << error;
  EXPECT_FALSE(AppendSection(twice, ".setup", Bytes(10), 10, added, error));
  EXPECT_NE(error.find("already"), std::string::npos);
  Bytes with_overlay = stub;
  with_overlay.push_back(1);
  EXPECT_FALSE(AppendSection(with_overlay, ".setup", Bytes(10), 10, added, error));
}

// ---- The image CRC of integrity mode 1 and the certificate table ----------------------------

namespace {
// A hand-laid PE header: e_lfanew 128, four sections, an optional header of `magic` with 16 data
// directories, the rest of the image a byte pattern.
Bytes HandMadeImage(uint16_t magic, size_t size) {
  Bytes image(size);
  for (size_t i = 0; i < size; ++i) image[i] = uint8_t(i * 31 + 7);
  const uint32_t e = 128;
  StoreU16(image.data() + 0x3C, e);
  std::memcpy(image.data() + e, "PE\0\0", 4);
  StoreU16(image.data() + e + 6, 4);
  const uint16_t optional_size = magic == 0x10B ? 224 : 240;
  StoreU16(image.data() + e + 20, optional_size);
  StoreU16(image.data() + e + 24, magic);
  StoreU32(image.data() + e + 24 + (magic == 0x10B ? 92 : 108), 16);
  return image;
}
}  // namespace

TEST(PeImage, ImageCrcLeavesOutWhatSigningChanges) {
  struct Case {
    const char* what;
    uint16_t magic;
    uint32_t entry;  // offset of the certificate entry from e_lfanew
  };
  for (Case c : {Case{"PE32", 0x10B, 24 + 128}, Case{"PE32+", 0x20B, 24 + 144}}) {
    SCOPED_TRACE(c.what);
    Bytes image = HandMadeImage(c.magic, 3000);
    const uint32_t e = 128, from = e + 92;
    StoreU32(image.data() + e + c.entry, 0);
    StoreU32(image.data() + e + c.entry + 4, 0);
    PeLayout layout;
    PeSection section;
    bool found = false;
    ASSERT_EQ(LocateSetupSection(image.data(), image.size(), layout, section, found), 0);

    // Unsigned: the plain CRC after the checksum field, as always.
    uint32_t unsigned_crc = 0;
    ASSERT_TRUE(ImageCrc(image.data(), image.size(), layout, unsigned_crc));
    EXPECT_EQ(unsigned_crc, Crc32(image.data() + from, image.size() - from));
    EXPECT_FALSE(FindCertificateTable(image.data(), image.size(), layout).present());

    // Signed: a new checksum and certificate entry (its table lies after the image) change nothing.
    Bytes signed_image = image;
    StoreU32(signed_image.data() + e + 88, 0x12345678);
    StoreU32(signed_image.data() + e + c.entry, 5000);
    StoreU32(signed_image.data() + e + c.entry + 4, 1464);
    CertificateTable table = FindCertificateTable(signed_image.data(), signed_image.size(), layout);
    EXPECT_EQ(table.entry_offset, e + c.entry);
    EXPECT_EQ(table.position, 5000u);
    EXPECT_EQ(table.size, 1464u);
    uint32_t crc = 0;
    ASSERT_TRUE(ImageCrc(signed_image.data(), signed_image.size(), layout, crc));
    EXPECT_EQ(crc, unsigned_crc);

    // Any other byte still counts, on either side of the entry.
    for (size_t at : {size_t(from), size_t(e + c.entry - 1), size_t(e + c.entry + 8), image.size() - 1}) {
      Bytes changed = signed_image;
      changed[at] ^= 1;
      ASSERT_TRUE(ImageCrc(changed.data(), changed.size(), layout, crc));
      EXPECT_NE(crc, unsigned_crc) << "byte " << at;
    }

    // A table within the image ends the bytes counted.
    StoreU32(signed_image.data() + e + c.entry, 2000);
    ASSERT_TRUE(ImageCrc(signed_image.data(), signed_image.size(), layout, crc));
    EXPECT_EQ(crc, Crc32(image.data() + from, 2000 - from));
  }
}

TEST(PeImage, NoCertificateEntryWhereTheHeaderHasNone) {
  Bytes image = HandMadeImage(0x10B, 3000);
  PeLayout layout;
  PeSection section;
  bool found = false;
  ASSERT_EQ(LocateSetupSection(image.data(), image.size(), layout, section, found), 0);
  StoreU32(image.data() + 128 + 24 + 92, 4);  // four data directories: no certificate entry
  EXPECT_EQ(FindCertificateTable(image.data(), image.size(), layout).entry_offset, 0u);
  uint32_t crc = 0;
  ASSERT_TRUE(ImageCrc(image.data(), image.size(), layout, crc));
  EXPECT_EQ(crc, Crc32(image.data() + 128 + 92, image.size() - 128 - 92));
  StoreU32(image.data() + 128 + 24 + 92, 16);
  StoreU16(image.data() + 128 + 24, 0x107);  // a ROM image: not a PE32 layout
  EXPECT_EQ(FindCertificateTable(image.data(), image.size(), layout).entry_offset, 0u);
  EXPECT_FALSE(ImageCrc(image.data(), 128 + 40, layout, crc));  // shorter than the CRC's start
}

TEST(PeImage, TheUninstallerOfASignedInstallerCarriesNoSignature) {
  Bytes stub;
  if (!LoadStub(stub)) GTEST_SKIP() << "the Windows stub is not built";
  pack::InstallationData d;
  d.script = Bytes(100, 7);
  d.archive = Bytes(5001, 3);  // read from the file: the last partial block lies after the section
  d.archive_in_file = true;
  Bytes installer;
  std::string error;
  ASSERT_TRUE(pack::BuildInstaller(stub, d, installer, error)) << error;
  PeLayout layout;
  PeSection section;
  bool found = false;
  ASSERT_EQ(LocateSetupSection(installer.data(), std::min(installer.size(), kPeHeaderReadSize), layout, section, found), 0);
  auto strip = [&](const Bytes& file) {
    Bytes image(file.begin(), file.begin() + section.raw_position);
    Bytes tail(file.begin() + section.raw_position + section.raw_size, file.end());
    EXPECT_TRUE(StripSection(image, layout, section, tail));
    return image;
  };
  const Bytes plain = strip(installer);

  // Signed as a signer does it: zeros to an 8-byte boundary, the table, the entry pointing at it.
  Bytes signed_file = installer;
  signed_file.resize((signed_file.size() + 7) / 8 * 8, 0);
  const uint32_t table_at = uint32_t(signed_file.size());
  signed_file.insert(signed_file.end(), 24, 0xCE);
  const uint32_t entry = layout.optional_header_offset + 128;
  StoreU32(signed_file.data() + entry, table_at);
  StoreU32(signed_file.data() + entry + 4, 24);
  const Bytes stripped = strip(signed_file);

  ASSERT_GE(stripped.size(), plain.size());
  EXPECT_LT(stripped.size() - plain.size(), 8u);  // the alignment zeros at most
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), stripped.begin()));
  EXPECT_TRUE(std::all_of(stripped.begin() + ptrdiff_t(plain.size()), stripped.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(LoadU32(stripped.data() + entry), 0u);
}
