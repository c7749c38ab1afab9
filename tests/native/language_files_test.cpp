// Language files: their format, the shipped languages against the list of texts the installer
// uses, and the glob patterns that name a project's files.
#include "pack/language_files.h"

#include <gtest/gtest.h>

#include "foundation/text_convert.h"
#include "pack/file_sources.h"

using namespace halberd;
using namespace halberd::pack;
namespace fs = std::filesystem;

namespace {

std::string Messages(const Diagnostics& diag) {
  std::string out;
  for (const Diagnostic& d : diag.list()) out += FormatDiagnostic(d) + "\n";
  return out;
}

struct ParseCase {
  const char* what;
  const char* content;
  std::map<int, std::u16string> texts;
};

TEST(LanguageFile, EntriesEscapesAndContinuations) {
  const std::vector<ParseCase> cases = {
      {"plain entries, comments and blanks", "# comment\n\n0 = <product> Setup\n  21=Error  \n",
       {{0, u"<product> Setup"}, {21, u"Error"}}},
      {"escapes", "1 = a\\nb\\tc\\\\d\\re", {{1, u"a\r\nb\tc\\d\re"}}},
      {"continuation lines drop their leading blanks", "1 = first \\\n    second \\\n  third\n2 = x", {{1, u"first second third"}, {2, u"x"}}},
      {"an escaped backslash at the end is no continuation", "1 = ends with \\\\\n2 = next", {{1, u"ends with \\"}, {2, u"next"}}},
      {"byte-order mark and CR LF", "\xEF\xBB\xBF" "5 = \xC3\xA4rger\r\n6 = x\r\n", {{5, u"\u00E4rger"}, {6, u"x"}}},
      {"an empty text", "63 =\n", {{63, u""}}},
      {"a text may hold = and #", "7 = a = b # c", {{7, u"a = b # c"}}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.what);
    LanguageFile file;
    Diagnostics diag;
    ParseLanguageFile(c.content, "x.txt", file, diag);
    EXPECT_TRUE(diag.list().empty()) << Messages(diag);
    std::map<int, std::u16string> got;
    for (const auto& [n, t] : file.texts) got[n] = t.text;
    EXPECT_EQ(got, c.texts);
  }
}

struct BadCase {
  const char* what;
  const char* content;
  int line;
  const char* reason;
};

TEST(LanguageFile, ProblemsNameTheirLine) {
  const std::vector<BadCase> cases = {
      {"a number twice", "0 = a\n\n0 = b", 3, "text 0 is given twice (first on line 1)"},
      {"an unknown escape", "0 = ok\n1 = C:\\Program Files", 2, "unknown escape `\\P`"},
      {"not a number", "x1 = a", 1, "`x1` is not a text number"},
      {"a number too large", "10000 = a", 1, "`10000` is not a text number"},
      {"no equals sign", "0 = a\njust words", 2, "expected `NUMBER = text`"},
      {"the name twice", "language = A\nlanguage = B", 2, "the language name is given twice"},
      {"not UTF-8", "0 = \xFF\xFE", 0, "not UTF-8"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.what);
    LanguageFile file;
    Diagnostics diag;
    ParseLanguageFile(c.content, "x.txt", file, diag);
    ASSERT_EQ(diag.list().size(), 1u) << Messages(diag);
    EXPECT_EQ(diag.list()[0].file, "x.txt");
    EXPECT_EQ(diag.list()[0].line, c.line);
    EXPECT_NE(diag.list()[0].message.find(c.reason), std::string::npos) << Messages(diag);
  }
}

TEST(LanguageFile, PlaceholdersAreTheConversionsAsWritten) {
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"no placeholder", ""},
      {u"%s and %d", "%s%d"},
      {u"100%% sure: %s", "%s"},
      {u"%5s is not %s", "%5s%s"},
      {u"%ls, %I64d, %1$s", "%ls%I64d%1$s"},
      {u"ends with %", "%"},
      {u"100 % sure", "% s"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Placeholders(text), expected) << Utf16ToUtf8(text);
}

