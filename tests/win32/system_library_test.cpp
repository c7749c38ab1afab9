// Run-time loading of system DLLs by full path.
#include "foundation/system_library.h"

#include <gtest/gtest.h>

#include <string>

TEST(SystemLibrary, LoadsFromTheSystemFolderOnly) {
  HMODULE m = halberd::LoadSystemLibrary(L"version.dll");
  ASSERT_NE(m, nullptr);
  wchar_t path[MAX_PATH], system[MAX_PATH];
  GetModuleFileNameW(m, path, MAX_PATH);
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0) << std::wstring(path).size();
  EXPECT_EQ(halberd::LoadSystemLibrary(L"no-such-library-here.dll"), nullptr);
  EXPECT_EQ(halberd::SystemFunction<void (*)()>(L"kernel32.dll", "NoSuchFunctionAnywhere"), nullptr);
}
