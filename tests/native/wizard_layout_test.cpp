// The wizard's window-free rules: templates by style, the button row, text blocks, centring and
// placement, the disk-space lines, the Start-menu name rule, the link line, the summary boxes
// and the preselected language.
#include "ui/wizard_layout.h"

#include <gtest/gtest.h>

namespace halberd::ui {
namespace {

TEST(WizardTemplates, StyleValuesPickTheFourLayouts) {
  struct Case {
    Page page;
    int32_t style;
    const char16_t* name;
  } cases[] = {
      {Page::kLanguage, 0, u"LanguageDlg2"},   {Page::kLanguage, 1, u"LanguageDlg"},
      {Page::kLanguage, 2, u"LanguageDlg3"},   {Page::kLanguage, 3, u"LanguageDlg4"},
      {Page::kSummary, 7, u"SummaryDlg3"},     {Page::kProgress, -1, u"ProgressDlg3"},
      {Page::kChooseDir, 3, u"ChooseDirDlg4"}, {Page::kStartMenu, 0, u"StartMenuDlg2"},
      {Page::kGreeting, 1, u"GreetingDlg"},    {Page::kReadme, 2, u"ReadmeDlg3"},
      {Page::kLicense, 1, u"LicenseDlg"},
  };
  for (const Case& c : cases) EXPECT_EQ(TemplateName(c.page, c.style), c.name) << c.style;
}

TEST(WizardButtonRow, ButtonsSizedToCaptionsAndPlacedFromTheRight) {
  // Height 21: padding 2*2 + 14 = 18, gap 7.
  std::vector<ButtonSpan> row = ButtonRow({40, 60}, 2, 21, 0, 400);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(row[1], (ButtonSpan{400 - 78, 78}));
  EXPECT_EQ(row[0], (ButtonSpan{400 - 78 - 7 - 58, 58}));
}

TEST(WizardButtonRow, RowTooWideShrinksEveryButtonEvenly) {
  // Widths 118 + 7 + 118 = 243 in 200: 43 too wide, 22 from each.
  std::vector<ButtonSpan> row = ButtonRow({100, 100}, 2, 21, 0, 200);
  EXPECT_EQ(row[0].width, 96);
  EXPECT_EQ(row[1].width, 96);
  EXPECT_GE(row[0].left, 0);
  EXPECT_EQ(row[1].left + row[1].width, 200);
}

TEST(WizardText, BlockCentredButNeverOutsideTheTopLeft) {
  Rect control{10, 20, 100, 40};
  EXPECT_EQ(CentredBlock(control, 50, 10), (Rect{35, 35, 50, 10}));
  EXPECT_EQ(CentredBlock(control, 150, 60), (Rect{10, 20, 150, 60}));
}

TEST(WizardPlacement, CentringUsesIntegerHalving) {
  // (0 + 1023) / 2 - (301 + 1) / 2 = 511 - 151.
  EXPECT_EQ(CentreOn({0, 0, 1023, 767}, 301, 200), (Point{360, 283}));
  EXPECT_EQ(CentreOn({100, 50, 200, 100}, 100, 50), (Point{150, 75}));
}

TEST(WizardPlacement, ProgressPlacementBits) {
  Rect area{0, 0, 1000, 800};
  Point at{5, 6};
  struct Case {
    uint32_t value;
    Point expected;
  } cases[] = {
      {0, {5, 6}},     {1, {0, 6}},      {2, {800, 6}},    {3, {400, 6}},
      {8, {5, 0}},     {16, {5, 700}},   {24, {5, 350}},   {2 | 16, {800, 700}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceProgress(c.value, area, at, 200, 100), c.expected) << c.value;
}

TEST(WizardFolderPage, SizeTexts) {
  struct Case {
    uint64_t bytes;
    const char16_t* text;
  } cases[] = {
      {0, u"0 bytes"},
      {1023, u"1023 bytes"},
      {1024, u"1.00 KB"},
      {1536, u"1.50 KB"},
      {1048575, u"1024.00 KB"},
      {1048576, u"1.00 MB"},
      {uint64_t(5) << 30, u"5.00 GB"},
      {uint64_t(3) << 40, u"3.00 TB"},
      {uint64_t(2048) << 40, u"2048.00 TB"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(WizardFolderPage, AvailableLineOnlyForDriveLetters) {
  EXPECT_TRUE(StartsWithDriveLetter(u"C:\\Program Files"));
  EXPECT_TRUE(StartsWithDriveLetter(u"z:"));
  EXPECT_FALSE(StartsWithDriveLetter(u"\\\\server\\share"));
  EXPECT_FALSE(StartsWithDriveLetter(u""));
  EXPECT_FALSE(StartsWithDriveLetter(u"1:\\"));
}

TEST(WizardStartMenuPage, NamesThatDisableNext) {
  struct Case {
    const char16_t* name;
    bool allowed;
  } cases[] = {
      {u"Acme Draw", true},     {u"Acme\\Draw", true}, {u"", true},          {u"Acme:Draw", false},
      {u"\\Acme", false},       {u"Acme\\\\Draw", false}, {u"a/b", false},   {u"a\"b", false},
      {u"a<b", false},          {u"a>b", false},       {u"a|b", false},      {u"a*b", false},
      {u"a?b", false},          {u"a;b", false},
  };
  for (const Case& c : cases) EXPECT_EQ(StartMenuNameAllowed(c.name), c.allowed) << int(&c - cases);
}

TEST(WizardGreeting, LinkLine) {
  EXPECT_EQ(GreetingLinkText(u"Visit <a>our site</a> now <a>", u"https://x.example/"),
            u"Visit <a href=\"https://x.example/\">our site</a> now <a>");
  EXPECT_EQ(GreetingLinkText(u"", u"https://x.example/"), u"");
  EXPECT_EQ(GreetingLinkText(u"Visit <a>us</a>", u""), u"");
}

TEST(WizardSummary, BoxesStackInOrderFromTheStyleStart) {
  SummaryChoices all{true, true, true, true};
  std::vector<SummaryBox> boxes = SummaryBoxes(2, all);
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0], (SummaryBox{kIdStartProgram, {20, 82, 255, 9}}));
  EXPECT_EQ(boxes[1].id, kIdShowDocument);
  EXPECT_EQ(boxes[2].id, kIdSecondDocument);
  EXPECT_EQ(boxes[3], (SummaryBox{kIdViewLog, {20, 124, 255, 9}}));
  // Style 0 starts lower by 7 units for each absent box.
  SummaryChoices two{false, true, false, true};
  std::vector<SummaryBox> plain = SummaryBoxes(0, two);
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain[0], (SummaryBox{kIdShowDocument, {12, 74, 263, 9}}));
  EXPECT_EQ(plain[1], (SummaryBox{kIdViewLog, {12, 88, 263, 9}}));
  EXPECT_EQ(SummaryBoxes(3, two)[0].rect, (Rect{98, 72, 177, 9}));
  EXPECT_TRUE(SummaryBoxes(1, {}).empty());
}

TEST(WizardLanguagePage, Preselection) {
  std::vector<std::u16string> names = {u"Deutsch", u"English", u"Français"};
  EXPECT_EQ(PreselectedLanguage(names, u"deutsch (Deutschland)"), 0u);
  EXPECT_EQ(PreselectedLanguage(names, u"  Fran (France)"), 2u);
  EXPECT_EQ(PreselectedLanguage(names, u"Nederlands (Nederland)"), 1u);
  EXPECT_EQ(PreselectedLanguage({u"Deutsch", u"Italiano"}, u"Nederlands"), 0u);
  EXPECT_EQ(PreselectedLanguage(names, u""), 1u);
}

TEST(WizardPasswordPage, ExactMatchOnly) {
  EXPECT_TRUE(PasswordMatches(u"Secret 1", u"Secret 1"));
  EXPECT_FALSE(PasswordMatches(u"secret 1", u"Secret 1"));
  EXPECT_FALSE(PasswordMatches(u"Secret 1 ", u"Secret 1"));
  EXPECT_FALSE(PasswordMatches(u"", u"Secret 1"));
}

}  // namespace
}  // namespace halberd::ui
