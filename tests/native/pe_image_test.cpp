// Appending the setup section to the stub and taking it off again for the uninstaller copy.
#include "foundation/format/pe_image.h"

#include <gtest/gtest.h>

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

TEST(PeImage, StrippingTheSectionGivesBackTheStub) {
  Bytes stub;
  if (!LoadStub(stub)) GTEST_SKIP() << "the Windows stub is not built";
  pack::InstallationData d;
  d.script = Bytes(100, 7);
  d.archive = Bytes();
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

  Bytes image(installer.begin(), installer.begin() + section.raw_position);
  Bytes tail(installer.begin() + section.raw_position + section.raw_size, installer.end());
  ASSERT_TRUE(StripSection(image, layout, section, tail));
  // Same as the stub, except the checksum the pack tool set, the padding to the page,
  // and an image size that may keep one more page than the stub's (it is lowered by the raw size,
  // then aligned), which the loader accepts.
  const size_t checksum = layout.optional_header_offset + 64, image_size = layout.optional_header_offset + 56;
  EXPECT_GE(LoadU32(image.data() + image_size), LoadU32(stub.data() + image_size));
  EXPECT_EQ(LoadU32(image.data() + image_size) % LoadU32(image.data() + layout.optional_header_offset + 32), 0u);
  Bytes expected = stub;
  expected.resize(image.size(), 0);
  for (size_t field : {checksum, image_size})
    std::copy(image.begin() + field, image.begin() + field + 4, expected.begin() + field);
  EXPECT_EQ(image, expected);
  bool still_there = true;
  PeLayout l2;
  PeSection s2;
  EXPECT_EQ(LocateSetupSection(image.data(), image.size(), l2, s2, still_there), 0);
  EXPECT_FALSE(still_there);
  EXPECT_EQ(l2.section_count, layout.section_count - 1);
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
