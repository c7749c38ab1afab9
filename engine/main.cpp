// Entry point of the installer/uninstaller. DLL search hardening comes before anything else:
// installers are run from Downloads folders, where a planted DLL must never be loaded.
#include <windows.h>

#include "engine/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  halberd::engine::HardenDllSearch();
  return halberd::engine::RunProcess();
}
