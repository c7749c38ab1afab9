// The overwrite decision: every mode against an existing and a missing target, the date rule of
// kinds 1 and 4, the version-then-date rule of kinds 6 to 9, and what is recorded when kept.
#include "install/overwrite_rules.h"

#include <gtest/gtest.h>

using namespace halberd;
using namespace halberd::install;

namespace {

const DateTime kOld{2020, 1, 1, 10, 0, 0};
const DateTime kNew{2021, 6, 1, 10, 0, 0};
const DateTime kNone{};

ExistingTarget Missing() { return {}; }
ExistingTarget Existing(DateTime time, const char* version = nullptr) {
  ExistingTarget t;
  t.exists = true;
  t.time = time;
  if (version) t.version = version;
  return t;
}

}  // namespace

TEST(OverwriteRules, ModesAgainstExistingAndMissingTargets) {
  struct Case {
    const char* what;
    int mode;
    ExistingTarget existing;
    DateTime entry_time;
    bool write;
    bool record;
    const char* log;
  };
  const Case cases[] = {
      {"0 missing", 0, Missing(), kNew, true, true, ""},
      {"0 existing: kind 0 is not compared", 0, Existing(kNew), kOld, true, true, ""},
      {"1 is passed over", 1, Existing(kOld), kNew, false, false, ""},
      {"1 missing is passed over", 1, Missing(), kNew, false, false, ""},
      {"5 is passed over", 5, Missing(), kNew, false, false, ""},
      {"2 missing", 2, Missing(), kNew, false, false, " was not installed because it does not already exist.\r\n"},
      {"2 existing", 2, Existing(kNew), kOld, true, true, ""},
      {"3 missing", 3, Missing(), kNew, true, true, ""},
      {"3 existing is kept and recorded", 3, Existing(kOld), kNew, false, true,
       " was not installed because it already exists.\r\n"},
      {"4 existing newer is kept", 4, Existing(kNew), kOld, false, true,
       " was not installed because the existing file is newer.\r\n"},
      {"4 existing older", 4, Existing(kOld), kNew, true, true, ""},
      {"4 equal times write", 4, Existing(kNew), kNew, true, true, ""},
      {"4 one second later counts as equal", 4, Existing({2021, 6, 1, 10, 0, 1}), kNew, true, true, ""},
      {"4 two seconds later is newer", 4, Existing({2021, 6, 1, 10, 0, 2}), kNew, false, true,
       " was not installed because the existing file is newer.\r\n"},
      {"4 entry without time writes", 4, Existing(kNew), kNone, true, true, ""},
      {"4 unreadable existing time writes", 4, ExistingTarget{true, std::nullopt, std::nullopt}, kOld, true, true, ""},
      {"4 missing", 4, Missing(), kOld, true, true, ""},
      {"6 behaves as 0", 6, Existing(kNew), kOld, true, true, ""},
      {"7 behaves as 0", 7, Missing(), kOld, true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OverwriteDecision d = DecideOverwrite(c.mode, 0, false, false, c.entry_time, "", c.existing);
    EXPECT_EQ(d.write, c.write);
    EXPECT_EQ(d.record, c.record);
    EXPECT_EQ(d.log_line, c.log);
    EXPECT_FALSE(d.compared);
  }
}

TEST(OverwriteRules, PermanentAndUnrecordedKindsAreNeverRecorded) {
  EXPECT_FALSE(DecideOverwrite(3, 0, true, false, kNew, "", Existing(kOld)).record);
  EXPECT_FALSE(DecideOverwrite(0, 0, true, false, kNew, "", Missing()).record);
  for (int kind : {1, 2, 3, 4, 6, 7, 8}) {
    SCOPED_TRACE(kind);
    EXPECT_FALSE(DecideOverwrite(0, kind, false, false, kNew, "", Missing()).record);
  }
  for (int kind : {0, 5, 9, 10, 11, 12}) {
    SCOPED_TRACE(kind);
    EXPECT_TRUE(DecideOverwrite(0, kind, false, false, kNew, "", Missing()).record);
  }
  // A shared file of a portable installation is an ordinary file of the product.
  EXPECT_TRUE(DecideOverwrite(0, 1, false, true, kNew, "", Missing()).record);
  EXPECT_TRUE(DecideOverwrite(0, 1, false, true, kOld, "", Existing(kNew)).record);
}

TEST(OverwriteRules, SharedFilesAndFontsCompareDates) {
  for (int kind : {1, 4}) {
    SCOPED_TRACE(kind);
    OverwriteDecision newer = DecideOverwrite(0, kind, false, false, kNew, "", Existing(kOld));
    EXPECT_TRUE(newer.write);
    EXPECT_TRUE(newer.compared);
    EXPECT_EQ(newer.log_line, "");
    OverwriteDecision same = DecideOverwrite(0, kind, false, false, kNew, "", Existing(kNew));
    EXPECT_FALSE(same.write);
    EXPECT_EQ(same.log_line, " is up to date.\r\n");
    EXPECT_TRUE(DecideOverwrite(0, kind, false, false, kNone, "", Existing(kNew)).write);
    EXPECT_TRUE(DecideOverwrite(0, kind, false, false, kOld, "", ExistingTarget{true, std::nullopt, std::nullopt}).write);
    OverwriteDecision missing = DecideOverwrite(0, kind, false, false, kOld, "", Missing());
    EXPECT_TRUE(missing.write);
    EXPECT_FALSE(missing.compared);
  }
}

TEST(OverwriteRules, VersionedKindsCompareVersionThenDate) {
  struct Case {
    const char* what;
    int kind;
    const char* version;
    ExistingTarget existing;
    DateTime entry_time;
    bool write;
    bool record;
    const char* log;
  };
  const Case cases[] = {
      {"missing target", 9, "1.0", Missing(), kOld, true, true, ""},
      {"older version kept, still recorded", 9, "1.2", Existing(kOld, "1.10.0.0"), kNew, false, true,
       " was not installed because its version (1.2) is not newer than 1.10.0.0\r\n"},
      {"same version kept", 6, "2.0", Existing(kOld, "2.0.0.0"), kNew, false, false,
       " was not installed because its version (2.0) is not newer than 2.0.0.0\r\n"},
      {"newer version, newer date", 9, "2.1", Existing(kOld, "2.0.0.0"), kNew, true, true,
       " needs replacement because its version (2.1) is newer than 2.0.0.0 and its date (2021/06/01 10:00:00) is "
       "newer than 2020/01/01 10:00:00.\r\n"},
      {"newer version, older date", 9, "2.1", Existing(kNew, "2.0.0.0"), kOld, false, true,
       " was not installed because its date (2020/01/01 10:00:00) is not newer than 2021/06/01 10:00:00.\r\n"},
      {"no version resource: the date decides", 9, "2.1", Existing(kOld), kNew, true, true,
       " needs replacement because its date (2021/06/01 10:00:00) is newer than 2020/01/01 10:00:00.\r\n"},
      {"older date without versions", 9, "", Existing(kNew), kOld, false, true,
       " was not installed because its date (2020/01/01 10:00:00) is not newer than 2021/06/01 10:00:00.\r\n"},
      {"newer version, entry without time", 7, "3", Existing(kNew, "2.9"), kNone, true, false,
       " needs replacement because its version (3) is newer than 2.9.\r\n"},
      {"nothing to compare", 8, "", Existing(kNew), kNone, true, false, " is out of date and will be replaced.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OverwriteDecision d = DecideOverwrite(0, c.kind, false, false, c.entry_time, c.version, c.existing);
    EXPECT_EQ(d.write, c.write);
    EXPECT_EQ(d.record, c.record);
    EXPECT_EQ(d.log_line, c.log);
    EXPECT_EQ(d.compared, c.existing.exists);
  }
}
