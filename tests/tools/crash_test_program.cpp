// crash_test_program.exe KIND [--silent] [--post URL] [--report FILE]: a test program, never part
// of the installer, that links the crash module and faults on purpose, so that the tests see the
// filter, the report, the crash dialog and the post as the installer has them.
//
//   KIND  access-violation   writes to a reserved page that holds no memory (address 0 is no sure
//                            fault: in the emulated test machine Wine let a write there pass)
//         stack-overflow     recurses without end
//         cpp-exception      throws a C++ exception that nothing catches
//   --silent       no dialog: the report is posted at once (as in the installer's silent runs)
//   --post URL     where "Inform Us" (or a silent run) posts the report; none: "Inform Us" is off
//   --report FILE  the report is written to FILE (code page 1252) as the hook records it
// Prints "armed" once the filter is installed. Exits with the crash's code (-1 for the C++
// exception); 9 for a usage error.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "crash/crash_filter_win32.h"
#include "crash/crash_reporter_win32.h"
#include "engine/notifications.h"
#include "foundation/tl_file.h"

namespace {

std::wstring g_report_file;
std::string g_post_url;
bool g_silent = false;

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());  // the tests pass ASCII
}

void WriteReport(const std::string& report) {
  if (g_report_file.empty()) return;
  halberd::UniqueFileHandle file(
      CreateFileW(g_report_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), report.data(), DWORD(report.size()), &written, nullptr);
}

bool TestHook(const halberd::crash::CrashRecord& record) {
  halberd::crash::CrashHandling handling;
  handling.interactive = !g_silent;
  handling.endpoint = g_post_url;
  handling.file_name = halberd::crash::ProgramFileName();
  handling.record = &WriteReport;
  handling.post = [](const std::string& url, const halberd::crash::FormFields& fields) {
    halberd::engine::PostFormNow(url, fields);
  };
  return halberd::crash::HandleCrash(record, handling);
}

__attribute__((noinline)) void WriteToReservedPage() {
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  std::printf("writing to %08lX\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(reserved)));
  std::fflush(stdout);
  *static_cast<volatile int*>(reserved) = 42;
}

__attribute__((noinline)) int Recurse(int depth) {
  volatile char pad[4096];
  pad[0] = char(depth);
  return Recurse(depth + 1) + pad[0];
}

__attribute__((noinline)) void Throw() { throw std::runtime_error("nobody catches this"); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 9;
  const std::wstring kind = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--silent")
      g_silent = true;
    else if (arg == L"--post" && i + 1 < argc)
      g_post_url = Narrow(argv[++i]);
    else if (arg == L"--report" && i + 1 < argc)
      g_report_file = argv[++i];
    else
      return 9;
  }
  halberd::crash::SetReportIdentity("Crash Test", "1.0", "");
  halberd::crash::InstallCrashFilter(&TestHook);
  std::printf("armed\n");
  std::fflush(stdout);
  if (kind == L"access-violation")
    WriteToReservedPage();
  else if (kind == L"stack-overflow")
    std::printf("%d\n", Recurse(0));
  else if (kind == L"cpp-exception")
    Throw();
  else
    return 9;
  return 0;
}
