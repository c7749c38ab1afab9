// The attributes of the create that replaces an existing file: Windows refuses to replace a
// hidden or system file unless the create carries those bits.
#include "install/replacement_attributes.h"

#include <gtest/gtest.h>

using namespace halberd::install;

TEST(ReplacementAttributes, HiddenAndSystemBitsAreKeptInTheCreate) {
  struct Case {
    uint32_t existing;
    uint32_t create;
  };
  const Case cases[] = {
      {kNoFileAttributes, 0x80},  // nothing there
      {0x80, 0x80},               // a normal file
      {0x20, 0x80},               // archive only
      {0x01, 0x80},               // read-only: the write's own retry rules deal with it
      {0x02, 0x02},               // hidden
      {0x04, 0x04},               // system
      {0x06, 0x06},               // hidden and system
      {0x27, 0x06},               // with read-only and archive, only hidden and system are taken
      {0x2002, 0x02},             // not content indexed and hidden
      {0x12, 0x80},               // a hidden folder is not a file to replace
  };
  for (const Case& c : cases) EXPECT_EQ(CreateAttributesOver(c.existing), c.create) << std::hex << c.existing;
}
