// The setup script codec: round trips, the string length forms, every item check with its
// corrupt code, the silent-mode flags, the language table and the writer's refusals.
#include "foundation/format/setup_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "foundation/format/corrupt_codes.h"
#include "tests/native/setup_script_fixture.h"

using namespace halberd::format;

namespace {

Bytes Write(const SetupScript& s) {
  ByteWriter w;
  std::string problem;
  EXPECT_TRUE(WriteSetupScript(s, w, &problem)) << problem;
  return w.bytes();
}

// Reads head and body from an exact-size copy, so that any read past the end is seen by ASan.
int Read(const Bytes& bytes, SetupScript& out, uint32_t flags2 = 0, bool silent = false, bool* at_end = nullptr) {
  Bytes exact(bytes);
  ByteReader r(exact);
  out.ProductFlags2 = flags2;
  int code = ReadScriptHead(r, silent, out);
  if (code == 0) code = ReadScriptBody(r, out);
  if (at_end) *at_end = r.at_end();
  return code;
}

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

// Every item present, every value distinct from its neighbours, so that two items read in the
// wrong order do not compare equal.
SetupScript FullScript() {
  SetupScript s;
  s.ProductFlags2 = kFlags2SecondColours | kFlags2ButtonColours | kFlags2ThirdColours | 0x1000;
  s.ProductFlags = kFlagUninstaller | kFlagDialogColours | kFlagXzChunks | kFlagMasterProduct |
                   (uint64_t(1) << 63) | (uint64_t(1) << 40);
  s.run_mode = 2;
  s.TaskbarText = u"Taskbar \u00C4\u4E2D";
  s.DisplayTitle = u"Display title";
  s.TitleSize = 1.25;
  s.progress_page_value = 0x01020304;
  s.dwell_time = 9999;
  s.ShortcutMode = 1;
  for (size_t i = 0; i < s.uninstaller_file_info.size(); ++i) s.uninstaller_file_info[i] = uint8_t(0xA0 + i);
  s.Publisher = u"Publisher";
  s.DisplayName = u"Display name";
  s.product_description = u"Description";
  s.Bitness = 1;
  s.shared_base_folder = 3;
  s.SharedPath = u"Shared path";
  s.portable_shared_subfolder = u"Portable shared";
  s.ProductStartMenu = u"Start menu";
  s.DisplayVersion = u"2.10.3";
  s.default_install_folder = u"<os>\\Product";
  s.ProductRegistry = u"Vendor\\Product";
  s.registry_entries = u"\"\\HKLM\\Software\\Vendor\",\"v\",\"1\",\"d\",\"0\"\r\n";
  s.registry_merge = Repeat(u'r', 128);  // 256 bytes: the 255, 0, 1 form
  s.app_paths_program = u"bin\\app.exe";
  s.BitmapSize = 100;
  s.StretchMode = 3;
  s.UninstallFonts = -1;
  s.UninstallShared = 2;
  s.greeting_link = u"https://example.com/greeting";
  s.license_texts = {std::string("{\\rtf1 licence}"), std::string("plain\0with zero", 15)};
  s.readme_texts = {"readme"};
  s.UninstallSubdir = u"uninst";
  s.uninstaller_file_name = Repeat(u'u', 127);  // the longest short text
  s.uninstall_key_name = u"Key name";
  s.earlier_install_location = u"HKLM\\Software\\Vendor\\Path";
  s.DialogFont = u"Segoe UI";
  s.DialogZoom = 125;
  s.dialog_caption = u"<product> Setup";
  s.BannerFG = 0x112233;
  s.title_drawing_option = 4;
  s.TitleColor = 0x445566;
  s.TitleShadow = 5;
  s.TitlePosition = 6;
  s.TitleFont = u"Title font";
  s.TopColor = 0x778899;
  s.BottomColor = 0xAABBCC;
  s.background_picture = std::string("BM\0\0picture", 11);
  s.BitmapTPI = 7;
  s.CopyrightPos = 5;
  s.CopyrightColor = 0xDDEEFF;
  s.CopyrightSize = 0.75;
  s.CopyrightText = u"(c) Vendor";
  s.CopyrightFont = u"Copyright font";
  s.DialogBG = 0x010101;
  s.DialogFG = 0x020202;
  s.ButtonBG = 0x030303;
  s.ButtonFG = 0x040404;
  s.ButtonBorder = 0x050505;
  s.second_colours = {0x060606, 0x070707};
  s.third_colours = {0x080808, 0x090909};
  s.master_product = {u"Master key", u"Master name", u"3.0"};
  s.opening_sound = std::string(255, '\x52');  // 255 bytes: the 255, 255 and u32 form
  s.opening_sound[4] = '\0';
  s.DesktopFolder = u"Desktop folder";
  s.desktop_folder_icon = "desktop icon";
  s.batches = {"pre \x80\xE9", "post", "exit", "uninstall 1", "uninstall 2", "upgrade", "reinstall"};
  for (size_t i = 0; i < s.minimum_windows_version.size(); ++i) s.minimum_windows_version[i] = uint8_t(0x30 + i);
  s.excluded_windows_mask = 0x8001;
  s.archive_source = 1;
  s.addresses = {u"launch", u"document", u"document 2", u"blocking", u"start", u"new", u"upgrade", u"downgrade",
                 u"reinstall", u"notify", u"greeting", u"cancel", u"problems"};
  s.upgrade_confirm_minimum = "1.5";
  s.NoDowngradeBelow = u"1.2";
  s.build_date = {2024, 2, 29};
  s.reserved = {9, 8, 7, 6};
  s.password = u"secret";
  s.upgrade_minimum_version = u"1.0";
  s.firewall_exceptions = u"app.exe;Rule;1;0";
  s.AddToPathSubfolder = u"bin";
  s.settings = {11, 12, 0, 1, 2, 3, 4, 5, 6, 7, 2, 404};
  s.uninstaller_icon = "uninstaller icon";
  s.conditional_deletions = {{"*.tmp", 1, "10", 8}, {"cache\\*", 2, "", 4}};
  s.associations = {{1, ".abc", "Vendor.Abc", "Abc file", "open,print", "Open", u"\"%InstallDir%\\app.exe\" \"%1\"",
                     u"", u"%InstallDir%\\abc.ico"},
                    {2, "xyz", "!Vendor.Xyz", "", "edit", "Edit", u"edit.exe", u"English", u""}};
  s.registrations = {{{u"t1", u"t2", u"t3", u"t4", u"t5"}, {1, 2, 3}, u"extra", {4, 5}},
                     {{u"", u"a", u"", u"b", u""}, {0, 0, 1}, u"", {0, 1}}};
  s.further_commands = {{{u"root command", u"root name"}, {u"pin program", u"pin name"}}};
  s.uninstall_values = {{u"HelpLink", kUninstallValueText, u"https://example.com"},
                        {u"Sub\\Key\\Value", kUninstallValueNumber, u"42"}};
  s.SupportOffer = u"https://example.com/support";
  s.product_icon = std::string("\0\0\1\0icon", 8);
  s.AutoClose = {{u"*Class", u"Title", u"Program", 2, 3}, {u"", u"", u"Other", 0, 1}};
  s.languages.names = {u"Deutsch", u"English", u"Fran\u00E7ais"};
  s.languages.rows = {{u"Produkt", u"Product", u"Produit"},
                      {u"Zeile 1\r\nZeile 2", u"Line 1\r\nLine 2", u"Ligne 1\r\nLigne 2"},
                      {u"", u"only English", u""},
                      {u"\u00DF", u"s", u"\u00E9"}};
  return s;
}

// Offset of the first byte at which the written script changes when `change` is applied.
size_t OffsetOfChange(const SetupScript& base, const std::function<void(SetupScript&)>& change) {
  SetupScript changed = base;
  change(changed);
  Bytes a = Write(base), b = Write(changed);
  auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  EXPECT_NE(diff.first, a.end());
  return size_t(diff.first - a.begin());
}

void PutU32(Bytes& b, size_t at, uint32_t v) { StoreU32(&b[at], v); }

// Inserts `entry` just before the first occurrence of `mark`.
Bytes InsertBefore(Bytes b, const Bytes& mark, const Bytes& entry) {
  auto at = std::search(b.begin(), b.end(), mark.begin(), mark.end());
  EXPECT_NE(at, b.end());
  b.insert(at, entry.begin(), entry.end());
  return b;
}

Bytes DeletionListEnd() { return Bytes(kDeletionListEnd, kDeletionListEnd + sizeof kDeletionListEnd); }
Bytes AutoCloseListEnd() {
  ByteWriter w;
  w.String16(kAutoCloseListEnd);
  return w.bytes();
}

}  // namespace

