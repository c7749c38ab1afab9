// Run-time loading of system DLLs by full path: a DLL of the same name planted beside the program
// is never the one loaded.
#include "foundation/system_library.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/win32/test_support.h"

using halberd::test::DeleteTree;
using halberd::test::Exists;
using halberd::test::SystemTempPath;

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

namespace {

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return program.substr(0, program.rfind(L'\\') + 1) + name;
}

// Sets an environment variable for the programs this process starts, and puts it back.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t buffer[4096];
    DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    had_ = n > 0 && n < 4096;
    if (had_) old_.assign(buffer, n);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  const std::wstring& old() const { return old_; }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

// Runs `program` with `arguments` and waits; its exit code, or -1 when it did not start.
int RunAndWait(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = DWORD(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return int(code);
}

}  // namespace

// "srclient.dll" (the system-restore client, loaded at run time by the installer) is planted beside
// a program that loads it. A plain LoadLibraryW takes the planted one (the control: the plant
// works); the system-library loader never does. Under Wine the override "n,b" makes Wine take a
// native DLL it finds before its built-in one, as Windows would.
TEST(SystemLibrary, ADllPlantedBesideTheProgramIsNeverLoaded) {
  const std::wstring folder = SystemTempPath() + L"\\halberd-planted-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring markers = folder + L"\\markers";
  DeleteTree(folder);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(markers.c_str(), nullptr));
  const std::wstring program = folder + L"\\load_library.exe";
  ASSERT_TRUE(CopyFileW(BesideThisProgram(L"load_library.exe").c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(BesideThisProgram(L"planted_dll.dll").c_str(), (folder + L"\\srclient.dll").c_str(), FALSE));
  const std::wstring marker = markers + L"\\srclient.dll.loaded";

  ScopedVariable probe(L"HALBERD_PROBE_MARKERS", markers);
  wchar_t overrides[4096];
  DWORD n = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 4096);
  std::wstring with_native = (n > 0 && n < 4096) ? std::wstring(overrides, n) + L";" : L"";
  ScopedVariable native_first(L"WINEDLLOVERRIDES", with_native + L"srclient=n,b");

  EXPECT_EQ(RunAndWait(program, L"--plain srclient.dll"), 0);
  ASSERT_TRUE(Exists(marker)) << "the planted DLL was not loaded even by name: the test proves nothing";
  DeleteFileW(marker.c_str());

  RunAndWait(program, L"srclient.dll");  // a system without the DLL loads nothing: fine too
  EXPECT_FALSE(Exists(marker));
  DeleteTree(folder);
}
