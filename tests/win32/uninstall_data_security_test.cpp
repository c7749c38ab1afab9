// The security of "Uninstall.dat": an elevated write leaves a file only administrators and SYSTEM
// may change, and the check an elevated uninstaller makes refuses a file users may change.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "uninstall/uninstall_data.h"

using namespace halberd;
using namespace halberd::uninstall;

namespace {

class UninstallDataSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::SystemTempPath() + L"\\halberd-uninstall-security";
    test::DeleteTree(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\Uninstall.dat";
  }
  void TearDown() override { test::DeleteTree(folder_); }

  // Gives the file the access list of `sddl` (protected: nothing inherited).
  void SetAccess(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    DWORD result = SetNamedSecurityInfoW(path_.data(), SE_FILE_OBJECT,
                                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, dacl, nullptr);
    LocalFree(descriptor);
    ASSERT_EQ(result, DWORD(ERROR_SUCCESS));
  }

  std::wstring folder_;
  std::wstring path_;
};

}  // namespace

TEST_F(UninstallDataSecurity, AnElevatedWriteLeavesAFileUsersCannotChange) {
  if (!ProcessIsElevated()) GTEST_SKIP() << "the test process is not elevated";
  UninstallData data;
  ASSERT_TRUE(WriteUninstallDataFile(data, path_));
  EXPECT_FALSE(DataFileOpenToOrdinaryUsers(path_));
}

TEST_F(UninstallDataSecurity, AFileUsersMayModifyIsRefused) {
  if (!test::FileSystemKeepsAccessLists(folder_)) GTEST_SKIP() << "the file system keeps no access lists";
  UninstallData data;
  ASSERT_TRUE(WriteUninstallDataFile(data, path_));
  SetAccess(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;BU)");
  EXPECT_TRUE(DataFileOpenToOrdinaryUsers(path_));
  SetAccess(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)");
  EXPECT_FALSE(DataFileOpenToOrdinaryUsers(path_));
  SetAccess(L"D:P(A;;FA;;;SY)(A;;FA;;;WD)");  // Everyone
  EXPECT_TRUE(DataFileOpenToOrdinaryUsers(path_));
}

TEST_F(UninstallDataSecurity, TheCheckOnTheFileReadAgreesWithTheCheckByPath) {
  if (!test::FileSystemKeepsAccessLists(folder_)) GTEST_SKIP() << "the file system keeps no access lists";
  UninstallData data;
  ASSERT_TRUE(WriteUninstallDataFile(data, path_));
  SetAccess(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;BU)");
  UninstallData loaded;
  bool open = false;
  ASSERT_EQ(LoadUninstallDataFile(path_, loaded, &open), 0);
  EXPECT_TRUE(open);
  SetAccess(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)");
  ASSERT_EQ(LoadUninstallDataFile(path_, loaded, &open), 0);
  EXPECT_FALSE(open);
}

TEST_F(UninstallDataSecurity, AMissingFileCountsAsChangeable) {
  EXPECT_TRUE(DataFileOpenToOrdinaryUsers(folder_ + L"\\missing.dat"));
}