TEST(SetupScript, FullyPopulatedScriptRoundTrips) {
  SetupScript full = FullScript();
  Bytes bytes = Write(full);
  SetupScript back;
  bool at_end = false;
  ASSERT_EQ(Read(bytes, back, full.ProductFlags2, false, &at_end), 0);
  EXPECT_TRUE(at_end);
  EXPECT_TRUE(back == full);
  // Spot checks that equality is not vacuous and that the texts survive as UTF-16.
  EXPECT_EQ(back.TaskbarText, u"Taskbar \u00C4\u4E2D");
  EXPECT_EQ(back.opening_sound.size(), 255u);
  EXPECT_EQ(back.languages.Text(2, 1), u"Ligne 1\r\nLigne 2");
  EXPECT_EQ(back.settings.ExtraDiskSpace(), (uint64_t(12) << 32) | 11);
}

TEST(SetupScript, MinimalScriptRoundTripsWithItsDefaults) {
  SetupScript minimal = MinimalSetupScript(u"Product \u00C9");
  Bytes bytes = Write(minimal);
  SetupScript back;
  bool at_end = false;
  ASSERT_EQ(Read(bytes, back, 0, false, &at_end), 0);
  EXPECT_TRUE(at_end);
  EXPECT_TRUE(back == minimal);
  EXPECT_EQ(back.DisplayName, u"Product \u00C9");
  EXPECT_TRUE(back.ProductFlags & kFlagXzChunks);
  EXPECT_EQ(back.settings.integrity_mode, 1);
  EXPECT_EQ(back.archive_source, 0);
  ASSERT_EQ(back.languages.names.size(), 1u);
  EXPECT_EQ(back.languages.names[back.languages.DefaultLanguage()], u"English");
  EXPECT_EQ(back.languages.Text(back.languages.DefaultLanguage(), 0), u"Product \u00C9");
  // Items left out by the flags read back as their defaults.
  EXPECT_EQ(back.BitmapTPI, -1);
  EXPECT_EQ(back.DialogBG, kColourUnset);
  EXPECT_TRUE(back.master_product == MasterProduct{});
}

