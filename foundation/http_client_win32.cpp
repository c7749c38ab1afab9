#include "foundation/http_client.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "foundation/http_url.h"

namespace halberd {

namespace {

constexpr size_t kReceiveBlock = 16384;
constexpr ULONGLONG kProgressInterval = 200;  // ms between the calls while waiting

ULONGLONG Now() { return GetTickCount64(); }

// Waits up to `milliseconds` for the socket to become readable (or, with `connecting`, writable
// or failed). 1 ready, 0 not yet, -1 failed (the connect failed, or select did).
int WaitSocket(SOCKET s, bool connecting, ULONGLONG milliseconds) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval wait;
  wait.tv_sec = long(milliseconds / 1000);
  wait.tv_usec = long(milliseconds % 1000) * 1000;
  int n = connecting ? select(0, nullptr, &ready, &failed, &wait) : select(0, &ready, nullptr, &failed, &wait);
  if (n == SOCKET_ERROR) return -1;
  if (n == 0) return 0;
  if (connecting && FD_ISSET(s, &failed)) return -1;
  return 1;
}

}  // namespace

// The progress callback with the client's pacing: steps are always reported, the calls while
// waiting at most every 200 ms.
struct HttpClient::Progress {
  const HttpProgress& callback;
  ULONGLONG last_call = 0;
  int position = 0;

  // True when the caller cancels.
  bool Step(int at, const char* text) {
    position = at;
    if (!callback) return false;
    last_call = Now();
    return callback(at, kHttpProgressTotal, text);
  }
  bool Waiting(int at) {
    position = std::max(position, at);
    if (!callback || Now() - last_call < kProgressInterval) return false;
    last_call = Now();
    return callback(position, kHttpProgressTotal, nullptr);
  }
};

HttpClient::HttpClient() {
  WSADATA data;
  winsock_started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

HttpClient::~HttpClient() {
  socket_.reset();
  if (winsock_started_) WSACleanup();
}

int HttpClient::PostForm(std::string_view url, const HttpFormFields& fields, HttpProgress progress) {
  return Request(url, http_flag::kPost, BuildHttpForm(fields).HeaderText(), nullptr, std::move(progress));
}

int HttpClient::Request(std::string_view url, uint32_t flags, std::string_view extra_text,
                        HttpResponseParser::BodySink sink, HttpProgress callback) {
  response_ = HttpResponseParser();
  wide_body_.clear();
  final_url_ = std::string(url);
  last_socket_error_ = 0;
  redirects_followed_ = 0;
  if ((flags & http_flag::kOwnRequestLine) && request_line_.empty()) return http_result::kEmptyUrl;

  std::string address(url);
  std::string extra(extra_text);
  bool retried = false;
  Progress progress{callback};
  int result;
  for (;;) {
    HttpUrl parsed;
    result = ParseHttpUrl(address, parsed);
    if (result != 0) break;
    if (parsed.secure) {
      result = http_result::kSecureNotSupported;
      break;
    }
    // Whether this answer leads to another request; its body is then not read.
    std::string next;
    HttpRedirectStep step;
    auto repeat = [&](const HttpResponseParser& answer) {
      if (answer.status() == 500 && !retried) return true;
      step = DecideHttpRedirect(answer.status(), flags);
      if (!step.follow || redirects_followed_ >= kHttpMaxRedirects) return false;
      const std::string* location = answer.Header("location");
      next = location ? ResolveRedirectLocation(parsed, *location) : std::string();
      return !next.empty();
    };
    result = Exchange(parsed, flags, extra, sink, repeat, progress);
    socket_.reset();
    if (!IsHttpStatus(result) || !repeat(response_)) break;
    if (result == 500 && !retried) {
      retried = true;
      continue;
    }
    ++redirects_followed_;
    address = next;
    flags = step.flags;
    if (step.drop_body) extra = HeaderTextWithoutBody(extra);
  }
  if (flags & http_flag::kRememberFinalUrl) final_url_ = address;
  if ((flags & http_flag::kWideBody) && result == 200) {
    std::u16string text = DecodeHttpText(response_.body(), response_.charset());
    wide_body_.assign(text.begin(), text.end());
  }
  return result;
}

// One connection: connect, send, read the answer. `repeat` tells, once the headers are read,
// whether another request follows (the body is then skipped).
int HttpClient::Exchange(const HttpUrl& url, uint32_t flags, std::string_view extra,
                         HttpResponseParser::BodySink& sink,
                         const std::function<bool(const HttpResponseParser&)>& repeat, Progress& progress) {
  response_ = HttpResponseParser((flags & http_flag::kHead) && !(flags & http_flag::kPost));
  int result = Connect(url, progress);
  if (result != 0) return result;
  if (progress.Step(500, "Querying...")) return http_result::kCancelled;
  result = Send(BuildHttpRequest(url, flags, request_line_, extra));
  if (result != 0) return result;

  response_.SetMaxKeptBody(max_kept_body_);
  response_.SetHeadersHook([&](const HttpResponseParser& answer) {
    if (repeat(answer)) return false;
    if (sink) response_.SetBodySink(sink);
    return true;
  });
  if (progress.Step(750, "Receiving status...")) return http_result::kCancelled;
  result = Receive(progress);
  // The hook and the sink refer to this call's state; the answer itself stays readable.
  response_.SetHeadersHook(nullptr);
  response_.SetBodySink(nullptr);
  return result;
}

int HttpClient::Connect(const HttpUrl& url, Progress& progress) {
  if (progress.Step(0, "Resolving...")) return http_result::kCancelled;
  socket_.reset();
  if (!winsock_started_) {
    last_socket_error_ = WSANOTINITIALISED;
    return http_result::kNoSocket;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  int error = getaddrinfo(url.host.c_str(), nullptr, &hints, &found);
  if (error != 0 || !found) {
    last_socket_error_ = error ? error : WSAHOST_NOT_FOUND;
    return http_result::kUnresolved;
  }
  sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  address.sin_port = htons(url.port);

  if (progress.Step(200, "Connecting...")) return http_result::kCancelled;
  socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) {
    last_socket_error_ = WSAGetLastError();
    return http_result::kNoSocket;
  }
  SOCKET s = socket_.get();
  if (!local_address_.empty()) {
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    if (inet_pton(AF_INET, local_address_.c_str(), &local.sin_addr) != 1) {
      last_socket_error_ = WSAEINVAL;
      return http_result::kNotConnected;
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      last_socket_error_ = WSAGetLastError();
      return http_result::kNotConnected;
    }
  }

  // Connected without blocking, so that the wait can be cancelled and bounded.
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      last_socket_error_ = error;
      return http_result::kNotConnected;
    }
    const ULONGLONG start = Now();
    for (;;) {
      const ULONGLONG elapsed = Now() - start;
      if (elapsed >= socket_timeout_) {
        last_socket_error_ = WSAETIMEDOUT;
        return http_result::kNotConnected;
      }
      int ready = WaitSocket(s, true, std::min<ULONGLONG>(kProgressInterval, socket_timeout_ - elapsed));
      if (ready < 0) {
        int socket_error = 0;
        int size = sizeof socket_error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &size);
        last_socket_error_ = socket_error ? socket_error : WSAECONNREFUSED;
        return http_result::kNotConnected;
      }
      if (ready > 0) break;
      if (progress.Waiting(200)) return http_result::kCancelled;
    }
  }
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  DWORD send_timeout = socket_timeout_;
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_timeout), sizeof send_timeout);
  return 0;
}

