// What the HTTP client sends: request text, redirect rules, the multipart form and result texts.
#include "foundation/http_request.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/http_result.h"
#include "foundation/http_url.h"

using namespace halberd;

namespace {
HttpUrl Url(const char* text) {
  HttpUrl url;
  EXPECT_EQ(ParseHttpUrl(text, url), 0) << text;
  return url;
}
}  // namespace

TEST(HttpRequest, BuildsTheExactRequestText) {
  struct Case {
    const char* name;
    const char* url;
    uint32_t flags;
    const char* own_line;
    std::string extra;
    std::string expected;
  };
  const std::string library_lines = "User-Agent: Tessel 21.0\r\nAccept-Encoding: identity\r\n";
  const Case cases[] = {
      {"plain GET", "http://example.com/notify?id=7", 0, "", "",
       "GET /notify?id=7 HTTP/1.1\r\nHost: example.com\r\n" + library_lines + "\r\n"},
      {"port in Host", "http://127.0.0.1:8123/x", 0, "", "",
       "GET /x HTTP/1.1\r\nHost: 127.0.0.1:8123\r\n" + library_lines + "\r\n"},
      {"HEAD", "http://h/", http_flag::kHead, "", "", "HEAD / HTTP/1.1\r\nHost: h\r\n" + library_lines + "\r\n"},
      {"POST wins over HEAD", "http://h/f", http_flag::kPost | http_flag::kHead, "", "",
       "POST /f HTTP/1.1\r\nHost: h\r\n" + library_lines + "\r\n"},
      {"POST with a body", "http://h/form", http_flag::kPost, "",
       "Content-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello",
       "POST /form HTTP/1.1\r\nHost: h\r\n" + library_lines +
           "Content-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello"},
      {"extra header lines get the empty line", "http://h/", 0, "", "X-One: 1\r\nX-Two: 2\r\n",
       "GET / HTTP/1.1\r\nHost: h\r\n" + library_lines + "X-One: 1\r\nX-Two: 2\r\n\r\n"},
      {"a last line without its line end", "http://h/", 0, "", "X-One: 1",
       "GET / HTTP/1.1\r\nHost: h\r\n" + library_lines + "X-One: 1\r\n\r\n"},
      {"own User-Agent suppresses both library lines", "http://h/", 0, "", "User-Agent: Other/2\r\n",
       "GET / HTTP/1.1\r\nHost: h\r\nUser-Agent: Other/2\r\n\r\n"},
      {"own User-Agent in any letter case", "http://h/", 0, "", "X-A: 1\r\nuser-agent: Other/2\r\n",
       "GET / HTTP/1.1\r\nHost: h\r\nX-A: 1\r\nuser-agent: Other/2\r\n\r\n"},
      {"User-Agent only in the body counts not", "http://h/", http_flag::kPost, "",
       "Content-Length: 16\r\n\r\nUser-Agent: x\r\n\r\n",
       "POST / HTTP/1.1\r\nHost: h\r\n" + library_lines + "Content-Length: 16\r\n\r\nUser-Agent: x\r\n\r\n"},
      {"X-User-Agent is another header", "http://h/", 0, "", "X-User-Agent: 1\r\n",
       "GET / HTTP/1.1\r\nHost: h\r\n" + library_lines + "X-User-Agent: 1\r\n\r\n"},
      {"own request line", "http://h/ignored", http_flag::kOwnRequestLine, "OPTIONS * HTTP/1.1", "",
       "OPTIONS * HTTP/1.1\r\nHost: h\r\n" + library_lines + "\r\n"},
      {"own request line with its line end", "http://h/", http_flag::kOwnRequestLine | http_flag::kPost,
       "PUT /x HTTP/1.1\r\n", "Content-Length: 0\r\n\r\n",
       "PUT /x HTTP/1.1\r\nHost: h\r\n" + library_lines + "Content-Length: 0\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildHttpRequest(Url(c.url), c.flags, c.own_line, c.extra), c.expected);
  }
}

TEST(HttpRequest, FollowsRedirectsAsTheFlagsAllow) {
  using namespace http_flag;
  struct Case {
    int status;
    uint32_t flags;
    bool follow;
    uint32_t next_flags;
    bool drop_body;
  };
  const Case cases[] = {
      {301, 0, true, 0, false},
      {308, kPost, true, kPost, false},
      {301, kNoFollowPermanent, false, 0, false},
      {308, kNoFollowPermanent, false, 0, false},
      {301, kNoFollowTemporary, true, kNoFollowTemporary, false},
      {302, 0, true, 0, false},
      {307, kPost, true, kPost, false},  // 307 keeps the POST
      {302, kPost, true, kPost, false},
      {302, kNoFollowTemporary, false, 0, false},
      {307, kNoFollowTemporary, false, 0, false},
      {302, kNoFollowPermanent, true, kNoFollowPermanent, false},
      {303, kPost | kWideBody, true, kWideBody, true},  // a POST becomes a GET without its body
      {303, 0, true, 0, false},
      {303, kHead, true, kHead, false},
      {303, kPost | kNoFollowTemporary, false, 0, false},
      {303, kPost | kNoFollowPermanent, true, kNoFollowPermanent, true},
      {302, kOwnRequestLine, false, 0, false},
      {300, 0, false, 0, false},
      {304, 0, false, 0, false},
      {305, 0, false, 0, false},
      {200, 0, false, 0, false},
      {500, 0, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " flags " << c.flags);
    HttpRedirectStep step = DecideHttpRedirect(c.status, c.flags);
    EXPECT_EQ(step.follow, c.follow);
    if (!c.follow) continue;
    EXPECT_EQ(step.flags, c.next_flags);
    EXPECT_EQ(step.drop_body, c.drop_body);
  }
}

TEST(HttpRequest, A303DropsTheBodyAndItsHeaders) {
  EXPECT_EQ(HeaderTextWithoutBody("Content-Type: multipart/form-data; boundary=AaB03x\r\n"
                                  "X-Keep: 1\r\ncontent-length: 12\r\n\r\nfield=value\r\n"),
            "X-Keep: 1\r\n");
  EXPECT_EQ(HeaderTextWithoutBody("X-Keep: 1\r\nUser-Agent: Other\r\n"), "X-Keep: 1\r\nUser-Agent: Other\r\n");
  EXPECT_EQ(HeaderTextWithoutBody("\r\nbody only"), "");
  EXPECT_EQ(HeaderTextWithoutBody(""), "");
}

TEST(HttpRequest, EncodesAMultipartFormExactly) {
  const HttpForm form = BuildHttpForm({{"from", "setup@example.com"}, {"body", "line 1\r\nline 2"}, {"empty", ""}});
  const std::string body =
      "--AaB03x\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nsetup@example.com\r\n"
      "--AaB03x\r\nContent-Disposition: form-data; name=\"body\"\r\n\r\nline 1\r\nline 2\r\n"
      "--AaB03x\r\nContent-Disposition: form-data; name=\"empty\"\r\n\r\n\r\n"
      "--AaB03x--\r\n";
  EXPECT_EQ(form.boundary, "AaB03x");
  EXPECT_EQ(form.body, body);
  EXPECT_EQ(form.ContentType(), "multipart/form-data; boundary=AaB03x");
  EXPECT_EQ(form.HeaderText(), "Content-Type: multipart/form-data; boundary=AaB03x\r\nContent-Length: " +
                                   std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(BuildHttpForm({}).body, "--AaB03x--\r\n");
}

TEST(HttpRequest, AFormValueCannotEndTheFormOrForgeAField) {
  // A report text that carries the boundary would otherwise close the form and add a field.
  const std::string forged = "text\r\n--AaB03x\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nx";
  HttpForm form = BuildHttpForm({{"problems", forged}});
  EXPECT_EQ(form.boundary, "AaB03x-1");
  EXPECT_EQ(form.body, "--AaB03x-1\r\nContent-Disposition: form-data; name=\"problems\"\r\n\r\n" + forged +
                           "\r\n--AaB03x-1--\r\n");
  form = BuildHttpForm({{"a", "AaB03x"}, {"b", "AaB03x-1 AaB03x-2"}});
  EXPECT_EQ(form.boundary, "AaB03x-3");
  // Quotes and line breaks cannot leave the name's quotes.
  form = BuildHttpForm({{"a\"b\r\nX: y", "v"}});
  EXPECT_EQ(form.body, "--AaB03x\r\nContent-Disposition: form-data; name=\"a%22b%0D%0AX: y\"\r\n\r\nv\r\n--AaB03x--\r\n");
}

TEST(HttpResult, EveryCodeHasItsOwnText) {
  const int codes[] = {1001, 1002, 1004, 1005, 1006, 1007, 1008, 1009, 1012, 1014, 1020, 1021, 1022, 1023, 1024, 1025};
  for (int code : codes) {
    SCOPED_TRACE(code);
    EXPECT_FALSE(IsHttpStatus(code));
    const std::string text = HttpResultText(code);
    EXPECT_EQ(text.find("Unknown"), std::string::npos);
    for (int other : codes)
      if (other != code) EXPECT_NE(text, HttpResultText(other));
  }
  EXPECT_EQ(HttpResultText(404), "HTTP status 404");
  EXPECT_TRUE(IsHttpStatus(100));
  EXPECT_TRUE(IsHttpStatus(999));
  EXPECT_FALSE(IsHttpStatus(0));
  EXPECT_EQ(HttpResultText(1003), "Unknown HTTP result 1003");
  EXPECT_EQ(HttpResultText(-1), "Unknown HTTP result -1");
}