TEST(SetupScript, ReadingAgainLeavesNothingFromTheEarlierScript) {
  Bytes minimal = Write(MinimalSetupScript(u"P"));
  SetupScript target = FullScript();
  ASSERT_EQ(Read(minimal, target), 0);
  EXPECT_TRUE(target == MinimalSetupScript(u"P"));
}

// Each optional item is written exactly when its flag asks for it, and the reader agrees.
TEST(SetupScript, OptionalItemsFollowTheirFlags) {
  struct Case {
    const char* item;
    std::function<void(SetupScript&)> turn_on;
    size_t extra_bytes;
  };
  const Case cases[] = {
      {"46 picture", [](SetupScript& s) { s.background_picture = "BM"; s.BitmapTPI = 5; }, 2 + 4},
      {"47 copyright",
       [](SetupScript& s) { s.CopyrightPos = 1; s.CopyrightText = u"C"; s.CopyrightFont = u"F"; s.CopyrightSize = 2; },
       4 + 8 + 3 + 3},
      {"48 dialog colours", [](SetupScript& s) { s.ProductFlags |= kFlagDialogColours; s.DialogBG = 1; }, 8},
      {"49 button colours", [](SetupScript& s) { s.ProductFlags2 |= kFlags2ButtonColours; s.ButtonFG = 2; }, 12},
      {"50 second pair", [](SetupScript& s) { s.ProductFlags2 |= kFlags2SecondColours; s.second_colours.text = 3; }, 8},
      {"51 third pair", [](SetupScript& s) { s.ProductFlags2 |= kFlags2ThirdColours; s.third_colours.text = 4; }, 8},
      {"52 master product",
       [](SetupScript& s) { s.ProductFlags |= kFlagMasterProduct; s.master_product = {u"K", u"N", u"1"}; }, 9},
      {"68 uninstaller icon",
       [](SetupScript& s) { s.ProductFlags |= kFlagUninstaller; s.uninstaller_icon = "ICO"; }, 4 + 3},
  };
  const SetupScript base = MinimalSetupScript(u"P");
  const size_t base_size = Write(base).size();
  for (const Case& c : cases) {
    SetupScript on = base;
    c.turn_on(on);
    Bytes bytes = Write(on);
    EXPECT_EQ(bytes.size(), base_size + c.extra_bytes) << c.item;
    SetupScript back;
    bool at_end = false;
    ASSERT_EQ(Read(bytes, back, on.ProductFlags2, false, &at_end), 0) << c.item;
    EXPECT_TRUE(at_end) << c.item;
    EXPECT_TRUE(back == on) << c.item;
  }
}

TEST(ScriptStrings, LengthPrefixForms) {
  struct Case {
    size_t length;
    Bytes prefix;
  };
  const Case cases[] = {
      {0, {0}},
      {254, {254}},
      {255, {255, 255, 255, 0, 0, 0}},  // the two-byte form would have the low byte 255
      {256, {255, 0, 1}},
      {0x1FE, {255, 0xFE, 1}},
      {0x1FF, {255, 255, 0xFF, 1, 0, 0}},
      {0xFFFF, {255, 255, 0xFF, 0xFF, 0, 0}},
      {0x10000, {255, 255, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    ByteWriter w;
    w.String(std::string(c.length, 'x'));
    ASSERT_EQ(w.size(), c.prefix.size() + c.length) << c.length;
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), w.bytes().begin())) << c.length;
    ByteReader r(w.bytes());
    std::string back;
    EXPECT_TRUE(r.ReadString(back)) << c.length;
    EXPECT_EQ(back.size(), c.length);
    EXPECT_TRUE(r.at_end());
  }
}

TEST(ScriptStrings, LengthAboveTheLimitFails) {
  uint32_t n = 0;
  const Bytes at_limit = {255, 255, 0x00, 0x00, 0x00, 0x40};
  ByteReader a(at_limit);
  EXPECT_TRUE(a.ReadStringLength(n));
  EXPECT_EQ(n, kMaxStringLength);
  const Bytes above = {255, 255, 0x01, 0x00, 0x00, 0x40};
  ByteReader b(above);
  EXPECT_FALSE(b.ReadStringLength(n));
  std::string out = "stale";
  ByteReader c(above);
  EXPECT_FALSE(c.ReadString(out));
  EXPECT_TRUE(out.empty());  // a failed string read leaves its target empty

  // The same length in a script item ends the script (code 32).
  ByteWriter w;
  w.U64(0);
  w.U8(0);
  w.Raw(above);
  SetupScript s;
  EXPECT_EQ(Read(w.bytes(), s), corrupt::kScriptEnd);
}

TEST(ScriptStrings, ZeroTerminatedTextsNeedTheirTerminator) {
  std::string z = "stale";
  ByteReader empty(nullptr, 0);
  EXPECT_FALSE(empty.ReadZString(z));
  EXPECT_TRUE(z.empty());
  const Bytes open = {'a', 'b'}, closed = {'a', 'b', 0, 'c'};
  ByteReader a(open), b(closed);
  EXPECT_FALSE(a.ReadZString(z));
  EXPECT_TRUE(b.ReadZString(z));
  EXPECT_EQ(z, "ab");
  EXPECT_EQ(b.remaining(), 1u);
  std::u16string wz = u"stale";
  const Bytes odd = {'a', 0, 0};  // one zero byte after a whole character is no terminator
  ByteReader c(odd);
  EXPECT_FALSE(c.ReadWZString(wz));
  EXPECT_TRUE(wz.empty());
}

