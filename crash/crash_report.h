// The problem report of a crash or a fatal error: the crash record the filter fills, the facts
// about the process and the system gathered for it, and the 8-bit report text built from both.
// Also the exception texts, which exceptions the filter leaves to the system, the form fields of
// the report's post and the out-of-memory message. Portable: the filter and the gathering of the
// facts are in crash_filter_win32.cpp and crash_facts_win32.cpp.
//
// Report text, lines ending "\r\n"; hexadecimal values are 8 upper-case digits without prefix:
//   "Fatal error: " message | "Exception: " exception text
//   "" / "Product: " program " " version " " edition
//   exceptions only: "Exception code: " code / "Address: " address / "Module: " module at address
//     access violations only: "Read/write: " "write"|"read" / "Memory address: " address
//   "Thread ID: " id "  Main Thread: " id                        (decimal)
//   when known: "Process/kernel/user time: " wall " / " kernel " / " user
//   "OS: " description / "IE: " version / when installed: "Office: " version " (" detail ")"
//   "Language: " name / "Locale: 0x" locale "  Codepage: " code page (decimal)
//   when memory ran out before: "A previous out-of-memory condition occurred."
//   when not empty: "Command-line: " command line
//   exceptions only: "" / "CPU Registers:" / "Flags: " flags / "  EAX: " ... "   SS: " (16 registers)
//   "" / "Modules:" / start " " end " " name   (sorted by start; end = start + size - 1)
//   "" / "Call Stack:" / frame " " code " " module [" " symbol]   (at most 100 frames)
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halberd::crash {

namespace exception_code {
inline constexpr uint32_t kAccessViolation = 0xC0000005;
inline constexpr uint32_t kStackOverflow = 0xC00000FD;
inline constexpr uint32_t kBreakpoint = 0x80000003;
inline constexpr uint32_t kSingleStep = 0x80000004;
inline constexpr uint32_t kNoncontinuable = 0xC0000025;
inline constexpr uint32_t kCppException = 0xE06D7363;  // raised by a C++ runtime that throws through SEH
// The library's own fatal error: a crash record with this code carries the fatal-error message.
inline constexpr uint32_t kFatalError = 0xD1EB17CC;
}  // namespace exception_code

// The text shown after "Exception: "; "" for a code without one.
std::string_view ExceptionText(uint32_t code);

// Exceptions the filter leaves to the system's default handling, without a report: the C++
// runtime's own, a noncontinuable-continue, breakpoints and single steps (debuggers use them).
bool FilterPassesOn(uint32_t code);

// The x86 registers of the faulting thread, as the system captured them.
struct CpuRegisters {
  uint32_t flags = 0, eax = 0, ebx = 0, ecx = 0, edx = 0, edi = 0, esi = 0, eip = 0, ebp = 0, esp = 0;
  uint32_t cs = 0, ds = 0, es = 0, fs = 0, gs = 0, ss = 0;
};

// What the filter records of one exception (or the library's fatal error).
struct CrashRecord {
  uint32_t code = 0;
  std::string message;  // fatal errors only (code kFatalError), code page 1252
  uint32_t address = 0;
  bool continuable = false;
  bool write_access = false;     // access violations: the fault was a write
  uint32_t memory_address = 0;   // access violations: the address accessed
  CpuRegisters context;
};

struct ModuleRange {
  uint32_t start = 0;
  uint32_t size = 0;
  std::string name;  // the file name, code page 1252
};

struct StackFrame {
  uint32_t frame = 0;
  uint32_t code = 0;
  std::string symbol;  // "" when none was found
};

// Durations in milliseconds.
struct ProcessTimes {
  uint64_t wall = 0, kernel = 0, user = 0;
};

struct OfficeVersion {
  std::string version, detail;
};

// The process and the system at the time of the report; every text is 8-bit (code page 1252).
struct CrashFacts {
  std::string program_name, version, edition;
  uint32_t thread_id = 0, main_thread_id = 0;
  std::optional<ProcessTimes> times;  // none when the system offers no process times
  std::string os, ie;
  std::optional<OfficeVersion> office;
  std::string language;
  uint32_t locale = 0, code_page = 0;
  bool previous_out_of_memory = false;
  std::string command_line;
  std::vector<ModuleRange> modules;  // any order
  std::vector<StackFrame> stack;     // innermost first
};

inline constexpr size_t kMaxStackFrames = 100;
inline constexpr size_t kMaxSymbolLength = 2000;

// "H:MM:SS.mmm" (hours as many digits as they take).
std::string FormatDuration(uint64_t milliseconds);

// The name of the module whose range holds `address`; "" when none does.
std::string ModuleAt(const std::vector<ModuleRange>& modules, uint32_t address);

// The process command line on one line: line breaks and tabs become blanks, blanks at both ends go.
std::string NormaliseCommandLine(std::string_view command_line);

// The whole report text (see the top of the file).
std::string CrashReportText(const CrashRecord& record, const CrashFacts& facts);

// The report as the maker receives it. The body is the report with the user's e-mail address
// ("\r\nEmail: " e-mail "\r\n") and comments ("\r\nComments:\r\n" comments) when given; the
// headers are "X-Vellorin-Internal: 2\r\n", with an e-mail address also "X-Exception-Email: "
// and "Reply-To: " lines; the subject names the installer's version and its file name.
// Fields in order: "from", "body", "subject", "headers".
struct ReportPost {
  std::string sender;     // the maker's support mailbox
  std::string report;     // CrashReportText
  std::string email;      // from the dialog, may be empty
  std::string comments;   // from the dialog, may be empty
  std::string file_name;  // the executable's file name
};
inline constexpr char kInternalHeader[] = "X-Vellorin-Internal: 2";
inline constexpr char kSubjectFormat[] = "Exception - Installer 48.0.11: %s";
std::vector<std::pair<std::string, std::string>> ReportPostFields(const ReportPost& post);

// The maker's names and addresses. Reports go out only when both the sender and the address
// they are posted to are non-empty.
inline constexpr char kMakerName[] = "Vellorin";
inline constexpr char kSupportMailbox[] = "support@vellorin.example";

// The message of the out-of-memory fatal error: what ran out, the advice, the requested size
// (decimal and hexadecimal) and the stack words, 8 to a line, each "%08X".
std::string OutOfMemoryMessage(size_t requested, const uint32_t* stack_words, size_t count);
inline constexpr size_t kOutOfMemoryStackWords = 80;

}  // namespace halberd::crash
