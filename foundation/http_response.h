// The HTTP response parser: an incremental reader fed whatever bytes the connection delivers, in
// slices of any size, that ends every response in one result: the status (100-999) or one of the
// client's codes (http_result). Portable, so the native build runs it under the sanitizers and
// the fuzzer; the Winsock client (http_client) feeds it from its socket.
//
// What it reads, in order:
//   status line    "HTTP/" version, blanks, the status as a signed decimal number, the rest
//                  ignored; no such line, or a status outside 100-999: 1002. Interim answers
//                  (100, 102, 103 ...) with their headers are skipped; 101 is final.
//   header lines   "name: value" until an empty line; names lower-cased, values trimmed of blanks;
//                  a line starting with a blank continues the previous value; a repeated name
//                  gets its values joined with ", "; a line without ":" is ignored. The status
//                  line and headers together may take 256 KiB (1002 within the status line,
//                  1023 after it).
//   no body        for a HEAD request, 101, 204 and 304, or when the headers hook declines it.
//   body           "transfer-encoding" beginning with "chunked" (even beside a content-length):
//                  hexadecimal chunk-size lines (";" extensions ignored) each followed by that
//                  many bytes and a line end; size 0 ends the body (trailers are not read). A
//                  size line that is not hexadecimal, longer than 4 KiB or above 2^60, or data
//                  not followed by a line end: 1023.
//                  Otherwise "content-length" as a decimal number: exactly that many bytes.
//                  Otherwise everything until the peer closes; a reset then ends it too.
// Line ends are "\r\n"; a bare "\n" is taken as well.
//
// The connection ending early (Finish) gives 1001, or 1014 after a reset. The body goes to the
// sink, or, without one, is kept in memory up to a limit (1024 beyond it); a sink that returns
// false stops the read with 1006.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halberd {

class HttpResponseParser {
 public:
  enum class Phase { kStatus, kHeaders, kBody, kDone };
  // Receives each piece of the body; false stops the read (result 1006).
  using BodySink = std::function<bool(std::string_view)>;
  // Called once the final headers are read, before any body byte; false: the body is not read and
  // the result is the status (the client skips the bodies of redirects and retried answers).
  using HeadersHook = std::function<bool(const HttpResponseParser&)>;

  static constexpr size_t kMaxHeaderBytes = 256 * 1024;
  static constexpr size_t kMaxChunkLine = 4096;
  static constexpr uint64_t kDefaultMaxKeptBody = 64ull * 1024 * 1024;

  explicit HttpResponseParser(bool head_request = false) : head_request_(head_request) {}

  void SetBodySink(BodySink sink) { sink_ = std::move(sink); }
  void SetHeadersHook(HeadersHook hook) { hook_ = std::move(hook); }
  void SetMaxKeptBody(uint64_t bytes) { max_kept_body_ = bytes; }

  // Takes the next received bytes. Returns 0 while the response is incomplete, else the result;
  // bytes after the end of the response are ignored, and once there is a result every later call
  // returns it again.
  int Feed(std::string_view bytes);
  // The peer closed the connection (`reset`: with a reset). Returns the result.
  int Finish(bool reset);

  Phase phase() const { return phase_; }
  int result() const { return result_; }
  // The status of the status line (0 before it is read).
  int status() const { return status_; }
  // Whether a (final or interim) status line was read, and whether the body was begun: the
  // steps the client reports as "Receiving headers..." and "Downloading...".
  bool headers_started() const { return headers_started_; }
  bool body_started() const { return body_started_; }
  // The header table in arrival order, names lower-cased.
  const std::vector<std::pair<std::string, std::string>>& headers() const { return headers_; }
  // A header's value by name (letter case ignored); nullptr when absent.
  const std::string* Header(std::string_view name) const;
  // The body length announced by "content-length" for a length-delimited body; -1 otherwise.
  int64_t content_length() const { return content_length_; }
  uint64_t body_received() const { return body_received_; }
  // The body when no sink was set.
  const std::string& body() const { return body_; }
  // From "content-type": type and subtype lower-cased, the charset parameter lower-cased and
  // without quotes; empty when not given.
  const std::string& content_type() const { return content_type_; }
  const std::string& content_subtype() const { return content_subtype_; }
  const std::string& charset() const { return charset_; }

 private:
  enum class State { kStatusLine, kHeaderLine, kChunkSize, kChunkData, kChunkEnd, kLengthBody, kCloseBody, kDone };

  bool TakeLine(std::string_view& in, size_t limit, int too_long);
  void StatusLine();
  void HeaderLine();
  void HeadersEnd();
  void ChunkSizeLine();
  bool Deliver(std::string_view data);
  void Done(int result);

  bool head_request_;
  BodySink sink_;
  HeadersHook hook_;
  uint64_t max_kept_body_ = kDefaultMaxKeptBody;

  State state_ = State::kStatusLine;
  Phase phase_ = Phase::kStatus;
  int result_ = 0;
  int status_ = 0;
  bool headers_started_ = false;
  bool body_started_ = false;
  std::string line_;
  size_t header_bytes_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::map<std::string, size_t, std::less<>> index_;  // name -> position in headers_
  int64_t content_length_ = -1;
  uint64_t remaining_ = 0;  // of the current chunk or of the length-delimited body
  uint64_t body_received_ = 0;
  std::string body_;
  std::string content_type_;
  std::string content_subtype_;
  std::string charset_;
};

// A body as UTF-16 text from its charset: "utf-8", "utf-16" (byte-order mark, else little-endian),
// "utf-16le", "utf-16be", "windows-1252"; "iso-8859-1", "us-ascii", no charset and any other
// name are read as ISO 8859-1. A leading byte-order mark of the charset is dropped; invalid
// sequences become U+FFFD.
std::u16string DecodeHttpText(std::string_view body, std::string_view charset);

}  // namespace halberd
