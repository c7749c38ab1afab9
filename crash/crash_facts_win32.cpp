// The facts of a crash report gathered from the system: the loaded modules (tool help, else the
// process-status functions), the call stack (the debug-help library, loaded at run time from the
// system folder), process times, Windows, Internet Explorer and Office versions, the user's
// language and locale, and the command line. Each part is left out when its system function is
// missing; nothing here fails the report.
#include <windows.h>
#include <dbghelp.h>  // the types only: the library itself is loaded at run time
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

#include "crash/crash_filter_win32.h"
#include "foundation/system_library.h"
#include "foundation/tl_file.h"
#include "foundation/windows_version.h"

namespace halberd::crash {

namespace {

std::string To1252(const wchar_t* text) {
  int n = WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(1252, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(size_t(n - 1));
  return out;
}

std::vector<ModuleRange> ToolHelpModules() {
  std::vector<ModuleRange> modules;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot) return modules;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry))
    modules.push_back({uint32_t(reinterpret_cast<uintptr_t>(entry.modBaseAddr)), entry.modBaseSize,
                       To1252(entry.szModule)});
  return modules;
}

std::vector<ModuleRange> ProcessStatusModules() {
  struct ModuleInfo {
    void* base;
    DWORD size;
    void* entry;
  };
  using EnumFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using InfoFn = BOOL(WINAPI*)(HANDLE, HMODULE, ModuleInfo*, DWORD);
  using NameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
  auto enumerate = SystemFunction<EnumFn>(L"psapi.dll", "EnumProcessModules");
  auto info = SystemFunction<InfoFn>(L"psapi.dll", "GetModuleInformation");
  auto name = SystemFunction<NameFn>(L"psapi.dll", "GetModuleBaseNameW");
  std::vector<ModuleRange> modules;
  if (!enumerate || !info || !name) return modules;
  HMODULE handles[1024];
  DWORD needed = 0;
  if (!enumerate(GetCurrentProcess(), handles, sizeof handles, &needed)) return modules;
  for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 1024; ++i) {
    ModuleInfo mi{};
    wchar_t base_name[MAX_PATH] = {};
    if (!info(GetCurrentProcess(), handles[i], &mi, sizeof mi)) continue;
    name(GetCurrentProcess(), handles[i], base_name, MAX_PATH);
    modules.push_back({uint32_t(reinterpret_cast<uintptr_t>(mi.base)), mi.size, To1252(base_name)});
  }
  return modules;
}

uint64_t Milliseconds(const FILETIME& t) {
  return ((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
}

std::optional<ProcessTimes> TimesOfProcess() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return std::nullopt;
  GetSystemTimeAsFileTime(&now);
  const uint64_t start = Milliseconds(created), end = Milliseconds(now);
  return ProcessTimes{end > start ? end - start : 0, Milliseconds(kernel), Milliseconds(user)};
}

std::string RegistryText(const wchar_t* key, const wchar_t* value) {
  wchar_t data[512] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return {};
  return To1252(data);
}

std::string InternetExplorerVersion() {
  const wchar_t* key = L"Software\\Microsoft\\Internet Explorer";
  std::string version = RegistryText(key, L"svcVersion");
  return version.empty() ? RegistryText(key, L"Version") : version;
}

std::optional<OfficeVersion> InstalledOffice() {
  std::string click_to_run =
      RegistryText(L"Software\\Microsoft\\Office\\ClickToRun\\Configuration", L"VersionToReport");
  if (!click_to_run.empty()) return OfficeVersion{click_to_run, "Click-to-Run"};
  for (const wchar_t* version : {L"16.0", L"15.0", L"14.0", L"12.0", L"11.0"}) {
    std::wstring key = std::wstring(L"Software\\Microsoft\\Office\\") + version + L"\\Common\\InstallRoot";
    std::string path = RegistryText(key.c_str(), L"Path");
    if (!path.empty()) return OfficeVersion{To1252(version), path};
  }
  return std::nullopt;
}

std::string UserLanguage() {
  wchar_t name[128] = {};
  if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, name, 128)) return {};
  return To1252(name);
}

