/* Holds a file open without sharing, as a running program holds its own file: opens the file
   named first, creates the file named second to say so, and keeps the file open until the file
   named third appears (or two minutes pass). Built by the end-to-end tests. */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (held == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (ready == INVALID_HANDLE_VALUE) return 4;
  CloseHandle(ready);
  for (int i = 0; i < 1200 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  CloseHandle(held);
  return 0;
}
