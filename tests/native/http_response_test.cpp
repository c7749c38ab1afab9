// The HTTP response parser: every framing fed whole, split at every byte boundary and byte by
// byte, with the same result each way; limits; content type; body text decoding.
#include "foundation/http_response.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/http_result.h"

using namespace halberd;

namespace {

enum class End { kOpen, kClose, kReset };

struct Outcome {
  int result = 0;
  std::string body;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "result " << o.result << ", body \"" << o.body << "\"";
}

// Feeds `raw` cut at `cuts` (ascending offsets), then ends the connection as `end` says.
Outcome Parse(const std::string& raw, bool head, End end, const std::vector<size_t>& cuts) {
  HttpResponseParser parser(head);
  size_t from = 0;
  int result = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : raw.size();
    int r = parser.Feed(std::string_view(raw).substr(from, to - from));
    if (result != 0) EXPECT_EQ(r, result) << "a result changed after more bytes";
    result = r;
    from = to;
  }
  if (end != End::kOpen) {
    int r = parser.Finish(end == End::kReset);
    if (result != 0) EXPECT_EQ(r, result) << "the end of the connection changed a result";
    result = r;
  }
  EXPECT_EQ(result, parser.result());
  return {result, parser.body()};
}

// The outcome of feeding `raw` whole; EXPECTs that every split into two pieces and the byte-by-byte
// feeding give the same.
Outcome ParseEverySplit(const std::string& raw, bool head, End end) {
  const Outcome whole = Parse(raw, head, end, {});
  for (size_t cut = 1; cut < raw.size(); ++cut) {
    const Outcome split = Parse(raw, head, end, {cut});
    if (split != whole) {
      ADD_FAILURE() << "split at " << cut << ": " << split << " instead of " << whole;
      break;
    }
  }
  std::vector<size_t> every;
  for (size_t cut = 1; cut < raw.size(); ++cut) every.push_back(cut);
  EXPECT_EQ(Parse(raw, head, end, every), whole) << "byte by byte";
  return whole;
}

}  // namespace

