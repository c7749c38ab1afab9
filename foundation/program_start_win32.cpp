// Starting a program by its full path, without waiting for it.
#include "foundation/program_start.h"

#include "foundation/tl_file.h"

namespace halberd {

bool StartProgram(const std::wstring& application, const std::wstring& command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring buffer = command_line;  // CreateProcessW may write into its command line
  if (!CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  UniqueKernelHandle process_handle(process.hProcess);
  UniqueKernelHandle thread_handle(process.hThread);
  return true;
}

}  // namespace halberd
