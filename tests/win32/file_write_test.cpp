// Writing one extracted file on a real file system (Wine): contents copied in blocks from a
// position of the extraction file, time and attribute mask, missing folders made and recorded,
// a missing drive, a locked target, the folder blocked by a file, and the partial file a killed
// run leaves (never a half-written target).
#include "install/file_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/run_state.h"
#include "engine/running_log.h"
#include "install/extraction_folders.h"
#include "uninstall/run_uninstall_data.h"

using namespace halberd;
using namespace halberd::install;

namespace {

class FileWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    folder_ = std::wstring(buffer, n) + L"halberd-write-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(counter_++);
    ASSERT_TRUE(CreateFolderTree(folder_));
    // The extraction file: 100 bytes of lead-in, then the contents.
    source_path_ = folder_ + L"\\extraction.tmp";
    contents_.resize(kCopyBlockSize * 2 + 12345);
    for (size_t i = 0; i < contents_.size(); ++i) contents_[i] = char('a' + (i * 7 + i / 1000) % 26);
    FileW out;
    ASSERT_EQ(out.Open(source_path_, kCreateAlways), 0);
    ASSERT_TRUE(out.Write(std::string(100, '#')));
    ASSERT_TRUE(out.Write(contents_));
    out.Close();
    ASSERT_EQ(source_.Open(source_path_, kOpenExisting | kNoWriteAccess | kShareRead), 0);
  }
  void TearDown() override {
    source_.Close();
    RunCmd(L"cmd /c rmdir /s /q \"" + folder_ + L"\"");
  }
  static void RunCmd(std::wstring command) {
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
      WaitForSingleObject(pi.hProcess, 30000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
  FileWrite Request(const std::wstring& target) {
    FileWrite w;
    w.target = target;
    w.source = &source_;
    w.offset = 100;
    w.size = int64_t(contents_.size());
    return w;
  }
  static std::string ReadWhole(const std::wstring& path) {
    FileW in;
    std::string text;
    if (in.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite) != 0 || !in.ReadAll(text)) return "?";
    return text;
  }
  bool Recorded(const std::string& line) {
    const auto& records = uninstall::RunUninstallData().records();
    return std::find(records.begin(), records.end(), line) != records.end();
  }
  static std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

  static inline int counter_ = 0;
  std::wstring folder_;
  std::wstring source_path_;
  std::string contents_;
  FileW source_;
};

TEST_F(FileWriteTest, CopiesTheContentsAndAppliesTimeAndAttributeMask) {
  const std::wstring target = folder_ + L"\\out.bin";
  FileWrite w = Request(target);
  w.time = DateTime{2021, 6, 1, 10, 0, 0};
  w.attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY;  // outside the mask: ignored
  ASSERT_EQ(WriteEntryFile(w), WriteOutcome::kWritten);
  EXPECT_EQ(ReadWhole(target), contents_);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data));
  // Wine reports every file as archived whatever was set, so the archive bit is not compared.
  EXPECT_EQ(data.dwFileAttributes & 0x1107, DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastWriteTime, &st));
  EXPECT_EQ(st.wYear, 2021);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour, 10);
  EXPECT_EQ(st.wMinute, 0);
  EXPECT_EQ(st.wSecond, 0);
}

// A reinstallation over a hidden or system file writes it in place: Windows refuses a create
// without those bits, which would otherwise end in a replacement at restart.
TEST_F(FileWriteTest, AHiddenOrSystemFileIsReplacedInPlace) {
  for (DWORD existing : {DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_SYSTEM),
                         DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
    const std::wstring target = folder_ + L"\\hidden-" + std::to_wstring(existing) + L".bin";
    {
      FileW old;
      ASSERT_EQ(old.Open(target, kCreateAlways), 0);
      ASSERT_TRUE(old.Write(std::string("old contents")));
    }
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), existing));
    engine::Run().ProductFlags &= ~(uint64_t(1) << 14);
    FileWrite w = Request(target);
    w.compared = true;  // a locked file would go to a replacement at restart
    EXPECT_EQ(WriteEntryFile(w), WriteOutcome::kWritten) << existing;
    EXPECT_EQ(ReadWhole(target), contents_) << existing;
    EXPECT_FALSE(engine::Run().restart_required()) << existing;
    // No entry attributes given: the file keeps its own.
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & existing, existing);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(FileWriteTest, MakesAMissingFolderAndRecordsTheLevelsItMade) {
  const std::wstring target = folder_ + L"\\new\\deeper\\out.bin";
  FileWrite w = Request(target);
  w.record_folders = true;
  ASSERT_EQ(WriteEntryFile(w), WriteOutcome::kWritten);
  EXPECT_EQ(ReadWhole(target), contents_);
  EXPECT_TRUE(Recorded("~" + Narrow(folder_ + L"\\new")));
  EXPECT_TRUE(Recorded("~" + Narrow(folder_ + L"\\new\\deeper")));
  // The folder that was there before is not the run's.
  EXPECT_FALSE(Recorded("~" + Narrow(folder_)));
}

