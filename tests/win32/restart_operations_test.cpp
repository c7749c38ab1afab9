// Restart operations on a real system (Wine): a target held open by another program is replaced
// at restart through a "TLT" temporary file; the argument checks of a registered replacement;
// the "wininit.ini" [rename] fallback; the cleaning of the system's pending list; deletion at
// restart; the "reboot.dat" marker; and the loosening of a path's security. The fixture puts the
// pending list, "wininit.ini" and the run state back as they were, so later tests meet none of
// what these leave.
#include "install/restart_operations.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/restart_moves.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "install/pending_operations.h"
#include "tests/win32/test_support.h"

using halberd::test::DeleteTree;
using halberd::test::Exists;
using halberd::test::GetFile;
using halberd::test::RawGet;
using halberd::test::SystemTempPath;

using namespace halberd;
using namespace halberd::install;

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::string Utf8(const std::wstring& s) { return WideToUtf8(s); }

void PutFile(const std::wstring& path, const std::string& contents) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  if (!contents.empty()) WriteFile(h, contents.data(), DWORD(contents.size()), &written, nullptr);
  CloseHandle(h);
  ASSERT_EQ(written, contents.size());
}

std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(entry.cFileName);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

// The raw value of the pending list; false when it is missing.
bool ReadPendingValue(DWORD& type, std::string& bytes) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG r = RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &size);
  if (r == ERROR_SUCCESS) {
    bytes.assign(size, '\0');
    r = RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    bytes.resize(size);
  }
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void WritePendingValue(const std::vector<std::wstring>& entries) {
  std::vector<std::u16string> list;
  for (const std::wstring& e : entries) list.push_back(U(e));
  std::u16string data = JoinPendingOperations(list);
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                 DWORD(data.size() * sizeof(char16_t)));
  RegCloseKey(key);
}

void DeletePendingValue() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, kPendingValue);
  RegCloseKey(key);
}

// The entries of the pending list as the system keeps them.
std::vector<std::wstring> PendingEntries() {
  DWORD type = 0;
  std::string bytes;
  std::vector<std::wstring> out;
  if (!ReadPendingValue(type, bytes)) return out;
  std::u16string data(bytes.size() / 2, u'\0');
  memcpy(data.data(), bytes.data(), data.size() * 2);
  for (const std::u16string& e : SplitPendingOperations(data)) out.push_back(W(e));
  return out;
}

// Whether the pending list holds the pair (source, target) in the system's form; an empty target
// is a deletion.
bool PendingHolds(const std::wstring& source, const std::wstring& target) {
  std::vector<std::wstring> entries = PendingEntries();
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (NormalisePendingPath(U(entries[i])) != NormalisePendingPath(U(source))) continue;
    if (target.empty() ? entries[i + 1].empty()
                       : NormalisePendingPath(U(entries[i + 1])) == NormalisePendingPath(U(target))) {
      return true;
    }
  }
  return false;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  return std::wstring(buffer, n);
}

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

