#include "foundation/http_result.h"

namespace halberd {

namespace {

struct ResultText {
  int code;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {http_result::kClosed, "The connection was closed, or receiving failed."},
    {http_result::kBadStatusLine, "The response status line could not be parsed."},
    {http_result::kEmptyUrl, "The address or the request line is empty."},
    {http_result::kNotConnected, "Not connected: the connection to the server failed."},
    {http_result::kCancelled, "The request was cancelled."},
    {http_result::kTimeout, "The server did not answer within the time limit."},
    {http_result::kUnresolved, "The host name could not be resolved."},
    {http_result::kNoSocket, "The socket could not be created."},
    {http_result::kSendFailed, "The request could not be sent."},
    {http_result::kReset, "The connection was reset by the server."},
    {http_result::kIpv6Host, "IPv6 host addresses are not supported."},
    {http_result::kSecureNotSupported,
     "Secure (https) addresses are sent only through the system's internet library."},
    {http_result::kBadAddress, "The address is malformed."},
    {http_result::kBadResponse, "The server's response is malformed."},
    {http_result::kTooLarge, "The server's response is too large."},
    {http_result::kNoSystemLibrary, "The system's internet library is not available."},
};

}  // namespace

std::string HttpResultText(int result) {
  if (IsHttpStatus(result)) return "HTTP status " + std::to_string(result);
  for (const ResultText& entry : kResultTexts)
    if (entry.code == result) return entry.text;
  return "Unknown HTTP result " + std::to_string(result);
}

}  // namespace halberd
