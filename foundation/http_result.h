// Result codes of the HTTP client: a request ends either in the server's status (100-999, the
// exchange completed) or in one of the client's own codes below, each with a fixed English text.
// Portable; shared by the Winsock client, the system-library transport and the response parser.
#pragma once
#include <string>

namespace halberd {

namespace http_result {
enum Code : int {
  kClosed = 1001,           // the connection closed early, or a receive error
  kBadStatusLine = 1002,    // no status line with a status of 100-999
  kEmptyUrl = 1004,         // empty URL, or an empty request line of the caller's own
  kNotConnected = 1005,     // the connection failed (the socket error is kept)
  kCancelled = 1006,        // the progress callback (or the body sink) asked to stop
  kTimeout = 1007,          // nothing received within the inactivity timeout (socket error 10060)
  kUnresolved = 1008,       // the host name could not be resolved
  kNoSocket = 1009,         // the socket could not be created
  kSendFailed = 1012,       // the request could not be sent
  kReset = 1014,            // the peer reset the connection
  kIpv6Host = 1020,         // IPv6 literal host ("[...]")
  // The client's own additions.
  kSecureNotSupported = 1021,  // an "https:" address given to the plain-socket client
  kBadAddress = 1022,          // malformed address: empty or invalid host, invalid port
  kBadResponse = 1023,         // malformed framing: chunk sizes, chunk ends, header section too long
  kTooLarge = 1024,            // a body kept in memory grew past the client's limit
  kNoSystemLibrary = 1025,     // the system's internet library or one of its functions is missing
};
}  // namespace http_result

// Whether a result is a server status (the exchange completed) rather than a failure code.
inline bool IsHttpStatus(int result) { return result >= 100 && result <= 999; }

// The fixed text of a result: "HTTP status 404" for a status, the code's text otherwise, and
// "Unknown HTTP result 1234" for a value that is neither.
std::string HttpResultText(int result);

}  // namespace halberd
