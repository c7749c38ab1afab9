// crash_process.exe: makes another program crash from outside, for the tests of the installer's
// crash handler (the installer has no way to crash on purpose).
//
//   crash_process.exe sleep MS    sleeps (a batch command that keeps an installer inside its run)
//   crash_process.exe fault NAME [MS]
//                                 waits (at most MS, default 120000) until a "crash_process.exe
//                                 sleep" runs and a process whose file is NAME exists, starts a
//                                 thread at an invalid address in NAME (an access violation
//                                 inside it), waits for NAME to end, ends the sleeper and exits
//                                 with 0 (3 when the wait runs out, 4 when no thread could start)
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The id of a process whose file name is `name`, other than this one; 0 when none.
DWORD FindProcess(const wchar_t* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, name) == 0 && entry.th32ProcessID != GetCurrentProcessId())
      found = entry.th32ProcessID;
  CloseHandle(snapshot);
  return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"sleep") == 0) {
    Sleep(DWORD(_wtoi(argv[2])));
    return 0;
  }
  if (argc < 3 || std::wcscmp(argv[1], L"fault") != 0) return 9;
  const DWORD limit = argc >= 4 ? DWORD(_wtoi(argv[3])) : 120000;
  DWORD sleeper = 0, target = 0;
  for (DWORD waited = 0; !(sleeper && target); waited += 100) {
    if (waited > limit) return 3;
    Sleep(100);
    sleeper = FindProcess(L"crash_process.exe");
    target = FindProcess(argv[2]);
  }
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, target);
  if (!process) return 4;
  // A thread that starts at address 0x10: an access violation as it begins.
  HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(uintptr_t(0x10)),
                                     nullptr, 0, nullptr);
  if (!thread) {
    CloseHandle(process);
    return 4;
  }
  CloseHandle(thread);
  std::printf("faulted %lu\n", static_cast<unsigned long>(target));
  std::fflush(stdout);
  WaitForSingleObject(process, limit);
  CloseHandle(process);
  if (HANDLE s = OpenProcess(PROCESS_TERMINATE, FALSE, sleeper)) {
    TerminateProcess(s, 0);
    CloseHandle(s);
  }
  return 0;
}
