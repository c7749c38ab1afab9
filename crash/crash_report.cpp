// The problem report text, the exception texts and the report's post fields.
#include "crash/crash_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace halberd::crash {

namespace {

struct CodeText {
  uint32_t code;
  const char* text;
};

constexpr CodeText kExceptionTexts[] = {
    {0xC0000005, "Illegal memory access."},
    {0xC000008C, "Array element is out of bounds."},
    {0x80000003, "Breakpoint encountered."},
    {0x80000002, "Misaligned memory access."},
    {0xC000008D, "One of the operands in a floating-point operation is denormal (too small to represent)."},
    {0xC000008E, "Floating-point division by zero."},
    {0xC000008F, "Floating-point operation cannot be represented exactly as a decimal fraction."},
    {0xC0000090, "Invalid floating point operation."},
    {0xC0000091,
     "The exponent of a floating-point operation is greater than the magnitude allowed by the corresponding type."},
    {0xC0000092, "The stack overflowed or underflowed as the result of a floating-point operation."},
    {0xC0000093,
     "The exponent of a floating-point operation is less than the magnitude allowed by the corresponding type."},
    {0xC000001D, "Invalid instruction executed."},
    {0xC0000006, "Failed to load page into physical memory."},
    {0xC0000094, "Integer divide by zero."},
    {0xC0000095, "Integer overflow."},
    {0xC0000026, "An exception handler returned an invalid disposition."},
    {0xC0000025, "Cannot continue after a noncontinuable exception occurred."},
    {0xC0000096, "Attempt to execute a privileged instruction."},
    {0x80000004, "Single step."},
    {0xC00000FD, "Stack overflow."},
    {0xC000013A, "Ctrl+C pressed."},
    {0x80000001, "Memory Allocated as PAGE_GUARD by VirtualAlloc() was accessed."},
    {0xC0000017,
     "Called by HeapAlloc() if you specify HEAP_GENERATE_EXCEPTIONS and there is no memory or heap corruption."},
    {0xC015000F, "The activation context being deactivated is not the most recently activated one."},
    {0xE06D7363, "Visual C++ structured exception handling."},
    {0x8007000E, "Out of memory."},
};

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08" PRIX32, value);
  return buffer;
}

}  // namespace

std::string_view ExceptionText(uint32_t code) {
  for (const CodeText& entry : kExceptionTexts)
    if (entry.code == code) return entry.text;
  return {};
}

bool FilterPassesOn(uint32_t code) {
  using namespace exception_code;
  return code == kCppException || code == kNoncontinuable || code == kBreakpoint || code == kSingleStep;
}

std::string FormatDuration(uint64_t ms) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%" PRIu64 ":%02u:%02u.%03u", ms / 3600000, unsigned(ms / 60000 % 60),
                unsigned(ms / 1000 % 60), unsigned(ms % 1000));
  return buffer;
}

std::string ModuleAt(const std::vector<ModuleRange>& modules, uint32_t address) {
  for (const ModuleRange& m : modules)
    if (m.size != 0 && address >= m.start && address - m.start < m.size) return m.name;
  return {};
}

