// Path and name rules of the file layer: validation, listing skip rule, joining, relative
// resolution, and the temporary-name generator and name forms.
#include "foundation/path_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/file_errors.h"
#include "foundation/text_convert.h"

using namespace halberd;

namespace {
// Test tables are written in UTF-8; the rules work on UTF-16.
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(const std::u16string& s) { return Utf16ToUtf8(s); }
}  // namespace

TEST(PathRules, ValidatesPathsWithFlags) {
  struct Case { const char* path; uint32_t flags; bool valid; };
  const Case cases[] = {
      {"C:\\Program Files\\App\\a.txt", 0, true},
      {"\\\\server\\share\\f.txt", 0, true},
      {"relative\\name.txt", 0, true},
      {"\"C:\\quoted path\\x\"", 0, true},  // double quotes are removed before the checks
      {"C:", 0, true},
      {"é\\ü.txt", 0, true},
      // Blanks at either end, unless trimmed first.
      {" C:\\a", 0, false},
      {"C:\\a ", 0, false},
      {"\tC:\\a", 0, false},
      {"C:\\a\r\n", 0, false},
      {" C:\\a\t", path_flags::kTrimFirst, true},
      {" \t\r\n", path_flags::kTrimFirst, false},
      // Empty, also once the quotes are gone.
      {"", 0, false},
      {"\"\"", 0, false},
      // Trailing backslash.
      {"C:\\a\\", 0, false},
      {"C:\\", 0, false},
      {"\"C:\\a\\\"", 0, false},
      {"C:\\a\\", path_flags::kTrailingBackslashOk, true},
      {"C:\\", path_flags::kTrailingBackslashOk, true},
      // Drive letter.
      {"1:\\a", 0, false},
      {"::\\a", 0, false},
      // Forbidden characters.
      {"C:\\a:b", 0, false},
      {"C:\\a/b", 0, false},
      {"C:\\a<b", 0, false},
      {"C:\\a>b", 0, false},
      {"C:\\a|b", 0, false},
      {"C:\\a;b", 0, false},
      {"C:\\a*b", 0, false},
      {"C:\\a?b", 0, false},
      // Wildcards as the flags allow.
      {"C:\\a\\*.txt", path_flags::kAllowAsterisk, true},
      {"C:\\a\\?.txt", path_flags::kAllowAsterisk, false},
      {"C:\\a\\?.txt", path_flags::kAllowQuestionMark, true},
      {"C:\\a\\*.txt", path_flags::kAllowQuestionMark, false},
      {"C:\\a\\*.t?t", path_flags::kAllowWildcards, true},
      // Double backslashes only at the very start.
      {"C:\\a\\\\b", 0, false},
      {"C:\\\\a", 0, false},
      {"\\\\\\server\\share", 0, false},
      {"a\\\\b", 0, false},
      // Full path required.
      {"C:\\a", path_flags::kFullPathRequired, true},
      {"\\\\srv\\share", path_flags::kFullPathRequired, true},
      {"a\\b", path_flags::kFullPathRequired, false},
      {"C:a", path_flags::kFullPathRequired, false},
      {"\\a", path_flags::kFullPathRequired, false},
      {"\"C:\\a\"", path_flags::kFullPathRequired, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidPath(U(c.path), c.flags), c.valid) << "\"" << c.path << "\" flags " << c.flags;
  }
}

TEST(PathRules, ValidatesFileNames) {
  const char* valid[] = {"a.txt", "with space.txt", ".hidden", "x", "naïve", "a..b"};
  const char* invalid[] = {"",    " a",   "a ",   "\ta",  "a\r",  "a\\b", "a/b", "a\"b", "a<b",
                           "a>b", "a|b",  "a*b",  "a?b",  "a:b",  "a;b",  "a\rb", "a\nb"};
  for (const char* n : valid) EXPECT_TRUE(IsValidFileName(U(n))) << n;
  for (const char* n : invalid) EXPECT_FALSE(IsValidFileName(U(n))) << n;
}

