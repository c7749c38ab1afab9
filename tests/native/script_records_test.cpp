// The fixed-size records of the setup script against bytes laid out by hand.
#include "foundation/format/script_records.h"

#include <gtest/gtest.h>

using namespace halberd::format;

namespace {

TEST(ScriptRecords, MinimumWindowsIsThreeLittleEndianNumbers) {
  const MinimumWindowsRecord bytes = {10, 0, 0, 0, 0, 0, 0, 0, 0x61, 0x4A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const MinimumWindows m = ReadMinimumWindows(bytes);
  EXPECT_EQ(m.major, 10u);
  EXPECT_EQ(m.minor, 0u);
  EXPECT_EQ(m.build, 19041u);
  EXPECT_TRUE(m.set());
  EXPECT_EQ(WriteMinimumWindows(m), bytes);
  EXPECT_FALSE(ReadMinimumWindows(MinimumWindowsRecord{}).set());
}

TEST(ScriptRecords, FileInfoIsSixSignedNumbers) {
  const FileInfoRecord bytes = {0xEA, 0x07, 0, 0, 12, 0, 0, 0, 10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 30, 0, 0, 0, 59, 0, 0, 0};
  const FileTimeRecord t = ReadFileInfo(bytes);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 10);
  EXPECT_EQ(t.hour, -1);  // no time of day
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(WriteFileInfo(t), bytes);
  EXPECT_FALSE(ReadFileInfo(FileInfoRecord{}).set());
}

}  // namespace
