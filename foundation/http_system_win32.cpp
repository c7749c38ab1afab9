// Requests through the system's internet library (WinInet), which carries TLS for "https:"
// addresses. The library is loaded from the system folder at run time; the installer imports only
// KnownDLLs.
#include "foundation/http_client.h"

#include <wininet.h>

#include <string>

#include "foundation/http_url.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"

namespace halberd {

namespace {

constexpr DWORD kConnectTimeout = 30000;
constexpr DWORD kReceiveTimeout = 60000;
constexpr uint64_t kMaxBody = HttpResponseParser::kDefaultMaxKeptBody;

struct WinInet {
  decltype(&InternetOpenW) open = nullptr;
  decltype(&InternetConnectW) connect = nullptr;
  decltype(&HttpOpenRequestW) open_request = nullptr;
  decltype(&HttpSendRequestW) send_request = nullptr;
  decltype(&HttpQueryInfoW) query_info = nullptr;
  decltype(&InternetReadFile) read_file = nullptr;
  decltype(&InternetSetOptionW) set_option = nullptr;
  decltype(&InternetCloseHandle) close_handle = nullptr;

  bool complete() const {
    return open && connect && open_request && send_request && query_info && read_file && set_option && close_handle;
  }
};

const WinInet& Api() {
  static const WinInet api = [] {
    WinInet a;
    const wchar_t* dll = L"wininet.dll";
    a.open = SystemFunction<decltype(a.open)>(dll, "InternetOpenW");
    a.connect = SystemFunction<decltype(a.connect)>(dll, "InternetConnectW");
    a.open_request = SystemFunction<decltype(a.open_request)>(dll, "HttpOpenRequestW");
    a.send_request = SystemFunction<decltype(a.send_request)>(dll, "HttpSendRequestW");
    a.query_info = SystemFunction<decltype(a.query_info)>(dll, "HttpQueryInfoW");
    a.read_file = SystemFunction<decltype(a.read_file)>(dll, "InternetReadFile");
    a.set_option = SystemFunction<decltype(a.set_option)>(dll, "InternetSetOptionW");
    a.close_handle = SystemFunction<decltype(a.close_handle)>(dll, "InternetCloseHandle");
    return a;
  }();
  return api;
}

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { Api().close_handle(h); }
};
using UniqueInternetHandle = UniqueHandle<InternetHandleTraits>;

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host.starts_with("127.");
}

int ResultFromError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return http_result::kUnresolved;
    case ERROR_INTERNET_TIMEOUT: return http_result::kTimeout;
    case ERROR_INTERNET_CONNECTION_RESET: return http_result::kReset;
    case ERROR_INTERNET_OPERATION_CANCELLED: return http_result::kCancelled;
    default: return http_result::kNotConnected;
  }
}

// One request; `verb` "GET" or "POST", `headers` and `content` only for a POST.
int SendViaSystem(std::string_view url, const wchar_t* verb, const std::wstring& headers, const std::string& content,
                  std::string* body, DWORD* system_error) {
  DWORD ignored;
  DWORD& error = system_error ? *system_error : ignored;
  error = 0;
  HttpUrl parsed;
  if (int code = ParseHttpUrl(url, parsed)) return code;
  const WinInet& api = Api();
  if (!api.complete()) {
    error = ERROR_PROC_NOT_FOUND;
    return http_result::kNoSystemLibrary;
  }
  auto fail = [&](int code) {
    error = GetLastError();
    return code;
  };

  const std::wstring agent = Utf8ToWide(std::string(kHttpUserAgent));
  UniqueInternetHandle session(api.open(agent.c_str(),
                                        IsLoopbackHost(parsed.host) ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG,
                                        nullptr, nullptr, 0));
  if (!session) return fail(http_result::kNoSystemLibrary);
  DWORD timeout = kConnectTimeout;
  api.set_option(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  api.set_option(session.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
  timeout = kReceiveTimeout;
  api.set_option(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);

  const std::wstring host = Utf8ToWide(parsed.host);
  UniqueInternetHandle connection(
      api.connect(session.get(), host.c_str(), parsed.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return fail(http_result::kNotConnected);

  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (parsed.secure) flags |= INTERNET_FLAG_SECURE;
  const std::wstring path = Utf8ToWide(parsed.path);  // escaped: ASCII only
  UniqueInternetHandle request(
      api.open_request(connection.get(), verb, path.c_str(), L"HTTP/1.0", nullptr, nullptr, flags, 0));
  if (!request) return fail(http_result::kNotConnected);
  if (!api.send_request(request.get(), headers.empty() ? nullptr : headers.c_str(), DWORD(headers.size()),
                        content.empty() ? nullptr : const_cast<char*>(content.data()), DWORD(content.size()))) {
    error = GetLastError();
    return ResultFromError(error);
  }

  DWORD status = 0;
  DWORD size = sizeof status;
  if (!api.query_info(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    return fail(http_result::kBadStatusLine);
  if (!IsHttpStatus(int(status))) return http_result::kBadStatusLine;
  if (body) {
    body->clear();
    char block[16384];
    for (;;) {
      DWORD read = 0;
      if (!api.read_file(request.get(), block, sizeof block, &read)) return fail(http_result::kClosed);
      if (read == 0) break;
      if (body->size() + read > kMaxBody) return http_result::kTooLarge;
      body->append(block, read);
    }
  }
  return int(status);
}

}  // namespace

int HttpGetViaSystem(std::string_view url, std::string* body, DWORD* system_error) {
  return SendViaSystem(url, L"GET", std::wstring(), std::string(), body, system_error);
}

int HttpPostFormViaSystem(std::string_view url, const HttpFormFields& fields, std::string* body,
                          DWORD* system_error) {
  const HttpForm form = BuildHttpForm(fields);
  const std::wstring headers = Utf8ToWide("Content-Type: " + form.ContentType() + "\r\n");
  return SendViaSystem(url, L"POST", headers, form.body, body, system_error);
}

}  // namespace halberd
