// What the HTTP client sends: the request flags, the request text, the redirect rules and the
// multipart form encoder. Portable; the Winsock client (http_client) and the system-library
// transport use it.
//
// Request text, 8-bit, sent in one piece:
//   request line   "GET" | "POST" | "HEAD", " ", path, " HTTP/1.1\r\n"  (or the caller's own line)
//   "Host: " host[":" port] "\r\n"     (the port only when it is not the scheme's default)
//   "User-Agent: Tessel 21.0\r\n"      \ both left out when the caller's header text has its own
//   "Accept-Encoding: identity\r\n"    / "User-Agent:" line
//   the caller's header text (lines ending in "\r\n"; an empty line and a body may follow)
//   "\r\n" when the text so far has no empty line ending the headers
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/http_url.h"

namespace halberd {

namespace http_flag {
constexpr uint32_t kPost = 0x1;                 // "POST" instead of "GET"
constexpr uint32_t kNoFollowTemporary = 0x2;    // do not follow 302, 303, 307
constexpr uint32_t kNoFollowPermanent = 0x4;    // do not follow 301, 308
constexpr uint32_t kHead = 0x20;                // "HEAD": the status and headers only
constexpr uint32_t kRememberFinalUrl = 0x40;    // the client keeps the address after redirects
constexpr uint32_t kOwnRequestLine = 0x200;     // the caller gives the whole request line
constexpr uint32_t kWideBody = 0x400;           // a 200 body is also converted to wide text
}  // namespace http_flag

// The library's name and version, as the User-Agent line gives them.
inline constexpr std::string_view kHttpUserAgent = "Tessel 21.0";
// Redirects followed per request; the answer after that many is the result.
inline constexpr int kHttpMaxRedirects = 9;

// The request line for `flags` and `path`: "GET /x HTTP/1.1\r\n" and so on.
std::string HttpRequestLine(uint32_t flags, std::string_view path);

// The whole request text. `own_line` is used with http_flag::kOwnRequestLine ("\r\n" is added
// when it does not end with one); otherwise the line is made from the flags and the path.
std::string BuildHttpRequest(const HttpUrl& url, uint32_t flags, std::string_view own_line,
                             std::string_view extra);

// Whether the header part of `extra` (up to its first empty line) has a line that begins with
// `name` followed by ":", letter case ignored.
bool HeaderTextHas(std::string_view extra, std::string_view name);

// What a status means for the next request: whether it is a redirect to follow under `flags`,
// and the flags of that request. 303 turns a POST into a GET (and its body is dropped, see
// HeaderTextWithoutBody); the other redirects repeat the request as it was. A caller's own
// request line is never redirected (the client cannot rewrite it).
struct HttpRedirectStep {
  bool follow = false;
  uint32_t flags = 0;
  bool drop_body = false;
};
HttpRedirectStep DecideHttpRedirect(int status, uint32_t flags);

// The header text without its body and without its "Content-Length" and "Content-Type" lines:
// what remains of a POST's extra text when a 303 turns it into a GET.
std::string HeaderTextWithoutBody(std::string_view extra);

// A multipart form ("multipart/form-data") of name/value pairs, in order:
//   for each field  "--AaB03x\r\nContent-Disposition: form-data; name=\"" name "\"\r\n\r\n" value "\r\n"
//   then            "--AaB03x--\r\n"
// The boundary is "AaB03x" unless a name or value contains that text; then a suffix "-1", "-2",
// ... is added until no field contains it, so that no value can end the form early or forge a
// field. Double quotes and line breaks in a name are escaped as %22, %0D and %0A.
struct HttpForm {
  std::string boundary;
  std::string body;
  // "multipart/form-data; boundary=AaB03x"
  std::string ContentType() const;
  // The extra header text for a POST with http_flag::kPost:
  //   "Content-Type: multipart/form-data; boundary=AaB03x\r\nContent-Length: N\r\n\r\n" + body
  std::string HeaderText() const;
};
HttpForm BuildHttpForm(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace halberd
