// The unhandled-exception filter, the terminate handler and the quiet threads.
#include "crash/crash_filter_win32.h"

#include <exception>
#include <utility>

#include "foundation/tl_file.h"

namespace halberd::crash {

namespace {

CrashHook g_hook = nullptr;
volatile LONG g_reporting = 0;  // one report per process
DWORD g_main_thread_id = 0;
DWORD g_faulting_thread_id = 0;

constexpr int kQuietSlots = 16;
volatile LONG g_quiet_threads[kQuietSlots] = {};

bool IsQuietThread(DWORD id) {
  for (int i = 0; i < kQuietSlots; ++i)
    if (DWORD(InterlockedCompareExchange(&g_quiet_threads[i], 0, 0)) == id) return true;
  return false;
}

CrashRecord RecordOf(const EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& e = *pointers->ExceptionRecord;
  CrashRecord r;
  r.code = e.ExceptionCode;
  r.address = uint32_t(reinterpret_cast<uintptr_t>(e.ExceptionAddress));
  r.continuable = (e.ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0;
  if (e.ExceptionCode == exception_code::kAccessViolation && e.NumberParameters >= 2) {
    r.write_access = e.ExceptionInformation[0] == 1;  // 0 read, 1 write, 8 execute
    r.memory_address = uint32_t(e.ExceptionInformation[1]);
  }
#if defined(_M_IX86) || defined(__i386__)
  if (const CONTEXT* c = pointers->ContextRecord) {
    r.context = {c->EFlags, c->Eax, c->Ebx, c->Ecx, c->Edx, c->Edi, c->Esi, c->Eip,
                 c->Ebp,    c->Esp, c->SegCs, c->SegDs, c->SegEs, c->SegFs, c->SegGs, c->SegSs};
  }
#endif
  return r;
}

struct HookCall {
  const CrashRecord* record;
  bool handled = false;
};

DWORD WINAPI HookThread(void* param) {
  auto* call = static_cast<HookCall*>(param);
  call->handled = g_hook(*call->record);
  return 0;
}

// Runs the hook on a thread with a stack of its own; where no thread can be made, here.
bool CallHook(const CrashRecord& record) {
  HookCall call{&record};
  UniqueKernelHandle thread(CreateThread(nullptr, 1 << 20, &HookThread, &call, 0, nullptr));
  if (!thread) return g_hook(record);
  WaitForSingleObject(thread.get(), INFINITE);
  return call.handled;
}

// The exit code after a report: the exception's own code (as the system's default handling would
// end the process with it), -1 for a fatal error. Also after a stack overflow: ending it with 0
// would tell the caller that the run succeeded.
UINT ExitCodeOf(uint32_t code) { return code == exception_code::kFatalError ? UINT(-1) : UINT(code); }

LONG WINAPI Filter(EXCEPTION_POINTERS* pointers) {
  const uint32_t code = pointers->ExceptionRecord->ExceptionCode;
  if (FilterPassesOn(code)) return EXCEPTION_CONTINUE_SEARCH;
  if (IsQuietThread(GetCurrentThreadId())) ExitThread(code);
  if (!g_hook || InterlockedExchange(&g_reporting, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
  g_faulting_thread_id = GetCurrentThreadId();
  const CrashRecord record = RecordOf(pointers);
  CallHook(record);
  // Reported (or shown and left by the user): the system's own crash dialog or debugger would
  // only tell the same again.
  TerminateProcess(GetCurrentProcess(), ExitCodeOf(code));
  return EXCEPTION_EXECUTE_HANDLER;
}

std::string CurrentExceptionText() {
  std::exception_ptr current = std::current_exception();
  if (!current) return "std::terminate called without an active exception";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    return std::string("Unhandled C++ exception: ") + e.what();
  } catch (...) {
    return "Unhandled C++ exception";
  }
}

void OnTerminate() { ReportFatalError(CurrentExceptionText()); }

std::string g_program_name, g_version, g_edition;

}  // namespace

void SetReportIdentity(std::string program_name, std::string version, std::string edition) {
  g_program_name = std::move(program_name);
  g_version = std::move(version);
  g_edition = std::move(edition);
}

void InstallCrashFilter(CrashHook hook) {
  g_hook = hook;
  g_main_thread_id = GetCurrentThreadId();
  SetUnhandledExceptionFilter(&Filter);
  std::set_terminate(&OnTerminate);
}

void ReportFatalError(const std::string& message_cp1252) {
  if (g_hook && InterlockedExchange(&g_reporting, 1) == 0) {
    g_faulting_thread_id = GetCurrentThreadId();
    CrashRecord record;
    record.code = exception_code::kFatalError;
    record.message = message_cp1252;
    CallHook(record);
  }
  TerminateProcess(GetCurrentProcess(), UINT(-1));
  ExitProcess(UINT(-1));
}

QuietThreadScope::QuietThreadScope() {
  const LONG id = LONG(GetCurrentThreadId());
  for (int i = 0; i < kQuietSlots && slot_ < 0; ++i)
    if (InterlockedCompareExchange(&g_quiet_threads[i], id, 0) == 0) slot_ = i;
}

QuietThreadScope::~QuietThreadScope() {
  if (slot_ >= 0) InterlockedExchange(&g_quiet_threads[slot_], 0);
}

std::string BuildCrashReport(const CrashRecord& record) {
  CrashFacts facts = GatherCrashFacts(record, g_faulting_thread_id ? g_faulting_thread_id : GetCurrentThreadId());
  facts.program_name = g_program_name;
  facts.version = g_version;
  facts.edition = g_edition;
  facts.main_thread_id = g_main_thread_id;
  return CrashReportText(record, facts);
}

}  // namespace halberd::crash
