// The PATH entry on a real registry (Wine): a long expandable PATH gets the folder at its end with
// its type and every other character kept, and loses exactly that entry again. The machine's PATH
// is put back as it was after each test. The tests run side by side in one Wine prefix, so each
// holds a named mutex while the machine's PATH is its own.
#include "integration/path_entry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace halberd;

namespace {

constexpr wchar_t kEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
  bool present = false;
};

RawValue ReadPath() {
  RawValue v;
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kEnvironment, L"Path", RRF_RT_ANY | RRF_NOEXPAND, &v.type, nullptr, &size) !=
      ERROR_SUCCESS)
    return v;
  v.bytes.resize(size);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kEnvironment, L"Path", RRF_RT_ANY | RRF_NOEXPAND, &v.type, v.bytes.data(),
                   &size) == ERROR_SUCCESS) {
    v.bytes.resize(size);
    v.present = true;
  }
  return v;
}

void WritePath(DWORD type, const std::wstring& text) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEnvironment, L"Path", type, text.c_str(),
                            DWORD((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

std::wstring TextOf(const RawValue& v) {
  std::wstring text(reinterpret_cast<const wchar_t*>(v.bytes.data()), v.bytes.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

// Keeps the machine's PATH and a product folder for one test, and puts both back afterwards.
class PathEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lock_ = CreateMutexW(nullptr, FALSE, L"HalberdTestMachinePath");
    ASSERT_NE(lock_, nullptr);
    DWORD waited = WaitForSingleObject(lock_, INFINITE);
    ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
    saved_ = ReadPath();
    folder_ = test::SystemTempPath() + L"\\halberd-path-entry";
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    if (saved_.present)
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEnvironment, L"Path", saved_.type, saved_.bytes.data(), DWORD(saved_.bytes.size()));
    test::DeleteTree(folder_);
    if (lock_) {
      ReleaseMutex(lock_);
      CloseHandle(lock_);
    }
  }
  HANDLE lock_ = nullptr;
  RawValue saved_;
  std::wstring folder_;
};

TEST_F(PathEntryTest, LongExpandablePathKeepsItsTypeAndComesBackWhole) {
  std::wstring path = L"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem";
  for (int i = 0; path.size() < 4000; ++i) path += L";C:\\Tools\\Folder" + std::to_wstring(i);
  WritePath(REG_EXPAND_SZ, path);

  EXPECT_TRUE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u""));
  RawValue added = ReadPath();
  EXPECT_EQ(added.type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(TextOf(added), path + L";" + folder_);
  // A second installation adds nothing.
  EXPECT_FALSE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u""));

  EXPECT_TRUE(integration::UpdatePath(integration::PathChange::kRemove, folder_, u""));
  RawValue removed = ReadPath();
  EXPECT_EQ(removed.type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(TextOf(removed), path);
}

TEST_F(PathEntryTest, PlainPathStaysPlainAndAFolderAlreadyThereIsLeftAlone) {
  std::wstring upper = folder_;
  CharUpperBuffW(upper.data(), DWORD(upper.size()));
  const std::wstring path = L"C:\\windows;" + upper + L"\\;C:\\Tools";
  WritePath(REG_SZ, path);
  EXPECT_FALSE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u""));
  EXPECT_FALSE(integration::UpdatePath(integration::PathChange::kRemove, folder_, u""));
  RawValue after = ReadPath();
  EXPECT_EQ(after.type, DWORD(REG_SZ));
  EXPECT_EQ(TextOf(after), path);

  WritePath(REG_SZ, L"C:\\windows");
  EXPECT_TRUE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u""));
  after = ReadPath();
  EXPECT_EQ(after.type, DWORD(REG_SZ));
  EXPECT_EQ(TextOf(after), L"C:\\windows;" + folder_);
}

TEST_F(PathEntryTest, MissingFolderOrEmptyPathChangesNothing) {
  WritePath(REG_EXPAND_SZ, L"C:\\windows");
  EXPECT_FALSE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u"not-there"));
  EXPECT_EQ(TextOf(ReadPath()), L"C:\\windows");

  WritePath(REG_EXPAND_SZ, L"");
  EXPECT_FALSE(integration::UpdatePath(integration::PathChange::kAdd, folder_, u""));
  EXPECT_EQ(TextOf(ReadPath()), L"");
}

}  // namespace
