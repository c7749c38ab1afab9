// The HTTP client and the system-library transport against the loopback test server
// (tests/tools/http_test_server.py). The server's port comes from HALBERD_HTTP_TEST_PORT; without
// it every test here is skipped. Only 127.0.0.1 is contacted.
#include "foundation/http_client.h"
#include "tests/win32/test_support.h"

using halberd::test::DeleteTree;
using halberd::test::RawGet;
using halberd::test::SystemTempPath;

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace halberd;

namespace {

constexpr const char* kLibraryLines = "User-Agent: Tessel 21.0\r\nAccept-Encoding: identity\r\n";

// A loopback port nothing listens on: bound, never listened to, then closed.
int ClosedPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(s);
  return ntohs(address.sin_port);
}

// Wine reports a connection reset by the peer as an orderly close (recv gives 0 and no error), so
// there a reset before the end of a delimited answer ends as 1001 instead of 1014.
bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
const int kResetResult = UnderWine() ? http_result::kClosed : http_result::kReset;

struct ProgressCall {
  int position;
  int total;
  std::string text;  // "" for the calls while waiting
  ULONGLONG tick;
};

class HttpClientTest : public test::LoopbackServerTest {
 protected:
  // A fresh id for each case of a table, so that each has its own record.
  std::string NextId() { return id_ + "-" + std::to_string(++cases_); }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n"; }
  std::string Url(const std::string& id, const std::string& rest) const { return Origin() + "/" + id + "/" + rest; }
  // The raw requests the server recorded for `id`, in order.
  std::vector<std::string> ServerLog(const std::string& id) const { return ServerLogOf(id); }

  int cases_ = 0;
};

}  // namespace

TEST_F(HttpClientTest, SendsTheRequestByteForByte) {
  const std::string form_body =
      "--AaB03x\r\nContent-Disposition: form-data; name=\"problems\"\r\n\r\nDemo 1.0\r\nfailed\r\n--AaB03x--\r\n";
  struct Case {
    const char* name;
    uint32_t flags;
    std::string extra;
    std::string expected_after_host;  // request line + Host, then this
    const char* method;
  };
  const Case cases[] = {
      {"GET", 0, "", std::string(kLibraryLines) + "\r\n", "GET"},
      {"HEAD", http_flag::kHead, "", std::string(kLibraryLines) + "\r\n", "HEAD"},
      {"extra headers", 0, "X-Session: 42\r\n", std::string(kLibraryLines) + "X-Session: 42\r\n\r\n", "GET"},
      {"own User-Agent", 0, "User-Agent: Probe/1\r\n", "User-Agent: Probe/1\r\n\r\n", "GET"},
      {"form", http_flag::kPost, BuildHttpForm({{"problems", "Demo 1.0\r\nfailed"}}).HeaderText(),
       std::string(kLibraryLines) + "Content-Type: multipart/form-data; boundary=AaB03x\r\nContent-Length: " +
           std::to_string(form_body.size()) + "\r\n\r\n" + form_body,
       "POST"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = NextId();
    HttpClient client;
    EXPECT_EQ(client.Request(Url(id, "answer?body=ok"), c.flags, c.extra), 200);
    const std::vector<std::string> log = ServerLog(id);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], std::string(c.method) + " /" + id + "/answer?body=ok HTTP/1.1\r\n" + HostLine() +
                          c.expected_after_host);
  }

  // The form post helper sends the same bytes.
  const std::string id = NextId();
  HttpClient client;
  EXPECT_EQ(client.PostForm(Url(id, "echo"), {{"problems", "Demo 1.0\r\nfailed"}}), 200);
  EXPECT_EQ(client.body(), "POST /" + id + "/echo HTTP/1.1\r\n" + HostLine() + kLibraryLines +
                               "Content-Type: multipart/form-data; boundary=AaB03x\r\nContent-Length: " +
                               std::to_string(form_body.size()) + "\r\n\r\n" + form_body);

  // The caller's own request line.
  const std::string own = NextId();
  client.SetRequestLine("GET /" + own + "/echo?own=1 HTTP/1.1");
  EXPECT_EQ(client.Request(Url(own, "ignored"), http_flag::kOwnRequestLine), 200);
  EXPECT_EQ(client.body(), "GET /" + own + "/echo?own=1 HTTP/1.1\r\n" + HostLine() + kLibraryLines + "\r\n");
  client.SetRequestLine("");
  EXPECT_EQ(client.Request(Url(own, "echo"), http_flag::kOwnRequestLine), http_result::kEmptyUrl);
}

