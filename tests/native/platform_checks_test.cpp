// The platform requirements: bitness, the minimum Windows record, the excluded-Windows mask, the
// master product, and the placeholders of the refusal texts.
#include "engine/platform_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/message_text.h"
#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

std::array<uint8_t, 20> Record(uint32_t major, uint32_t minor, uint32_t build) {
  std::array<uint8_t, 20> r{};
  for (int k = 0; k < 4; ++k) {
    r[k] = uint8_t(major >> (8 * k));
    r[4 + k] = uint8_t(minor >> (8 * k));
    r[8 + k] = uint8_t(build >> (8 * k));
  }
  return r;
}

WindowsVersion Windows(uint32_t major, uint32_t minor, uint32_t build, bool workstation = true) {
  WindowsVersion v;
  v.major = major;
  v.minor = minor;
  v.build = build;
  v.workstation = workstation;
  return v;
}

std::u16string Texts(int n) {
  switch (n) {
    case 12: return u"needs %s";
    case 112: return u"needs version %s of %s";
    default: return u"";
  }
}
}  // namespace

TEST(PlatformChecks, Bitness) {
  struct Case {
    uint8_t bitness;
    bool windows_64bit;
    int missing;
  };
  const Case cases[] = {
      {0, false, 0}, {0, true, 0},    // any Windows
      {1, true, 0},  {1, false, 64},  // a 64-bit product on 32-bit Windows names 64
      {2, false, 0}, {2, true, 32},   // a 32-bit product on 64-bit Windows names 32
      {7, true, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MissingBitness(c.bitness, c.windows_64bit), c.missing) << int(c.bitness) << " " << c.windows_64bit;
}

TEST(PlatformChecks, MinimumWindows) {
  struct Case {
    std::array<uint8_t, 20> record;
    WindowsVersion running;
    bool older;
    const char* text;
  };
  const Case cases[] = {
      {Record(0, 0, 0), Windows(4, 0, 950), false, "0.0"},          // no minimum: every Windows
      {Record(10, 0, 0), Windows(6, 1, 7601), true, "10.0"},        // 7 is older than 10
      {Record(6, 1, 0), Windows(6, 1, 7600), false, "6.1"},         // equal version, any build
      {Record(6, 2, 0), Windows(6, 1, 9999), true, "6.2"},          // the minor decides first
      {Record(6, 1, 0), Windows(10, 0, 0), false, "6.1"},           // a newer major
      {Record(10, 0, 19041), Windows(10, 0, 19040), true, "10.0.19041"},
      {Record(10, 0, 19041), Windows(10, 0, 19041), false, "10.0.19041"},
      {Record(10, 0, 19041), Windows(10, 0, 22000), false, "10.0.19041"},
      {Record(0x01020304, 0, 0), Windows(0x01020303, 9, 9), true, "16909060.0"},  // all four bytes count
  };
  for (const Case& c : cases) {
    MinimumWindows m = format::ReadMinimumWindows(c.record);
    EXPECT_EQ(IsOlderThan(c.running, m), c.older) << c.text;
    if (m.set()) {
      EXPECT_EQ(N(MinimumWindowsText(m)), c.text);
    }
  }
}

TEST(PlatformChecks, ExcludedWindows) {
  EXPECT_TRUE(IsExcludedWindows(4096, Windows(6, 1, 7601)));            // 7
  EXPECT_FALSE(IsExcludedWindows(4096 | 1024, Windows(6, 2, 9200)));    // 8 is not excluded
  EXPECT_TRUE(IsExcludedWindows(524288, Windows(10, 0, 22000)));        // 11
  EXPECT_FALSE(IsExcludedWindows(524288, Windows(10, 0, 19045)));       // 10
  EXPECT_TRUE(IsExcludedWindows(2048, Windows(6, 1, 7601, false)));     // Server 2008 R2, not 7
  EXPECT_FALSE(IsExcludedWindows(0, Windows(6, 1, 7601)));
}

TEST(PlatformChecks, MasterProduct) {
  format::MasterProduct master = MasterWithDefaults({u"", u"", u""}, u"Own");
  EXPECT_EQ(N(master.uninstall_key_name), "Own");
  EXPECT_EQ(N(master.display_name), "Own");
  master = MasterWithDefaults({u"MasterKey", u"Master Suite", u"2.0"}, u"Own");
  EXPECT_EQ(N(master.uninstall_key_name), "MasterKey");

  struct Case {
    const char* what;
    bool folder_is_master;
    MasterProductFacts facts;
    int refusal;
    const char* message;
    const char* folder;
  };
  const Case cases[] = {
      {"not installed", false, {false, u"", u""}, 12, "needs Master Suite", ""},
      {"installed without folder, folder not <master>", false, {true, u"", u"2.0"}, 0, "", ""},
      {"installed without folder, folder <master>", true, {true, u"", u"2.0"}, 12, "needs Master Suite", ""},
      {"too old", false, {true, u"C:\\M", u"1.9.9"}, 112, "needs version 2.0 of Master Suite", ""},
      {"unknown version is too old", false, {true, u"C:\\M", u""}, 112, "needs version 2.0 of Master Suite", ""},
      {"equal version", true, {true, u"C:\\M", u"2.0.0"}, 0, "", "C:\\M"},
      {"newer version", true, {true, u"C:\\M", u"10.1"}, 0, "", "C:\\M"},
  };
  for (const Case& c : cases) {
    MasterProductDecision d = DecideMasterProduct(master, c.folder_is_master, c.facts, Texts);
    EXPECT_EQ(d.refusal_text, c.refusal) << c.what;
    EXPECT_EQ(N(d.message), c.message) << c.what;
    EXPECT_EQ(N(d.folder), c.folder) << c.what;
  }
  // Without a minimum version any installed master will do.
  format::MasterProduct any = MasterWithDefaults({u"K", u"M", u""}, u"Own");
  EXPECT_EQ(DecideMasterProduct(any, false, {true, u"", u""}, Texts).refusal_text, 0);
  EXPECT_TRUE(IsMasterFolder(u"<MASTER>"));
  EXPECT_FALSE(IsMasterFolder(u"<master>\\x"));
}

TEST(MessageText, Placeholders) {
  struct Case {
    const char* text;
    std::initializer_list<std::u16string_view> values;
    const char* result;
  };
  const Case cases[] = {
      {"only on %d-bit Windows", {u"64"}, "only on 64-bit Windows"},
      {"version %s of %s", {u"2.0", u"Suite"}, "version 2.0 of Suite"},
      {"missing %s and %s", {u"one"}, "missing one and "},         // a placeholder without a value
      {"no placeholder", {u"dropped"}, "no placeholder"},           // a value without a placeholder
      {"100%% and %x and %", {u"v"}, "100% and %x and %"},          // never a printf format
      {"%s", {u"%s%d"}, "%s%d"},                                    // values are not filled in again
  };
  for (const Case& c : cases) EXPECT_EQ(N(FillInText(U(c.text), c.values)), c.result) << c.text;
}