TEST(SetupScript, ItemChecksGiveTheirCorruptCodes) {
  const SetupScript base = MinimalSetupScript(u"P");
  auto with = [&](std::function<void(SetupScript&)> change) {
    SetupScript s = base;
    change(s);
    return s;
  };
  // The minimal script with one value patched to one the writer refuses to produce; the value is
  // found as the first byte that `locate` changes.
  auto patched_u32 = [&](std::function<void(SetupScript&)> locate, uint32_t value) {
    Bytes b = Write(base);
    PutU32(b, OffsetOfChange(base, locate), value);
    return b;
  };
  auto patched_u16 = [&](std::function<void(SetupScript&)> locate, uint16_t value) {
    Bytes b = Write(base);
    StoreU16(&b[OffsetOfChange(base, locate)], value);
    return b;
  };
  auto patched_u8 = [&](std::function<void(SetupScript&)> locate, uint8_t value) {
    Bytes b = Write(base);
    b[OffsetOfChange(base, locate)] = value;
    return b;
  };
  auto add_language = [](SetupScript& s) {
    s.languages.names.push_back(u"B");
    s.languages.rows[0].push_back(u"b");
  };
  auto add_text = [](SetupScript& s) { s.languages.rows.push_back({u"t"}); };
  auto deletions = [&](size_t n) {
    SetupScript s = base;
    s.conditional_deletions.assign(n, FileDeletion{"a", 1, "b", 8});
    return s;
  };
  auto programs = [&](size_t n) {
    SetupScript s = base;
    s.AutoClose.assign(n, AutoCloseEntry{u"c", u"t", u"p", 0, 3});
    return s;
  };
  const Bytes deletion_entry = {'x', 0, 1, 'y', 0, 8};
  const Bytes program_entry = {2, 0, 'c', 0, 2, 0, 't', 0, 2, 0, 'p', 0, 0, 3};

  struct Case {
    const char* name;
    Bytes bytes;
    int code;
  };
  const Case cases[] = {
      {"dwell time 9999", Write(with([](SetupScript& s) { s.dwell_time = 9999; })), 0},
      {"dwell time 10000", patched_u16([](SetupScript& s) { s.dwell_time = 1; }, 10000), corrupt::kScriptDwellTime},
      {"BitmapSize 100", Write(with([](SetupScript& s) { s.BitmapSize = 100; })), 0},
      {"BitmapSize 101", patched_u32([](SetupScript& s) { s.BitmapSize = 1; }, 101), corrupt::kScriptBitmapSize},
      {"20 licence texts", Write(with([](SetupScript& s) { s.license_texts.assign(20, "l"); })), 0},
      {"21 licence texts", patched_u32([](SetupScript& s) { s.license_texts.push_back(""); }, 21),
       corrupt::kScriptLicenseCount},
      {"21 readme texts", patched_u32([](SetupScript& s) { s.readme_texts.push_back(""); }, 21),
       corrupt::kScriptReadmeCount},
      {"1001 conditional deletions", Write(deletions(1001)), 0},
      {"1002 conditional deletions", InsertBefore(Write(deletions(1001)), DeletionListEnd(), deletion_entry),
       corrupt::kScriptDeletionCount},
      {"1001 file associations", patched_u32([](SetupScript& s) { s.associations.emplace_back(); }, 1001),
       corrupt::kScriptAssociationCount},
      {"1001 registrations", patched_u32([](SetupScript& s) { s.registrations.emplace_back(); }, 1001),
       corrupt::kScriptRegistrationCount},
      {"1001 uninstall values", patched_u32([](SetupScript& s) { s.uninstall_values.emplace_back(); }, 1001),
       corrupt::kScriptUninstallValueCount},
      {"1000 programs to close", Write(programs(1000)), 0},
      {"1001 programs to close", InsertBefore(Write(programs(1000)), AutoCloseListEnd(), program_entry),
       corrupt::kScriptAutoCloseCount},
      {"0 languages", patched_u8(add_language, 0), corrupt::kScriptLanguageCount},
      {"201 languages", patched_u8(add_language, 201), corrupt::kScriptLanguageCount},
      {"0 texts", patched_u32(add_text, 0), corrupt::kScriptTextCount},
      {"10001 texts", patched_u32(add_text, 10001), corrupt::kScriptTextCount},
      // 10000 x 1 texts need 20000 bytes that are not there: refused before the table is sized.
      {"10000 texts without their bytes", patched_u32(add_text, 10000), corrupt::kScriptEnd},
      {"negative blob length", patched_u32([](SetupScript& s) { s.registry_entries = u"x"; }, 0xFFFFFFFF),
       corrupt::kScriptEnd},
  };
  for (const Case& c : cases) {
    SetupScript s;
    EXPECT_EQ(Read(c.bytes, s), c.code) << c.name;
  }
}

TEST(SetupScript, WrongEndMarkerAndEveryCutGiveCode32) {
  Bytes full = Write(FullScript());
  SetupScript s;
  Bytes wrong = full;
  wrong.back() ^= 1;
  EXPECT_EQ(Read(wrong, s, FullScript().ProductFlags2), corrupt::kScriptEnd);
  for (size_t n = 0; n < full.size(); ++n) {
    Bytes cut(full.begin(), full.begin() + n);
    ASSERT_EQ(Read(cut, s, FullScript().ProductFlags2), corrupt::kScriptEnd) << "cut at " << n;
  }
}

