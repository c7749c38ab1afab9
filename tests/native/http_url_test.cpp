// Addresses of the HTTP client: splitting, escaping and redirect locations.
#include "foundation/http_url.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/http_result.h"

using namespace halberd;

TEST(HttpUrl, SplitsSchemeHostPortAndPath) {
  struct Case {
    const char* url;
    int code;
    bool secure;
    const char* host;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"http://example.com/a/b?x=1", 0, false, "example.com", 80, "/a/b?x=1"},
      {"HTTP://Example.COM", 0, false, "Example.COM", 80, "/"},
      {"https://secure.example.com/x", 0, true, "secure.example.com", 443, "/x"},
      {"HttpS:host", 0, true, "host", 443, "/"},
      {"http://127.0.0.1:8080/p", 0, false, "127.0.0.1", 8080, "/p"},
      {"https://h:8443", 0, true, "h", 8443, "/"},
      {"http://h:/p", 0, false, "h", 80, "/p"},  // empty port: the default
      {"http://h:65535/", 0, false, "h", 65535, "/"},
      {"example.com/no-scheme", 0, false, "example.com", 80, "/no-scheme"},
      {"http:////many-slashes/x", 0, false, "many-slashes", 80, "/x"},
      {"http://h?q=1", 0, false, "h", 80, "/?q=1"},
      {"http://h/p#fragment", 0, false, "h", 80, "/p"},
      {"http://h#f/x", 0, false, "h", 80, "/"},
      {"  http://h/p \r\n", 0, false, "h", 80, "/p"},
      {"http://my_host-1.local/", 0, false, "my_host-1.local", 80, "/"},
      // Unsafe bytes in the path are escaped; "%" escapes already there are kept.
      {"http://h/a b\tc", 0, false, "h", 80, "/a%20b%09c"},
      {"http://h/x\r\nInjected: 1", 0, false, "h", 80, "/x%0D%0AInjected:%201"},
      {"http://h/caf\xC3\xA9?q=%41", 0, false, "h", 80, "/caf%C3%A9?q=%41"},
      // Empty addresses.
      {"", http_result::kEmptyUrl},
      {" \r\n", http_result::kEmptyUrl},
      {"http://", http_result::kEmptyUrl},
      {"https:///", http_result::kEmptyUrl},
      // IPv6 literals.
      {"http://[::1]:80/", http_result::kIpv6Host},
      {"[fe80::1]/x", http_result::kIpv6Host},
      // Malformed hosts and ports.
      {"http:///?x", http_result::kBadAddress},
      {"http://:80/", http_result::kBadAddress},
      {"http://h:0/", http_result::kBadAddress},
      {"http://h:65536/", http_result::kBadAddress},
      {"http://h:123456/", http_result::kBadAddress},
      {"http://h:8o/", http_result::kBadAddress},
      {"http://h:-1/", http_result::kBadAddress},
      {"http://user:pw@h/", http_result::kBadAddress},
      {"http://trusted.example@evil.example/", http_result::kBadAddress},
      {"http://h\r\nX: y/", http_result::kBadAddress},
      {"http://a b/", http_result::kBadAddress},
      {"http://h\xC3\xA9.example/", http_result::kBadAddress},
      {"http://::1/", http_result::kBadAddress},
      {"ftp://files.example/x", http_result::kBadAddress},
      {"mailto:someone@example.com", http_result::kBadAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpUrl url;
    ASSERT_EQ(ParseHttpUrl(c.url, url), c.code);
    if (c.code != 0) continue;
    EXPECT_EQ(url.secure, c.secure);
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.path, c.path);
  }
}

