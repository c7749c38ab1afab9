// The install log's text pieces: its path, the header lines and their conditions, the start and
// end of a record, the rewriting of an 8-bit log as UTF-8, and the outcome and restart decisions.
#include "engine/install_log.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/format/product_flags.h"
#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }

// A stand-in for the system code page: code page 1252's upper half as Latin-1.
std::string Latin1ToUtf8(std::string_view text) {
  std::u16string wide;
  for (char c : text) wide.push_back(char16_t(static_cast<unsigned char>(c)));
  return Utf16ToUtf8(wide);
}

InstallLogHeader FullHeader() {
  InstallLogHeader h;
  h.display_name = U("Café Writer");
  h.install_date = {2026, 3, 7, 9, 5, 2};
  h.with_install_type = true;
  h.install_type = u"Upgrade";
  h.install_location = U("C:\\Program Files\\Café");
  h.installer_version = "48.0.11";
  h.build_month = 2;
  h.build_date = u"2026/02/28";
  h.product_version = u"2.1";
  h.overwriting_version = u"1.9";
  h.operating_system = "Windows 10 (10.0.19045) 64-bit";
  return h;
}
}  // namespace

TEST(InstallLog, PathIsInTheUninstallFolder) {
  struct Case { const char* folder; const char* subdir; const char* path; };
  const Case cases[] = {
      {"C:\\App", "", "C:\\App\\Install.log"},
      {"C:\\App", "Uninstall", "C:\\App\\Uninstall\\Install.log"},
      {"C:\\App", "Uninstall\\", "C:\\App\\Uninstall\\Install.log"},
      {"C:\\App", "..\\Shared", "C:\\Shared\\Install.log"},
      {"C:\\", "", "C:\\Install.log"},
      {"C:\\App", "D:\\Logs", "D:\\Logs\\Install.log"},
      {"\\\\server\\share\\App", "Data", "\\\\server\\share\\App\\Data\\Install.log"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Utf16ToUtf8(InstallLogPath(U(c.folder), U(c.subdir))), c.path) << c.folder << " + " << c.subdir;
}

TEST(InstallLog, DatesHaveFourDigitYearsAndTwoDigitFields) {
  EXPECT_EQ(FormatInstallDate({2026, 3, 7, 9, 5, 2}), "2026/03/07 09:05:02");
  EXPECT_EQ(FormatInstallDate({2026, 12, 31, 23, 59, 59}), "2026/12/31 23:59:59");
  EXPECT_EQ(FormatInstallDate({999, 1, 1, 0, 0, 0}), "0999/01/01 00:00:00");
  EXPECT_EQ(FormatBuildDate(2026, 2, 8), u"2026/02/08");
  EXPECT_EQ(FormatBuildDate(2026, 0, 8), u"");  // month 0: no build date
  EXPECT_EQ(FormatBuildDate(65535, 13, 0), u"65535/13/00");
}

TEST(InstallLog, HeaderLinesInOrderWithTheirConditions) {
  EXPECT_EQ(FormatInstallLogHeader(FullHeader()),
            "Installation log for: Caf\xC3\xA9 Writer\r\n"
            "Install date: 2026/03/07 09:05:02\r\n"
            "Install type: Upgrade\r\n"
            "Install location: C:\\Program Files\\Caf\xC3\xA9\r\n"
            "Installer version: 48.0.11\r\n"
            "Installer built: 2026/02/28\r\n"
            "Product version: 2.1\r\n"
            "Overwriting version: 1.9\r\n"
            "Operating system: Windows 10 (10.0.19045) 64-bit\r\n"
            "\r\n");

  // Each optional line, left out by its own condition; the others stay.
  struct Case {
    const char* name;
    void (*change)(InstallLogHeader&);
    const char* missing_line;
  };
  const Case cases[] = {
      {"no uninstaller", [](InstallLogHeader& h) { h.with_install_type = false; }, "Install type: "},
      {"build month 0", [](InstallLogHeader& h) { h.build_month = 0; }, "Installer built: "},
      {"no product version", [](InstallLogHeader& h) { h.product_version.clear(); }, "Product version: "},
      {"nothing overwritten", [](InstallLogHeader& h) { h.overwriting_version.clear(); }, "Overwriting version: "},
  };
  const std::string full = FormatInstallLogHeader(FullHeader());
  for (const Case& c : cases) {
    InstallLogHeader h = FullHeader();
    c.change(h);
    std::string text = FormatInstallLogHeader(h);
    EXPECT_EQ(text.find(c.missing_line), std::string::npos) << c.name;
    // Removing the full line from the complete header gives exactly this header.
    std::string expected = full;
    size_t at = expected.find(c.missing_line);
    expected.erase(at, expected.find("\r\n", at) + 2 - at);
    EXPECT_EQ(text, expected) << c.name;
  }
}

TEST(InstallLog, RecordStartsWithTheMarkOnlyInAnEmptyFile) {
  EXPECT_EQ(RecordStart(0), "\xEF\xBB\xBF");
  EXPECT_EQ(RecordStart(1), "\r\n\r\n" + std::string(46, '*') + "\r\n");
  EXPECT_EQ(RecordStart(int64_t(1) << 40), kRecordSeparator);
}

TEST(InstallLog, RecordEndsWithTheFailureSummaryOrTheSuccessText) {
  EXPECT_EQ(RecordEnd("", "Installation complete."), "\r\nInstallation complete.\r\n");
  EXPECT_EQ(RecordEnd("Could not write C:\\a.dll\r\n\r\n", "Installation complete."),
            "\r\n*** FAILURE SUMMARY ***\r\nCould not write C:\\a.dll\r\n\r\n");
}

TEST(InstallLog, EarlierLogsAreRewrittenAsUtf8WithTheMark) {
  struct Case {
    const char* name;
    std::string content;
    bool rewritten;
    std::string result;
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Case cases[] = {
      {"empty", "", false, ""},
      {"already marked", bom + "Caf\xC3\xA9", false, ""},
      {"marked, even with stray bytes", bom + "Caf\xE9", false, ""},
      {"8-bit", "Caf\xE9\r\n", true, bom + "Caf\xC3\xA9\r\n"},
      {"8-bit, ends in a lead byte", "Se\xF1or \xC3", true, bom + "Se\xC3\xB1or \xC3\x83"},
      {"plain ASCII", "Installation log for: A\r\n", true, bom + "Installation log for: A\r\n"},
      {"UTF-8 without the mark is not converted again", "Caf\xC3\xA9", true, bom + "Caf\xC3\xA9"},
      {"only part of the mark", "\xEF\xBB", true, bom + "\xC3\xAF\xC2\xBB"},
  };
  for (const Case& c : cases) {
    std::optional<std::string> out = Utf8LogContent(c.content, Latin1ToUtf8);
    ASSERT_EQ(out.has_value(), c.rewritten) << c.name;
    if (out) EXPECT_EQ(*out, c.result) << c.name;
  }
}

TEST(InstallLog, WellFormedUtf8) {
  struct Case { std::string text; bool ok; };
  const Case cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA9", true},
      {"\xE2\x82\xAC", true},          // U+20AC
      {"\xF0\x9F\x98\x80", true},      // U+1F600
      {"\xF4\x8F\xBF\xBF", true},      // U+10FFFF
      {"\xE9", false},                 // a Latin-1 byte
      {"\xC3", false},                 // cut short
      {"\xE2\x82", false},
      {"\xC0\xAF", false},             // overlong
      {"\xE0\x80\xAF", false},
      {"\xF0\x80\x80\xAF", false},
      {"\xED\xA0\x80", false},         // a surrogate
      {"\xF4\x90\x80\x80", false},     // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x80", false},                 // a lone continuation byte
      {"\xC3\x28", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWellFormedUtf8(c.text), c.ok) << testing::PrintToString(c.text);
}

TEST(InstallLog, OutcomeByFailuresModeAndFlags) {
  struct Case {
    const char* name;
    bool failures, automatic, restart, choices;
    uint64_t flags;
    Outcome outcome;
    uint64_t flags_after;
  };
  const uint64_t always = format::kFlagAlwaysWriteLog, offer = format::kFlagOfferLog, quiet = format::kFlagNoCompletionMessage;
  const Case cases[] = {
      {"automatic, success", false, true, false, true, offer, Outcome::kNothing, offer},
      {"automatic, failures", true, true, false, false, 0, Outcome::kNothing, 0},
      {"failures", true, false, false, true, quiet | offer, Outcome::kFailureQuestion, quiet | offer},
      {"no completion message", false, false, false, true, quiet, Outcome::kNothing, quiet},
      {"nothing to offer", false, false, false, false, 0, Outcome::kSuccessMessage, 0},
      {"choices", false, false, false, true, 0, Outcome::kSummaryPage, 0},
      {"log offered and kept", false, false, false, false, always | offer, Outcome::kSummaryPage, always | offer},
      {"log offered but not kept", false, false, false, false, offer, Outcome::kSuccessMessage, 0},
      {"restart required", false, false, true, true, always | offer, Outcome::kSuccessMessage, always | offer},
  };
  for (const Case& c : cases) {
    uint64_t flags = c.flags;
    EXPECT_EQ(DecideOutcome(c.failures, c.automatic, c.restart, c.choices, flags), c.outcome) << c.name;
    EXPECT_EQ(flags, c.flags_after) << c.name;
  }
}

TEST(InstallLog, RestartIsAgreedWithoutAskingOnlyInAutomaticRuns) {
  const uint64_t ask = format::kFlagRestartQuestionWhenAutomatic;
  EXPECT_EQ(DecideRestart(false, true, 0), RestartDecision::kNone);
  EXPECT_EQ(DecideRestart(false, false, ask), RestartDecision::kNone);
  EXPECT_EQ(DecideRestart(true, true, 0), RestartDecision::kAgreed);
  EXPECT_EQ(DecideRestart(true, true, ask), RestartDecision::kAsk);
  EXPECT_EQ(DecideRestart(true, false, 0), RestartDecision::kAsk);
}

TEST(InstallLog, LogPathFillsOnlyTheFirstPlaceholder) {
  EXPECT_EQ(FillInLogPath(u"See %s for details.", u"C:\\App\\Install.log"), u"See C:\\App\\Install.log for details.");
  EXPECT_EQ(FillInLogPath(u"%s and %s, 100%d", u"X"), u"X and %s, 100%d");
  EXPECT_EQ(FillInLogPath(u"No placeholder", u"X"), u"No placeholder");
  EXPECT_EQ(FillInLogPath(u"%s", u"a%sb"), u"a%sb");
}
