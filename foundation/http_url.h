// Addresses of the HTTP client: splitting an 8-bit URL into host, port and path, the escaping
// that keeps a request line well-formed, and the resolution of a redirect's location against the
// address it came from. Portable; the Winsock client (http_client) is its user.
//
// Accepted form: ["http:" | "https:"] ["//"] host [":" port] [path] ["#" fragment]
//   - the scheme is matched case-insensitively and sets the default port (80, 443);
//   - any leading slashes after it are dropped;
//   - the host runs to the first "/", "?" or "#"; letters, digits, ".", "-" and "_" only, so that
//     nothing ("@", blanks, line breaks) can leak into the Host line; "[...]" (IPv6) is refused;
//   - a colon and 1-65535 after the host override the port (an empty port keeps the default);
//   - the path gets a leading "/" ("/" alone when empty), loses its fragment, and has its unsafe
//     bytes escaped (EscapeUnsafeUrlBytes).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace halberd {

struct HttpUrl {
  bool secure = false;  // "https:"
  std::string host;     // as written
  uint16_t port = 80;
  std::string path = "/";  // begins with "/"; query kept, fragment dropped

  uint16_t DefaultPort() const { return secure ? 443 : 80; }
  // "http://host" or "https://host", with ":port" when it is not the scheme's default.
  std::string Origin() const;
  // The Host header value: the host, with ":port" when it is not the scheme's default.
  std::string HostHeader() const;
  std::string ToString() const { return Origin() + path; }
};

// Splits `url` (blanks and line breaks around it are ignored). Returns 0, or
// http_result::kEmptyUrl (nothing but a scheme and slashes), kIpv6Host or kBadAddress.
int ParseHttpUrl(std::string_view url, HttpUrl& out);

// Escapes as "%XX" (upper-case hex) every byte that may not stand in a request line: control
// bytes, the blank, DEL and bytes of 0x80 and above. Everything else, "%" included, is kept.
std::string EscapeUnsafeUrlBytes(std::string_view text);
// EscapeUnsafeUrlBytes plus the characters that are never valid in a URL: " < > \ ^ ` { | } and
// "%" itself. Reserved characters (: / ? # [ ] @ ! $ & ' ( ) * + , ; =) are kept.
std::string EscapeUrl(std::string_view text);

// The address a redirect leads to. The location is first escaped: when it holds a "%" it is taken
// as already escaped and only its unsafe bytes are escaped (a blank becomes "%20"); otherwise it
// is escaped whole (EscapeUrl). Then:
//   - with a scheme ("http:", "ftp:", ...): used as is;
//   - "//host/...": the current scheme is put before it;
//   - "/...": joined to the current origin;
//   - "?...": replaces the current path's query;
//   - anything else: joined to the folder of the current path (the path up to its last "/",
//     its query not counted).
// An empty location gives "" (no redirect).
std::string ResolveRedirectLocation(const HttpUrl& current, std::string_view location);

}  // namespace halberd