// Every text the installer uses is in each shipped language, with the placeholders its caller
// fills in; a text the list leaves to the product is empty.
TEST(LanguageFile, ShippedLanguagesHaveEveryTextTheInstallerUses) {
  const fs::path folder = fs::path(HALBERD_SOURCE_DIR) / "pack" / "languages";
  for (const char* name : {"English", "German"}) {
    SCOPED_TRACE(name);
    LanguageFile file;
    Diagnostics diag;
    ASSERT_TRUE(ReadLanguageFile(folder / (std::string(name) + ".txt"), name, file, diag));
    EXPECT_TRUE(diag.list().empty()) << Messages(diag);
    EXPECT_FALSE(file.name.empty());
    for (const EngineText& t : EngineTexts()) {
      auto it = file.texts.find(t.number);
      ASSERT_NE(it, file.texts.end()) << "text " << t.number << " is missing";
      if (t.empty_by_default) {
        EXPECT_TRUE(it->second.text.empty()) << "text " << t.number << " is the product's to fill";
        continue;
      }
      EXPECT_FALSE(it->second.text.empty()) << "text " << t.number;
      EXPECT_EQ(Placeholders(it->second.text), t.placeholders) << "text " << t.number;
    }
    for (const auto& [n, t] : file.texts) EXPECT_NE(FindEngineText(n), nullptr) << "text " << n << " is not one the installer uses";
  }
}

TEST(LanguageFile, EnglishTextsKeepTheWordsThatCallersDependOn) {
  LanguageFile file;
  Diagnostics diag;
  ASSERT_TRUE(ReadLanguageFile(fs::path(HALBERD_SOURCE_DIR) / "pack" / "languages" / "English.txt", "English", file, diag));
  EXPECT_EQ(file.name, "English") << "the installer picks the language named English by default";
  EXPECT_EQ(file.texts[21].text, u"Error");
  // The corrupt-installer message reads the same before and after the texts are loaded.
  EXPECT_EQ(file.texts[13].text.substr(0, 38), u"This installation program is corrupt. ");
  EXPECT_NE(file.texts[105].text.find(u"<a>"), std::u16string::npos);
  EXPECT_NE(file.texts[77].text.find(u"<file>"), std::u16string::npos);
}

// ---- Glob patterns ----------------------------------------------------------------------------

TEST(FileSources, PatternsMatchNamesAndPaths) {
  struct Case {
    const char* pattern;
    const char* path;
    bool match;
  };
  const std::vector<Case> cases = {
      {"*.txt", "a.txt", true},          {"*.txt", "dir/a.txt", false},     {"**/*.txt", "a.txt", true},
      {"**/*.txt", "d/e/a.txt", true},   {"d/**", "d/e/f", true},           {"d/**/f", "d/f", true},
      {"a?c", "abc", true},              {"a?c", "ac", false},              {"[ab]*", "bx", true},
      {"[!ab]*", "bx", false},           {"[a-c]1", "c1", true},            {"[a-c]1", "d1", false},
      {"[]x]", "]", true},               {"*a*b*", "xaybz", true},          {"*a*b*", "xbya", false},
      {"dir\\*.dll", "dir/x.dll", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchPath(c.pattern, c.path), c.match) << c.pattern << " ~ " << c.path;
}

TEST(FileSources, BadPatternsSayWhy) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"a/[bc", "\"[\" without \"]\""}, {"a]", "\"]\" without \"[\""}, {"x**", "\"**\" must stand alone"}, {"", "empty"}};
  for (const auto& [pattern, why] : cases) EXPECT_NE(GlobProblem(pattern).find(why), std::string::npos) << pattern;
  EXPECT_EQ(GlobProblem("docs/**/[a-z]*.t?t"), "");
}

}  // namespace
