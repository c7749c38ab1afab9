// The process's unhandled-exception filter and its crash hook. The filter fills a crash record
// (code, address, access, registers) for a processor exception that nothing handled and hands it
// to the hook, which reports it; the process then ends with the exception code. A C++ exception
// that escapes (std::terminate) takes the same road as the library's fatal error, code
// exception_code::kFatalError, and ends the process with -1.
//
// The report is made on a thread of its own with a stack of its own, the faulting thread waiting:
// after a stack overflow the faulting thread has too little stack left to make one.
//
// Threads that run foreign code whose faults must not end the process (the trust provider) are
// registered as ending quietly: a fault on them ends the thread alone, with the exception code as
// its exit code, and no report.
#pragma once
#include <windows.h>

#include <string>

#include "crash/crash_report.h"

namespace halberd::crash {

// Reports a crash; returns whether the report was sent (the user's "Inform Us", or a run without
// questions that posted it). Runs at most once per process.
using CrashHook = bool (*)(const CrashRecord& record);

// The process identity named in the report's "Product:" line.
void SetReportIdentity(std::string program_name, std::string version, std::string edition);

// Installs the hook (nullptr: none, the filter then leaves every exception to the system) and
// makes the library filter the process's unhandled-exception filter and terminate handler. The
// calling thread is the main (user-interface) thread named in reports.
void InstallCrashFilter(CrashHook hook);

// Ends the process through the crash hook with a fatal error: used for a C++ exception that
// escaped. Exit code -1.
[[noreturn]] void ReportFatalError(const std::string& message_cp1252);

// Registers the calling thread as one whose exceptions end it quietly; removed again when the
// object goes. At most 16 such threads at a time; further ones are simply not registered.
class QuietThreadScope {
 public:
  QuietThreadScope();
  ~QuietThreadScope();
  QuietThreadScope(const QuietThreadScope&) = delete;
  QuietThreadScope& operator=(const QuietThreadScope&) = delete;

 private:
  int slot_ = -1;
};

// The facts of the report about this process and system (crash_facts_win32.cpp): modules, the
// call stack from the record's registers, times, system and user settings.
CrashFacts GatherCrashFacts(const CrashRecord& record, DWORD faulting_thread_id);

// Whether an allocation failed earlier in the process (out_of_memory_win32.cpp).
bool MemoryRanOutBefore();

// The whole report of a record, as the hook builds it.
std::string BuildCrashReport(const CrashRecord& record);

}  // namespace halberd::crash
