#include "foundation/windows_version.h"

#include <gtest/gtest.h>

namespace halberd {
namespace {

using Platform = WindowsVersion::Platform;

struct Case {
  WindowsVersion version;
  uint32_t bit;
  const char* name;
};

TEST(WindowsVersion, BitAndNameByVersion) {
  const Case cases[] = {
      {{Platform::kWin32s, 3, 10, 0, true, false}, 2, "Win32s (3.10.0)"},
      {{Platform::kWindows9x, 4, 10, 1998, true, false}, 8, "Windows 98 (4.10.1998)"},
      {{Platform::kWindows9x, 5, 0, 1, true, false}, 1, "Windows 5.0.1"},
      {{Platform::kNT, 4, 0, 1381, true, false}, 64, "Windows NT 4 (4.0.1381)"},
      {{Platform::kNT, 5, 2, 3790, true, true}, 256, "Windows XP (5.2.3790) 64-bit"},
      {{Platform::kNT, 5, 2, 3790, false, false}, 512, "Windows Server 2003 (5.2.3790)"},
      {{Platform::kNT, 6, 1, 7601, false, true}, 2048, "Windows Server 2008 R2 (6.1.7601) 64-bit"},
      {{Platform::kNT, 6, 1, 7601, true, false}, 4096, "Windows 7 (6.1.7601)"},
      {{Platform::kNT, 6, 3, 9600, false, false}, 16384, "Windows Server 2012 R2 (6.3.9600)"},
      {{Platform::kNT, 6, 4, 9841, true, false}, 32768, "Windows 10 (6.4.9841)"},
      {{Platform::kNT, 10, 0, 21326, true, false}, 32768, "Windows 10 (10.0.21326)"},
      {{Platform::kNT, 10, 0, 21327, true, false}, 524288, "Windows 11 (10.0.21327)"},
      {{Platform::kNT, 10, 0, 17599, false, false}, 65536, "Windows Server 2016 (10.0.17599)"},
      {{Platform::kNT, 10, 0, 25920, false, false}, 131072, "Windows Server 2019 (10.0.25920)"},
      {{Platform::kNT, 10, 0, 25921, false, false}, 1048576, "Windows Server 2022 (10.0.25921)"},
      {{Platform::kNT, 11, 0, 1, true, false}, 1, "Windows 11.0.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowsBit(c.version), c.bit) << c.name;
    EXPECT_EQ(WindowsName(c.version), c.name);
  }
}

}  // namespace
}  // namespace halberd
