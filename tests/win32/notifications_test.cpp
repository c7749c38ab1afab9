// The notification channel against the loopback test server (tests/tools/http_test_server.py):
// the order of the queue, the drain at exit, the addresses of each moment, the problem report's
// form, and the second try with the own client. The server's port comes from
// HALBERD_HTTP_TEST_PORT; without it every test here is skipped. Only 127.0.0.1 is contacted.
#include "engine/notifications.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "tests/win32/test_support.h"

using halberd::test::DeleteTree;
using halberd::test::RawGet;
using halberd::test::SystemTempPath;

namespace halberd::engine {
namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

class NotificationsTest : public test::LoopbackServerTest {
 protected:
  NotificationsTest() : LoopbackServerTest("notify-") {}
  void SetUp() override {
    LoopbackServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    engine::Run().session = 4611686018427387905ull;
    Settings().DisplayName = u"Test Product";
    Settings().DisplayVersion = u"2.0 beta";
  }
  void TearDown() override {
    DrainNotifications();
    Script().addresses = {};
    LoopbackServerTest::TearDown();
  }

  std::string Url(const std::string& rest) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + id_ + "/" + rest;
  }
  std::string Path(const std::string& rest) const { return "/" + id_ + "/" + rest; }
  // The raw requests the server recorded for this test, in order.
  std::vector<std::string> ServerLog() const { return ServerLogOf(id_); }
};

TEST_F(NotificationsTest, SentInQueueOrderAndAllOutWhenDrained) {
  // The first address answers nothing for a second and then closes, for each transport: the rest
  // can only go out after it, so finding them all once the drain returns shows that the drain
  // waited for the whole queue.
  QueueNotification(Wide(Url("stall?at=connect&wait=1")), false);
  QueueNotification(L"", false);  // nothing
  QueueNotification(Wide(Url("answer?n=2&s=%Session%&v=%VERSION%")), false);
  QueueNotification(Wide(Url("answer?n=3")), true);
  QueueNotification(Wide(Url("answer?n=4")), false);
  DrainNotifications();

  std::vector<std::string> lines;
  for (const std::string& request : ServerLog()) lines.push_back(RequestLine(request));
  size_t stalled = 0;
  while (stalled < lines.size() && lines[stalled].find("/stall?") != std::string::npos) ++stalled;
  ASSERT_GE(stalled, 1u);
  const std::vector<std::string> rest(lines.begin() + stalled, lines.end());
  const std::vector<std::string> expected = {
      "GET " + Path("answer?n=2&s=4611686018427387905&v=2.0%20beta") + " HTTP/1.0",
      "POST " + Path("answer?n=3") + " HTTP/1.0",
      "GET " + Path("answer?n=4") + " HTTP/1.0",
  };
  EXPECT_EQ(rest, expected);
}

TEST_F(NotificationsTest, ChannelStartsAgainAfterADrain) {
  QueueNotification(Wide(Url("answer?n=1")), false);
  DrainNotifications();
  QueueNotification(Wide(Url("answer?n=2")), false);
  DrainNotifications();
  const std::vector<std::string> log = ServerLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(RequestLine(log[1]), "GET " + Path("answer?n=2") + " HTTP/1.0");
}