TEST(SetupScript, LargestLanguageTableLoads) {
  SetupScript big = MinimalSetupScript(u"P");
  big.languages.names.assign(kMaxLanguages, u"");
  big.languages.names[150] = u"eNgLiSh";
  big.languages.rows.assign(kMaxTexts, std::vector<std::u16string>(kMaxLanguages));
  big.languages.rows[kMaxTexts - 1][kMaxLanguages - 1] = u"last";
  SetupScript back;
  ASSERT_EQ(Read(Write(big), back), 0);
  EXPECT_EQ(back.languages.DefaultLanguage(), 150u);
  EXPECT_EQ(back.languages.Text(kMaxLanguages - 1, int(kMaxTexts - 1)), u"last");
}

TEST(SetupScript, SilentModeRewritesProductFlags) {
  struct Case {
    uint64_t flags;
    bool silent;
    uint64_t expected;
  };
  const Case cases[] = {
      // Bits 21, 22, 28, 29 and 43 set.
      {0, true, 0x0000080030600000},
      // Bits 7, 31, 34, 35, 36, 41, 44 and 51 cleared.
      {~uint64_t(0), true, 0xFFF7EDE37FFFFF7F},
      {0x0123456789ABCDEF, false, 0x0123456789ABCDEF},
  };
  for (const Case& c : cases) {
    SetupScript s = MinimalSetupScript(u"P");
    s.ProductFlags = c.flags;
    Bytes bytes = Write(s);
    ByteReader r(bytes);
    SetupScript head;
    ASSERT_EQ(ReadScriptHead(r, c.silent, head), 0);
    EXPECT_EQ(head.ProductFlags, c.expected) << std::hex << c.flags << " silent " << c.silent;
  }
}

TEST(LanguageTexts, LineBreaksBecomeCrLf) {
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"", u""},
      {u"no breaks", u"no breaks"},
      {u"a\r\nb", u"a\r\nb"},
      {u"a\nb", u"a\r\nb"},
      {u"a\rb", u"a\r\nb"},
      {u"a\n\rb", u"a\r\nb"},
      {u"\n\n", u"\r\n\r\n"},
      {u"\r\r", u"\r\n\r\n"},
      {u"\n\r\n", u"\r\n\r\n"},
      {u"\r\n\r", u"\r\n\r\n"},
      {u"\n\r\n\r", u"\r\n\r\n"},
      {u"end\r", u"end\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseLineBreaks(c.in), c.out);

  // Texts are normalised when loaded; language names are not texts.
  SetupScript s = MinimalSetupScript(u"P");
  s.languages.rows = {{u"one\ntwo\rthree\n\rfour"}};
  SetupScript back;
  ASSERT_EQ(Read(Write(s), back), 0);
  EXPECT_EQ(back.languages.Text(0, 0), u"one\r\ntwo\r\nthree\r\nfour");
}

TEST(LanguageTexts, DefaultLanguageIsEnglishElseTheFirst) {
  struct Case {
    std::vector<std::u16string> names;
    size_t expected;
  };
  const Case cases[] = {
      {{u"English"}, 0},
      {{u"Deutsch", u"english"}, 1},
      {{u"Deutsch", u"ENGLISH", u"English"}, 1},
      {{u"Deutsch", u"Fran\u00E7ais"}, 0},
      {{u"Deutsch", u"English (US)", u"Englisch"}, 0},
      {{u"Deutsch", u"ENGL\u0130SH"}, 0},  // only ASCII letters fold
  };
  for (const Case& c : cases) {
    LanguageTable t;
    t.names = c.names;
    EXPECT_EQ(t.DefaultLanguage(), c.expected) << c.names.size();
  }
}

TEST(LanguageTexts, LookupOutsideTheTableIsEmpty) {
  LanguageTable t;
  t.names = {u"A", u"B"};
  t.rows = {{u"a0", u"b0"}, {u"a1"}};  // a short row, as a caller may build by hand
  EXPECT_EQ(t.Text(1, 0), u"b0");
  EXPECT_EQ(t.Text(0, 1), u"a1");
  EXPECT_EQ(t.Text(1, 1), u"");
  EXPECT_EQ(t.Text(0, 2), u"");
  EXPECT_EQ(t.Text(0, -1), u"");
  EXPECT_EQ(t.Text(2, 0), u"");
}

