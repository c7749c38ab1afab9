// The fixed-size records of the setup script, each with one reader and one writer shared by the
// installer and the pack tool.
//
// Minimum Windows version (item 57), 20 bytes:
//   0   u32  major        4  u32  minor        8  u32  build (0: every build)
//   12  8 bytes reserved, written as zeros
// All zeros: no minimum.
//
// Uninstaller file information (item 9), 24 bytes: the time given to the uninstaller file,
//   six i32 values: year, month, day, hour, minute, second. Month 0: no time (the file keeps the
//   time it gets when it is written).
#pragma once
#include <array>
#include <cstdint>

namespace halberd::format {

struct MinimumWindows {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool set() const { return major != 0 || minor != 0 || build != 0; }
};
using MinimumWindowsRecord = std::array<uint8_t, 20>;
MinimumWindows ReadMinimumWindows(const MinimumWindowsRecord& record);
MinimumWindowsRecord WriteMinimumWindows(const MinimumWindows& minimum);

struct FileTimeRecord {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool set() const { return month != 0; }
};
using FileInfoRecord = std::array<uint8_t, 24>;
FileTimeRecord ReadFileInfo(const FileInfoRecord& record);
FileInfoRecord WriteFileInfo(const FileTimeRecord& time);

}  // namespace halberd::format
