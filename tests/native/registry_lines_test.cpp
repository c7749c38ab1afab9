// The registry section's lines: fields, shapes, action codes, value data, failure texts, the
// security rule for new keys, App Paths lines and the uninstaller's reading of [Registry2].
#include "integration/registry_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

std::vector<std::string> Fields(const char* line) {
  std::vector<std::string> out;
  for (const std::u16string& f : SplitRegistryLine(U(line))) out.push_back(N(f));
  return out;
}

// Bytes written as hexadecimal pairs, for readable expectations.
std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

TEST(RegistryLines, FieldsAreCommaSeparatedWithQuotes) {
  struct Case {
    const char* line;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"\\HKLM\\Software\\X", {"\\HKLM\\Software\\X"}},
      {"\\HKLM\\X,Name,1,data,3", {"\\HKLM\\X", "Name", "1", "data", "3"}},
      {"\\HKLM\\X,,1,,3", {"\\HKLM\\X", "", "1", "", "3"}},
      {"\\HKLM\\X,\"a,b\",1,\"say \"\"hi\"\"\",3", {"\\HKLM\\X", "a,b", "1", "say \"hi\"", "3"}},
      {"\\HKLM\\X,Name,1,data,", {"\\HKLM\\X", "Name", "1", "data", ""}},
      {"\"\\HKLM\\Key, with comma\"", {"\\HKLM\\Key, with comma"}},
      {"", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(Fields(c.line), c.fields) << c.line;
}

TEST(RegistryLines, JoinedLinesSplitBackToTheirFields) {
  const std::vector<std::vector<std::u16string>> cases = {
      {u"\\HKLM\\X", u"", u"", u"", u"2"},
      {u"\\HKLM\\A, B", u"\"quoted\"", u"1", u" padded ", u"3"},
      {u"\\HKAU\\Vendor"},
  };
  for (const auto& fields : cases) EXPECT_EQ(SplitRegistryLine(JoinRegistryLine(fields)), fields);
  EXPECT_EQ(N(JoinRegistryLine({u"\\HKLM\\X", u"", u"", u"", u"2"})), "\\HKLM\\X,,,,2");
  EXPECT_EQ(N(JoinRegistryLine({u"a,b", u"q\""})), "\"a,b\",\"q\"\"\"");
}

TEST(RegistryLines, ActionCodesAtInstallAndUninstall) {
  struct Case {
    int code;
    bool delete_first, write, keep_existing, delete_at_uninstall;
  };
  const Case cases[] = {
      {0, false, false, false, false}, {1, false, true, false, false}, {2, false, false, false, true},
      {3, false, true, false, true},   {4, true, false, false, false},  {5, true, false, false, true},
      {6, false, true, true, false},   {7, false, true, true, true},    {8, false, false, false, false},
      {-1, false, false, false, false},
  };
  for (const Case& c : cases) {
    RegistryAction a = ActionOf(c.code);
    EXPECT_EQ(a.delete_at_install, c.delete_first) << c.code;
    EXPECT_EQ(a.write_at_install, c.write) << c.code;
    EXPECT_EQ(a.keep_existing, c.keep_existing) << c.code;
    EXPECT_EQ(a.delete_at_uninstall, c.delete_at_uninstall) << c.code;
  }
}

TEST(RegistryLines, LineShapes) {
  struct Case {
    const char* line;
    RegistryLineShape shape;
    const char* key;
    const char* name;
    uint32_t type;
    const char* data;
    int action;
  };
  using S = RegistryLineShape;
  const Case cases[] = {
      {"\\HKLM\\Software\\Vendor", S::kKey, "\\HKLM\\Software\\Vendor", "", 0, "", 0},
      {"  \\HKAU\\Vendor\\Product  ", S::kKey, "\\HKAU\\Vendor\\Product", "", 0, "", 0},
      {"", S::kBlank, "", "", 0, "", 0},
      {"   ", S::kBlank, "", "", 0, "", 0},
      {"\\HKLM\\X,Count,4,42,3", S::kValue, "\\HKLM\\X", "Count", 4, "42", 3},
      {"\\HKCU\\X,,1,%InstallDir%\\bin,1", S::kValue, "\\HKCU\\X", "", 1, "%InstallDir%\\bin", 1},
      {",Name,1,data,3", S::kValue, "", "Name", 1, "data", 3},  // fails later at the key
      {"\\HKLM\\X,Name,,,2", S::kValue, "\\HKLM\\X", "Name", 0, "", 2},  // a delete needs no type
      {"\\HKLM\\X,Name,1,data,9", S::kValue, "\\HKLM\\X", "Name", 1, "data", 9},  // does nothing
      // Wrong number of fields, or a number field that is not a number.
      {"\\HKLM\\X,Name,1", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name,1,data,3,extra", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name,text,data,3", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name,,data,3", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name,1,data,write", S::kIllegal, "", "", 0, "", 0},
      {"\\HKLM\\X,Name,1,data,", S::kIllegal, "", "", 0, "", 0},
  };
  for (const Case& c : cases) {
    RegistryLine l = ParseRegistryLine(U(c.line));
    EXPECT_EQ(l.shape, c.shape) << c.line;
    if (l.shape == S::kIllegal || l.shape == S::kBlank) continue;
    EXPECT_EQ(N(l.key), c.key) << c.line;
    EXPECT_EQ(N(l.value_name), c.name) << c.line;
    EXPECT_EQ(l.type, c.type) << c.line;
    EXPECT_EQ(N(l.data), c.data) << c.line;
    EXPECT_EQ(l.action, c.action) << c.line;
  }
}

TEST(RegistryLines, SectionLinesSplitAtAnyLineBreak) {
  std::vector<std::u16string> lines = SplitSectionLines(u"a\r\nb\nc\r\r\nd\r\n\r\n");
  std::vector<std::u16string> expected = {u"a", u"b", u"c", u"", u"d"};
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(SplitSectionLines(u"").empty());
}

TEST(RegistryLines, ValueDataByType) {
  struct Case {
    uint32_t type;
    const char* data;
    bool valid;
    const char* hex;
  };
  const Case cases[] = {
      // Texts: UTF-16LE with the terminating zero.
      {1, "ab", true, "61 00 62 00 00 00"},
      {2, "%X%", true, "25 00 58 00 25 00 00 00"},
      {1, "", true, "00 00"},
      // Binary: pairs of digits, spaces ignored, either case.
      {3, "0A 0B ff", true, "0A 0B FF"},
      {3, "0a0B", true, "0A 0B"},
      {3, "", true, ""},
      {3, "0A B", false, ""},  // "0AB" once the space goes: an odd number of digits
      {3, "0G", false, ""},
      {3, "ABC", false, ""},
      // Numbers: decimal, little-endian; a minus sign gives the two's complement.
      {4, "42", true, "2A 00 00 00"},
      {4, " 7 ", true, "07 00 00 00"},
      {4, "4294967295", true, "FF FF FF FF"},
      {4, "-1", true, "FF FF FF FF"},
      {4, "-2147483648", true, "00 00 00 80"},
      {4, "4294967296", false, ""},
      {4, "-2147483649", false, ""},
      {4, "", false, ""},
      {4, "12abc", false, ""},
      {4, "0x10", false, ""},
      {11, "1", true, "01 00 00 00 00 00 00 00"},
      {11, "18446744073709551615", true, "FF FF FF FF FF FF FF FF"},
      {11, "-2", true, "FE FF FF FF FF FF FF FF"},
      {11, "18446744073709551616", false, ""},
      {11, "99999999999999999999999", false, ""},
      // Types 5 to 10 and others: the type with no data.
      {7, "ignored", true, ""},
      {10, "x", true, ""},
      {0, "x", true, ""},
      {12, "x", true, ""},
  };
  for (const Case& c : cases) {
    std::optional<RegistryValueData> v = BuildValueData(c.type, U(c.data));
    ASSERT_EQ(v.has_value(), c.valid) << c.type << " " << c.data;
    if (!v) continue;
    EXPECT_EQ(v->type, c.type);
    EXPECT_EQ(Hex(v->bytes), c.hex) << c.type << " " << c.data;
  }
}

TEST(RegistryLines, FailureTexts) {
  EXPECT_EQ(N(IllegalEntryText(u"\\HKLM\\X,a,1")), "Illegal registry entry: \\HKLM\\X,a,1\r\n");
  EXPECT_EQ(N(KeyFailureLine(u"\\HKXX\\Software", u"The specified path is invalid.")),
            "Failed to create registry key: \\HKXX\\Software\r\nThe specified path is invalid.\r\n");
  EXPECT_EQ(N(ValueFailureLine(u"Count", u"Access is denied.")),
            "Failed to create registry value \"Count\": Access is denied.\r\n");
  EXPECT_EQ(N(ProductKeyFailureText(u"Vendor\\Product", 5, u"Access is denied.")),
            "Error creating registry keys at \\Software\\Vendor\\Product\r\nCode 5: Access is denied.\r\n\r\n");
}

TEST(RegistryLines, OnlyTheProductsOwnKeyGetsTheOpenAccessList) {
  struct Case {
    const char* key;
    const char* product;
    bool open;
  };
  const Case cases[] = {
      {"\\HKLM\\Software\\Vendor\\Product", "Vendor\\Product", true},
      {"\\HKLM\\software\\vendor\\product\\Settings", "Vendor\\Product", true},
      {"\\HKCU\\Software\\Vendor\\Product\\Settings", "Vendor\\Product", true},
      {"\\HKAU\\Vendor\\Product\\Settings", "Vendor\\Product", true},
      {"\\HKLM\\Software\\Vendor\\ProductTwo", "Vendor\\Product", false},
      {"\\HKLM\\Software\\Vendor", "Vendor\\Product", false},
      {"\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Vendor\\Product", false},
      {"\\HKCR\\Software\\Vendor\\Product", "Vendor\\Product", false},
      {"\\HKLM\\Software\\Vendor\\Product", "", false},
      {"HKLM\\Software\\Vendor\\Product", "Vendor\\Product", false},  // not a key path
  };
  for (const Case& c : cases) EXPECT_EQ(KeyTakesOpenSecurity(U(c.key), U(c.product)), c.open) << c.key;
}

TEST(RegistryLines, AppPathsLinesUndoWhatWasWritten) {
  const std::u16string key = AppPathsKeyOf(u"C:\\Program Files\\Acme\\bin\\draw.exe");
  EXPECT_EQ(N(key), "\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\draw.exe");

  std::vector<std::u16string> both = AppPathsUndoLines(key, true, true);
  ASSERT_EQ(both.size(), 3u);
  EXPECT_EQ(N(both[0]), N(key) + ",,,,2");
  EXPECT_EQ(N(both[1]), N(key) + ",Path,,,2");
  EXPECT_EQ(N(both[2]), N(key));
  // Only the value that was written is undone, and the key is left when one failed.
  std::vector<std::u16string> one = AppPathsUndoLines(key, false, true);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(N(one[0]), N(key) + ",Path,,,2");
  EXPECT_TRUE(AppPathsUndoLines(key, false, false).empty());

  // The uninstaller reads them back, in the view App Paths was written in.
  RegistryUndo value = UndoOfRegistry2Line(N(both[0]));
  EXPECT_EQ(value.kind, RegistryUndo::Kind::kDeleteValue);
  EXPECT_EQ(value.key, key);
  EXPECT_EQ(value.value_name, u"");
  EXPECT_TRUE(value.default_view);
  RegistryUndo whole = UndoOfRegistry2Line(N(both[2]));
  EXPECT_EQ(whole.kind, RegistryUndo::Kind::kDeleteKeyIfEmpty);
  EXPECT_TRUE(whole.default_view);
}

TEST(RegistryLines, AppendedLinesStartOnALineOfTheirOwn) {
  std::u16string section = u"\\HKLM\\A";
  AppendSectionLines(section, {u"\\HKLM\\B", u"\\HKLM\\C"});
  EXPECT_EQ(section, u"\\HKLM\\A\r\n\\HKLM\\B\r\n\\HKLM\\C\r\n");
  std::u16string empty;
  AppendSectionLines(empty, {u"\\HKLM\\B"});
  EXPECT_EQ(empty, u"\\HKLM\\B\r\n");
  std::u16string unchanged = u"x";
  AppendSectionLines(unchanged, {});
  EXPECT_EQ(unchanged, u"x");
}

TEST(RegistryLines, Registry2LinesTheUninstallerUndoes) {
  using K = RegistryUndo::Kind;
  struct Case {
    const char* line;
    K kind;
    bool all_users;
    const char* key;
    const char* name;
  };
  const Case cases[] = {
      {"\\HKLM\\Software\\Vendor", K::kDeleteKeyIfEmpty, false, "\\HKLM\\Software\\Vendor", ""},
      {"\\HKAU\\Vendor\\Product", K::kDeleteKeyIfEmpty, true, "Vendor\\Product", ""},
      {"\\HKLM", K::kNothing, false, "", ""},  // one backslash: never a root
      {"\\HKLM\\Software\\X,A,1,d,1", K::kNothing, false, "", ""},
      {"\\HKLM\\Software\\X,A,1,d,2", K::kDeleteValue, false, "\\HKLM\\Software\\X", "A"},
      {"\\HKLM\\Software\\X,A,1,d,3", K::kDeleteValue, false, "\\HKLM\\Software\\X", "A"},
      {"\\HKLM\\Software\\X,A,1,d,4", K::kNothing, false, "", ""},
      {"\\HKLM\\Software\\X,A,1,d,5", K::kDeleteValue, false, "\\HKLM\\Software\\X", "A"},
      {"\\HKLM\\Software\\X,A,1,d,6", K::kNothing, false, "", ""},
      {"\\HKLM\\Software\\X,A,1,d,7", K::kDeleteValue, false, "\\HKLM\\Software\\X", "A"},
      {"\\HKAU\\Vendor,\"a,b\",1,d,3", K::kDeleteValue, true, "Vendor", "a,b"},
      {"\\HKLM\\Software\\X,A,1", K::kNothing, false, "", ""},
      {"\\HKLM\\Software\\X,A,1,d,x", K::kNothing, false, "", ""},
  };
  for (const Case& c : cases) {
    RegistryUndo u = UndoOfRegistry2Line(c.line);
    EXPECT_EQ(u.kind, c.kind) << c.line;
    if (u.kind == K::kNothing) continue;
    EXPECT_EQ(u.all_users, c.all_users) << c.line;
    EXPECT_EQ(N(u.key), c.key) << c.line;
    EXPECT_EQ(N(u.value_name), c.name) << c.line;
    EXPECT_FALSE(u.default_view) << c.line;
  }
  // UTF-8 texts come back whole.
  EXPECT_EQ(N(UndoOfRegistry2Line("\\HKLM\\Software\\Caf\xC3\xA9,N,1,d,3").key), "\\HKLM\\Software\\Caf\xC3\xA9");
}

TEST(RegistryLines, ProductKeyParentsStopBelowSoftware) {
  auto parents = [](const char16_t* key, size_t limit) {
    std::vector<std::string> out;
    for (const std::u16string& p : ProductKeyParents(key, limit)) out.push_back(N(p));
    return out;
  };
  EXPECT_EQ(parents(u"Vendor\\Product\\Sub", 20), (std::vector<std::string>{"Vendor\\Product", "Vendor"}));
  EXPECT_EQ(parents(u"Vendor\\Product\\", 20), (std::vector<std::string>{"Vendor"}));
  EXPECT_TRUE(parents(u"Vendor", 20).empty());
  EXPECT_TRUE(parents(u"", 20).empty());
  EXPECT_EQ(parents(u"a\\b\\c\\d", 2), (std::vector<std::string>{"a\\b\\c", "a\\b"}));
}
