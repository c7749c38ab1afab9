// The uninstall data: recording with the uninstall text encoding and the folder set, the bytes of
// the file with its sections and CSV quoting, and reading them back.
#include "uninstall/uninstall_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::uninstall;

namespace {

std::u16string U(const char* utf8) { return Utf8ToUtf16(utf8); }

// A single-byte stand-in for the system code page: Latin-1 maps to itself, the rest to "?".
CodePage Latin1() {
  return {[](std::u16string_view text) {
            std::string out;
            for (char16_t c : text) out.push_back(c < 0x100 ? char(c) : '?');
            return out;
          },
          [](std::string_view bytes) {
            std::u16string out;
            for (char b : bytes) out.push_back(char16_t(uint8_t(b)));
            return out;
          }};
}

size_t Find(const std::string& haystack, const std::string& needle) {
  size_t at = haystack.find(needle);
  EXPECT_NE(at, std::string::npos) << "missing: " << needle;
  return at;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Recording

TEST(UninstallRecords, StoreEachKindInItsEncodingAndReadBack) {
  struct Case {
    const char* what;
    RemovalKind kind;
    const char* text;  // UTF-8 here; recorded as UTF-16
    std::string line;  // the body line
  };
  const Case cases[] = {
      {"ASCII file: byte for byte", RemovalKind::kFile, "C:\\Program Files\\App\\app.exe",
       "C:\\Program Files\\App\\app.exe"},
      {"accented file: bar and UTF-8", RemovalKind::kFile, "C:\\Program Files\\Caf\xC3\xA9\\menu.txt",
       "|C:\\Program Files\\Caf\xC3\xA9\\menu.txt"},
      {"accented folder", RemovalKind::kFolder, "C:\\\xC3\x9C" "ber", "~|C:\\\xC3\x9C" "ber"},
      {"ASCII folder", RemovalKind::kFolder, "C:\\Program Files\\App", "~C:\\Program Files\\App"},
      {"registry value: plain UTF-8, never the bar", RemovalKind::kRegistryValue,
       "\\HKLM\\Software\\App\\Caf\xC3\xA9", "!\\HKLM\\Software\\App\\Caf\xC3\xA9"},
      {"registry value that begins with a bar stays as it is", RemovalKind::kRegistryValue, "|odd\\name",
       "!|odd\\name"},
      {"key in the code page", RemovalKind::kRegistryKey, "\\HKCU\\Software\\Caf\xC3\xA9",
       "^\\HKCU\\Software\\Caf\xE9"},
      {"64-bit key", RemovalKind::kRegistryKey64, "\\HKLM\\Software\\Classes\\CLSID\\{1}",
       "*\\HKLM\\Software\\Classes\\CLSID\\{1}"},
      {"key the code page cannot hold: bar and UTF-8, not a '?'", RemovalKind::kRegistryKey,
       "\\HKCU\\Software\\\xD0\x96", "^|\\HKCU\\Software\\\xD0\x96"},
      // A file text that would read as another kind, a header or lose its bar takes the bar.
      {"file that begins with a tilde", RemovalKind::kFile, "~backup.txt", "|~backup.txt"},
      {"file that begins with an exclamation mark", RemovalKind::kFile, "!read.me", "|!read.me"},
      {"file that looks like a header", RemovalKind::kFile, "[Strings]", "|[Strings]"},
      {"ASCII text that begins with a bar", RemovalKind::kFile, "|abc", "||abc"},
      {"file that begins with a blank", RemovalKind::kFile, " lead.txt", "| lead.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UninstallData data;
    ASSERT_TRUE(data.RecordRemoval(U(c.text), c.kind, Latin1()));
    ASSERT_EQ(data.records().size(), 1u);
    EXPECT_EQ(data.records()[0], c.line);
    // Through the file and back.
    UninstallData loaded = LoadUninstallData(WriteUninstallData(data));
    ASSERT_EQ(loaded.records().size(), 1u);
    EXPECT_EQ(ReadRemovalRecord(loaded.records()[0], Latin1()), (RemovalRecord{c.kind, U(c.text)}));
  }
}

TEST(UninstallRecords, TextWithoutTheBarIsReadInTheCodePage) {
  EXPECT_EQ(ReadRemovalRecord("C:\\Caf\xE9.txt", Latin1()), (RemovalRecord{RemovalKind::kFile, U("C:\\Caf\xC3\xA9.txt")}));
  EXPECT_EQ(ReadRemovalRecord("~D:\\\xDC", Latin1()), (RemovalRecord{RemovalKind::kFolder, U("D:\\\xC3\x9C")}));
  // A registry value is UTF-8 whatever its bytes.
  EXPECT_EQ(ReadRemovalRecord("!\\HKLM\\a\\\xC3\xA9", Latin1()),
            (RemovalRecord{RemovalKind::kRegistryValue, U("\\HKLM\\a\\\xC3\xA9")}));
}

TEST(UninstallRecords, RefusesShortTextsAndTextsThatCouldNotComeBack) {
  struct Case {
    const char* what;
    RemovalKind kind;
    std::u16string text;
    bool recorded;
  };
  const Case cases[] = {
      {"drive root, 3 bytes", RemovalKind::kFile, u"C:\\", false},
      {"4 bytes", RemovalKind::kFile, u"C:\\a", true},
      {"empty", RemovalKind::kFile, u"", false},
      {"folder root", RemovalKind::kFolder, u"D:\\", false},
      {"the bar does not count: 3 bytes of text", RemovalKind::kFile, u"~ab", false},
      {"short value path", RemovalKind::kRegistryValue, u"\\a", false},
      {"short key", RemovalKind::kRegistryKey64, u"HK", false},
      {"one accented letter is 2 bytes of UTF-8", RemovalKind::kFile, U("\\\xC3\xA9"), false},
      {"accented text of 4 bytes", RemovalKind::kFile, U("C:\xC3\xA9"), true},
      // A line break would make a second line: the uninstaller would remove what it names.
      {"value name with CR LF", RemovalKind::kRegistryValue, u"\\HKLM\\Software\\A\\x\r\nC:\\Windows\\win.ini", false},
      {"file with LF", RemovalKind::kFile, u"C:\\a\nb.txt", false},
      {"file with CR", RemovalKind::kFile, u"C:\\a\rb.txt", false},
      {"NUL inside", RemovalKind::kFile, std::u16string(u"C:\\a\0b", 6), false},
      // The reader trims lines: a trailing blank would name another value.
      {"value name ending in a space", RemovalKind::kRegistryValue, u"\\HKLM\\Software\\A\\Path ", false},
      {"file ending in a tab", RemovalKind::kFile, u"C:\\a.txt\t", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UninstallData data;
    EXPECT_EQ(data.RecordRemoval(c.text, c.kind, Latin1()), c.recorded);
    EXPECT_EQ(data.records().size(), c.recorded ? 1u : 0u);
  }
}

TEST(UninstallRecords, RecordsAFolderOnceWhateverItsCase) {
  UninstallData data;
  const CodePage cp = Latin1();
  EXPECT_TRUE(data.RecordRemoval(u"C:\\Program Files\\App", RemovalKind::kFolder, cp));
  EXPECT_FALSE(data.RecordRemoval(u"c:\\program files\\app", RemovalKind::kFolder, cp));
  EXPECT_FALSE(data.RecordRemoval(u"C:\\PROGRAM FILES\\APP\\", RemovalKind::kFolder, cp));
  EXPECT_TRUE(data.RecordRemoval(u"C:\\Program Files\\App\\Data", RemovalKind::kFolder, cp));
  EXPECT_TRUE(data.RecordRemoval(U("C:\\\xC3\x84pfel \xD0\x96"), RemovalKind::kFolder, cp));  // Äpfel Ж
  EXPECT_FALSE(data.RecordRemoval(U("c:\\\xC3\xA4PFEL \xD0\xB6"), RemovalKind::kFolder, cp));  // äPFEL ж
  // The set is for folders only: a file of the same text is recorded.
  EXPECT_TRUE(data.RecordRemoval(u"C:\\Program Files\\App", RemovalKind::kFile, cp));
  EXPECT_EQ(data.records(), (std::vector<std::string>{"~C:\\Program Files\\App", "~C:\\Program Files\\App\\Data",
                                                      "~|C:\\\xC3\x84pfel \xD0\x96", "C:\\Program Files\\App"}));

  // A new run (the uninstaller's) starts with an empty body and set.
  data.ClearRecords();
  EXPECT_TRUE(data.records().empty());
  EXPECT_TRUE(data.RecordRemoval(u"c:\\program files\\app", RemovalKind::kFolder, cp));
}

// ---------------------------------------------------------------------------------------------
// Quoting

TEST(UninstallCsv, QuotesFieldsThatNeedItAndSplitsThemBack) {
  struct Case {
    std::vector<std::string> fields;
    std::string line;
  };
  const Case cases[] = {
      {{"plain", "two words", "a#b", "x'y"}, "plain,two words,a#b,x'y"},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"tab\there", "semi;colon", "bar|red"}, "\"tab\there\",\"semi;colon\",\"bar|red\""},
      {{"line\r\nbreak"}, "\"line\r\nbreak\""},
      {{" leading", "trailing ", "'quote", "#hash"}, "\" leading\",\"trailing \",\"'quote\",\"#hash\""},
      {{""}, "\"\""},
      {{"", ""}, ","},
      {{"", "x", "", "3"}, ",x,,3"},
      {{"|C:\\Caf\xC3\xA9\\*.tmp", "2", "", "8"}, "\"|C:\\Caf\xC3\xA9\\*.tmp\",2,,8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(JoinCsvLine(c.fields), c.line);
    EXPECT_EQ(SplitCsvLine(c.line), c.fields);
  }
}

TEST(UninstallCsv, ReadsLooseQuotingWithoutLosingTheRest) {
  EXPECT_EQ(SplitCsvLine("\"open"), (std::vector<std::string>{"open"}));
  EXPECT_EQ(SplitCsvLine("\"a\"b,c"), (std::vector<std::string>{"ab", "c"}));
  EXPECT_EQ(SplitCsvLine("a\"b,c,"), (std::vector<std::string>{"a\"b", "c", ""}));
}

// ---------------------------------------------------------------------------------------------
// [Strings]

TEST(UninstallStrings, MultiLineTextsComeBackWithTheirLineBreaks) {
  UninstallData data;
  data.texts[53] = U("Remove <product> and all of its parts?\r\n\r\n  Your own files are kept.");
  data.texts[58] = U("Could not delete:");
  data.caption = U("Caf\xC3\xA9 Setup");
  std::string file = WriteUninstallData(data);
  EXPECT_NE(file.find("~53\r\nRemove <product> and all of its parts?\r\n\r\n  Your own files are kept.\r\n~55\r\n"),
            std::string::npos);
  EXPECT_NE(file.find("~999\r\nCaf\xC3\xA9 Setup\r\n"), std::string::npos);
  EXPECT_EQ(LoadUninstallData(file), data);
}

TEST(UninstallStrings, IgnoresIdsOutsideOneToAThousand) {
  std::string file =
      "C:\\App\\a.exe\r\n\r\n\r\n[Strings]\r\n"
      "~0\r\nzero\r\n"
      "~10\r\nten\r\nsecond line\r\n"
      "~1001\r\ntoo big\r\n"
      "~1\r\none\r\n"
      "~1000\r\nthousand\r\n"
      "~99999999999999999999\r\nhuge\r\n"
      "~999\r\nCaption\r\n";
  UninstallData data = LoadUninstallData(file);
  EXPECT_EQ(data.texts, (std::map<int, std::u16string>{{1, u"one"}, {10, u"ten\r\nsecond line"}, {1000, u"thousand"}}));
  EXPECT_EQ(data.caption, u"Caption");
  EXPECT_EQ(data.records(), std::vector<std::string>{"C:\\App\\a.exe"});
}

TEST(UninstallStrings, TextsTakeAnyLineEndAndDropTrailingBlankLines) {
  UninstallData data = LoadUninstallData(
      "[Strings]\n~53\n\n  first\r\rthird \r\n  \n\n~55\r\nlast\r\n\r\n\r\n[MSI]\r\n\"p.msi\",1\r\n~10\r\nnot a text\r\n");
  // Line breaks become CR LF; blank lines inside and the blanks of a line stay.
  EXPECT_EQ(data.texts, (std::map<int, std::u16string>{{53, u"\r\n  first\r\n\r\nthird "}, {55, u"last"}}));
  EXPECT_EQ(data.packages, (std::vector<std::string>{"\"p.msi\",1", "~10", "not a text"}));
}

TEST(UninstallStrings, ATextLineThatLooksLikeStructureStaysText) {
  UninstallData data;
  data.texts[10] = u"Step 1\r\n[MSI]\r\n~57\r\n~~ note ~~";
  data.packages = {"\"C:\\p.msi\",1"};
  UninstallData loaded = LoadUninstallData(WriteUninstallData(data));
  // Marked with an invisible zero-width space, not taken as a section or a text id.
  EXPECT_EQ(loaded.texts[10], u"Step 1\r\n\u200B[MSI]\r\n\u200B~57\r\n~~ note ~~");
  EXPECT_EQ(loaded.texts.count(57), 0u);
  EXPECT_EQ(loaded.packages, data.packages);
}

TEST(UninstallStrings, TakesTheFixedIdsFromTheLanguage) {
  UninstallData data;
  data.texts[5] = u"kept";
  data.TakeTexts([](int id) { return id == 116 ? u"last" : id == 30 ? u"" : u"text " + Utf8ToUtf16(std::to_string(id)); });
  EXPECT_EQ(data.texts[10], u"text 10");
  EXPECT_EQ(data.texts[116], u"last");
  EXPECT_EQ(data.texts.count(30), 0u);  // an empty text is no text
  EXPECT_EQ(data.texts[5], u"kept");    // not one of the fixed ids: left alone
  EXPECT_EQ(data.texts.count(text::kInstallComplete), 0u);  // the installer's own texts stay behind
}

// The uninstaller has no language texts but those of [Strings]: every text its run shows must
// come back from the file an install run writes, in the run's language, and the caption too.
TEST(UninstallStrings, EveryTextTheUninstallRunShowsIsCarried) {
  const int shown[] = {
      text::kUninstallFailures, text::kUninstallCompleteCaption, text::kQuestionCaption, text::kUninstallComplete,
      text::kSharedFileCaption, text::kUninstallConfirm, text::kUninstallCaption, text::kRemoveFontQuestion,
      text::kRemoveFontCaption, text::kNotRemoved, text::kRemoveSharedQuestion, text::kStatusRemovingFonts,
      text::kStatusRemovingFiles, text::kStatusRemovingRegistry, text::kStatusRemovingAssociations,
      text::kStatusRemovingPackages, text::kUninstallRestartQuestion, text::kUninstallCancelled, text::kContinue,
      text::kSupportButton, text::kUninstallCloseProgram, text::kSupportOffer, text::kCancelledCaption,
      // The buttons and headings of its pages and questions.
      text::kUninstallProgressHeading, text::kPageCaption, text::kCancel, text::kYes, text::kNo, text::kRetry,
      text::kYesToAll, text::kNoToAll, text::kCloseProgram,
  };
  auto language = [](int id) { return u"Sprache " + Utf8ToUtf16(std::to_string(id)) + u"\r\nzweite Zeile"; };
  UninstallData data;
  data.TakeTexts(language);
  data.caption = u"App Setup";
  UninstallData loaded = LoadUninstallData(WriteUninstallData(data));
  for (int id : shown) {
    ASSERT_EQ(loaded.texts.count(id), 1u) << "text " << id << " is not carried";
    EXPECT_EQ(loaded.texts.at(id), language(id)) << id;
  }
  EXPECT_EQ(loaded.caption, u"App Setup");
}

// [Strings] lists its ids in a fixed order, each with its text, then the caption (bytes by hand).
TEST(UninstallStrings, FixedOrderOfTheStringsSection) {
  UninstallData data;
  data.TakeTexts([](int id) { return id == 10 ? u"ten" : id == 15 ? u"fifteen" : u""; });
  data.caption = u"C";
  std::string file = WriteUninstallData(data);
  const std::string expected =
      "\r\n\r\n[Strings]\r\n~10\r\nten\r\n~15\r\nfifteen\r\n~20\r\n\r\n~30\r\n\r\n~34\r\n\r\n~35\r\n\r\n"
      "~49\r\n\r\n~53\r\n\r\n~55\r\n\r\n~56\r\n\r\n~57\r\n\r\n~58\r\n\r\n~59\r\n\r\n~65\r\n\r\n"
      "~67\r\n\r\n~68\r\n\r\n~69\r\n\r\n~70\r\n\r\n~71\r\n\r\n~74\r\n\r\n~79\r\n\r\n~80\r\n\r\n"
      "~99\r\n\r\n~100\r\n\r\n~101\r\n\r\n~104\r\n\r\n~107\r\n\r\n~108\r\n\r\n~109\r\n\r\n"
      "~110\r\n\r\n~111\r\n\r\n~115\r\n\r\n~116\r\n\r\n~999\r\nC\r\n";
  EXPECT_NE(file.find(expected), std::string::npos) << file;
}

// ---------------------------------------------------------------------------------------------
// The whole file

TEST(UninstallFile, WithoutSectionSourcesHoldsOnlyBodyAndStrings) {
  UninstallData data;
  const CodePage cp = Latin1();
  data.RecordRemoval(u"C:\\App\\a.exe", RemovalKind::kFile, cp);
  data.RecordRemoval(u"C:\\App", RemovalKind::kFolder, cp);
  data.conditional_deletions = {{"*.log", 0, "", 4}};  // install time only
  data.caption = u"App Setup";
  std::string file = WriteUninstallData(data);
  EXPECT_EQ(file.rfind("C:\\App\\a.exe\r\n~C:\\App\r\n\r\n\r\n[Strings]\r\n~10\r\n\r\n~15\r\n", 0), 0u);
  const std::string end = "\r\n~999\r\nApp Setup\r\n";
  ASSERT_GE(file.size(), end.size());
  EXPECT_EQ(file.substr(file.size() - end.size()), end);
  for (const char* header : {"[AutoClose]", "[Associations]", "[Firewall]", "[INF]", "[MSI]", "[Registry2]",
                             "[ConditionalDelete]"}) {
    EXPECT_EQ(file.find(header), std::string::npos) << header;
  }
}

TEST(UninstallFile, WritesEverySectionInOrderAndReadsItBack) {
  UninstallData data;
  const CodePage cp = Latin1();
  data.RecordRemoval(U("C:\\Caf\xC3\xA9\\menu.txt"), RemovalKind::kFile, cp);
  data.RecordRemoval(u"\\HKLM\\Software\\Classes\\CLSID\\{A}", RemovalKind::kRegistryKey64, cp);
  data.RecordRemoval(U("C:\\Caf\xC3\xA9"), RemovalKind::kFolder, cp);
  data.texts[53] = u"Remove?";
  data.caption = u"Setup";
  data.close_list = {{u"*Notepad", U("Caf\xC3\xA9, the editor"), u"Editor", 2}, {u"Cls", u"", u"Tool", 0}};
  data.associations = {{".caf", "Cafe.Doc", "open", EncodeUninstallText(U("C:\\Caf\xC3\xA9\\a.ico"))}};
  data.firewall = {"%InstallPath%\\app.exe;App;3;0"};
  data.drivers = {EncodeUninstallText(u"C:\\Windows\\INF\\oem7.inf")};
  data.packages = {PackageLine(U("C:\\Pkgs, old\\\xC3\xA9.msi"), 3)};
  data.registry = "\\HKLM\\Software\\App\r\n\\HKLM\\Software\\App,Name,1,x,3";
  data.conditional_deletions = {{"|C:\\Caf\xC3\xA9\\*.tmp", 2, "1.0", 8}, {"*.log", 0, "", 4}, {"*.bak", 1, "", 12}};

  std::string file = WriteUninstallData(data);
  size_t at = Find(file, "\r\n\r\n[Strings]\r\n");
  const std::string sections[] = {
      "\r\n\r\n[AutoClose]\r\n*Notepad,\"Caf\xC3\xA9, the editor\",Editor,2\r\nCls,,Tool,0\r\n",
      "\r\n\r\n[Associations]\r\n.caf~!~Cafe.Doc~!~open~!~|C:\\Caf\xC3\xA9\\a.ico\r\n",
      "\r\n\r\n[Firewall]\r\n%InstallPath%\\app.exe;App;3;0\r\n",
      "\r\n\r\n[INF]\r\nC:\\Windows\\INF\\oem7.inf\r\n",
      "\r\n\r\n[MSI]\r\n\"|C:\\Pkgs, old\\\xC3\xA9.msi\",3\r\n",
      "\r\n\r\n[Registry2]\r\n\\HKLM\\Software\\App\r\n\\HKLM\\Software\\App,Name,1,x,3\r\n",
      "\r\n\r\n[ConditionalDelete]\r\n\"|C:\\Caf\xC3\xA9\\*.tmp\",2,1.0,8\r\n*.bak,1,,12\r\n",
  };
  for (const std::string& section : sections) {
    size_t next = Find(file, section);
    EXPECT_GT(next, at) << section;
    at = next;
  }
  EXPECT_EQ(at + sections[6].size(), file.size());

  UninstallData expected = data;
  expected.conditional_deletions.erase(expected.conditional_deletions.begin() + 1);  // install time only
  UninstallData loaded = LoadUninstallData(file);
  EXPECT_EQ(loaded.records(), data.records());
  EXPECT_EQ(loaded.close_list, expected.close_list);
  EXPECT_EQ(loaded.associations, expected.associations);
  EXPECT_EQ(loaded.packages, expected.packages);
  EXPECT_EQ(loaded.registry, expected.registry);
  EXPECT_EQ(loaded.conditional_deletions, expected.conditional_deletions);
  EXPECT_EQ(loaded, expected);

  std::string path;
  int option = 0;
  ASSERT_TRUE(ReadPackageLine(loaded.packages[0], path, option));
  EXPECT_EQ(DecodeUninstallText(path, cp), U("C:\\Pkgs, old\\\xC3\xA9.msi"));
  EXPECT_EQ(option, 3);
}

TEST(UninstallFile, LeavesOutLinesThatWouldReadAsSomethingElse) {
  UninstallData data;
  data.close_list = {{u"Cls", u"Title\r\n[Registry2]", u"App", 0}, {u"Ok", u"", u"App", 1}};
  data.firewall = {"[INF]", "   ", "app.exe;App;1;0"};
  data.registry = "\\HKLM\\Software\\A\r\n[MSI]\r\n\r\n\\HKLM\\Software\\B";
  data.associations = {{".a~!~b", "id", "open", ""}, {"", "", "", "icon.ico"}, {".ok", "Ok.Doc", "open", ""}};
  data.conditional_deletions = {{"a\nb", 0, "", 8}, {"*.tmp", 0, "", 8}};

  UninstallData loaded = LoadUninstallData(WriteUninstallData(data));
  EXPECT_EQ(loaded.close_list, (std::vector<CloseEntry>{{u"Ok", u"", u"App", 1}}));
  EXPECT_EQ(loaded.firewall, std::vector<std::string>{"app.exe;App;1;0"});
  EXPECT_TRUE(loaded.drivers.empty());
  EXPECT_TRUE(loaded.packages.empty());
  EXPECT_EQ(loaded.registry, "\\HKLM\\Software\\A\r\n\\HKLM\\Software\\B");
  EXPECT_EQ(loaded.associations, (std::vector<AssociationLine>{{".ok", "Ok.Doc", "open", ""}}));
  EXPECT_EQ(loaded.conditional_deletions, (std::vector<ConditionalDeletion>{{"*.tmp", 0, "", 8}}));
}

TEST(UninstallFile, ReadsLooseLinesAndSkipsWhatDoesNotFit) {
  std::string file =
      "  C:\\App\\a.exe  \n"
      "\n"
      "~C:\\App\r"
      "  [AutoClose]\t\n"
      "Cls,Title,App\n"          // three fields
      "Cls,Title,App,x\n"        // method not a number
      "Cls,Title,App,256\n"      // method above a byte
      "\"Cls\",\"a,b\",App, 3 \n"
      "[Associations]\n"
      " .txt ~!~ Txt.Doc ~!~ open ~!~ |C:\\\xC3\xA9.ico ~!~ rest\n"
      "~!~~!~~!~icon.ico\n"      // no extension, program id or verb
      ".bad~!\n"                 // could not be written back: the tail would join the separator
      ".ext\n"
      "[ConditionalDelete]\n"
      "*.tmp,0,,4\n"             // install time only
      "*.bak,1,,x\n"
      "*.old,2,2020,8\n";
  UninstallData data = LoadUninstallData(file);
  EXPECT_EQ(data.records(), (std::vector<std::string>{"C:\\App\\a.exe", "~C:\\App"}));
  EXPECT_EQ(data.close_list, (std::vector<CloseEntry>{{u"Cls", u"a,b", u"App", 3}}));
  EXPECT_EQ(data.associations, (std::vector<AssociationLine>{{".txt", "Txt.Doc", "open", "|C:\\\xC3\xA9.ico ~!~ rest"},
                                                             {".ext", "", "", ""}}));
  EXPECT_EQ(data.conditional_deletions, (std::vector<ConditionalDeletion>{{"*.old", 2, "2020", 8}}));
}

TEST(UninstallFile, PackageLinesKeepCommasInsideTheQuotes) {
  struct Case {
    std::string line;
    bool read;
    std::string path;
    int option;
  };
  const Case cases[] = {
      {"\"C:\\a,b\\p.msi\",7", true, "C:\\a,b\\p.msi", 7},
      {"\"|C:\\\xC3\xA9.msi\" , -1", true, "|C:\\\xC3\xA9.msi", -1},
      {"C:\\plain.msi,2", true, "C:\\plain.msi", 2},
      {"\"C:\\p.msi\"", false, "", 0},
      {"\"C:\\p.msi\",", false, "", 0},
      {"\"C:\\p.msi\",99999999999", false, "", 0},
      {"\"C:\\p.msi", false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string path;
    int option = 0;
    ASSERT_EQ(ReadPackageLine(c.line, path, option), c.read);
    if (c.read) {
      EXPECT_EQ(path, c.path);
      EXPECT_EQ(option, c.option);
    }
  }
}
