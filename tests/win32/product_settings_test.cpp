// A 64-bit product switches the file-system redirection off when its script is read: on 64-bit
// Windows that works, on 32-bit Windows it cannot and the failure is kept for the platform check;
// other bitness values leave the redirection alone.
#include "engine/product_settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/run_state.h"

using namespace halberd::engine;

namespace {

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}

// Whether "<Windows>\System32\<name>" exists: with the redirection on, a 32-bit process sees
// SysWOW64 there.
bool SeenInSystem32(const std::wstring& name) {
  wchar_t windows[MAX_PATH];
  UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  std::wstring path = std::wstring(windows, n) + L"\\System32\\" + name;
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(Bitness, SixtyFourBitProductSwitchesRedirectionOff) {
  RunState& run = halberd::engine::Run();
  const RunState saved = run;
  const bool wow64 = RunsUnderWow64();
  // A file only in the 32-bit system folder: visible through System32 only while redirected.
  const std::wstring name = L"halberd-redirection-probe.txt";
  wchar_t wow[MAX_PATH];
  UINT n = wow64 ? GetSystemWow64DirectoryW(wow, MAX_PATH) : 0;
  const std::wstring probe = std::wstring(wow, n) + L"\\" + name;
  if (wow64) {
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    ASSERT_TRUE(SeenInSystem32(name));
  }

  struct Case {
    uint8_t bitness;
    bool switches;
  };
  const Case cases[] = {{0, false}, {2, false}, {1, true}};
  for (const Case& c : cases) {
    ApplyBitness(c.bitness);
    if (!c.switches) {
      EXPECT_FALSE(run.fs_redirection_off) << int(c.bitness);
      EXPECT_FALSE(run.fs_redirection_failed) << int(c.bitness);
      if (wow64) EXPECT_TRUE(SeenInSystem32(name)) << int(c.bitness);
      continue;
    }
    // On 32-bit Windows the switch cannot work: the failure is kept, not raised here.
    EXPECT_EQ(run.fs_redirection_off, wow64);
    EXPECT_EQ(run.fs_redirection_failed, !wow64);
    if (wow64) EXPECT_FALSE(SeenInSystem32(name));
  }
  RestoreFsRedirection();
  EXPECT_FALSE(run.fs_redirection_off);
  if (wow64) {
    EXPECT_TRUE(SeenInSystem32(name));
    DeleteFileW(probe.c_str());
  }
  run = saved;
}