// The x86 stack walk of the debug-help library, from the record's registers.
std::vector<StackFrame> CallStack(const CrashRecord& record, DWORD thread_id) {
  std::vector<StackFrame> frames;
#if defined(_M_IX86) || defined(__i386__)
  using SetOptionsFn = DWORD(WINAPI*)(DWORD);
  using InitializeFn = BOOL(WINAPI*)(HANDLE, const char*, BOOL);
  using CleanupFn = BOOL(WINAPI*)(HANDLE);
  using WalkFn = BOOL(WINAPI*)(DWORD, HANDLE, HANDLE, STACKFRAME64*, void*, void*, void*, void*, void*);
  using FromAddrFn = BOOL(WINAPI*)(HANDLE, DWORD64, DWORD64*, SYMBOL_INFO*);
  HMODULE dbghelp = LoadSystemLibrary(L"dbghelp.dll");
  if (!dbghelp) return frames;
  auto set_options = reinterpret_cast<SetOptionsFn>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymSetOptions")));
  auto initialize = reinterpret_cast<InitializeFn>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymInitialize")));
  auto cleanup = reinterpret_cast<CleanupFn>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymCleanup")));
  auto walk = reinterpret_cast<WalkFn>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "StackWalk64")));
  void* table_access = reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymFunctionTableAccess64"));
  void* module_base = reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymGetModuleBase64"));
  auto from_addr = reinterpret_cast<FromAddrFn>(reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymFromAddr")));
  if (!set_options || !initialize || !cleanup || !walk || !table_access || !module_base || !from_addr) return frames;

  const HANDLE process = GetCurrentProcess();
  UniqueKernelHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, thread_id));
  set_options(0x00000002 /* SYMOPT_UNDNAME */ | 0x00000004 /* SYMOPT_DEFERRED_LOADS */);
  if (!initialize(process, nullptr, TRUE)) return frames;

  uint32_t eip = record.context.eip, ebp = record.context.ebp, esp = record.context.esp;
  if (eip == 0 && ebp != 0) {
    // A call through a null pointer: the frame at EBP holds the caller's frame and return address.
    uint32_t saved[2] = {};
    SIZE_T read = 0;
    if (ReadProcessMemory(process, reinterpret_cast<void*>(uintptr_t(ebp)), saved, sizeof saved, &read) &&
        read == sizeof saved) {
      esp = ebp + 8;
      eip = saved[1];
      ebp = saved[0];
    }
  }
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  context.Eip = eip;
  context.Ebp = ebp;
  context.Esp = esp;
  STACKFRAME64 frame{};
  frame.AddrPC.Offset = eip;
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Offset = ebp;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Offset = esp;
  frame.AddrStack.Mode = AddrModeFlat;

  alignas(8) char symbol_space[sizeof(SYMBOL_INFO) + kMaxSymbolLength + 1];
  while (frames.size() < kMaxStackFrames &&
         walk(IMAGE_FILE_MACHINE_I386, process, thread ? thread.get() : GetCurrentThread(), &frame, &context, nullptr,
              table_access, module_base, nullptr)) {
    if (frame.AddrPC.Offset == 0 || frame.AddrFrame.Offset == 0) break;
    StackFrame f{uint32_t(frame.AddrFrame.Offset), uint32_t(frame.AddrPC.Offset), {}};
    std::memset(symbol_space, 0, sizeof symbol_space);
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(symbol_space);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = kMaxSymbolLength;
    DWORD64 displacement = 0;
    if (from_addr(process, frame.AddrPC.Offset, &displacement, symbol)) f.symbol.assign(symbol->Name);
    frames.push_back(std::move(f));
  }
  cleanup(process);
#endif
  return frames;
}

}  // namespace

CrashFacts GatherCrashFacts(const CrashRecord& record, DWORD faulting_thread_id) {
  CrashFacts facts;
  facts.thread_id = faulting_thread_id;
  facts.times = TimesOfProcess();
  facts.os = WindowsName(RunningWindows());
  facts.ie = InternetExplorerVersion();
  facts.office = InstalledOffice();
  facts.language = UserLanguage();
  facts.locale = GetUserDefaultLCID();
  facts.code_page = GetACP();
  facts.previous_out_of_memory = MemoryRanOutBefore();
  facts.command_line = To1252(GetCommandLineW());
  facts.modules = ToolHelpModules();
  if (facts.modules.empty()) facts.modules = ProcessStatusModules();
  if (record.code != exception_code::kFatalError) facts.stack = CallStack(record, faulting_thread_id);
  return facts;
}

}  // namespace halberd::crash
