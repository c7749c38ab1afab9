// The problem report of a crash: the whole text against hand-written reports, the exception
// texts, the filter's pass-on list, the post's fields and the out-of-memory message.
#include "crash/crash_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halberd::crash {
namespace {

CrashFacts SampleFacts() {
  CrashFacts f;
  f.program_name = "Halberd Setup";
  f.version = "48.0.11";
  f.thread_id = 52;
  f.main_thread_id = 36;
  f.times = ProcessTimes{3723004, 250, 1500};
  f.os = "Windows 10 (10.0.19045) 64-bit";
  f.ie = "11.0";
  f.language = "English";
  f.locale = 0x409;
  f.code_page = 1252;
  f.command_line = "\"C:\\Temp\\setup.exe\"\t/silent \r\n";
  // Out of order: the report sorts them.
  f.modules = {{0x77000000, 0x10000, "ntdll.dll"}, {0x00400000, 0x2000, "setup.exe"},
               {0x76000000, 0x1000, "kernel32.dll"}};
  f.stack = {{0x0019FF00, 0x00401234, "Crash"}, {0x0019FF40, 0x77001000, ""}, {0x0019FF80, 0x12345678, "lost"}};
  return f;
}

TEST(CrashReport, AccessViolationWritingAddressZero) {
  CrashRecord r;
  r.code = 0xC0000005;
  r.address = 0x00401234;
  r.write_access = true;
  r.memory_address = 0;
  r.context = {0x10246, 1, 2, 3, 4, 5, 6, 0x00401234, 0x0019FF00, 0x0019FEF0, 0x23, 0x2B, 0x2B, 0x53, 0x2B, 0x2B};
  const std::string expected =
      "Exception: Illegal memory access.\r\n"
      "\r\n"
      "Product: Halberd Setup 48.0.11 \r\n"
      "Exception code: C0000005\r\n"
      "Address: 00401234\r\n"
      "Module: setup.exe\r\n"
      "Read/write: write\r\n"
      "Memory address: 00000000\r\n"
      "Thread ID: 52  Main Thread: 36\r\n"
      "Process/kernel/user time: 1:02:03.004 / 0:00:00.250 / 0:00:01.500\r\n"
      "OS: Windows 10 (10.0.19045) 64-bit\r\n"
      "IE: 11.0\r\n"
      "Language: English\r\n"
      "Locale: 0x00000409  Codepage: 1252\r\n"
      "Command-line: \"C:\\Temp\\setup.exe\" /silent\r\n"
      "\r\n"
      "CPU Registers:\r\n"
      "Flags: 00010246\r\n"
      "  EAX: 00000001\r\n"
      "  EBX: 00000002\r\n"
      "  ECX: 00000003\r\n"
      "  EDX: 00000004\r\n"
      "  EDI: 00000005\r\n"
      "  ESI: 00000006\r\n"
      "  EIP: 00401234\r\n"
      "  EBP: 0019FF00\r\n"
      "  ESP: 0019FEF0\r\n"
      "   CS: 00000023\r\n"
      "   DS: 0000002B\r\n"
      "   ES: 0000002B\r\n"
      "   FS: 00000053\r\n"
      "   GS: 0000002B\r\n"
      "   SS: 0000002B\r\n"
      "\r\n"
      "Modules:\r\n"
      "00400000 00401FFF setup.exe\r\n"
      "76000000 76000FFF kernel32.dll\r\n"
      "77000000 7700FFFF ntdll.dll\r\n"
      "\r\n"
      "Call Stack:\r\n"
      "0019FF00 00401234 setup.exe Crash\r\n"
      "0019FF40 77001000 ntdll.dll\r\n"
      "0019FF80 12345678  lost\r\n";
  EXPECT_EQ(CrashReportText(r, SampleFacts()), expected);
}

TEST(CrashReport, OptionalLinesAndTheFatalError) {
  // A fatal error has no code, address, module or registers; without process times, Office or a
  // command line those lines go; Office and an earlier out-of-memory condition add theirs.
  CrashRecord r;
  r.code = 0xD1EB17CC;
  r.message = "Vector<int>[7]\r\nmax_index = 3";
  CrashFacts f;
  f.program_name = "Halberd Setup";
  f.version = "48.0.11";
  f.edition = "Pro";
  f.thread_id = 1;
  f.main_thread_id = 1;
  f.os = "Windows 7 (6.1.7601)";
  f.office = OfficeVersion{"16.0", "C:\\Program Files\\Microsoft Office\\root\\Office16\\"};
  f.language = "Deutsch";
  f.locale = 0x407;
  f.code_page = 1252;
  f.previous_out_of_memory = true;
  f.command_line = " \r\n ";
  const std::string expected =
      "Fatal error: Vector<int>[7]\r\nmax_index = 3\r\n"
      "\r\n"
      "Product: Halberd Setup 48.0.11 Pro\r\n"
      "Thread ID: 1  Main Thread: 1\r\n"
      "OS: Windows 7 (6.1.7601)\r\n"
      "IE: \r\n"
      "Office: 16.0 (C:\\Program Files\\Microsoft Office\\root\\Office16\\)\r\n"
      "Language: Deutsch\r\n"
      "Locale: 0x00000407  Codepage: 1252\r\n"
      "A previous out-of-memory condition occurred.\r\n"
      "\r\n"
      "\r\n"
      "Modules:\r\n"
      "\r\n"
      "Call Stack:\r\n";
  EXPECT_EQ(CrashReportText(r, f), expected);
}

TEST(CrashReport, ExceptionLinesByCode) {
  struct Case {
    uint32_t code;
    bool write;
    const char* first_line;
    bool access_lines;
  };
  const Case cases[] = {
      {0xC0000005, false, "Exception: Illegal memory access.\r\n", true},
      {0xC00000FD, false, "Exception: Stack overflow.\r\n", false},
      {0xC0000094, false, "Exception: Integer divide by zero.\r\n", false},
      {0x8007000E, false, "Exception: Out of memory.\r\n", false},
      {0xC0000409, false, "Exception: \r\n", false},  // no text for this code
  };
  for (const Case& c : cases) {
    CrashRecord r;
    r.code = c.code;
    r.write_access = c.write;
    r.memory_address = 0xDEADBEEF;
    const std::string text = CrashReportText(r, SampleFacts());
    EXPECT_EQ(text.substr(0, text.find("\r\n") + 2), c.first_line) << std::hex << c.code;
    EXPECT_EQ(text.find("Read/write: read\r\nMemory address: DEADBEEF\r\n") != std::string::npos, c.access_lines)
        << std::hex << c.code;
  }
}

TEST(CrashReport, StackIsCutAtAHundredFramesAndLongSymbols) {
  CrashRecord r;
  r.code = 0xC00000FD;
  CrashFacts f;
  f.stack.assign(150, StackFrame{0x100, 0x200, std::string(2500, 's')});
  const std::string text = CrashReportText(r, f);
  const std::string stack = text.substr(text.find("Call Stack:\r\n") + 13);
  const std::string line = "00000100 00000200  " + std::string(2000, 's') + "\r\n";
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += line;
  EXPECT_EQ(stack, expected);
}

TEST(CrashReport, ModuleAtTakesTheRangeHoldingTheAddress) {
  const std::vector<ModuleRange> modules = {{0x1000, 0x100, "a.dll"}, {0x1100, 0x100, "b.dll"}, {0x3000, 0, "empty"}};
  EXPECT_EQ(ModuleAt(modules, 0x1000), "a.dll");
  EXPECT_EQ(ModuleAt(modules, 0x10FF), "a.dll");
  EXPECT_EQ(ModuleAt(modules, 0x1100), "b.dll");
  EXPECT_EQ(ModuleAt(modules, 0x1200), "");
  EXPECT_EQ(ModuleAt(modules, 0x3000), "");
  EXPECT_EQ(ModuleAt(modules, 0xFFF), "");
}

TEST(CrashReport, DurationFormat) {
  EXPECT_EQ(FormatDuration(0), "0:00:00.000");
  EXPECT_EQ(FormatDuration(59999), "0:00:59.999");
  EXPECT_EQ(FormatDuration(60000), "0:01:00.000");
  EXPECT_EQ(FormatDuration(100ull * 3600000 + 1), "100:00:00.001");
}

TEST(CrashReport, FilterPassesOnRuntimeAndDebuggerExceptions) {
  for (uint32_t code : {0xE06D7363u, 0xC0000025u, 0x80000003u, 0x80000004u}) EXPECT_TRUE(FilterPassesOn(code)) << code;
  for (uint32_t code : {0xC0000005u, 0xC00000FDu, 0xD1EB17CCu, 0xC0000094u}) EXPECT_FALSE(FilterPassesOn(code)) << code;
}

TEST(CrashReport, ExceptionTextTable) {
  EXPECT_EQ(ExceptionText(0xC000008C), "Array element is out of bounds.");
  EXPECT_EQ(ExceptionText(0xC015000F), "The activation context being deactivated is not the most recently activated one.");
  EXPECT_EQ(ExceptionText(0xE06D7363), "Visual C++ structured exception handling.");
  EXPECT_EQ(ExceptionText(0x80000001), "Memory Allocated as PAGE_GUARD by VirtualAlloc() was accessed.");
  EXPECT_EQ(ExceptionText(0), "");
  EXPECT_EQ(ExceptionText(0xD1EB17CC), "");
}

TEST(CrashReport, PostFields) {
  struct Case {
    const char* what;
    ReportPost post;
    std::vector<std::pair<std::string, std::string>> fields;
  };
  const Case cases[] = {
      {"no e-mail, no comments: only the internal header, the report unchanged",
       {"support@vellorin.example", "Exception: x\r\n", "", "", "setup.exe"},
       {{"from", "support@vellorin.example"},
        {"body", "Exception: x\r\n"},
        {"subject", "Exception - Installer 48.0.11: setup.exe"},
        {"headers", "X-Vellorin-Internal: 2\r\n"}}},
      {"e-mail and comments",
       {"s@v", "R\r\n", "jo@example.org", "Clicked Next.\r\nThen it broke.", "acme-setup.exe"},
       {{"from", "s@v"},
        {"body", "R\r\n\r\nEmail: jo@example.org\r\n\r\nComments:\r\nClicked Next.\r\nThen it broke."},
        {"subject", "Exception - Installer 48.0.11: acme-setup.exe"},
        {"headers", "X-Vellorin-Internal: 2\r\nX-Exception-Email: jo@example.org\r\nReply-To: jo@example.org\r\n"}}},
      {"a line break in the e-mail cannot add a header",
       {"s@v", "R", "a@b\r\nBcc: all@x", "", "s.exe"},
       {{"from", "s@v"},
        {"body", "R\r\nEmail: a@bBcc: all@x\r\n"},
        {"subject", "Exception - Installer 48.0.11: s.exe"},
        {"headers", "X-Vellorin-Internal: 2\r\nX-Exception-Email: a@bBcc: all@x\r\nReply-To: a@bBcc: all@x\r\n"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReportPostFields(c.post), c.fields) << c.what;
}

TEST(CrashReport, OutOfMemoryMessage) {
  uint32_t words[10];
  for (uint32_t i = 0; i < 10; ++i) words[i] = 0x1000 * i + 0xAB;
  EXPECT_EQ(OutOfMemoryMessage(1048576, words, 10),
            "Out Of Memory.\r\nAdvice: Make sure the hard drive is not full.\r\nRequested size = 1048576 (0x00100000)"
            "\r\n\r\nStack contents:"
            "\r\n000000AB 000010AB 000020AB 000030AB 000040AB 000050AB 000060AB 000070AB"
            "\r\n000080AB 000090AB");
}

TEST(CrashReport, CommandLineOnOneLine) {
  EXPECT_EQ(NormaliseCommandLine("  a\tb\r\nc  "), "a b  c");
  EXPECT_EQ(NormaliseCommandLine("\r\n"), "");
  EXPECT_EQ(NormaliseCommandLine("x"), "x");
}

}  // namespace
}  // namespace halberd::crash