TEST(PathRules, ListingSkipsDotEntriesAndUnusableNames) {
  const char* skipped[] = {".", "..", "a;b", "a*b", "a?b", "a|b", "a<b", "a>b", "a\"b", "a/b"};
  const char* kept[] = {"a.txt", "...", ".x", "x..", "with space"};
  for (const char* n : skipped) EXPECT_TRUE(IsSkippedInListing(U(n))) << n;
  for (const char* n : kept) EXPECT_FALSE(IsSkippedInListing(U(n))) << n;

  EXPECT_TRUE(IsFolderClutter(u"Thumbs.db"));
  EXPECT_TRUE(IsFolderClutter(u"DESKTOP.INI"));
  EXPECT_FALSE(IsFolderClutter(u"desktop.ini.bak"));
  EXPECT_FALSE(IsFolderClutter(u"thumbs"));
}

TEST(PathRules, JoinsWithExactlyOneBackslash) {
  struct Case { const char* folder; const char* name; const char* joined; };
  const Case cases[] = {
      {"C:\\a", "b.txt", "C:\\a\\b.txt"},
      {"C:\\a\\", "b.txt", "C:\\a\\b.txt"},
      {"C:\\a", "\\b.txt", "C:\\a\\b.txt"},
      {"C:\\a\\", "\\b.txt", "C:\\a\\b.txt"},
      {"C:\\", "b.txt", "C:\\b.txt"},
      {"C:", "b.txt", "C:b.txt"},
      {"C:", "\\b.txt", "C:\\b.txt"},
      {"\\\\srv\\share", "sub\\b", "\\\\srv\\share\\sub\\b"},
      {"", "b.txt", "b.txt"},
      {"", "\\b.txt", "\\b.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(N(JoinPath(U(c.folder), U(c.name))), c.joined) << c.folder << " + " << c.name;
  }
}

TEST(PathRules, ResolvesRelativePathsAgainstABase) {
  struct Case { const char* base; const char* path; const char* resolved; };
  const Case cases[] = {
      {"C:\\base\\sub", "file.txt", "C:\\base\\sub\\file.txt"},
      {"C:\\base\\sub", "..\\file.txt", "C:\\base\\file.txt"},
      {"C:\\base\\sub\\", "..\\file.txt", "C:\\base\\file.txt"},
      {"C:\\base\\sub", "..\\..\\file.txt", "C:\\file.txt"},
      {"C:\\base\\sub", "..\\..\\..\\..\\file.txt", "C:\\file.txt"},  // never above the root
      {"C:\\base\\sub", "..", "C:\\base"},
      {"C:\\base\\sub", ".\\file.txt", "C:\\base\\sub\\file.txt"},
      {"C:\\base\\sub", "..\\x\\..\\y", "C:\\base\\x\\..\\y"},  // only leading climbs
      {"C:\\base\\sub", "\\other\\f", "C:\\other\\f"},
      {"C:\\base\\sub", "D:\\x", "D:\\x"},
      {"C:\\base\\sub", "D:x", "D:x"},
      {"C:\\base\\sub", "\\\\srv\\share\\x", "\\\\srv\\share\\x"},
      {"C:\\", "f", "C:\\f"},
      {"C:\\", "..\\f", "C:\\f"},
      {"\\\\srv\\share\\dir", "..\\..\\f", "\\\\srv\\share\\f"},
      {"\\\\srv\\share\\dir", "\\f", "\\\\srv\\share\\f"},
      {"relative", "\\f", "\\f"},  // no drive to take
  };
  for (const Case& c : cases) {
    EXPECT_EQ(N(ResolveRelativePath(U(c.base), U(c.path))), c.resolved) << c.base << " | " << c.path;
  }
}

TEST(PathRules, ParentFolderAndTrailingBackslash) {
  struct Case { const char* path; const char* parent; };
  const Case cases[] = {
      {"C:\\a\\b.txt", "C:\\a"}, {"C:\\b.txt", "C:\\"}, {"C:\\a\\", "C:\\"},
      {"C:\\", ""},              {"b.txt", ""},         {"\\\\srv\\share", "\\\\srv"},
      {"\\\\srv", ""},           {"\\a", "\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(N(ParentFolder(U(c.path))), c.parent) << c.path;

  EXPECT_EQ(N(WithoutTrailingBackslash(u"C:\\a\\")), "C:\\a");
  EXPECT_EQ(N(WithoutTrailingBackslash(u"C:\\a\\\\")), "C:\\a");
  EXPECT_EQ(N(WithoutTrailingBackslash(u"C:\\")), "C:\\");
  EXPECT_EQ(N(WithoutTrailingBackslash(u"C:\\\\")), "C:\\");
}

TEST(PathRules, BlankText) {
  EXPECT_TRUE(IsBlank(u""));
  EXPECT_TRUE(IsBlank(u" \t\r\n"));
  EXPECT_FALSE(IsBlank(u" x "));
}

TEST(TempNames, FormsPadWithSpacesOrZeros) {
  struct Case { uint16_t number; const char* ext; bool zeros; const char* name; };
  const Case cases[] = {
      {0x3F, "log", false, "TLT  3F.log"},
      {0x3F, ".log", false, "TLT  3F.log"},
      {0x1A2, "log", false, "TLT 1A2.log"},
      {0, "x", false, "TLT   0.x"},
      {0xABCD, "tmp", true, "TLTABCD.tmp"},
      {0xBEEF, "tmp", false, "TLTBEEF.tmp"},
      {0x3F, "tmp", true, "TLT003F.tmp"},
      {0, "tmp", true, "TLT0000.tmp"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(N(FormatTempName(c.number, U(c.ext), c.zeros)), c.name) << c.number;
  }
}

TEST(TempNames, GeneratorFollowsXorshift64Star) {
  // Expected numbers worked out independently: the low 16 bits of the standard xorshift64*
  // output (state times 0x2545F4914F6CDD1D).
  struct Case { uint64_t seed; std::vector<uint16_t> numbers; };
  const Case cases[] = {
      {1, {0xDD1D, 0x651D, 0x1F57, 0x019D, 0xA600}},
      {0x0123456789ABCDEFull, {0x708C, 0x28DE, 0x05C0, 0xCBE6, 0xD569}},
  };
  for (const Case& c : cases) {
    TempNameGenerator gen(c.seed);
    std::vector<uint16_t> got;
    for (size_t i = 0; i < c.numbers.size(); ++i) got.push_back(gen.Next());
    EXPECT_EQ(got, c.numbers) << std::hex << c.seed;
  }
  // A zero seed would keep the generator at zero for ever.
  TempNameGenerator zero(0);
  zero.Next();
  EXPECT_NE(zero.state(), 0u);
}

TEST(FileErrors, TextsAndSystemErrors) {
  struct Case { int code; const char* text; uint32_t system_error; };
  const Case cases[] = {
      {0, "Success.", 0},
      {1, "An unknown error occurred.", 0x80004005},
      {2, "The filename is invalid.", 123},
      {5, "The file is locked by another application.", 32},
      {13, "The file's Read-Only attribute is set.", 5},
      {20, "The device is not ready (usually because no disk is inserted).", 21},
      {21, "The drive does not exist.", 15},
      {23, "The filepath points to a folder, not a file.", 0x80004005},
      {25, "No change was necessary.", 1252},
      {28, "The file is already open.", 0x80004005},
      // Outside the table.
      {29, "An unknown error occurred.", 0x80004005},
      {-1, "An unknown error occurred.", 0x80004005},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(FileErrorText(c.code), c.text) << c.code;
    EXPECT_EQ(FileErrorSystemCode(c.code), c.system_error) << c.code;
  }
  EXPECT_STREQ(FileErrorText(file_error::kIsFolder), "The filepath points to a folder, not a file.");
  EXPECT_TRUE(FileIsOpenAfter(file_error::kAlreadyOpen));
  EXPECT_FALSE(FileIsOpenAfter(file_error::kLocked));
}