TEST_F(HttpClientTest, EndsEachServerBehaviourInItsResult) {
  struct Case {
    const char* behaviour;
    uint32_t flags;
    DWORD inactivity_timeout;
    int result;
    const char* body;  // nullptr: not compared
  };
  const Case cases[] = {
      {"answer?body=hello", 0, 60000, 200, "hello"},
      {"answer?framing=chunked&chunk=3&body=chunked%20body", 0, 60000, 200, "chunked body"},
      {"answer?framing=both&chunk=2&body=chunked%20wins", 0, 60000, 200, "chunked wins"},
      {"answer?framing=close&body=until%20the%20close", 0, 60000, 200, "until the close"},
      {"answer?framing=close&size=100000", 0, 60000, 200, nullptr},
      {"answer?framing=chunked&chunk=7000&size=100000", 0, 60000, 200, nullptr},
      // A length-delimited body ends without waiting for the close (the server holds on).
      {"answer?body=held&hold=20", 0, 3000, 200, "held"},
      {"answer?framing=chunked&body=held&hold=20", 0, 3000, 200, "held"},
      // HEAD and 204 end after the headers.
      {"answer?body=not%20read&hold=20", http_flag::kHead, 3000, 200, ""},
      {"answer?status=204&body=&hold=20", 0, 3000, 204, ""},
      {"answer?status=404&body=missing", 0, 60000, 404, "missing"},
      {"interim", 0, 60000, 200, "after interim"},
      {"garbage", 0, 60000, http_result::kBadStatusLine, nullptr},
      {"bad-chunk", 0, 60000, http_result::kBadResponse, nullptr},
      // Resets: before the answer and within a length-delimited body fail; after a
      // close-delimited body the body is complete.
      {"reset?at=request", 0, 60000, kResetResult, nullptr},
      {"reset?at=body", 0, 60000, kResetResult, nullptr},
      {"reset?at=end", 0, 60000, 200, "body before the reset"},
      // Silence: the inactivity timeout, wherever the answer stops.
      {"stall?at=connect&wait=20", 0, 1500, http_result::kTimeout, nullptr},
      {"stall?at=headers&wait=20", 0, 1500, http_result::kTimeout, nullptr},
      {"stall?at=body&wait=20", 0, 1500, http_result::kTimeout, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    HttpClient client;
    client.SetInactivityTimeout(c.inactivity_timeout);
    const int result = client.Request(Url(NextId(), c.behaviour), c.flags);
    EXPECT_EQ(result, c.result) << HttpResultText(result) << ", socket error " << client.last_socket_error();
    if (c.body) EXPECT_EQ(client.body(), c.body);
    if (c.result == http_result::kTimeout) EXPECT_EQ(client.last_socket_error(), WSAETIMEDOUT);
  }
  // A server that resets the connection instead of reading a large body: the send fails.
  HttpClient sender;
  const std::string large(32 << 20, 'b');
  EXPECT_EQ(sender.Request(Url(NextId(), "refuse-body"), http_flag::kPost,
                           "Content-Length: " + std::to_string(large.size()) + "\r\n\r\n" + large),
            http_result::kSendFailed);
  EXPECT_NE(sender.last_socket_error(), 0);

  // Generated bodies arrive whole whatever the framing.
  HttpClient client;
  ASSERT_EQ(client.Request(Url(NextId(), "answer?framing=chunked&chunk=7000&size=100000")), 200);
  ASSERT_EQ(client.body().size(), 100000u);
  for (size_t i = 0; i < client.body().size(); ++i)
    ASSERT_EQ(uint8_t(client.body()[i]), (i * 7 + 13) % 256) << "byte " << i;
}

TEST_F(HttpClientTest, RefusesWhatItCannotOrMustNotSend) {
  struct Case {
    std::string url;
    int result;
  };
  const std::string id = NextId();
  const Case cases[] = {
      // Never plain text to an https address, whatever its port.
      {"https://127.0.0.1:" + std::to_string(port_) + "/" + id + "/echo", http_result::kSecureNotSupported},
      {"", http_result::kEmptyUrl},
      {"http://[::1]:" + std::to_string(port_) + "/", http_result::kIpv6Host},
      {"http://127.0.0.1:99999/", http_result::kBadAddress},
      {"http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", http_result::kNotConnected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpClient client;
    EXPECT_EQ(client.Get(c.url), c.result);
  }
  EXPECT_TRUE(ServerLog(id).empty());

  HttpClient refused;
  EXPECT_EQ(refused.Get("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"), http_result::kNotConnected);
  EXPECT_EQ(refused.last_socket_error(), WSAECONNREFUSED);

  // The local address is bound before connecting: one that is not this machine's fails there.
  HttpClient bound;
  bound.SetLocalAddress("127.0.0.1");
  EXPECT_EQ(bound.Get(Url(NextId(), "answer")), 200);
  bound.SetLocalAddress("192.0.2.1");  // documentation range, never local
  EXPECT_EQ(bound.Get(Url(NextId(), "answer")), http_result::kNotConnected);
  EXPECT_EQ(bound.last_socket_error(), WSAEADDRNOTAVAIL);

  // A body kept in memory has a limit.
  HttpClient limited;
  limited.SetMaxKeptBody(1000);
  EXPECT_EQ(limited.Get(Url(NextId(), "answer?size=5000")), http_result::kTooLarge);
}

TEST_F(HttpClientTest, FollowsRedirectsAsTheRulesSay) {
  const HttpForm form = BuildHttpForm({{"problems", "report"}});
  struct Case {
    const char* name;
    std::string behaviour;  // {id} is replaced by the case's id
    uint32_t flags;
    std::string extra;
    int result;
    int redirects;
    std::string final_request;  // the echoed request ("" when the last answer is not an echo)
  };
  const std::string get_echo = " HTTP/1.1\r\n" + HostLine() + kLibraryLines + "\r\n";
  const Case cases[] = {
      {"301 host-relative", "redirect?status=301&to=/{id}/echo", 0, "", 200, 1, "GET /{id}/echo" + get_echo},
      {"308 keeps the POST", "redirect?status=308&to=/{id}/echo", http_flag::kPost, form.HeaderText(), 200, 1,
       "POST /{id}/echo HTTP/1.1\r\n" + HostLine() + kLibraryLines + form.HeaderText()},
      {"302 folder-relative", "redirect?status=302&to=echo%3Fq%3D1", 0, "", 200, 1, "GET /{id}/echo?q=1" + get_echo},
      {"307 absolute", "redirect?status=307&to=" + Origin() + "/{id}/echo", 0, "", 200, 1,
       "GET /{id}/echo" + get_echo},
      {"303 turns the POST into a GET without its body", "redirect?status=303&to=/{id}/echo", http_flag::kPost,
       "X-Keep: 1\r\n" + form.HeaderText(), 200, 1,
       "GET /{id}/echo HTTP/1.1\r\n" + HostLine() + kLibraryLines + "X-Keep: 1\r\n\r\n"},
      {"blanks without % are escaped", "redirect?to=/{id}/echo%3Fa%3Done%20two", 0, "", 200, 1,
       "GET /{id}/echo?a=one%20two" + get_echo},
      {"location with %", "redirect?to=/{id}/echo%3Fa%3D%2541%20b", 0, "", 200, 1,
       "GET /{id}/echo?a=%41%20b" + get_echo},
      {"two hops", "redirect?to=/{id}/redirect%3Fto%3D/{id}/echo", 0, "", 200, 2, "GET /{id}/echo" + get_echo},
      {"302 not followed", "redirect?status=302&to=/{id}/echo", http_flag::kNoFollowTemporary, "", 302, 0, ""},
      {"303 not followed", "redirect?status=303&to=/{id}/echo", http_flag::kNoFollowTemporary, "", 303, 0, ""},
      {"307 not followed", "redirect?status=307&to=/{id}/echo", http_flag::kNoFollowTemporary, "", 307, 0, ""},
      {"301 not followed", "redirect?status=301&to=/{id}/echo", http_flag::kNoFollowPermanent, "", 301, 0, ""},
      {"308 not followed", "redirect?status=308&to=/{id}/echo", http_flag::kNoFollowPermanent, "", 308, 0, ""},
      {"no location", "redirect?to=none", 0, "", 302, 0, ""},
      {"to https", "redirect?to=https://127.0.0.1:" + std::to_string(port_) + "/{id}/echo", 0, "",
       http_result::kSecureNotSupported, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = NextId();
    auto with_id = [&](std::string text) {
      for (size_t at; (at = text.find("{id}")) != std::string::npos;) text.replace(at, 4, id);
      return text;
    };
    HttpClient client;
    EXPECT_EQ(client.Request(Url(id, with_id(c.behaviour)), c.flags, c.extra), c.result);
    EXPECT_EQ(client.redirects_followed(), c.redirects);
    if (!c.final_request.empty()) EXPECT_EQ(client.body(), with_id(c.final_request));
    if (c.redirects == 0) EXPECT_EQ(ServerLog(id).size(), 1u);
  }
}

TEST_F(HttpClientTest, ARedirectLoopEndsWithTheTenthAnswer) {
  for (int status : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(status);
    const std::string id = NextId();
    HttpClient client;
    const std::string url = Url(id, "loop?status=" + std::to_string(status));
    EXPECT_EQ(client.Request(url, http_flag::kRememberFinalUrl), status);
    EXPECT_EQ(client.redirects_followed(), kHttpMaxRedirects);
    EXPECT_EQ(ServerLog(id).size(), size_t(kHttpMaxRedirects + 1));
    EXPECT_EQ(client.final_url(), url);
  }
  // The final address is remembered only when asked.
  const std::string id = NextId();
  HttpClient client;
  EXPECT_EQ(client.Request(Url(id, "redirect?to=/" + id + "/echo"), http_flag::kRememberFinalUrl), 200);
  EXPECT_EQ(client.final_url(), Origin() + "/" + id + "/echo");
  EXPECT_EQ(client.Request(Url(id, "redirect?to=/" + id + "/echo")), 200);
  EXPECT_EQ(client.final_url(), Url(id, "redirect?to=/" + id + "/echo"));
}

TEST_F(HttpClientTest, AsksAgainOnceAfterA500) {
  std::string id = NextId();
  HttpClient client;
  EXPECT_EQ(client.Request(Url(id, "fail-once"), http_flag::kPost, "Content-Length: 4\r\n\r\nbody"), 200);
  EXPECT_EQ(client.body(), "recovered");
  std::vector<std::string> log = ServerLog(id);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], log[1]);  // the same request, body included
  EXPECT_TRUE(log[1].ends_with("\r\n\r\nbody"));

  id = NextId();
  EXPECT_EQ(client.Get(Url(id, "answer?status=500&body=still%20failing")), 500);
  EXPECT_EQ(client.body(), "still failing");
  EXPECT_EQ(ServerLog(id).size(), 2u);
}

TEST_F(HttpClientTest, ReportsProgressStepsAndWaits) {
  std::vector<ProgressCall> calls;
  HttpProgress record = [&](int position, int total, const char* text) {
    calls.push_back({position, total, text ? text : "", GetTickCount64()});
    return false;
  };
  HttpClient client;
  ASSERT_EQ(client.Request(Url(NextId(), "drip?count=6&delay=250"), 0, {}, nullptr, record), 200);
  EXPECT_EQ(client.body(), "dddddd");

  const std::vector<std::pair<int, std::string>> steps = {
      {0, "Resolving..."},           {200, "Connecting..."},          {500, "Querying..."},
      {750, "Receiving status..."}, {1000, "Receiving headers..."}, {1250, "Downloading..."}};
  std::vector<std::pair<int, std::string>> seen_steps;
  int last_position = 0;
  ULONGLONG last_wait = 0;
  bool waited_in_body = false;
  for (const ProgressCall& call : calls) {
    EXPECT_EQ(call.total, kHttpProgressTotal);
    EXPECT_GE(call.position, last_position) << "the position went back";
    EXPECT_LE(call.position, kHttpProgressTotal);
    last_position = call.position;
    if (!call.text.empty()) {
      seen_steps.emplace_back(call.position, call.text);
      continue;
    }
    // Calls while waiting: at most one per 200 ms (with room for the clock's steps and scheduling).
    if (last_wait) EXPECT_GE(call.tick - last_wait, 150u);
    last_wait = call.tick;
    if (call.position > 1250) waited_in_body = true;
  }
  EXPECT_EQ(seen_steps, steps);
  EXPECT_TRUE(waited_in_body) << "the body's bytes did not move the position";
}

TEST_F(HttpClientTest, TheProgressCallbackCancels) {
  struct Case {
    const char* name;
    const char* behaviour;
    // Cancels at the call with this text, or ("" ) at the first call while waiting past `after`.
    const char* at_text;
    int after;
    bool request_sent;
  };
  const Case cases[] = {
      {"while resolving", "answer", "Resolving...", 0, false},
      {"while connecting", "answer", "Connecting...", 0, false},
      {"before sending", "answer", "Querying...", 0, false},
      {"waiting for the status", "stall?at=connect&wait=20", "", 750, true},
      {"waiting for the headers", "stall?at=headers&wait=20", "", 1000, true},
      {"in the body", "drip?count=40&delay=250", "", 1250, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = NextId();
    HttpProgress cancel = [&](int position, int, const char* text) {
      if (*c.at_text) return text && std::string(text) == c.at_text;
      return !text && position >= c.after;
    };
    HttpClient client;
    EXPECT_EQ(client.Request(Url(id, c.behaviour), 0, {}, nullptr, cancel), http_result::kCancelled);
    EXPECT_EQ(ServerLog(id).size(), c.request_sent ? 1u : 0u);
  }
  // A sink that refuses more cancels as well.
  HttpClient client;
  int pieces = 0;
  EXPECT_EQ(client.Request(Url(NextId(), "drip?count=40&delay=100"), 0, {}, [&](std::string_view) { return ++pieces < 2; }),
            http_result::kCancelled);
}

TEST_F(HttpClientTest, GivesTheBodyToASinkOrAsWideText) {
  std::string sunk;
  HttpClient client;
  ASSERT_EQ(client.Request(Url(NextId(), "answer?framing=chunked&chunk=5000&size=30000"), 0, {},
                           [&](std::string_view piece) {
                             sunk += piece;
                             return true;
                           }),
            200);
  EXPECT_EQ(sunk.size(), 30000u);
  EXPECT_EQ(client.body(), "");
  // A redirect's and a retried answer's bodies never reach the sink.
  sunk.clear();
  const std::string id = NextId();
  ASSERT_EQ(client.Request(Url(id, "redirect?to=/" + id + "/fail-once"), 0, {},
                           [&](std::string_view piece) {
                             sunk += piece;
                             return true;
                           }),
            200);
  EXPECT_EQ(sunk, "recovered");

  struct Case {
    const char* behaviour;
    uint32_t flags;
    const char* type;
    const char* subtype;
    const char* charset;
    std::wstring text;
  };
  const Case cases[] = {
      {"answer?body=caf%C3%A9%20%E2%82%AC&type=Text/Plain;%20charset=%22UTF-8%22", http_flag::kWideBody, "text", "plain",
       "utf-8", L"caf\u00E9 \u20AC"},
      {"answer?body=caf%E9&type=text/html", http_flag::kWideBody, "text", "html", "", L"caf\u00E9"},
      {"answer?body=%93q%94&type=text/plain;charset=windows-1252", http_flag::kWideBody, "text", "plain",
       "windows-1252", L"\u201Cq\u201D"},
      {"answer?body=caf%E9&type=text/plain", 0, "text", "plain", "", L""},                       // not asked
      {"answer?status=404&body=x&type=text/plain", http_flag::kWideBody, "text", "plain", "", L""},  // not 200
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    HttpClient wide;
    wide.Request(Url(NextId(), c.behaviour), c.flags);
    EXPECT_EQ(wide.response().content_type(), c.type);
    EXPECT_EQ(wide.response().content_subtype(), c.subtype);
    EXPECT_EQ(wide.response().charset(), c.charset);
    EXPECT_EQ(wide.wide_body(), c.text);
  }
}

TEST_F(HttpClientTest, TheSystemLibraryCarriesPlainHttpToo) {
  std::string id = NextId();
  std::string body;
  DWORD error = 0;
  ASSERT_EQ(HttpGetViaSystem(Url(id, "answer?body=via%20the%20system"), &body, &error), 200) << error;
  EXPECT_EQ(body, "via the system");
  std::vector<std::string> log = ServerLog(id);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].starts_with("GET /" + id + "/answer?body=via%20the%20system HTTP/1.0\r\n")) << log[0];
  EXPECT_NE(log[0].find("User-Agent: Tessel 21.0\r\n"), std::string::npos) << log[0];

  id = NextId();
  const HttpForm form = BuildHttpForm({{"problems", "Demo 1.0\r\nfailed"}});
  ASSERT_EQ(HttpPostFormViaSystem(Url(id, "answer?body=posted"), {{"problems", "Demo 1.0\r\nfailed"}}, &body, &error),
            200)
      << error;
  EXPECT_EQ(body, "posted");
  log = ServerLog(id);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].starts_with("POST /" + id + "/answer?body=posted HTTP/1.0\r\n")) << log[0];
  EXPECT_NE(log[0].find("\r\nContent-Type: multipart/form-data; boundary=AaB03x\r\n"), std::string::npos) << log[0];
  EXPECT_TRUE(log[0].ends_with("\r\n\r\n" + form.body)) << log[0];

  EXPECT_EQ(HttpGetViaSystem(Url(NextId(), "answer?status=404&body=x")), 404);
  EXPECT_EQ(HttpGetViaSystem("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", nullptr, &error),
            http_result::kNotConnected);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(HttpGetViaSystem(""), http_result::kEmptyUrl);
  EXPECT_EQ(HttpGetViaSystem("http://user@127.0.0.1/"), http_result::kBadAddress);
}
