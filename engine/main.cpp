// Entry point of the installer/uninstaller. DLL search hardening comes before anything else:
// installers are run from Downloads folders, where a planted DLL must never be loaded.
#include <windows.h>

#include <cstdlib>

#include "engine/startup.h"

// An exception that escapes ends the process without the library's verbose report: that report
// links the C++ name demangler (some 50 KB) into a program with no console to print it on.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  halberd::engine::HardenDllSearch();
  return halberd::engine::RunProcess();
}