// hold_file.exe, beside this test program, holding a file open without sharing until its
// standard input is closed.
class FileHolder {
 public:
  explicit FileHolder(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE child_in = nullptr, child_out = nullptr;
    if (!CreatePipe(&child_in, &input_, &inherit, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    if (!CreatePipe(&output_, &child_out, &inherit, 0)) return;
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    wchar_t self[MAX_PATH];
    std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    program = program.substr(0, program.rfind(L'\\') + 1) + L"hold_file.exe";
    std::wstring command = L"\"" + program + L"\" \"" + path + L"\" 60";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = child_out;
    PROCESS_INFORMATION process{};
    bool started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(child_in);
    CloseHandle(child_out);
    if (!started) return;
    process_ = process.hProcess;
    CloseHandle(process.hThread);
    // The first line says whether the file is held.
    char c;
    DWORD got;
    while (ReadFile(output_, &c, 1, &got, nullptr) && got == 1 && c != '\n') first_line_.push_back(c);
  }
  ~FileHolder() { Release(); }
  bool holding() const { return first_line_.rfind("holding ", 0) == 0; }
  const std::string& first_line() const { return first_line_; }
  void Release() {
    if (input_) CloseHandle(input_);
    input_ = nullptr;
    if (process_) {
      WaitForSingleObject(process_, 30000);
      CloseHandle(process_);
    }
    process_ = nullptr;
    if (output_) CloseHandle(output_);
    output_ = nullptr;
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  HANDLE process_ = nullptr;
  std::string first_line_;
};

// The system's pending list and "wininit.ini" are shared by every test program that ctest runs
// side by side; a test that changes them holds this lock from saving them to putting them back.
class SharedRestartStateLock {
 public:
  SharedRestartStateLock() : mutex_(CreateMutexW(nullptr, FALSE, L"halberd-tests-pending-restart-operations")) {
    if (mutex_) WaitForSingleObject(mutex_, 120000);
  }
  ~SharedRestartStateLock() {
    if (mutex_) {
      ReleaseMutex(mutex_);
      CloseHandle(mutex_);
    }
  }
  SharedRestartStateLock(const SharedRestartStateLock&) = delete;
  SharedRestartStateLock& operator=(const SharedRestartStateLock&) = delete;

 private:
  HANDLE mutex_;
};

class RestartOperations : public testing::Test {
 protected:
  void SetUp() override {
    lock_ = std::make_unique<SharedRestartStateLock>();
    static int counter = 0;
    folder_ = FullPath(SystemTempPath() + L"\\halberd-ro-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(++counter));
    DeleteTree(folder_);
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    had_pending_ = ReadPendingValue(pending_type_, pending_bytes_);
    wininit_ini_ = WindowsFolder() + L"\\wininit.ini";
    had_wininit_ = Exists(wininit_ini_);
    if (had_wininit_) wininit_text_ = GetFile(wininit_ini_);
    saved_run_ = engine::Run();
  }
  void TearDown() override {
    ResetRestartMoveFunction();
    if (had_pending_) {
      HKEY key;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegSetValueExW(key, kPendingValue, 0, pending_type_, reinterpret_cast<const BYTE*>(pending_bytes_.data()),
                       DWORD(pending_bytes_.size()));
        RegCloseKey(key);
      }
    } else {
      DeletePendingValue();
    }
    if (had_wininit_) {
      PutFile(wininit_ini_, wininit_text_);
    } else {
      DeleteFileW(wininit_ini_.c_str());
    }
    DeleteFileW((WindowsFolder() + L"\\wininit.exe").c_str());
    engine::Run() = saved_run_;
    DeleteTree(folder_);
    lock_.reset();
  }
  std::wstring In(const std::wstring& name) const { return folder_ + L"\\" + name; }

  std::wstring folder_;
  std::wstring wininit_ini_;

 private:
  bool had_pending_ = false;
  DWORD pending_type_ = 0;
  std::string pending_bytes_;
  bool had_wininit_ = false;
  std::string wininit_text_;
  engine::RunState saved_run_;
  std::unique_ptr<SharedRestartStateLock> lock_;
};

// The stand-ins for the system's move-at-restart service.
BOOL WINAPI MoveDenied(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

bool SameFileTime(const std::wstring& path, const SYSTEMTIME& expected) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME written{};
  GetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  FILETIME wanted{};
  SystemTimeToFileTime(&expected, &wanted);
  return CompareFileTime(&written, &wanted) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Replacement of a locked file

TEST_F(RestartOperations, LockedTargetIsReplacedAtRestartThroughATemporaryFile) {
  const std::wstring target = In(L"Library.dll");
  PutFile(target, "old contents");
  FileHolder holder(target);
  ASSERT_TRUE(holder.holding()) << holder.first_line();
  // Held as another program holds it: no writing now.
  HANDLE attempt = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(attempt, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  if (attempt != INVALID_HANDLE_VALUE) CloseHandle(attempt);

  // The new contents sit at an offset in a bigger file, as in the extraction file.
  PutFile(In(L"extraction.bin"), "headerNEW CONTENTStrailer");
  FileW extraction;
  ASSERT_EQ(extraction.Open(In(L"extraction.bin"), kOpenExisting | kNoWriteAccess), 0);
  const std::wstring failures_before = engine::FailureText();
  ASSERT_FALSE(engine::Run().restart_required());

  EXPECT_EQ(ReplaceAtRestart(target, extraction, 6, 12, DateTime{2021, 5, 6, 7, 8, 9}), ReplaceResult::kPending);

  // One "TLT" temporary file beside the target, with the new bytes and the entry's time.
  std::vector<std::wstring> temporaries = FilesIn(folder_, L"TLT*.tmp");
  ASSERT_EQ(temporaries.size(), 1u);
  EXPECT_TRUE(std::regex_match(Utf8(temporaries[0]), std::regex("TLT[0-9A-Fa-f]{1,4}\\.tmp")))
      << Utf8(temporaries[0]);
  const std::wstring temporary = In(temporaries[0]);
  EXPECT_EQ(GetFile(temporary), "NEW CONTENTS");
  EXPECT_TRUE(SameFileTime(temporary, SYSTEMTIME{2021, 5, 0, 6, 7, 8, 9, 0}));

  // The system moves the temporary file over the target at restart.
  EXPECT_TRUE(PendingHolds(L"\\??\\" + temporary, L"\\??\\" + target));
  EXPECT_EQ(engine::RunningLogText().find(Utf8(L"\"" + target +
                                               L"\" was successfully registered for replacement.\r\n"
                                               L"Temporary file is \"" +
                                               temporary + L"\"\r\nReboot will be required.\r\n\r\n")) == std::string::npos,
            false);
  EXPECT_EQ(engine::FailureText(), failures_before);
  EXPECT_TRUE(engine::Run().restart_required());
  EXPECT_EQ(engine::FinishedExitCode(engine::Run()), engine::exit_code::kRestartRequired);
  // The target keeps its old contents until the restart.
  holder.Release();
  EXPECT_EQ(GetFile(target), "old contents");
}

TEST_F(RestartOperations, FailedReplacementsGoToTheFailureTextAndLeaveNoTemporaryFile) {
  const std::wstring target = In(L"app.exe");
  PutFile(target, "old");
  PutFile(In(L"extraction.bin"), "0123456789");
  FileW extraction;
  ASSERT_EQ(extraction.Open(In(L"extraction.bin"), kOpenExisting | kNoWriteAccess), 0);

  // The contents cannot be read (the entry claims more bytes than there are): no temporary file.
  size_t before = engine::FailureText().size();
  EXPECT_EQ(ReplaceAtRestart(target, extraction, 4, 100, DateTime{}), ReplaceResult::kFailed);
  std::wstring added = engine::FailureText().substr(before);
  EXPECT_EQ(added.rfind(L"Failed to register '" + target +
                            L"' for replacement because no temporary file could be created.\r\n",
                        0),
            0u)
      << Utf8(added);
  EXPECT_EQ(added.substr(added.size() - 4), L"\r\n\r\n");
  EXPECT_TRUE(FilesIn(folder_, L"TLT*").empty());

  // The system refuses the move and runs no "wininit.exe": the temporary file goes again.
  SetRestartMoveFunction(MoveDenied);
  before = engine::FailureText().size();
  EXPECT_EQ(ReplaceAtRestart(target, extraction, 0, 10, DateTime{}), ReplaceResult::kFailed);
  added = engine::FailureText().substr(before);
  std::wsmatch match;
  ASSERT_TRUE(std::regex_match(added, match,
                               std::wregex(L"Failed to register '(.*)' for replacement with temporary file '(.*)'\r\n"
                                           L"(.*)\r\n\r\n")))
      << Utf8(added);
  EXPECT_EQ(match[1].str(), target);
  EXPECT_EQ(match[2].str().rfind(In(L"TLT"), 0), 0u);
  EXPECT_EQ(match[3].str(), SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(Exists(match[2].str()));
  EXPECT_TRUE(FilesIn(folder_, L"TLT*").empty());

  // No temporary file can be made in the target's folder (its drive does not exist).
  wchar_t missing = 0;
  for (wchar_t letter = L'Q'; letter <= L'Y' && !missing; ++letter) {
    wchar_t root[] = {letter, L':', L'\\', 0};
    if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) missing = letter;
  }
  ASSERT_NE(missing, 0);
  const std::wstring elsewhere = std::wstring(1, missing) + L":\\App\\app.exe";
  before = engine::FailureText().size();
  EXPECT_EQ(ReplaceAtRestart(elsewhere, extraction, 0, 10, DateTime{}), ReplaceResult::kFailed);
  EXPECT_EQ(engine::FailureText().substr(before).rfind(
                L"Failed to register '" + elsewhere + L"' for replacement because no temporary file could be created.\r\n", 0),
            0u);

  EXPECT_FALSE(engine::Run().restart_required());
  EXPECT_FALSE(engine::Run().disk_full);
  EXPECT_EQ(GetFile(target), "old");
}

TEST_F(RestartOperations, RegisterReplacementChecksItsArguments) {
  const std::wstring source = In(L"TLT1.tmp");
  const std::wstring target = In(L"target.dll");
  PutFile(source, "new");
  PutFile(target, "old");
  struct Case {
    const char* name;
    std::wstring source;
    std::wstring target;
    bool ok;
    DWORD error;
  };
  const Case cases[] = {
      {"empty source", L"", target, false, ERROR_INVALID_PARAMETER},
      {"blank source", L" \t", target, false, ERROR_INVALID_PARAMETER},
      {"empty target", source, L"", false, ERROR_INVALID_PARAMETER},
      {"blank target", source, L"  ", false, ERROR_INVALID_PARAMETER},
      {"missing source", In(L"missing.tmp"), target, false, ERROR_FILE_NOT_FOUND},
      {"the same path in other letters", source, In(L"tlt1.TMP"), true, ERROR_BUSY},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(RegisterReplacement(c.source, c.target), c.ok) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  EXPECT_TRUE(PendingEntries().empty() || !PendingHolds(L"\\??\\" + source, L"\\??\\" + In(L"tlt1.TMP")));

  SetLastError(0);
  EXPECT_TRUE(RegisterReplacement(source, target));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  EXPECT_TRUE(PendingHolds(L"\\??\\" + source, L"\\??\\" + target));
}

// ---------------------------------------------------------------------------------------------
// Deletion at restart and wininit.ini

TEST_F(RestartOperations, DeleteAtRestart) {
  PutFile(In(L"later.txt"), "x");
  EXPECT_TRUE(DeleteAtRestart(In(L"later.txt")));
  EXPECT_TRUE(Exists(In(L"later.txt")));
  EXPECT_TRUE(PendingHolds(L"\\??\\" + In(L"later.txt"), L""));
  SetLastError(0);
  EXPECT_FALSE(DeleteAtRestart(L""));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(RestartOperations, WininitFileGetsTheSectionOrTheNewestLineFirst) {
  const std::wstring ini = In(L"wininit.ini");
  // No file: it is created with the section.
  EXPECT_TRUE(WriteWininitRenameTo(ini, L"NUL", L"C:\\OLD.TXT"));
  EXPECT_EQ(GetFile(ini), "[rename]\r\nNUL=C:\\OLD.TXT");
  // An existing section: the new line right after its name.
  EXPECT_TRUE(WriteWininitRenameTo(ini, L"C:\\APP.DLL", L"C:\\TLT1.TMP"));
  EXPECT_EQ(GetFile(ini), "[rename]\r\nC:\\APP.DLL=C:\\TLT1.TMP\r\nNUL=C:\\OLD.TXT");
  // A file without the section and without a final line break: the section goes at its end.
  PutFile(ini, "[boot]\r\nshell=explorer.exe");
  EXPECT_TRUE(WriteWininitRenameTo(ini, L"NUL", L"C:\\X.TXT"));
  EXPECT_EQ(GetFile(ini), "[boot]\r\nshell=explorer.exe\r\n[rename]\r\nNUL=C:\\X.TXT");
  // A blank key is refused and the file stays as it was.
  SetLastError(0);
  EXPECT_FALSE(WriteWininitRenameTo(ini, L" ", L"C:\\Y.TXT"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetFile(ini), "[boot]\r\nshell=explorer.exe\r\n[rename]\r\nNUL=C:\\X.TXT");
  // A file that cannot be read is not overwritten with the new line alone.
  {
    FileHolder holder(ini);
    ASSERT_TRUE(holder.holding()) << holder.first_line();
    EXPECT_FALSE(WriteWininitRenameTo(ini, L"NUL", L"C:\\Z.TXT"));
  }
  EXPECT_EQ(GetFile(ini), "[boot]\r\nshell=explorer.exe\r\n[rename]\r\nNUL=C:\\X.TXT");
  EXPECT_TRUE(FilesIn(folder_, L"TLT*").empty());
}

TEST_F(RestartOperations, RefusedMovesFallBackToWininitOnlyWhereWininitRuns) {
  const std::wstring doomed = In(L"a long file name.txt");
  const std::wstring source = In(L"replacement source.tmp");
  const std::wstring target = In(L"Installed Library.dll");
  PutFile(doomed, "x");
  PutFile(source, "new");
  PutFile(target, "old");
  const std::wstring wininit_exe = WindowsFolder() + L"\\wininit.exe";
  DeleteFileW(wininit_exe.c_str());
  DeleteFileW(wininit_ini_.c_str());

  // The service refuses and no "wininit.exe" runs at start-up: the refusal stands.
  SetRestartMoveFunction(MoveDenied);
  SetLastError(0);
  EXPECT_FALSE(DeleteAtRestart(doomed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(RegisterReplacement(source, target));
  EXPECT_FALSE(Exists(wininit_ini_));

  // With "wininit.exe" the lines go to "wininit.ini", in short paths, the newest first.
  PutFile(wininit_exe, "");
  EXPECT_TRUE(DeleteAtRestart(doomed));
  EXPECT_TRUE(RegisterReplacement(source, target));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  EXPECT_EQ(GetFile(wininit_ini_), WideToAnsi(L"[rename]\r\n" + ShortPath(target) + L"=" + ShortPath(source) +
                                              L"\r\nNUL=" + ShortPath(doomed)));

  // A system without the service writes the line at once.
  DeleteFileW(wininit_exe.c_str());
  DeleteFileW(wininit_ini_.c_str());
  SetRestartMoveFunction(nullptr, false);
  EXPECT_TRUE(DeleteAtRestart(doomed));
  EXPECT_EQ(GetFile(wininit_ini_), WideToAnsi(L"[rename]\r\nNUL=" + ShortPath(doomed)));
  // So does the file layer's deletion at restart, which goes the same way.
  EXPECT_TRUE(RemoveFile(target, kDeleteAtRestart));
  EXPECT_EQ(GetFile(wininit_ini_), WideToAnsi(L"[rename]\r\nNUL=" + ShortPath(target) + L"\r\nNUL=" +
                                              ShortPath(doomed)));
  EXPECT_TRUE(PendingEntries().empty() || !PendingHolds(L"\\??\\" + doomed, L""));
}

// ---------------------------------------------------------------------------------------------
// Cleaning of the pending list

TEST_F(RestartOperations, CleaningTakesPendingOperationsOffTheInstalledFiles) {
  const std::wstring app = In(L"App.exe");
  const std::wstring lib = In(L"Lib.dll");
  const std::wstring stale = In(L"TLTAB.tmp");  // an earlier run's replacement that never happened
  PutFile(app, "new app");
  PutFile(lib, "new lib");
  PutFile(stale, "stale app");
  std::wstring upper_lib = lib;
  for (wchar_t& c : upper_lib) c = towupper(c);
  WritePendingValue({L"\\??\\" + stale, L"!\\??\\" + app,         // would replace the new App.exe
                     L"\\??\\" + In(L"other.txt"), L"",          // someone else's deletion
                     L"\\??\\" + upper_lib, L"",                 // would delete the new Lib.dll
                     L"\\??\\" + In(L"dangling.txt")});          // an odd last entry

  std::string log_before = engine::RunningLogText();
  CleanPendingOperations({app, lib}, true);

  EXPECT_EQ(PendingEntries(), (std::vector<std::wstring>{L"\\??\\" + In(L"other.txt"), L""}));
  EXPECT_FALSE(Exists(stale));  // gone to the Recycle Bin
  EXPECT_EQ(GetFile(app), "new app");
  EXPECT_EQ(GetFile(lib), "new lib");
  std::string log = engine::RunningLogText().substr(log_before.size());
  EXPECT_EQ(log, Utf8(L"\r\nFile \"" + app + L"\" was removed from the list of pending moves.\r\nFile \"" + lib +
                      L"\" was removed from the list of pending deletions.\r\n"));
}

TEST_F(RestartOperations, CleaningLeavesOtherListsAloneAndLogsOnlyForInstallRuns) {
  const std::wstring app = In(L"App.exe");
  PutFile(app, "new");
  const std::vector<std::wstring> others = {L"\\??\\" + In(L"a.txt"), L"", L"\\??\\" + In(L"b.tmp"),
                                            L"!\\??\\" + In(L"c.dll"), L"\\??\\" + In(L"odd.txt")};
  WritePendingValue(others);
  DWORD type = 0;
  std::string before_bytes, after_bytes;
  ASSERT_TRUE(ReadPendingValue(type, before_bytes));

  std::string log_before = engine::RunningLogText();
  CleanPendingOperations({app}, true);
  ASSERT_TRUE(ReadPendingValue(type, after_bytes));
  EXPECT_EQ(after_bytes, before_bytes);  // nothing removed: not even rewritten
  EXPECT_EQ(engine::RunningLogText().substr(log_before.size()), "\r\n");

  // An uninstall run cleans the same way, without log lines; an empty list goes altogether.
  WritePendingValue({L"\\??\\" + app, L""});
  log_before = engine::RunningLogText();
  CleanPendingOperations({app}, false);
  EXPECT_FALSE(ReadPendingValue(type, after_bytes));
  EXPECT_EQ(engine::RunningLogText(), log_before);

  // No list: nothing to do, nothing logged.
  CleanPendingOperations({app}, true);
  EXPECT_EQ(engine::RunningLogText(), log_before);
}

// ---------------------------------------------------------------------------------------------
// reboot.dat

TEST_F(RestartOperations, RestartMarkerLastsUntilTheNextRestart) {
  engine::Run().install_folder = folder_;
  engine::Run().ProductFlags = 0;
  WriteRestartMarker();
  EXPECT_FALSE(Exists(In(L"reboot.dat")));

  engine::Run().ProductFlags = uint64_t(1) << 53;
  WriteRestartMarker();
  ASSERT_TRUE(Exists(In(L"reboot.dat")));
  EXPECT_EQ(GetFile(In(L"reboot.dat")), "");
  EXPECT_TRUE(PendingHolds(L"\\??\\" + In(L"reboot.dat"), L""));
  EXPECT_FALSE(engine::Run().restart_required());
}

// ---------------------------------------------------------------------------------------------
// Loosening security

TEST_F(RestartOperations, LoosenSecurityErrorCodes) {
  ASSERT_TRUE(CreateDirectoryW(In(L"sub").c_str(), nullptr));
  struct Case {
    std::wstring path;
    bool is_folder;
    DWORD error;
  };
  const Case cases[] = {
      {L"", false, ERROR_INVALID_NAME},       // 123
      {L"", true, ERROR_BAD_PATHNAME},        // 161
      {In(L"missing.txt"), false, ERROR_FILE_NOT_FOUND},  // 2
      {In(L"missing"), true, ERROR_PATH_NOT_FOUND},       // 3
      {In(L"sub"), false, ERROR_FILE_NOT_FOUND},          // a folder is no file
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoosenSecurity(c.path, c.is_folder), c.error) << Utf8(c.path) << " folder " << c.is_folder;
  }
}

namespace {

// The access list of a path, with whether each entry is an allow or a deny for Everyone or others.
struct AccessEntry {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  bool everyone;
};

bool ReadAccessList(const std::wstring& path, std::vector<AccessEntry>& entries, std::wstring* owner = nullptr) {
  PACL list = nullptr;
  PSID owner_sid = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                            &owner_sid, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  PSID world = nullptr;
  AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world);
  entries.clear();
  for (DWORD i = 0; list && i < list->AceCount; ++i) {
    void* ace = nullptr;
    GetAce(list, i, &ace);
    auto* header = static_cast<ACE_HEADER*>(ace);
    // Allowed and denied entries share their layout: header, mask, SID.
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    entries.push_back({header->AceType, header->AceFlags, allowed->Mask,
                       EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), world) != FALSE});
  }
  if (owner && owner_sid) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(owner_sid, &text)) {
      *owner = text;
      LocalFree(text);
    }
  }
  FreeSid(world);
  LocalFree(descriptor);
  return true;
}

std::wstring CurrentUserSid() {
  HANDLE token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  char buffer[256];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  wchar_t* text = nullptr;
  ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
  std::wstring out = text ? text : L"";
  LocalFree(text);
  return out;
}

// Puts an access list on `path`: a deny entry for the Guests group and an allow entry for
// Everyone limited to reading. Returns whether the system kept the deny entry (Wine keeps only
// what the file's Unix permission bits can say).
bool PutRestrictiveList(const std::wstring& path) {
  PSID guests = nullptr, world = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world_authority = SECURITY_WORLD_SID_AUTHORITY;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS, 0, 0, 0, 0, 0, 0, &guests);
  AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world);
  std::vector<BYTE> bytes(512);
  auto* list = reinterpret_cast<PACL>(bytes.data());
  InitializeAcl(list, DWORD(bytes.size()), ACL_REVISION);
  AddAccessDeniedAce(list, ACL_REVISION, FILE_WRITE_DATA, guests);
  AddAccessAllowedAce(list, ACL_REVISION, FILE_GENERIC_READ, world);
  std::wstring p = path;
  SetNamedSecurityInfoW(p.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, list, nullptr);
  FreeSid(guests);
  FreeSid(world);
  std::vector<AccessEntry> back;
  if (!ReadAccessList(path, back)) return false;
  for (const AccessEntry& e : back) {
    if (e.type == ACCESS_DENIED_ACE_TYPE) return true;
  }
  return false;
}

bool HasDenial(const std::vector<AccessEntry>& entries) {
  for (const AccessEntry& e : entries) {
    if (e.type == ACCESS_DENIED_ACE_TYPE) return true;
  }
  return false;
}

// Everyone may read, write, run and delete: generic all as written, or the file rights that stand
// for it (Wine shows what the Unix permission bits allow).
bool EveryoneMayDoEverything(const std::vector<AccessEntry>& entries, BYTE inheritance) {
  constexpr ACCESS_MASK kUse = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
  for (const AccessEntry& e : entries) {
    if (e.type == ACCESS_ALLOWED_ACE_TYPE && e.everyone && (e.flags & inheritance) == inheritance &&
        ((e.mask & GENERIC_ALL) || (e.mask & kUse) == kUse)) {
      return true;
    }
  }
  return false;
}

}  // namespace

TEST_F(RestartOperations, LoosenSecurityOpensAFileAndAFolderToEveryone) {
  const std::wstring file = In(L"locked down.dll");
  const std::wstring sub = In(L"sub");
  PutFile(file, "x");
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  const bool kept_denials = PutRestrictiveList(file) & PutRestrictiveList(sub);
  std::vector<AccessEntry> entries;
  ASSERT_TRUE(ReadAccessList(file, entries));
  ASSERT_FALSE(EveryoneMayDoEverything(entries, 0));  // the starting point is restrictive
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  EXPECT_EQ(LoosenSecurity(file, false), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(LoosenSecurity(sub, true), DWORD(ERROR_SUCCESS));

  EXPECT_EQ(GetFileAttributesW(file.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            0u);
  std::wstring owner;
  ASSERT_TRUE(ReadAccessList(file, entries, &owner));
  EXPECT_TRUE(EveryoneMayDoEverything(entries, 0));
  EXPECT_FALSE(HasDenial(entries));
  EXPECT_EQ(owner, CurrentUserSid());
  // A folder passes Everyone's access on to the sub-folders and files made in it later.
  ASSERT_TRUE(ReadAccessList(sub, entries, &owner));
  EXPECT_TRUE(EveryoneMayDoEverything(entries, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE));
  EXPECT_FALSE(HasDenial(entries));
  EXPECT_EQ(owner, CurrentUserSid());
  if (!kept_denials) std::printf("note: this system keeps no deny entries on files; their removal was not seen\n");
}

// The replacement file of a locked target keeps the security it inherits from its folder: the move
// at restart keeps its access list, so an open list would follow the file into the system folder.
TEST_F(RestartOperations, ReplacementFileKeepsTheSecurityOfItsFolder) {
  const std::wstring control = In(L"made here.dll");
  PutFile(control, "x");
  std::vector<AccessEntry> entries;
  ASSERT_TRUE(ReadAccessList(control, entries));
  if (EveryoneMayDoEverything(entries, 0)) GTEST_SKIP() << "files in the test folder are open to everyone already";

  const std::wstring target = In(L"System Library.dll");
  PutFile(target, "old contents");
  FileHolder holder(target);
  ASSERT_TRUE(holder.holding()) << holder.first_line();
  PutFile(In(L"extraction.bin"), "NEW");
  FileW extraction;
  ASSERT_EQ(extraction.Open(In(L"extraction.bin"), kOpenExisting | kNoWriteAccess), 0);
  ASSERT_EQ(ReplaceAtRestart(target, extraction, 0, 3, DateTime{}), ReplaceResult::kPending);

  std::vector<std::wstring> temporaries = FilesIn(folder_, L"TLT*.tmp");
  ASSERT_EQ(temporaries.size(), 1u);
  ASSERT_TRUE(ReadAccessList(In(temporaries[0]), entries));
  EXPECT_FALSE(EveryoneMayDoEverything(entries, 0));
}