TEST_F(FileWriteTest, AMissingDriveIsNamedInTheFailureText) {
  wchar_t letter = 0;
  for (wchar_t c = L'Y'; c > L'D' && !letter; --c) {
    wchar_t root[] = {c, L':', L'\\', 0};
    if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) letter = c;
  }
  ASSERT_NE(letter, 0);
  const std::wstring target = std::wstring(1, wchar_t(towlower(letter))) + L":\\folder\\out.bin";
  ASSERT_EQ(WriteEntryFile(Request(target)), WriteOutcome::kFailed);
  const std::wstring expected = std::wstring(L"Drive ") + letter + L": is not present.\r\n";
  EXPECT_NE(engine::FailureText().find(target + L"\r\n" + expected), std::wstring::npos);
}

TEST_F(FileWriteTest, ALockedTargetIsNeverWrittenAndIsReported) {
  const std::wstring target = folder_ + L"\\locked.bin";
  {
    FileW out;
    ASSERT_EQ(out.Open(target, kCreateAlways), 0);
    ASSERT_TRUE(out.Write(std::string("in use")));
  }
  HANDLE lock = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  FileWrite w = Request(target);
  w.compared = true;
  const size_t failures_before = engine::FailureText().size();
  WriteOutcome outcome = WriteEntryFile(w);
  CloseHandle(lock);
  EXPECT_NE(outcome, WriteOutcome::kWritten);
  EXPECT_EQ(ReadWhole(target), "in use");
  // Replaced at restart, or reported as a failure: never silently dropped.
  if (outcome == WriteOutcome::kFailed) EXPECT_NE(engine::FailureText().find(target, failures_before), std::wstring::npos);
  EXPECT_FALSE(FileExists(target + kPartialFileEnding)) << "the failed attempts leave no partial file";
}

// A run killed during a write leaves the partial file beside an intact target; the next run's
// write replaces both and leaves only the whole target.
TEST_F(FileWriteTest, ThePartialFileOfAKilledRunIsReplacedAndTheTargetIsWholeOrOld) {
  const std::wstring target = folder_ + L"\\out.bin";
  const std::wstring partial = target + kPartialFileEnding;
  {
    FileW old;
    ASSERT_EQ(old.Open(target, kCreateAlways), 0);
    ASSERT_TRUE(old.Write(std::string("the earlier installation's file")));
    FileW killed;
    ASSERT_EQ(killed.Open(partial, kCreateAlways), 0);
    ASSERT_TRUE(killed.Write(contents_.substr(0, 1000)));
  }
  ASSERT_EQ(WriteEntryFile(Request(target)), WriteOutcome::kWritten);
  EXPECT_EQ(ReadWhole(target), contents_);
  EXPECT_FALSE(FileExists(partial));
}

TEST_F(FileWriteTest, AFileInTheWayOfAFolderIsFound) {
  const std::wstring blocker = folder_ + L"\\blocker";
  {
    FileW out;
    ASSERT_EQ(out.Open(blocker, kCreateAlways), 0);
  }
  EXPECT_FALSE(CreateFolderRecorded(blocker + L"\\inner", true));
  EXPECT_TRUE(FileTakesFolderName(blocker + L"\\inner"));
  EXPECT_TRUE(FileTakesFolderName(blocker));
  EXPECT_FALSE(FileTakesFolderName(folder_ + L"\\free\\inner"));
  EXPECT_FALSE(Recorded("~" + Narrow(blocker + L"\\inner")));
}

}  // namespace

namespace {

// A target near the path limit, whose partial name would pass it, is still written (in place).
TEST_F(FileWriteTest, ATargetNearThePathLimitIsWrittenInPlace) {
  const size_t room = MAX_PATH - 1 - folder_.size() - 1;  // the longest name that still fits
  ASSERT_GT(room, 10u);
  const std::wstring target = folder_ + L"\\" + std::wstring(room - 4, L'n') + L".bin";
  ASSERT_EQ(target.size(), size_t(MAX_PATH - 1));
  ASSERT_EQ(WriteEntryFile(Request(target)), WriteOutcome::kWritten);
  EXPECT_EQ(ReadWhole(target), contents_);
}

}  // namespace