TEST_F(NotificationsTest, ProblemReportIsAFormWithTheFacts) {
  AppendFailureText(L"Cannot create file: C:\\x\\\u00e9t\u00e9.txt\r\nCode 5: Access is denied.\r\n\r\n");
  wchar_t module[MAX_PATH];
  std::wstring program(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  QueueNotification(Wide(Url("answer")), true);
  DrainNotifications();

  const std::vector<std::string> log = ServerLog();
  ASSERT_EQ(log.size(), 1u);
  const std::string& request = log[0];
  EXPECT_NE(request.find("\r\nContent-Type: multipart/form-data; boundary=AaB03x\r\n"), std::string::npos) << request;
  const std::string body = request.substr(request.find("\r\n\r\n") + 4);
  const std::string head = "--AaB03x\r\nContent-Disposition: form-data; name=\"problems\"\r\n\r\n";
  ASSERT_EQ(body.rfind(head, 0), 0u) << body;
  const std::string report = body.substr(head.size());
  EXPECT_EQ(report.rfind("Test Product 2.0 beta\r\nInstaller version: 48.0.11\r\nOS: Windows ", 0), 0u) << report;
  EXPECT_NE(report.find("\r\nAdmin rights: "), std::string::npos);
  std::string program_utf8(program.begin(), program.end());  // the test program's path is ASCII
  EXPECT_NE(report.find("\r\nFilename: " + program_utf8 + "\r\n\r\n"), std::string::npos) << report;
  const std::string failure = "Cannot create file: C:\\x\\\xc3\xa9t\xc3\xa9.txt\r\nCode 5: Access is denied.\r\n\r\n";
  EXPECT_TRUE(report.ends_with(failure + "\r\n--AaB03x--\r\n")) << report;
}

TEST_F(NotificationsTest, ProblemReportGoesOutOncePerRun) {
  Script().addresses.problem_report_url = U16(Url("answer?report"));
  QueueProblemReport();
  QueueProblemReport();
  DrainNotifications();
  const std::vector<std::string> log = ServerLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(RequestLine(log[0]), "POST " + Path("answer?report") + " HTTP/1.0");
}

TEST_F(NotificationsTest, EachMomentUsesItsAddress) {
  format::EndOfRunAddresses& a = Script().addresses;
  a.blocking_query_url = U16(Url("answer?blocking"));
  a.start_notify_url = U16(Url("answer?start"));
  a.new_install_notify_url = U16(Url("answer?new"));
  a.upgrade_notify_url = U16(Url("answer?upgrade"));
  a.downgrade_notify_url = U16(Url("answer?downgrade"));
  a.reinstall_notify_url = U16(Url("answer?reinstall"));
  a.cancel_notify_url = U16(Url("answer?cancel"));
  a.NotifyURL = U16(Url("answer?script-notify"));  // not the uninstall run's: that comes from the key
  QueueBlockingQueryNotification();
  QueueStartNotification();
  for (const wchar_t* type : {L"Upgrade", L"Downgrade", L"Reinstall", L"New", L"Unknown"}) {
    engine::Run().install_type = type;
    QueueCompletionNotification();
  }
  engine::Run().install_type = L"New";
  QueueCancelNotification();
  QueueUninstallNotification(Wide(Url("answer?uninstall&s=%session%")));
  DrainNotifications();

  std::vector<std::string> lines;
  for (const std::string& request : ServerLog()) lines.push_back(RequestLine(request));
  std::vector<std::string> expected;
  for (const char* query : {"blocking", "start", "upgrade", "downgrade", "reinstall", "new", "new", "cancel",
                            "uninstall&s=4611686018427387905"})
    expected.push_back("GET " + Path(std::string("answer?") + query) + " HTTP/1.0");
  EXPECT_EQ(lines, expected);
}

TEST_F(NotificationsTest, EmptyAddressesOfTheScriptSendNothing) {
  QueueStartNotification();
  QueueCompletionNotification();
  QueueCancelNotification();
  QueueUninstallNotification(L"");
  QueueNotification(Wide(Url("answer?only")), false);
  DrainNotifications();
  ASSERT_EQ(ServerLog().size(), 1u);
}

TEST_F(NotificationsTest, OwnClientTriesAgainOnlyWhenNoAnswerCame) {
  struct Case {
    const char* rest;
    bool with_details;
    const char* retry_method;  // nullptr: no second try
  };
  const Case cases[] = {
      {"reset?at=request", false, "GET"},
      {"reset?at=request&report", true, "POST"},
      {"answer?status=404", false, nullptr},
      {"answer?status=500", true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rest);
    id_ = id_ + "-x";
    QueueNotification(Wide(Url(c.rest)), c.with_details);
    DrainNotifications();
    const std::vector<std::string> log = ServerLog();
    ASSERT_FALSE(log.empty());
    // The system library may itself repeat a request whose connection broke; its requests are
    // HTTP/1.0, the own client's HTTP/1.1.
    EXPECT_EQ(RequestLine(log.front()).substr(RequestLine(log.front()).size() - 8), "HTTP/1.0");
    if (c.retry_method) {
      EXPECT_EQ(RequestLine(log.back()), std::string(c.retry_method) + " " + Path(c.rest) + " HTTP/1.1");
      if (c.with_details) EXPECT_NE(log.back().find("name=\"problems\""), std::string::npos);
    } else {
      EXPECT_EQ(log.size(), 1u);
    }
  }
}

}  // namespace
}  // namespace halberd::engine
