// System libraries with the file-system redirection of a 64-bit product switched off: the load
// runs with redirection on, so the 32-bit DLL comes in and its functions work, and redirection is
// off again afterwards.
#include "foundation/fs_redirection.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/system_library.h"

using namespace halberd;

TEST(FsRedirectionWin32, SystemLibrariesLoadWhileRedirectionIsOff) {
  FsRedirection& redirection = ProcessFsRedirection();
  if (!redirection.SwitchOff()) GTEST_SKIP() << "no file-system redirection here (32-bit Windows)";
  struct RestoreAtEnd {
    ~RestoreAtEnd() { ProcessFsRedirection().Restore(); }
  } restore_at_end;

  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  auto size_of = SystemFunction<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  ASSERT_NE(size_of, nullptr);
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  DWORD handle = 0;
  EXPECT_GT(size_of((std::wstring(system) + L"\\kernel32.dll").c_str(), &handle), 0u);
  for (const wchar_t* name : {L"wintrust.dll", L"winmm.dll"}) EXPECT_NE(LoadSystemLibrary(name), nullptr) << name;
  EXPECT_TRUE(redirection.IsOff());
  EXPECT_FALSE(redirection.LostOnReturn());
}