std::string NormaliseCommandLine(std::string_view command_line) {
  std::string out(command_line);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

std::string CrashReportText(const CrashRecord& record, const CrashFacts& facts) {
  const bool fatal = record.code == exception_code::kFatalError;
  std::string r;
  // 1-2. What failed, and in which program.
  if (fatal)
    r += "Fatal error: " + record.message + "\r\n";
  else
    r += "Exception: " + std::string(ExceptionText(record.code)) + "\r\n";
  r += "\r\nProduct: " + facts.program_name + " " + facts.version + " " + facts.edition + "\r\n";
  // 3. Where.
  if (!fatal) {
    r += "Exception code: " + Hex(record.code) + "\r\nAddress: " + Hex(record.address) + "\r\n";
    r += "Module: " + ModuleAt(facts.modules, record.address) + "\r\n";
    if (record.code == exception_code::kAccessViolation) {
      r += std::string("Read/write: ") + (record.write_access ? "write" : "read") + "\r\n";
      r += "Memory address: " + Hex(record.memory_address) + "\r\n";
    }
  }
  // 4-9. The process and the system.
  r += "Thread ID: " + std::to_string(facts.thread_id) + "  Main Thread: " + std::to_string(facts.main_thread_id) +
       "\r\n";
  if (facts.times)
    r += "Process/kernel/user time: " + FormatDuration(facts.times->wall) + " / " + FormatDuration(facts.times->kernel) +
         " / " + FormatDuration(facts.times->user) + "\r\n";
  r += "OS: " + facts.os + "\r\n";
  r += "IE: " + facts.ie + "\r\n";
  if (facts.office) r += "Office: " + facts.office->version + " (" + facts.office->detail + ")\r\n";
  r += "Language: " + facts.language + "\r\n";
  r += "Locale: 0x" + Hex(facts.locale) + "  Codepage: " + std::to_string(facts.code_page) + "\r\n";
  if (facts.previous_out_of_memory) r += "A previous out-of-memory condition occurred.\r\n";
  const std::string command_line = NormaliseCommandLine(facts.command_line);
  if (!command_line.empty()) r += "Command-line: " + command_line + "\r\n";
  // 10. The registers.
  if (!fatal) {
    const CpuRegisters& c = record.context;
    const std::pair<const char*, uint32_t> registers[] = {
        {"\r\nCPU Registers:\r\nFlags: ", c.flags},
        {"\r\n  EAX: ", c.eax},
        {"\r\n  EBX: ", c.ebx},
        {"\r\n  ECX: ", c.ecx},
        {"\r\n  EDX: ", c.edx},
        {"\r\n  EDI: ", c.edi},
        {"\r\n  ESI: ", c.esi},
        {"\r\n  EIP: ", c.eip},
        {"\r\n  EBP: ", c.ebp},
        {"\r\n  ESP: ", c.esp},
        {"\r\n   CS: ", c.cs},
        {"\r\n   DS: ", c.ds},
        {"\r\n   ES: ", c.es},
        {"\r\n   FS: ", c.fs},
        {"\r\n   GS: ", c.gs},
        {"\r\n   SS: ", c.ss},
    };
    for (const auto& [label, value] : registers) r += label + Hex(value);
  }
  // 11. The modules, by address.
  std::vector<ModuleRange> modules = facts.modules;
  std::stable_sort(modules.begin(), modules.end(),
                   [](const ModuleRange& a, const ModuleRange& b) { return a.start < b.start; });
  r += "\r\n\r\nModules:\r\n";
  for (const ModuleRange& m : modules)
    r += Hex(m.start) + " " + Hex(m.start + (m.size ? m.size - 1 : 0)) + " " + m.name + "\r\n";
  // 12. The call stack.
  r += "\r\nCall Stack:\r\n";
  const size_t frames = std::min(facts.stack.size(), kMaxStackFrames);
  for (size_t i = 0; i < frames; ++i) {
    const StackFrame& f = facts.stack[i];
    r += Hex(f.frame) + " " + Hex(f.code) + " " + ModuleAt(facts.modules, f.code);
    if (!f.symbol.empty()) r += " " + f.symbol.substr(0, kMaxSymbolLength);
    r += "\r\n";
  }
  return r;
}

std::vector<std::pair<std::string, std::string>> ReportPostFields(const ReportPost& post) {
  // The address goes into mail headers: a line break in it could add headers of its own.
  std::string email;
  for (char c : post.email)
    if (c != '\r' && c != '\n') email += c;
  std::string body = post.report;
  if (!email.empty()) body += "\r\nEmail: " + email + "\r\n";
  if (!post.comments.empty()) body += "\r\nComments:\r\n" + post.comments;
  std::string headers = std::string(kInternalHeader) + "\r\n";
  if (!email.empty()) headers += "X-Exception-Email: " + email + "\r\nReply-To: " + email + "\r\n";
  std::string subject = kSubjectFormat;
  subject.replace(subject.find("%s"), 2, post.file_name);
  return {{"from", post.sender}, {"body", body}, {"subject", subject}, {"headers", headers}};
}

std::string OutOfMemoryMessage(size_t requested, const uint32_t* stack_words, size_t count) {
  char head[256];
  std::snprintf(head, sizeof head, "%s.\r\nAdvice: %s\r\nRequested size = %zu (0x%08zX)\r\n\r\nStack contents:",
                "Out Of Memory", "Make sure the hard drive is not full.", requested, requested);
  std::string text = head;
  for (size_t i = 0; i < count; ++i) {
    char word[16];
    std::snprintf(word, sizeof word, "%08" PRIX32, stack_words[i]);
    text += i % 8 == 0 ? "\r\n" : " ";
    text += word;
  }
  return text;
}

}  // namespace halberd::crash