// The writer refuses what the reader would refuse or read back differently, and writes nothing.
TEST(SetupScript, WriterRefusesScriptsItCannotWriteFaithfully) {
  struct Case {
    const char* item;
    std::function<void(SetupScript&)> change;
  };
  const Case cases[] = {
      {"item 7:", [](SetupScript& s) { s.dwell_time = 10000; }},
      {"item 24:", [](SetupScript& s) { s.BitmapSize = 101; }},
      {"item 29:", [](SetupScript& s) { s.license_texts.assign(21, ""); }},
      {"item 32:", [](SetupScript& s) { s.uninstaller_file_name = Repeat(u'u', 128); }},
      {"item 35:", [](SetupScript& s) { s.DialogFont = Repeat(u'f', 32768); }},
      {"item 61:", [](SetupScript& s) { s.upgrade_confirm_minimum = std::string("1\0002", 3); }},
      {"item 62:", [](SetupScript& s) { s.NoDowngradeBelow = Repeat(u'9', 128); }},
      {"item 69:", [](SetupScript& s) { s.conditional_deletions.assign(1002, FileDeletion{"a", 0, "", 0}); }},
      {"item 69:", [](SetupScript& s) { s.conditional_deletions = {FileDeletion{kDeletionListEnd, 0, "", 0}}; }},
      {"item 70:", [](SetupScript& s) { s.associations.resize(1001); }},
      {"item 70:",
       [](SetupScript& s) {
         s.associations.resize(1);
         s.associations[0].extension = std::string(".a\0b", 4);
       }},
      {"item 71:", [](SetupScript& s) { s.registrations.resize(1001); }},
      {"item 72:", [](SetupScript& s) { s.further_commands[1].text = std::u16string(u"a\0b", 3); }},
      {"item 73:", [](SetupScript& s) { s.uninstall_values.resize(1001); }},
      {"item 75:", [](SetupScript& s) { s.AutoClose.resize(1001); }},
      {"item 76:", [](SetupScript& s) { s.languages.names.clear(); s.languages.rows = {{}}; }},
      {"item 76:",
       [](SetupScript& s) {
         s.languages.names.assign(201, u"L");
         s.languages.rows = {std::vector<std::u16string>(201)};
       }},
      {"item 77:", [](SetupScript& s) { s.languages.rows.clear(); }},
      {"item 77:", [](SetupScript& s) { s.languages.rows.assign(10001, {u""}); }},
      {"item 78:", [](SetupScript& s) { s.languages.names = {std::u16string(u"E\0n", 3)}; }},
      {"item 79:", [](SetupScript& s) { s.languages.rows = {{u"a", u"b"}}; }},
      {"item 79:", [](SetupScript& s) { s.languages.rows = {{std::u16string(u"a\0b", 3)}}; }},
  };
  for (const Case& c : cases) {
    SetupScript s = MinimalSetupScript(u"P");
    c.change(s);
    ByteWriter w;
    w.U8(0xEE);
    std::string problem;
    EXPECT_FALSE(WriteSetupScript(s, w, &problem)) << c.item;
    EXPECT_EQ(problem.rfind(c.item, 0), 0u) << c.item << " got: " << problem;
    EXPECT_EQ(w.size(), 1u) << c.item;
    EXPECT_EQ(SetupScriptProblem(s), problem);
  }
  // The longest texts each length field holds are accepted and come back whole.
  SetupScript longest = MinimalSetupScript(u"P");
  longest.uninstaller_file_name = Repeat(u'u', 127);
  longest.NoDowngradeBelow = Repeat(u'9', 127);
  longest.DialogFont = Repeat(u'f', 32767);
  SetupScript back;
  ASSERT_EQ(Read(Write(longest), back), 0);
  EXPECT_TRUE(back == longest);
}

// The settled encodings, seen in the bytes: batch texts are code page 1252 (one byte per
// character), the end of the programs-to-close list is the 8-bit "~~THE~END~~", and a missing
// background picture is its length 0 alone.
TEST(SetupScript, TextEncodingsInTheBytes) {
  const SetupScript base = MinimalSetupScript(u"P");
  SetupScript s = base;
  s.batches.post_install = "del \xE9t\xE9.txt";  // "été" in code page 1252
  const Bytes bytes = Write(s);
  const Bytes batch_item = {11, 'd', 'e', 'l', ' ', 0xE9, 't', 0xE9, '.', 't', 'x', 't'};
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), batch_item.begin(), batch_item.end()), bytes.end());

  const Bytes list_end = {11, 0, '~', '~', 'T', 'H', 'E', '~', 'E', 'N', 'D', '~', '~'};
  const Bytes minimal = Write(base);
  // The end mark sits right before the language count (1) and text count (1) of the table.
  auto at = std::search(minimal.begin(), minimal.end(), list_end.begin(), list_end.end());
  ASSERT_NE(at, minimal.end());
  EXPECT_EQ(size_t(at - minimal.begin()) + list_end.size(),
            OffsetOfChange(base, [](SetupScript& t) { t.languages.names.push_back(u"X"); t.languages.rows[0].push_back(u""); }));

  // Item 46 without a picture: four zero bytes, then item 47 (CopyrightPos) at once, whatever
  // BitmapTPI holds.
  SetupScript tpi = base;
  tpi.BitmapTPI = 7;
  EXPECT_EQ(Write(tpi), minimal);
  const size_t picture_at = OffsetOfChange(base, [](SetupScript& t) { t.background_picture = "B"; });
  const size_t copyright_at = OffsetOfChange(base, [](SetupScript& t) { t.CopyrightPos = 1; });
  EXPECT_EQ(copyright_at, picture_at + 4);
}

// A window class whose UTF-16 text spells the end mark is an ordinary entry: only the 8-bit
// bytes end the list. A list ended by the UTF-16 spelling instead runs on into the language
// table and fails.
TEST(SetupScript, ProgramsToCloseEndOnlyAtTheEightBitMark) {
  SetupScript s = MinimalSetupScript(u"P");
  s.AutoClose = {{u"~~THE~END~~", u"t", u"p", 1, 2}, {u"after", u"", u"", 0, 0}};
  SetupScript back;
  ASSERT_EQ(Read(Write(s), back), 0);
  EXPECT_TRUE(back == s);

  // The same script with the wide mark in place of the 8-bit one.
  Bytes wide_end = Write(MinimalSetupScript(u"P"));
  const Bytes mark = AutoCloseListEnd();
  auto at = std::search(wide_end.begin(), wide_end.end(), mark.begin(), mark.end());
  ASSERT_NE(at, wide_end.end());
  ByteWriter w;
  w.String16(ByteWriter::BytesFromUtf16(u"~~THE~END~~"));
  at = wide_end.erase(at, at + ptrdiff_t(mark.size()));
  wide_end.insert(at, w.bytes().begin(), w.bytes().end());
  EXPECT_EQ(Read(wide_end, back), corrupt::kScriptEnd);
}