TEST(HttpUrl, HostHeaderAndOriginNameOnlyAnOtherThanDefaultPort) {
  struct Case {
    const char* url;
    const char* host_header;
    const char* text;
  };
  const Case cases[] = {
      {"http://h/p", "h", "http://h/p"},
      {"http://h:80/p", "h", "http://h/p"},
      {"http://h:443/p", "h:443", "http://h:443/p"},
      {"https://h/p", "h", "https://h/p"},
      {"https://h:80/p", "h:80", "https://h:80/p"},
      {"http://127.0.0.1:8123", "127.0.0.1:8123", "http://127.0.0.1:8123/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpUrl url;
    ASSERT_EQ(ParseHttpUrl(c.url, url), 0);
    EXPECT_EQ(url.HostHeader(), c.host_header);
    EXPECT_EQ(url.ToString(), c.text);
  }
}

TEST(HttpUrl, EscapesUnsafeBytesOrEverythingNeverValidInAUrl) {
  EXPECT_EQ(EscapeUnsafeUrlBytes("/a b%20c|d\x7F\x01\xFF"), "/a%20b%20c|d%7F%01%FF");
  EXPECT_EQ(EscapeUrl("/a b|c\"<>\\^`{}%"), "/a%20b%7Cc%22%3C%3E%5C%5E%60%7B%7D%25");
  const std::string reserved = "http://h:1/p;q?a=b&c=d#f[]@!$'()*+,";
  EXPECT_EQ(EscapeUrl(reserved), reserved);
  EXPECT_EQ(EscapeUnsafeUrlBytes(reserved), reserved);
}

TEST(HttpUrl, ResolvesRedirectLocations) {
  struct Case {
    const char* current;
    const char* location;
    const char* next;
  };
  const Case cases[] = {
      // Absolute addresses are used as they are.
      {"http://a.example/x/y", "http://b.example/z", "http://b.example/z"},
      {"http://a.example/x/y", "HTTPS://b.example:8443/z?q", "HTTPS://b.example:8443/z?q"},
      {"http://a.example/x/y", "ftp://b.example/z", "ftp://b.example/z"},
      // Host-relative and scheme-relative.
      {"http://a.example:8080/x/y", "/z", "http://a.example:8080/z"},
      {"https://a.example/x/y", "/z?q=1", "https://a.example/z?q=1"},
      {"https://a.example/x/y", "//b.example/z", "https://b.example/z"},
      {"http://a.example/x/y", "//b.example:81", "http://b.example:81"},
      // Folder-relative: joined to the folder of the current path, its query not counted.
      {"http://a.example/x/y", "z", "http://a.example/x/z"},
      {"http://a.example/x/", "z/w", "http://a.example/x/z/w"},
      {"http://a.example/", "z", "http://a.example/z"},
      {"http://a.example/x/y?next=/q/r", "z", "http://a.example/x/z"},
      {"http://a.example:8080/x/y", "../z", "http://a.example:8080/x/../z"},
      // A query alone replaces the current query.
      {"http://a.example/x/y?old=1", "?new=2", "http://a.example/x/y?new=2"},
      // Without "%" the whole location is escaped ...
      {"http://a.example/x/y", "/new place/a|b", "http://a.example/new%20place/a%7Cb"},
      {"http://a.example/x/y", "file name.txt", "http://a.example/x/file%20name.txt"},
      {"http://a.example/x/y", "http://b.example/caf\xC3\xA9 au lait", "http://b.example/caf%C3%A9%20au%20lait"},
      // ... with "%" only its blanks and other unsafe bytes.
      {"http://a.example/x/y", "/a%41 b|c", "http://a.example/a%41%20b|c"},
      {"http://a.example/x/y", "/100% sure\r\nX: 1", "http://a.example/100%%20sure%0D%0AX:%201"},
      // Blanks around the location are not part of it; an empty location is no redirect.
      {"http://a.example/x/y", "  /z \t", "http://a.example/z"},
      {"http://a.example/x/y", "", ""},
      {"http://a.example/x/y", " \t ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.current) + " + " + c.location);
    HttpUrl current;
    ASSERT_EQ(ParseHttpUrl(c.current, current), 0);
    EXPECT_EQ(ResolveRedirectLocation(current, c.location), c.next);
  }
}
