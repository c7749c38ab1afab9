// The crash handler on Windows: a fault inside the trust provider's call becomes trust class 15
// (corrupt code 1015) and the process goes on; the test program (crash_test_program.exe, beside
// this one) faults in each way the filter reports, and in a silent run its report, with every
// field, reaches the loopback server (tests/tools/http_test_server.py) before it ends with the
// crash's code. The dialog's buttons are driven in tests/e2e/test_crash_report.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/crash_filter_win32.h"
#include "engine/trust_call.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/tl_file.h"
#include "tests/win32/test_support.h"

namespace halberd {
namespace {

TEST(TrustProviderCall, AFaultInsideIsClass15AndTheProcessGoesOn) {
  crash::InstallCrashFilter(nullptr);
  DWORD last_error = 1;
  // The test double of WinVerifyTrust raises an access violation.
  engine::TrustClass c = engine::CallTrustProvider(
      []() -> LONG {
        volatile LONG* nowhere = nullptr;
        return *nowhere;
      },
      last_error);
  EXPECT_EQ(c, engine::kTrustProviderCrashed);
  EXPECT_EQ(format::corrupt::kSignatureBase + c, 1015);
  EXPECT_TRUE(engine::TrustFailureStopsRun(c, last_error));
  EXPECT_EQ(last_error, 0u);
}

TEST(TrustProviderCall, AReturnedResultKeepsItsClassAndLastError) {
  crash::InstallCrashFilter(nullptr);
  struct Case {
    LONG result;
    DWORD last_error;
    engine::TrustClass c;
    bool stops;
  };
  const Case cases[] = {
      {0, 0, engine::kTrustValid, false},
      {LONG(0x800B0100), 0, engine::kTrustNoSignature, true},
      {LONG(0x800B0100), 0x800B010A, engine::kTrustNoSignature, false},  // chaining tolerated
  };
  for (const Case& k : cases) {
    DWORD last_error = 7;
    engine::TrustClass c = engine::CallTrustProvider(
        [&]() -> LONG {
          SetLastError(k.last_error);
          return k.result;
        },
        last_error);
    EXPECT_EQ(c, k.c) << std::hex << k.result;
    EXPECT_EQ(last_error, k.last_error);
    EXPECT_EQ(engine::TrustFailureStopsRun(c, last_error), k.stops);
  }
}

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t module[MAX_PATH];
  std::wstring path(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Runs the program and returns its exit code; -2 when it could not start or did not end in time.
long RunProgram(std::wstring command_line) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi))
    return -2;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.get(), 180000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return -2;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return long(code);
}

std::string FormField(const std::string& body, const std::string& name) {
  const std::string head = "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
  size_t at = body.find(head);
  if (at == std::string::npos) return "<missing>";
  at += head.size();
  return body.substr(at, body.find("\r\n--AaB03x", at) - at);
}

class CrashTestProgram : public test::LoopbackServerTest {
 protected:
  CrashTestProgram() : LoopbackServerTest("crash-") {}
};

TEST_F(CrashTestProgram, SilentCrashesAreReportedAndPostedWithEveryField) {
  struct Case {
    const char* kind;
    DWORD exit_code;
    std::vector<std::string> lines;  // in the report, in this order
  };
  const Case cases[] = {
      {"access-violation", 0xC0000005,
       {"Exception: Illegal memory access.\r\n\r\nProduct: Crash Test 1.0 \r\n", "Exception code: C0000005\r\n",
        "Module: crash_test_program.exe\r\n", "Read/write: write\r\nMemory address: ", "Thread ID: ",
        "  Main Thread: ", "OS: ", "IE: ", "Language: ", "Locale: 0x", "  Codepage: ",
        "Command-line: ", "access-violation --silent", "\r\n\r\nCPU Registers:\r\nFlags: ", "\r\n  EIP: ",
        "\r\n   SS: ", "\r\n\r\nModules:\r\n", " crash_test_program.exe\r\n", "\r\nCall Stack:\r\n"}},
      {"stack-overflow", 0xC00000FD,
       {"Exception: Stack overflow.\r\n", "Exception code: C00000FD\r\n", "Module: crash_test_program.exe\r\n",
        "CPU Registers:", "\r\n\r\nModules:\r\n", "\r\nCall Stack:\r\n"}},
      {"cpp-exception", 0xFFFFFFFF,
       {"Fatal error: Unhandled C++ exception: nobody catches this\r\n\r\nProduct: Crash Test 1.0 \r\n",
        "Thread ID: ", "\r\n\r\nModules:\r\n", " crash_test_program.exe\r\n", "\r\nCall Stack:\r\n"}},
  };
  const std::wstring folder = test::SystemTempPath() + L"\\halberd-crash-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const Case& c : cases) {
    const std::string id = id_ + "-" + c.kind;
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/" + id + "/answer";
    const std::wstring kind(c.kind, c.kind + std::string(c.kind).size());
    const std::wstring report_file = folder + L"\\" + kind + L".txt";
    long code = RunProgram(L"\"" + BesideThisProgram(L"crash_test_program.exe") + L"\" " + kind + L" --silent --post " +
                           std::wstring(url.begin(), url.end()) + L" --report \"" + report_file + L"\"");
    EXPECT_EQ(DWORD(code), c.exit_code) << c.kind;
    const std::string report = test::GetFile(report_file);
    size_t at = 0;
    for (const std::string& line : c.lines) {
      size_t found = report.find(line, at);
      EXPECT_NE(found, std::string::npos) << c.kind << ": no \"" << line << "\" after offset " << at << " in\n" << report;
      if (found != std::string::npos) at = found + line.size();
    }
    if (c.exit_code != 0xFFFFFFFF) EXPECT_EQ(report.find("Fatal error"), std::string::npos) << c.kind;
    // The post: one multipart form with the four fields in order, the body the report itself.
    const std::vector<std::string> requests = ServerLogOf(id);
    ASSERT_EQ(requests.size(), 1u) << c.kind;
    const std::string& request = requests[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /" + id + "/answer HTTP/1.0") << c.kind;
    const std::string body = request.substr(request.find("\r\n\r\n") + 4);
    EXPECT_LT(body.find("name=\"from\""), body.find("name=\"body\"")) << c.kind;
    EXPECT_LT(body.find("name=\"body\""), body.find("name=\"subject\"")) << c.kind;
    EXPECT_LT(body.find("name=\"subject\""), body.find("name=\"headers\"")) << c.kind;
    EXPECT_EQ(FormField(body, "from"), "support@vellorin.example") << c.kind;
    EXPECT_EQ(FormField(body, "body"), report) << c.kind;
    EXPECT_EQ(FormField(body, "subject"), "Exception - Installer 48.0.11: crash_test_program.exe") << c.kind;
    EXPECT_EQ(FormField(body, "headers"), "X-Vellorin-Internal: 2\r\n") << c.kind;
  }
  test::DeleteTree(folder);
}

}  // namespace
}  // namespace halberd
