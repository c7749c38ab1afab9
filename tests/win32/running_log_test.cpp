// The running log and the failed-item reports: every logging form ends up as UTF-8, long lines are
// not cut, the copy into the install log is exact across its blocks, and a disk-full failure
// sets the run's flag and removes the partial file.
#include <windows.h>

#include "engine/running_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/language_texts.h"
#include "engine/run_state.h"
#include "foundation/tl_file.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
class RunningLogTest : public testing::Test {
 protected:
  // One log for the whole process, as in a run; what a test wrote is what follows `before_`.
  static void SetUpTestSuite() { StartRunningLog(); }
  static void TearDownTestSuite() { CloseRunningLog(); }
  void SetUp() override { before_ = RunningLogText().size(); }
  std::string Written() { return RunningLogText().substr(before_); }

  size_t before_ = 0;
};

std::wstring NewTempFile(const char* content) {
  std::wstring path = TempName(L"");
  FileW file;
  EXPECT_EQ(file.Open(path, kCreateAlways), 0);
  EXPECT_TRUE(file.Write(content));
  return path;
}
}  // namespace

TEST_F(RunningLogTest, EveryFormIsWrittenAsUtf8) {
  LogWide(L"Caf\u00e9 ");
  Log1252("\x80 ");  // the euro sign in code page 1252
  LogUtf8("\xC3\xBC ");
  LogFormatA("%s=%d ", "na\xEFve", 42);
  LogFormatW(L"%s=%d\r\n", L"\u65E5", 7);
  EXPECT_EQ(Written(), "Caf\xC3\xA9 \xE2\x82\xAC \xC3\xBC na\xC3\xAFve=42 \xE6\x97\xA5=7\r\n");
}

TEST_F(RunningLogTest, LongFormattedLinesAreNotCut) {
  std::string narrow(5000, 'a');
  std::wstring wide(5000, L'w');
  LogFormatA("<%s>", narrow.c_str());
  LogFormatW(L"<%s>", wide.c_str());
  EXPECT_EQ(Written(), "<" + narrow + "><" + std::string(5000, 'w') + ">");
}

TEST_F(RunningLogTest, CopyIsExactAcrossBlocksAndLoggingGoesOnAtTheEnd) {
  std::string lines;
  for (int i = 0; i < 700; ++i) lines += "line " + std::to_string(i) + "\r\n";  // several 4096-byte blocks
  LogUtf8(lines);
  std::wstring path = TempName(L"");
  {
    FileW out;
    ASSERT_EQ(out.Open(path, kCreateAlways), 0);
    ASSERT_TRUE(out.Write("head|"));
    ASSERT_TRUE(CopyRunningLog(out));
    out.Close();
    ASSERT_EQ(out.Open(path, kOpenExisting), 0);
    std::string copied;
    ASSERT_TRUE(out.ReadAll(copied));
    EXPECT_EQ(copied, "head|" + RunningLogText());
  }
  RemoveFile(path);
  LogUtf8("after the copy\r\n");
  EXPECT_EQ(Written(), lines + "after the copy\r\n");
}

TEST_F(RunningLogTest, FailedItemReports) {
  std::vector<std::vector<std::u16string>> rows(32, std::vector<std::u16string>(1));
  rows[31][0] = u"Could not install:";
  SetLanguageTable(&rows, 0);
  EXPECT_EQ(FailedItemText(L"C:\\App\\a.dll", 0), L"Could not install: C:\\App\\a.dll\r\n");
  std::wstring with_code = FailedItemText(L"C:\\App\\a.dll", ERROR_ACCESS_DENIED);
  EXPECT_EQ(with_code.rfind(L"Could not install: C:\\App\\a.dll\r\nCode 5: ", 0), 0u) << with_code;
  EXPECT_EQ(with_code.substr(with_code.size() - 4), L"\r\n\r\n");

  // The log-only form leaves the failure text alone.
  size_t failures_before = FailureText().size();
  LogFailedItem(L"C:\\App\\b.dll", ERROR_ACCESS_DENIED);
  EXPECT_EQ(FailureText().size(), failures_before);
  EXPECT_EQ(Written().rfind("Could not install: C:\\App\\b.dll\r\nCode 5: ", 0), 0u);

  // Another error keeps the file; the disk-full error removes the partial file and sets the flag.
  std::wstring kept = NewTempFile("partial");
  FailItem(kept, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(FileExists(kept));
  EXPECT_FALSE(engine::Run().disk_full);
  std::wstring partial = NewTempFile("partial");
  FailItem(partial, ERROR_DISK_FULL);
  EXPECT_FALSE(FileExists(partial));
  EXPECT_TRUE(engine::Run().disk_full);
  EXPECT_EQ(FailureText().substr(failures_before),
            FailedItemText(kept, ERROR_ACCESS_DENIED) + FailedItemText(partial, ERROR_DISK_FULL));

  RemoveFile(kept);
  engine::Run().disk_full = false;
  SetLanguageTable(nullptr, 0);
}
