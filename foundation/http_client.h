// The HTTP client: synchronous HTTP/1.1 requests over Winsock stream sockets on the calling
// thread, with progress reporting and cancellation, an inactivity timeout, redirects, one retry
// of a 500 answer, and the multipart form post. The request text, addresses, redirect rules and
// the response parser are portable (http_request, http_url, http_response); this layer connects,
// sends, receives and applies the rules.
//
// Secure transport: this client never sends an "https:" address over its plain socket; such a
// request (also one reached by a redirect) ends with http_result::kSecureNotSupported. Requests
// that must be able to reach "https:" addresses go through the system's internet library
// (HttpGetViaSystem, HttpPostFormViaSystem below), which carries TLS and checks certificates.
//
// A request, in order:
//   1. the address is split (http_url); a caller's own request line must not be empty (1004)
//   2. "Resolving..." (0): the host is resolved to IPv4 (1008)
//   3. "Connecting..." (200): a new stream socket (1009), bound to the local address when one is
//      set, connects within the socket timeout (1005; the socket error is kept)
//   4. "Querying..." (500): the request text is sent in one piece (1012)
//   5. "Receiving status..." (750), "Receiving headers..." (1000), "Downloading..." (1250): the
//      response is read in pieces of at most 16384 bytes into the parser; the body then moves the
//      position on to 10000, by bytes against the length when one is known, else by time against
//      the inactivity timeout. Nothing received for the inactivity timeout: 1007.
//   6. a 500 answer is asked again once, on a new connection; a redirect the flags allow is
//      followed to its location (at most 9; the 10th redirect answer is the result); the bodies
//      of both are not read.
// The progress callback gets (position, 10000, text) at each step and, while waiting, at most
// every 200 ms with no text (nullptr); it returns true to cancel (1006).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/http_request.h"
#include "foundation/http_response.h"
#include "foundation/http_result.h"
#include "foundation/tl_file.h"

namespace halberd {

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(Type s) noexcept { closesocket(s); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

inline constexpr int kHttpProgressTotal = 10000;
// (position, total, text) -> true to cancel. `text` is nullptr for the calls while waiting.
using HttpProgress = std::function<bool(int position, int total, const char* text)>;
using HttpFormFields = std::vector<std::pair<std::string, std::string>>;

class HttpClient {
 public:
  HttpClient();  // starts Winsock 2.2 for the object's lifetime
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Settings; they stay for every later request of the object.
  void SetInactivityTimeout(DWORD milliseconds) { inactivity_timeout_ = milliseconds; }  // 60000
  void SetSocketTimeout(DWORD milliseconds) { socket_timeout_ = milliseconds; }  // connect, send: 30000
  // An IPv4 address ("127.0.0.1") the socket is bound to before it connects; "" for none.
  void SetLocalAddress(std::string address) { local_address_ = std::move(address); }
  // The limit of a body kept in memory (no sink); 1024 beyond it.
  void SetMaxKeptBody(uint64_t bytes) { max_kept_body_ = bytes; }
  // The request line sent with http_flag::kOwnRequestLine ("\r\n" is added when missing).
  void SetRequestLine(std::string line) { request_line_ = std::move(line); }

  // One request (see above). `url` is 8-bit (UTF-8 beyond ASCII, escaped as sent); `extra` is
  // header text ending in "\r\n", optionally an empty line and a body; `sink` receives the final
  // answer's body instead of keeping it (false from it cancels: 1006). Returns the final status
  // (100-999) or a result code.
  int Request(std::string_view url, uint32_t flags = 0, std::string_view extra = {},
              HttpResponseParser::BodySink sink = nullptr, HttpProgress progress = nullptr);
  int Get(std::string_view url, HttpProgress progress = nullptr) { return Request(url, 0, {}, nullptr, progress); }
  // A POST of a multipart form (BuildHttpForm) with the fields in order.
  int PostForm(std::string_view url, const HttpFormFields& fields, HttpProgress progress = nullptr);

  // The last answer read (after redirects, the final one).
  const HttpResponseParser& response() const { return response_; }
  int status() const { return response_.status(); }
  const std::string* Header(std::string_view name) const { return response_.Header(name); }
  const std::string& body() const { return response_.body(); }
  // With http_flag::kWideBody and status 200: the kept body as wide text from its charset.
  const std::wstring& wide_body() const { return wide_body_; }
  // With http_flag::kRememberFinalUrl: the address the final answer came from; else the address
  // as given.
  const std::string& final_url() const { return final_url_; }
  // The Winsock error of the last failure (10060 for a timeout); 0 when none.
  int last_socket_error() const { return last_socket_error_; }
  // Redirects followed by the last request.
  int redirects_followed() const { return redirects_followed_; }

 private:
  struct Progress;
  int Exchange(const HttpUrl& url, uint32_t flags, std::string_view extra, HttpResponseParser::BodySink& sink,
               const std::function<bool(const HttpResponseParser&)>& repeat, Progress& progress);
  int Connect(const HttpUrl& url, Progress& progress);
  int Send(const std::string& text);
  int Receive(Progress& progress);

  DWORD inactivity_timeout_ = 60000;
  DWORD socket_timeout_ = 30000;
  std::string local_address_;
  uint64_t max_kept_body_ = HttpResponseParser::kDefaultMaxKeptBody;
  std::string request_line_;
  bool winsock_started_ = false;

  UniqueSocket socket_;
  HttpResponseParser response_;
  std::wstring wide_body_;
  std::string final_url_;
  int last_socket_error_ = 0;
  int redirects_followed_ = 0;
};

// Requests through the system's internet library (WinInet, loaded from the system folder at run
// time): HTTP/1.0, nothing cached, the system's proxy settings (none for a loopback host),
// certificates checked for "https:" and no downgrade to "http:" on a redirect. The address is
// split and checked as for HttpClient first. Returns the status (100-999) or a result code:
// 1004/1020/1022 for the address, 1025 without the library, 1008 unresolved, 1007 timed out,
// 1014 reset, 1006 cancelled, 1001 reading failed, 1024 a body past 64 MiB, else 1005; the
// library's error is left in `*system_error`. `body` receives the answer's body when given.
int HttpGetViaSystem(std::string_view url, std::string* body = nullptr, DWORD* system_error = nullptr);
// A POST of a multipart form (BuildHttpForm) with the fields in order.
int HttpPostFormViaSystem(std::string_view url, const HttpFormFields& fields, std::string* body = nullptr,
                          DWORD* system_error = nullptr);

}  // namespace halberd
