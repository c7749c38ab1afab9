// hold_file.exe PATH [SECONDS]: holds an existing file open for reading and writing without
// sharing, as a running program holds its own files, so that tests meet a really locked file.
// Prints "holding PATH" on standard output once the file is held (or "cannot open PATH: code N"
// and exits with 2), then keeps it until its standard input ends (the caller closes the pipe) or
// SECONDS pass (default 120), and exits with 0. Without a standard input it waits for the time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Reads standard input until its end; the main thread waits for this thread.
DWORD WINAPI DrainInput(void* input) {
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(static_cast<HANDLE>(input), buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  return 0;
}

void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string Narrow(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? size_t(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    Say("usage: hold_file PATH [SECONDS]\n");
    return 1;
  }
  DWORD seconds = argc == 3 ? DWORD(std::wcstoul(argv[2], nullptr, 10)) : 120;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say("cannot open " + Narrow(argv[1]) + ": code " + std::to_string(GetLastError()) + "\n");
    return 2;
  }
  Say("holding " + Narrow(argv[1]) + "\n");

  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE reader = nullptr;
  if (input != nullptr && input != INVALID_HANDLE_VALUE) {
    reader = CreateThread(nullptr, 0, DrainInput, input, 0, nullptr);
  }
  if (reader) {
    WaitForSingleObject(reader, seconds * 1000);
  } else {
    Sleep(seconds * 1000);
  }
  CloseHandle(file);
  // The reader may still be blocked in ReadFile; ending the process ends it.
  ExitProcess(0);
}
