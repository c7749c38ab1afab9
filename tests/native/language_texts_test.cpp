// The language texts: the replace-all primitive, the language tokens in their order, lookup by
// number in the current language, and the captions that follow from the loaded table and the
// chosen language.
#include "engine/language_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/product_settings.h"

using namespace halberd::engine;
using halberd::format::LanguageTable;

TEST(LanguageTokens, ReplaceAllScansOnceLeftToRight) {
  struct Case {
    std::u16string text, find, replacement;
    bool ignore_case;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a<OS>b<os>c", u"<os>", u"X", true, u"aXbXc"},
      {u"a<OS>b<os>c", u"<os>", u"X", false, u"a<OS>bXc"},
      {u"<os>", u"<os>", u"<os><os>", true, u"<os><os>"},  // the replacement is not scanned again
      {u"aaaa", u"aa", u"b", false, u"bb"},
      {u"aaa", u"aa", u"b", false, u"ba"},  // occurrences do not overlap
      {u"<o<os>", u"<os>", u"X", true, u"<oX"},
      {u"ends with <o", u"<os>", u"X", true, u"ends with <o"},
      {u"text", u"", u"X", true, u"text"},
      {u"", u"<os>", u"X", true, u""},
      {u"\u00C4<\u00D6S>", u"<\u00F6s>", u"X", true, u"\u00C4<\u00D6S>"},  // only ASCII letters fold
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.find, c.replacement, c.ignore_case), c.expected)
        << std::string(c.text.begin(), c.text.end());
  }
}

TEST(LanguageTokens, EveryTokenInItsOrder) {
  const LanguageTokens tokens{u"App", u"A tool", u"C:\\windows", u"29.02.2024"};
  struct Case {
    const char* name;
    std::u16string text;
    LanguageTokens tokens;
    std::u16string expected;
  };
  const Case cases[] = {
      {"each token", u"<product>|<description>|<os>|<lbdate>", tokens, u"App|A tool|C:\\windows|29.02.2024"},
      {"any case, every occurrence", u"<PRODUCT> <Product> <lbDate><LBDATE>", tokens,
       u"App App 29.02.202429.02.2024"},
      {"no tokens", u"Plain text < > <prod uct>", tokens, u"Plain text < > <prod uct>"},
      {"unknown build date", u"Built <lbdate>.", {u"App", u"", u"C:\\windows", u""}, u"Built ."},
      // A name that holds a later token gets it replaced; an earlier token stays.
      {"later token in a value", u"<product>", {u"<os> <lbdate>", u"d", u"W", u"D"}, u"W D"},
      {"earlier token in a value", u"<description>", {u"App", u"<product>", u"W", u"D"}, u"<product>"},
      {"tokens across a break", u"<prod\r\nuct>", tokens, u"<prod\r\nuct>"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceLanguageTokens(c.text, c.tokens), c.expected) << c.name;
}

class LanguageTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = Settings();
    // Text 0: the window title; 1: a text with a token; 114: the caption override, given in
    // German only; a short row 2 without the later languages.
    table_.names = {u"Deutsch", u"ENGLISH", u"Fran\u00E7ais"};
    table_.rows.assign(115, std::vector<std::u16string>(3));
    table_.rows[0] = {u"<product> Installation", u"<product> Setup", u"Installation de <product>"};
    table_.rows[1] = {u"Gebaut am <lbdate>", u"Built on <lbdate>", u"Construit le <lbdate>"};
    table_.rows[2] = {u"nur Deutsch"};
    table_.rows[114] = {u"<product> \u2013 Assistent", u"", u""};
  }
  void TearDown() override {
    SetLanguageTable(nullptr, 0);
    SetLanguageTokens({});
    Settings() = settings_;
  }

  LanguageTable table_;
  const LanguageTokens tokens_{u"App", u"Desc", u"C:\\windows", u"2/29/2024"};

 private:
  ProductSettings settings_;
};

TEST_F(LanguageTableTest, NothingBeforeTheTableIsLoaded) {
  SetLanguageTable(nullptr, 0);
  EXPECT_EQ(LanguageText16(0), u"");
  EXPECT_EQ(LanguageText(13), L"");
}

TEST_F(LanguageTableTest, LoadingSettlesLanguageCaptionAndTitle) {
  LoadLanguageTable(table_, tokens_, u"<product> <lbdate> wizard");
  // "English" in any case is the default, though it is not first.
  EXPECT_EQ(CurrentLanguage(), 1);
  EXPECT_EQ(Settings().Language, u"ENGLISH");
  EXPECT_EQ(Settings().window_title, u"App Setup");
  // Text 114 is empty in English: the script's caption, tokens replaced.
  EXPECT_EQ(Settings().dialog_caption, u"App 2/29/2024 wizard");

  struct Lookup {
    int n;
    std::u16string expected;
  };
  const Lookup lookups[] = {
      {1, u"Built on 2/29/2024"}, {2, u""},  // the row has no English text
      {115, u""}, {-1, u""}, {114, u""},
  };
  for (const Lookup& l : lookups) EXPECT_EQ(LanguageText16(l.n), l.expected) << l.n;
  EXPECT_EQ(LanguageText(0), L"App Setup");
}

TEST_F(LanguageTableTest, ChoosingALanguageMovesEverythingAlong) {
  LoadLanguageTable(table_, tokens_, u"Setup of <product>");
  struct Step {
    size_t language;
    bool accepted;
    std::u16string name, title, caption, text2;
  };
  const Step steps[] = {
      // German has a text 114: it replaces the caption, with its tokens replaced.
      {0, true, u"Deutsch", u"App Installation", u"App \u2013 Assistent", u"nur Deutsch"},
      {3, false, u"Deutsch", u"App Installation", u"App \u2013 Assistent", u"nur Deutsch"},
      // French has none: the script's caption again.
      {2, true, u"Fran\u00E7ais", u"Installation de App", u"Setup of App", u""},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(SelectLanguage(s.language), s.accepted) << s.language;
    EXPECT_EQ(Settings().Language, s.name) << s.language;
    EXPECT_EQ(Settings().window_title, s.title) << s.language;
    EXPECT_EQ(Settings().dialog_caption, s.caption) << s.language;
    EXPECT_EQ(LanguageText16(2), s.text2) << s.language;
  }
}

TEST_F(LanguageTableTest, OneLanguageWithoutEnglishIsCurrent) {
  LanguageTable one;
  one.names = {u"Nederlands"};
  one.rows = {{u"<product>"}};
  LoadLanguageTable(one, tokens_, u"");
  EXPECT_EQ(CurrentLanguage(), 0);
  EXPECT_EQ(Settings().Language, u"Nederlands");
  EXPECT_EQ(Settings().window_title, u"App");
  EXPECT_EQ(Settings().dialog_caption, u"");
  EXPECT_FALSE(SelectLanguage(1));
}

// The build date is shown only when it names a real day; month 0 is the unknown date.
TEST(LanguageTokens, BuildDateMustBeACalendarDay) {
  struct Case {
    halberd::format::BuildDate date;
    bool real;
  };
  const Case cases[] = {
      {{2024, 2, 29}, true},  {{2023, 2, 29}, false}, {{2000, 2, 29}, true},  {{1900, 2, 29}, false},
      {{2024, 12, 31}, true}, {{2024, 4, 31}, false}, {{2024, 0, 1}, false},  {{2024, 13, 1}, false},
      {{2024, 1, 0}, false},  {{1601, 1, 1}, true},   {{1600, 12, 31}, false}, {{0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCalendarDate(c.date), c.real) << c.date.year << "-" << int(c.date.month) << "-" << int(c.date.day);
  }
}