TEST(ScriptTexts, CodePage1252BothWays) {
  struct Case {
    std::u16string wide;
    std::string bytes;
    bool exact;
  };
  const Case cases[] = {
      {u"plain ASCII", "plain ASCII", true},
      {u"\u20AC \u00E9\u00FF \u0152 \u2122 \u0178", "\x80 \xE9\xFF \x8C \x99 \x9F", true},
      {u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D", true},  // undefined bytes keep their number
      {u"\u4E2D \u0100", "? ?", false},
      {u"\U0001F600!", "?!", false},  // a surrogate pair is one character
      {u"\u0080", "?", false},  // U+0080 has no byte: 0x80 is the euro sign
  };
  for (const Case& c : cases) {
    bool exact = !c.exact;
    EXPECT_EQ(Cp1252FromUtf16(c.wide, &exact), c.bytes) << c.bytes;
    EXPECT_EQ(exact, c.exact) << c.bytes;
    if (c.exact) EXPECT_EQ(Utf16FromCp1252(c.bytes), c.wide) << c.bytes;
  }
  std::string every_byte;
  for (int b = 1; b < 256; ++b) every_byte += char(b);
  bool exact = false;
  EXPECT_EQ(Cp1252FromUtf16(Utf16FromCp1252(every_byte), &exact), every_byte);
  EXPECT_TRUE(exact);
}

TEST(ScriptTexts, LicenceDocumentsAreRtfOrUtf8) {
  struct Case {
    std::string document;
    bool rtf;
    std::u16string plain;
  };
  const Case cases[] = {
      {"{\\rtf1\\ansi hello}", true, u""},
      {"\xEF\xBB\xBF{\\rtf1 hello}", true, u""},
      {"{\\RTF1 hello}", false, u"{\\RTF1 hello}"},
      {" {\\rtf1}", false, u" {\\rtf1}"},
      {"\xEF\xBB\xBF" "caf\xC3\xA9", false, u"caf\u00E9"},
      {"{\\rt", false, u"{\\rt"},
      {"", false, u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DocumentIsRtf(c.document), c.rtf) << c.document;
    if (!c.rtf) EXPECT_EQ(DocumentPlainText(c.document), c.plain) << c.document;
  }
}

// A script laid out by hand from the item table, not by the writer: the reader must take every
// item to its known value (an item read in the wrong place or order shows here, even where the
// writer makes the same mistake).
TEST(SetupScriptFixture, HandWrittenBytesReadToKnownValues) {
  const Bytes bytes = halberd::test::HandWrittenScript();
  SetupScript s;
  bool at_end = false;
  ASSERT_EQ(Read(bytes, s, 0, false, &at_end), 0);
  EXPECT_TRUE(at_end);

  EXPECT_EQ(s.ProductFlags, halberd::test::kHandScriptFlags);
  EXPECT_EQ(s.run_mode, 1);
  EXPECT_EQ(s.TaskbarText, u"Bar");
  EXPECT_EQ(s.DisplayTitle, u"Title");
  EXPECT_EQ(s.TitleSize, 1.5);
  EXPECT_EQ(s.progress_page_value, 0x11223344u);
  EXPECT_EQ(s.dwell_time, 1200);
  EXPECT_EQ(s.ShortcutMode, 1);
  EXPECT_EQ(s.uninstaller_file_info[0], 0x90);
  EXPECT_EQ(s.uninstaller_file_info[23], 0xA7);
  EXPECT_EQ(s.Publisher, u"Vendor");
  EXPECT_EQ(s.DisplayName, u"App");
  EXPECT_EQ(s.product_description, std::u16string(150, u'd'));
  EXPECT_EQ(s.Bitness, 2);
  EXPECT_EQ(s.shared_base_folder, 3);
  EXPECT_EQ(s.SharedPath, u"Shared");
  EXPECT_EQ(s.portable_shared_subfolder, u"");
  EXPECT_EQ(s.ProductStartMenu, u"Menu");
  EXPECT_EQ(s.DisplayVersion, u"1.2.3");
  EXPECT_EQ(s.default_install_folder, u"C:\\App");
  EXPECT_EQ(s.ProductRegistry, u"Vendor\\App");
  EXPECT_EQ(s.registry_entries, u"HKLM");
  EXPECT_EQ(s.app_paths_program, u"app.exe");
  EXPECT_EQ(s.BitmapSize, 40u);
  EXPECT_EQ(s.StretchMode, 1u);
  EXPECT_EQ(s.UninstallFonts, -1);
  EXPECT_EQ(s.UninstallShared, 2);
  EXPECT_EQ(s.license_texts, std::vector<std::string>{"Licence"});
  EXPECT_TRUE(s.readme_texts.empty());
  EXPECT_EQ(s.UninstallSubdir, u"uninst");
  EXPECT_EQ(s.uninstaller_file_name, u"uninstall.exe");
  EXPECT_EQ(s.uninstall_key_name, u"AppKey");
  EXPECT_EQ(s.DialogFont, u"Tahoma");
  EXPECT_EQ(s.DialogZoom, 125u);
  EXPECT_EQ(s.dialog_caption, u"<product> Setup");
  EXPECT_EQ(s.BannerFG, 0x010203u);
  EXPECT_EQ(s.title_drawing_option, 2);
  EXPECT_EQ(s.TitleColor, 0x040506u);
  EXPECT_EQ(s.TitleShadow, 0);
  EXPECT_EQ(s.TitlePosition, 1);
  EXPECT_EQ(s.TitleFont, u"Serif");
  EXPECT_EQ(s.TopColor, 0x070809u);
  EXPECT_EQ(s.BottomColor, 0x0A0B0Cu);
  EXPECT_EQ(s.background_picture, "BM");
  EXPECT_EQ(s.BitmapTPI, 5);
  EXPECT_EQ(s.CopyrightPos, 2);
  EXPECT_EQ(s.CopyrightColor, 0x0D0E0Fu);
  EXPECT_EQ(s.CopyrightSize, 0.75);
  EXPECT_EQ(s.CopyrightText, u"(c) Vendor");
  EXPECT_EQ(s.CopyrightFont, u"Arial");
  EXPECT_EQ(s.DialogBG, 0x101112u);
  EXPECT_EQ(s.DialogFG, 0x131415u);
  EXPECT_EQ(s.ButtonBG, kColourUnset);  // items 49-51 absent: defaults
  EXPECT_EQ(s.second_colours, ColourPair{});
  EXPECT_EQ(s.master_product, MasterProduct{});
  EXPECT_EQ(s.DesktopFolder, u"Desk");
  EXPECT_EQ(s.batches.pre_install, "echo pre");
  EXPECT_EQ(s.batches.reinstall, "");
  EXPECT_EQ(s.minimum_windows_version[0], 0x30);
  EXPECT_EQ(s.minimum_windows_version[19], 0x43);
  EXPECT_EQ(s.excluded_windows_mask, 6u);
  EXPECT_EQ(s.archive_source, 1);
  EXPECT_EQ(s.addresses.launch_program, u"C:\\App\\app.exe");
  EXPECT_EQ(s.addresses.reinstall_notify_url, u"");
  EXPECT_EQ(s.addresses.NotifyURL, u"https://example.com/u");
  EXPECT_EQ(s.addresses.greeting_text, u"Hello");
  EXPECT_EQ(s.upgrade_confirm_minimum, "1.0");
  EXPECT_EQ(s.NoDowngradeBelow, u"0.9");
  EXPECT_EQ(s.build_date, (BuildDate{2024, 5, 17}));
  EXPECT_EQ(s.upgrade_minimum_version, u"1.1");
  EXPECT_EQ(s.firewall_exceptions, u"");
  EXPECT_EQ(s.AddToPathSubfolder, u"bin");
  EXPECT_EQ(s.settings.ExtraDiskSpace(), 256u);
  EXPECT_EQ(s.settings.greeting_style, 1);
  EXPECT_EQ(s.settings.language_style, 2);
  EXPECT_EQ(s.settings.license_style, 3);
  EXPECT_EQ(s.settings.start_menu_style, 3);
  EXPECT_EQ(s.settings.ProgressStyle, 2);
  EXPECT_EQ(s.settings.summary_style, 1);
  EXPECT_EQ(s.settings.integrity_mode, 1);
  EXPECT_EQ(s.settings.blocking_status, 0);
  EXPECT_TRUE(s.uninstaller_icon.empty());
  ASSERT_EQ(s.conditional_deletions.size(), 1u);
  EXPECT_EQ(s.conditional_deletions[0], (FileDeletion{"*.log", 1, "x", 8}));
  EXPECT_TRUE(s.associations.empty());
  EXPECT_TRUE(s.registrations.empty());
  ASSERT_EQ(s.uninstall_values.size(), 1u);
  EXPECT_EQ(s.uninstall_values[0], (UninstallValue{u"Comments", kUninstallValueText, u"Hi"}));
  EXPECT_EQ(s.SupportOffer, u"Help");
  ASSERT_EQ(s.AutoClose.size(), 1u);
  EXPECT_EQ(s.AutoClose[0], (AutoCloseEntry{u"AppWindow", u"", u"app.exe", 1, 0}));
  EXPECT_EQ(s.languages.names, (std::vector<std::u16string>{u"English", u"Deutsch"}));
  ASSERT_EQ(s.languages.rows.size(), 2u);
  EXPECT_EQ(s.languages.Text(0, 0), u"App EN");
  EXPECT_EQ(s.languages.Text(1, 0), u"App DE");
  EXPECT_EQ(s.languages.Text(0, 1), u"Line1\r\nLine2");
  EXPECT_EQ(s.languages.Text(1, 1), u"Zeile");

  // The writer gives back the same bytes (the fixture holds nothing it would normalise but the
  // lone LF of text 1).
  Bytes again = Write(s);
  Bytes expected = bytes;
  Bytes lone_lf = {'L', 0, 'i', 0, 'n', 0, 'e', 0, '1', 0, '\n', 0};
  auto at = std::search(expected.begin(), expected.end(), lone_lf.begin(), lone_lf.end());
  ASSERT_NE(at, expected.end());
  expected.insert(at + 10, {'\r', 0});
  EXPECT_EQ(again, expected);
}

TEST(SetupScriptFixture, IsTheSeedOfTheFuzzTarget) {
  std::ifstream seed(std::string(HALBERD_SOURCE_DIR) + "/fuzz/corpus/fuzz_setup_script/hand_written", std::ios::binary);
  ASSERT_TRUE(seed) << "fuzz/corpus/fuzz_setup_script/hand_written is missing";
  Bytes file((std::istreambuf_iterator<char>(seed)), std::istreambuf_iterator<char>());
  Bytes expected = {0x00};  // the target's selector byte: not silent, no ProductFlags2 bits
  const Bytes script = halberd::test::HandWrittenScript();
  expected.insert(expected.end(), script.begin(), script.end());
  EXPECT_EQ(file, expected);
}