int HttpClient::Send(const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    int piece = int(std::min<size_t>(text.size() - sent, 1 << 20));
    int n = send(socket_.get(), text.data() + sent, piece, 0);
    if (n == SOCKET_ERROR || n <= 0) {
      last_socket_error_ = WSAGetLastError();
      return http_result::kSendFailed;
    }
    sent += size_t(n);
  }
  return 0;
}

int HttpClient::Receive(Progress& progress) {
  std::string block(kReceiveBlock, '\0');
  const ULONGLONG body_timeout = std::max<ULONGLONG>(inactivity_timeout_, 1);
  ULONGLONG last_data = Now();
  ULONGLONG body_start = 0;
  bool headers_reported = false, body_reported = false;
  // The body's position: by bytes against a known length, else by time against the timeout.
  auto body_position = [&]() {
    const int64_t length = response_.content_length();
    const uint64_t part = length > 0 ? std::min<uint64_t>(response_.body_received(), uint64_t(length))
                                     : std::min<ULONGLONG>(Now() - body_start, body_timeout);
    const uint64_t whole = length > 0 ? uint64_t(length) : body_timeout;
    return 1250 + int(part * (kHttpProgressTotal - 1250) / whole);
  };
  for (;;) {
    // The step texts, in order, for whatever the bytes so far reached.
    if (!headers_reported && response_.headers_started()) {
      headers_reported = true;
      if (progress.Step(1000, "Receiving headers...")) return http_result::kCancelled;
    }
    if (!body_reported && response_.body_started()) {
      body_reported = true;
      body_start = Now();
      if (progress.Step(1250, "Downloading...")) return http_result::kCancelled;
    }
    if (response_.result() != 0) return response_.result();
    if (progress.Waiting(body_reported ? body_position() : progress.position)) return http_result::kCancelled;

    const ULONGLONG idle = Now() - last_data;
    if (idle >= inactivity_timeout_) {
      last_socket_error_ = WSAETIMEDOUT;
      return http_result::kTimeout;
    }
    int ready = WaitSocket(socket_.get(), false, std::min<ULONGLONG>(kProgressInterval, inactivity_timeout_ - idle));
    if (ready < 0) {
      last_socket_error_ = WSAGetLastError();
      return http_result::kClosed;
    }
    if (ready == 0) continue;
    int n = recv(socket_.get(), block.data(), int(block.size()), 0);
    if (n > 0) {
      last_data = Now();
      response_.Feed(std::string_view(block.data(), size_t(n)));
    } else if (n == 0) {
      response_.Finish(false);
    } else {
      const int error = WSAGetLastError();
      last_socket_error_ = error;
      if (error != WSAECONNRESET) return error == WSAETIMEDOUT ? http_result::kTimeout : http_result::kClosed;
      response_.Finish(true);
    }
  }
}

}  // namespace halberd
