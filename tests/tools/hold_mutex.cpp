// hold_mutex.exe NAME READY RELEASE: creates and takes the named mutex, as a running installer
// holds its single-installer mutex, so that tests meet a second installer. Once the mutex is owned
// it creates the file READY; it then keeps the mutex until the file RELEASE exists (or 120 seconds
// pass) and exits with 0. Files signal rather than pipes: under Wine a pipe may stay open after the
// program ends. Exits with 2 when the mutex cannot be taken.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 1;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[1]);
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 2;
  HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int i = 0; i < 1200 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return 0;
}
