#include "foundation/format/script_records.h"

#include "foundation/format/byte_io.h"

namespace halberd::format {

MinimumWindows ReadMinimumWindows(const MinimumWindowsRecord& record) {
  return MinimumWindows{LoadU32(record.data()), LoadU32(record.data() + 4), LoadU32(record.data() + 8)};
}

MinimumWindowsRecord WriteMinimumWindows(const MinimumWindows& minimum) {
  MinimumWindowsRecord record{};
  StoreU32(record.data(), minimum.major);
  StoreU32(record.data() + 4, minimum.minor);
  StoreU32(record.data() + 8, minimum.build);
  return record;
}

FileTimeRecord ReadFileInfo(const FileInfoRecord& record) {
  auto at = [&](size_t i) { return int32_t(LoadU32(record.data() + 4 * i)); };
  return FileTimeRecord{at(0), at(1), at(2), at(3), at(4), at(5)};
}

FileInfoRecord WriteFileInfo(const FileTimeRecord& time) {
  FileInfoRecord record{};
  const int32_t values[6] = {time.year, time.month, time.day, time.hour, time.minute, time.second};
  for (size_t i = 0; i < 6; ++i) StoreU32(record.data() + 4 * i, uint32_t(values[i]));
  return record;
}

}  // namespace halberd::format
