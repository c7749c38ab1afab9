// Appending the setup section to the stub and taking it off again for the uninstaller copy.
#include "foundation/format/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "foundation/format/corrupt_codes.h"
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
