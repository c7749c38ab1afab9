// The file loop on a real file system (Wine), fed a small extraction stream: the running-log lines
// of the overwrite rules and of a written file, the lists it fills, the records it makes, and the
// deletion of the extraction file when the loop ends.
#include "install/file_extraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/file_entry.h"
#include "foundation/tl_file.h"
#include "install/installed_files.h"
#include "uninstall/run_uninstall_data.h"

using namespace halberd;

namespace {

struct StreamFile {
  format::FileEntry entry;
  std::string contents;
};

format::FileEntry Entry(const char* name, int kind, int mode, std::array<int32_t, 6> time, uint32_t extra_flags = 0,
                        const char* version = "") {
  format::FileEntry e;
  e.name = name;
  e.kind = kind;
  e.set_overwrite_mode(mode);
  e.flags |= extra_flags;
  e.time = time;
  e.second_text = version;
  return e;
}

void PutFile(const std::wstring& path, const std::string& contents, const SYSTEMTIME& time) {
  FileW out;
  ASSERT_EQ(out.Open(path, kCreateAlways), 0);
  ASSERT_TRUE(out.Write(contents));
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&time, &ft));
  ASSERT_TRUE(SetFileTime(out.Handle(), &ft, nullptr, &ft));
}

std::string Read(const std::wstring& path) {
  FileW in;
  std::string text;
  if (in.Open(path, kOpenExisting | kNoWriteAccess | kShareRead) != 0 || !in.ReadAll(text)) return "(none)";
  return text;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(FileExtraction, LogsEachRuleListsAndRecordsWhatItMadeOrKept) {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  const std::wstring folder = std::wstring(buffer, n) + L"halberd-loop-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateFolderTree(folder));
  const SYSTEMTIME old_time{2020, 1, 3, 1, 10, 0, 0, 0};
  PutFile(folder + L"\\kept.txt", "old", old_time);
  PutFile(folder + L"\\newer-kept.txt", "old", SYSTEMTIME{2030, 1, 2, 1, 0, 0, 0, 0});
  PutFile(folder + L"\\replaced.txt", "old", old_time);

  const std::array<int32_t, 6> t2021{2021, 6, 1, 10, 0, 0};
  const std::vector<StreamFile> files = {
      {Entry("kept.txt", 0, 3, t2021), "new"},
      {Entry("missing.txt", 0, 2, t2021), "new"},
      {Entry("newer-kept.txt", 9, 0, t2021), "new"},
      {Entry("replaced.txt", 9, 0, t2021), "new"},
      {Entry("shortcut.txt", 0, 0, t2021, 0x1 | 0x2), "new"},
      {Entry("driver.inf", 10, 0, t2021), "inf"},
      {Entry("passed.txt", 0, 1, t2021), "new"},
  };
  format::ByteWriter stream;
  engine::InstallationData data;
  for (const StreamFile& f : files) {
    format::FileEntry e = f.entry;
    e.size = int32_t(f.contents.size());
    format::WriteFileEntryHead(e, stream);
    stream.Raw(f.contents);
    data.header.file_sizes.push_back(e.size);
  }
  const std::wstring extraction = folder + L"\\TLTtest.tmp";
  {
    FileW out;
    ASSERT_EQ(out.Open(extraction, kCreateAlways), 0);
    ASSERT_TRUE(out.Write(stream.bytes().data(), int64_t(stream.bytes().size())));
  }

  engine::RunState& run = engine::Run();
  run.install_folder = folder;
  run.ProductFlags = uint64_t(1) << 20;  // a line for every file written
  install::ExtractFiles(data, extraction);

  const std::string log = engine::RunningLogText();
  const std::string f = Narrow(folder);
  EXPECT_NE(log.find(f + "\\kept.txt was not installed because it already exists.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(f + "\\missing.txt was not installed because it does not already exist.\r\n"), std::string::npos);
  EXPECT_NE(log.find(f + "\\newer-kept.txt was not installed because its date (2021/06/01 10:00:00) is not newer than "
                         "2030/01/01 00:00:00.\r\n"),
            std::string::npos);
  EXPECT_NE(log.find(f + "\\replaced.txt needs replacement because its date (2021/06/01 10:00:00) is newer than "
                         "2020/01/01 10:00:00.\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("shortcut.txt >>> " + f + "\\shortcut.txt\r\n"), std::string::npos);
  EXPECT_EQ(log.find("passed.txt"), std::string::npos);

  EXPECT_EQ(Read(folder + L"\\kept.txt"), "old");
  EXPECT_EQ(Read(folder + L"\\missing.txt"), "(none)");
  EXPECT_EQ(Read(folder + L"\\newer-kept.txt"), "old");
  EXPECT_EQ(Read(folder + L"\\replaced.txt"), "new");
  EXPECT_EQ(Read(folder + L"\\passed.txt"), "(none)");
  EXPECT_FALSE(FileExists(extraction));

  const auto& lists = install::RunFiles();
  ASSERT_EQ(lists.shortcuts.size(), 1u);
  EXPECT_TRUE(lists.shortcuts[0].desktop && lists.shortcuts[0].start_menu && !lists.shortcuts[0].startup);
  ASSERT_EQ(lists.driver_files.size(), 1u);
  EXPECT_EQ(Narrow(std::wstring(lists.driver_files[0].begin(), lists.driver_files[0].end())), f + "\\driver.inf");
  EXPECT_EQ(lists.written.size(), 3u);  // replaced, shortcut, driver

  const std::vector<std::string> expected = {f + "\\kept.txt", f + "\\newer-kept.txt", f + "\\replaced.txt",
                                             f + "\\shortcut.txt", f + "\\driver.inf"};
  std::vector<std::string> records = uninstall::RunUninstallData().records();
  records.erase(std::remove_if(records.begin(), records.end(),
                               [&](const std::string& r) { return r.find("halberd-loop-") == std::string::npos; }),
                records.end());
  EXPECT_EQ(records, expected);

  for (const wchar_t* name : {L"kept.txt", L"newer-kept.txt", L"replaced.txt", L"shortcut.txt", L"driver.inf"})
    RemoveFile(folder + L"\\" + name);
  RemoveFolder(folder);
}

}  // namespace