TEST(HttpResponse, ReadsEveryFramingTheSameWayHoweverTheBytesArrive) {
  struct Case {
    const char* name;
    std::string raw;
    End end;
    int result;
    std::string body;
    bool head = false;
  };
  const Case cases[] = {
      // Length-delimited: exactly that many bytes; what follows is not read.
      {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", End::kOpen, 200, "hello"},
      {"content length, blanks around", "HTTP/1.1 201 Created\r\nContent-Length:  3 \r\n\r\nabc", End::kOpen, 201, "abc"},
      {"content length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", End::kOpen, 200, ""},
      {"content length, closed early", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", End::kClose,
       http_result::kClosed, "hello"},
      {"content length, reset early", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", End::kReset,
       http_result::kReset, "hello"},
      {"content length, still open", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", End::kOpen, 0, "hello"},
      // Chunked, also beside a content length, in any letter case, with extensions.
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n7;name=x\r\n, world\r\n0\r\n\r\n",
       End::kOpen, 200, "hello, world"},
      {"chunked wins over length",
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: Chunked\r\n\r\nA\r\n0123456789\r\n0\r\n", End::kOpen,
       200, "0123456789"},
      {"chunked, upper-case hex and blanks", "HTTP/1.1 200 OK\r\ntransfer-encoding:  CHUNKED \r\n\r\n 1B \r\n"
       "abcdefghijklmnopqrstuvwxyz!\r\n0\r\n", End::kOpen, 200, "abcdefghijklmnopqrstuvwxyz!"},
      {"chunked ends at size 0 without trailers", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n",
       End::kOpen, 200, "ok"},
      {"chunked, closed early", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", End::kClose,
       http_result::kClosed, "hel"},
      {"chunked, reset before the last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n",
       End::kReset, http_result::kReset, "ok"},
      {"chunked, bad size line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nok\r\n0\r\n", End::kClose,
       http_result::kBadResponse, ""},
      {"chunked, size with junk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2 x\r\nok\r\n0\r\n",
       End::kClose, http_result::kBadResponse, ""},
      {"chunked, empty size line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\nok\r\n0\r\n",
       End::kClose, http_result::kBadResponse, ""},
      {"chunked, data longer than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokay\r\n0\r\n",
       End::kClose, http_result::kBadResponse, "ok"},
      {"chunked, size beyond 2^60", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000001\r\n",
       End::kClose, http_result::kBadResponse, ""},
      {"chunked, size that wraps 64 bits", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "10000000000000002\r\nok\r\n0\r\n", End::kClose, http_result::kBadResponse, ""},
      {"chunked, largest size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000000000000000\r\nok",
       End::kOpen, 0, "ok"},
      // Close-delimited: no usable length; the close or a reset ends the body.
      {"until close", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nall of it\r\nand more", End::kClose, 200,
       "all of it\r\nand more"},
      {"until reset", "HTTP/1.0 200 OK\r\n\r\nall of it", End::kReset, 200, "all of it"},
      {"until close, still open", "HTTP/1.0 200 OK\r\n\r\nall of it", End::kOpen, 0, "all of it"},
      {"not a decimal length", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\nbody", End::kClose, 200, "body"},
      {"length that overflows", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nbody", End::kClose, 200,
       "body"},
      {"two different lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 4\r\n\r\nbody", End::kClose,
       200, "body"},
      {"not chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nraw", End::kClose, 200, "raw"},
      // No body.
      {"HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", End::kOpen, 200, "", true},
      {"HEAD, chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", End::kOpen, 200, "", true},
      {"204", "HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\nbody", End::kOpen, 204, ""},
      {"304", "HTTP/1.1 304 Not Modified\r\n\r\n", End::kOpen, 304, ""},
      {"101 is final", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nbinary", End::kOpen, 101, ""},
      // Interim answers are skipped.
      {"100 Continue first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", End::kOpen, 200, "ok"},
      // Line ends, folding, status lines.
      {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", End::kOpen, 200, "ok"},
      {"status without reason", "HTTP/1.1 404\r\nContent-Length: 4\r\n\r\ngone", End::kOpen, 404, "gone"},
      {"lower-case version", "http/1.0 500 Internal Server Error\r\n\r\nfailed", End::kClose, 500, "failed"},
      {"status with a plus sign", "HTTP/1.1 +302 Found\r\nContent-Length: 0\r\n\r\n", End::kOpen, 302, ""},
      {"folded header", "HTTP/1.1 200 OK\r\nContent-Length:\r\n 2\r\n\r\nok", End::kOpen, 200, "ok"},
      {"line without colon ignored", "HTTP/1.1 200 OK\r\nnonsense\r\nContent-Length: 2\r\n\r\nok", End::kOpen, 200,
       "ok"},
      {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"no status", "HTTP/1.1 OK\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"no blank", "HTTP/1.1\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"status below 100", "HTTP/1.1 99 Low\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"status above 999", "HTTP/1.1 1006 Like a library code\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"negative status", "HTTP/1.1 -200 OK\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      {"huge status", "HTTP/1.1 99999999999999999999200 OK\r\n\r\n", End::kOpen, http_result::kBadStatusLine, ""},
      // Ended before the headers.
      {"nothing, closed", "", End::kClose, http_result::kClosed, ""},
      {"nothing, reset", "", End::kReset, http_result::kReset, ""},
      {"status line cut", "HTTP/1.1 200 OK", End::kClose, http_result::kClosed, ""},
      {"headers cut", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n", End::kReset, http_result::kReset, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = ParseEverySplit(c.raw, c.head, c.end);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.body, c.body);
  }
}

TEST(HttpResponse, KeepsTheHeaderTableAndTheContentType) {
  HttpResponseParser parser;
  ASSERT_EQ(parser.Feed("HTTP/1.1 200 OK\r\n"
                        "Content-Type: Text/HTML ; Charset=\"UTF-8\"; q=1\r\n"
                        "X-Twice: a\r\nLocation:  /next  \r\nx-twice: b\r\n"
                        "Content-Length: 0\r\n\r\n"),
            200);
  ASSERT_EQ(parser.headers().size(), 4u);
  EXPECT_EQ(parser.headers()[0].first, "content-type");
  EXPECT_EQ(parser.headers()[1], (std::pair<std::string, std::string>("x-twice", "a, b")));
  ASSERT_NE(parser.Header("LOCATION"), nullptr);
  EXPECT_EQ(*parser.Header("LOCATION"), "/next");
  EXPECT_EQ(parser.Header("missing"), nullptr);
  EXPECT_EQ(parser.content_type(), "text");
  EXPECT_EQ(parser.content_subtype(), "html");
  EXPECT_EQ(parser.charset(), "utf-8");
  EXPECT_EQ(parser.content_length(), 0);

  struct Case {
    const char* header;
    const char* type;
    const char* subtype;
    const char* charset;
  };
  const Case cases[] = {
      {"application/json", "application", "json", ""},
      {"text/plain;charset=ISO-8859-1", "text", "plain", "iso-8859-1"},
      {"text/plain; format=flowed; CHARSET = windows-1252 ", "text", "plain", "windows-1252"},
      {"text", "text", "", ""},
      {"; charset=utf-8", "", "", "utf-8"},
      {"text/plain; mycharset=utf-8", "text", "plain", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    HttpResponseParser p;
    ASSERT_EQ(p.Feed("HTTP/1.1 200 OK\r\nContent-Type: " + std::string(c.header) + "\r\nContent-Length: 0\r\n\r\n"),
              200);
    EXPECT_EQ(p.content_type(), c.type);
    EXPECT_EQ(p.content_subtype(), c.subtype);
    EXPECT_EQ(p.charset(), c.charset);
  }
}

TEST(HttpResponse, BoundsWhatAServerCanMakeItHold) {
  // A header section past 256 KiB, in the status line or after it.
  std::string endless_status = "HTTP/1.1 200 " + std::string(HttpResponseParser::kMaxHeaderBytes, 'x');
  EXPECT_EQ(Parse(endless_status, false, End::kOpen, {}).result, http_result::kBadStatusLine);
  std::string many_headers = "HTTP/1.1 200 OK\r\n";
  while (many_headers.size() <= HttpResponseParser::kMaxHeaderBytes) many_headers += "X-Filler: 0123456789\r\n";
  EXPECT_EQ(Parse(many_headers, false, End::kOpen, {}).result, http_result::kBadResponse);
  // Endless interim answers count against the same limit (it runs out within a status line).
  std::string interim;
  while (interim.size() <= HttpResponseParser::kMaxHeaderBytes) interim += "HTTP/1.1 100 Continue\r\n\r\n";
  EXPECT_EQ(Parse(interim, false, End::kOpen, {}).result, http_result::kBadStatusLine);
  // A chunk-size line past 4 KiB.
  std::string chunk_line = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;" +
                           std::string(HttpResponseParser::kMaxChunkLine, 'e');
  EXPECT_EQ(Parse(chunk_line, false, End::kOpen, {}).result, http_result::kBadResponse);

  // A kept body past its limit, whichever framing.
  for (const char* framing : {"Content-Length: 11\r\n\r\nhello world", "Transfer-Encoding: chunked\r\n\r\nb\r\nhello world",
                              "\r\nhello world"}) {
    SCOPED_TRACE(framing);
    HttpResponseParser limited;
    limited.SetMaxKeptBody(10);
    EXPECT_EQ(limited.Feed("HTTP/1.1 200 OK\r\n" + std::string(framing)), http_result::kTooLarge);
    EXPECT_LE(limited.body().size(), 10u);
  }
  HttpResponseParser exact;
  exact.SetMaxKeptBody(5);
  EXPECT_EQ(exact.Feed("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"), 200);
}

TEST(HttpResponse, PassesTheBodyToTheSinkWhichMayStopIt) {
  std::string received;
  HttpResponseParser parser;
  parser.SetBodySink([&](std::string_view piece) {
    received += piece;
    return true;
  });
  const std::string raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n";
  for (char c : raw) parser.Feed(std::string_view(&c, 1));
  EXPECT_EQ(parser.result(), 200);
  EXPECT_EQ(received, "abcde");
  EXPECT_EQ(parser.body(), "");  // the sink had it
  EXPECT_EQ(parser.body_received(), 5u);

  HttpResponseParser stopping;
  int pieces = 0;
  stopping.SetBodySink([&](std::string_view) { return ++pieces < 2; });
  EXPECT_EQ(stopping.Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n"), 0);
  EXPECT_EQ(stopping.Feed("1\r\nb\r\n1\r\nc\r\n"), http_result::kCancelled);
  EXPECT_EQ(pieces, 2);
}

TEST(HttpResponse, TheHeadersHookCanSkipTheBody) {
  bool asked = false;
  HttpResponseParser parser;
  parser.SetHeadersHook([&](const HttpResponseParser& p) {
    asked = true;
    EXPECT_EQ(p.status(), 302);
    EXPECT_NE(p.Header("location"), nullptr);
    return false;
  });
  // The body would never end; the hook's answer ends the read at once.
  EXPECT_EQ(parser.Feed("HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\nendless body"), 302);
  EXPECT_TRUE(asked);
  EXPECT_EQ(parser.body(), "");

  // Not asked for interim answers, nor without a body.
  HttpResponseParser head(true);
  head.SetHeadersHook([](const HttpResponseParser&) -> bool { ADD_FAILURE() << "asked for a HEAD"; return true; });
  EXPECT_EQ(head.Feed("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"), 200);
}

TEST(HttpResponse, DecodesBodyTextFromItsCharset) {
  struct Case {
    const char* charset;
    std::string body;
    std::u16string text;
  };
  const Case cases[] = {
      {"", "caf\xE9", u"caf\u00E9"},
      {"iso-8859-1", "\x80\xFF", u"\u0080\u00FF"},
      {"us-ascii", "abc", u"abc"},
      {"unknown-charset", "\xE9", u"\u00E9"},
      {"utf-8", "caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600"},
      {"UTF8", "\xEF\xBB\xBFok", u"ok"},
      {"utf-8", "bad \xC3", u"bad \uFFFD"},
      {"windows-1252", "\x80\x93x\x94\xA0", u"\u20AC\u201Cx\u201D\u00A0"},
      {"utf-16le", std::string("a\0\xAC\x20", 4), u"a\u20AC"},
      {"utf-16be", std::string("\0a\x20\xAC", 4), u"a\u20AC"},
      {"utf-16", std::string("\xFE\xFF\0a", 4), u"a"},
      {"utf-16", std::string("\xFF\xFE" "a\0", 4), u"a"},
      {"utf-16", std::string("a\0b", 3), u"a\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    EXPECT_EQ(DecodeHttpText(c.body, c.charset), c.text);
  }
}
