#include "foundation/http_response.h"

#include <algorithm>
#include <cstdint>

#include "foundation/http_result.h"
#include "foundation/text_convert.h"

namespace halberd {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A decimal number and nothing else (blanks around it aside) that fits in 63 bits.
bool ParseDecimal(std::string_view text, int64_t& value) {
  text = Trim(text);
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = uint64_t(c - '0');
    if (v > (uint64_t(INT64_MAX) - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = int64_t(v);
  return true;
}

bool IsInterimStatus(int status) { return status >= 100 && status <= 199 && status != 101; }

}  // namespace

const std::string* HttpResponseParser::Header(std::string_view name) const {
  auto found = index_.find(LowerText(name));
  return found == index_.end() ? nullptr : &headers_[found->second].second;
}

void HttpResponseParser::Done(int result) {
  result_ = result;
  state_ = State::kDone;
  phase_ = Phase::kDone;
}

// Moves bytes of `in` into line_ up to and including the first "\n", consuming at most `budget`
// bytes. True when line_ holds a whole line (its line end removed); false when more bytes are
// needed or the line is too long (then the read has ended with `too_long`).
bool HttpResponseParser::TakeLine(std::string_view& in, size_t budget, int too_long) {
  size_t end = in.find('\n');
  size_t take = end == std::string_view::npos ? in.size() : end + 1;
  if (take > budget) {
    Done(too_long);
    return false;
  }
  line_.append(in.data(), take);
  in.remove_prefix(take);
  if (end == std::string_view::npos) return false;
  line_.pop_back();
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  return true;
}

void HttpResponseParser::StatusLine() {
  std::string_view s = line_;
  if (!StartsWithNoCase(s, "HTTP/")) return Done(http_result::kBadStatusLine);
  size_t blank = s.find_first_of(" \t");
  if (blank == std::string_view::npos) return Done(http_result::kBadStatusLine);
  s = Trim(s.substr(blank));
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int value = 0;
  size_t digits = 0;
  for (; digits < s.size() && s[digits] >= '0' && s[digits] <= '9'; ++digits)
    if (value < 100000) value = value * 10 + (s[digits] - '0');
  if (digits == 0 || negative || value < 100 || value > 999) return Done(http_result::kBadStatusLine);
  status_ = value;
  headers_started_ = true;
  headers_.clear();
  index_.clear();
  state_ = State::kHeaderLine;
  phase_ = Phase::kHeaders;
}

void HttpResponseParser::HeaderLine() {
  std::string_view line = line_;
  if (line.empty()) return HeadersEnd();
  if (IsBlank(line.front())) {  // continues the previous value
    std::string_view more = Trim(line);
    if (!headers_.empty() && !more.empty()) {
      std::string& value = headers_.back().second;
      if (!value.empty()) value += ' ';
      value += more;
    }
    return;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  std::string name = LowerText(Trim(line.substr(0, colon)));
  if (name.empty()) return;
  std::string_view value = Trim(line.substr(colon + 1));
  auto [slot, added] = index_.try_emplace(name, headers_.size());
  if (added) {
    headers_.emplace_back(std::move(name), std::string(value));
  } else {
    std::string& joined = headers_[slot->second].second;
    joined += ", ";
    joined += value;
  }
}

void HttpResponseParser::HeadersEnd() {
  if (IsInterimStatus(status_)) {  // another status line follows
    status_ = 0;
    headers_.clear();
    index_.clear();
    state_ = State::kStatusLine;
    phase_ = Phase::kStatus;
    return;
  }
  if (const std::string* type = Header("content-type")) {
    std::string_view text = *type;
    size_t semicolon = text.find(';');
    std::string_view media = Trim(text.substr(0, semicolon));
    size_t slash = media.find('/');
    content_type_ = LowerText(Trim(media.substr(0, slash)));
    if (slash != std::string_view::npos) content_subtype_ = LowerText(Trim(media.substr(slash + 1)));
    while (semicolon != std::string_view::npos) {
      text.remove_prefix(semicolon + 1);
      semicolon = text.find(';');
      std::string_view parameter = text.substr(0, semicolon);
      size_t equals = parameter.find('=');
      if (equals == std::string_view::npos || LowerText(Trim(parameter.substr(0, equals))) != "charset") continue;
      charset_.clear();
      for (char c : Trim(parameter.substr(equals + 1)))
        if (c != '"') charset_ += Lower(c);
      charset_ = std::string(Trim(charset_));
    }
  }
  if (head_request_ || status_ == 101 || status_ == 204 || status_ == 304) return Done(status_);
  if (hook_ && !hook_(*this)) return Done(status_);
  phase_ = Phase::kBody;
  body_started_ = true;
  const std::string* encoding = Header("transfer-encoding");
  int64_t length = 0;
  const std::string* length_text = Header("content-length");
  if (encoding && StartsWithNoCase(Trim(*encoding), "chunked")) {
    state_ = State::kChunkSize;
  } else if (length_text && ParseDecimal(*length_text, length)) {
    content_length_ = length;
    remaining_ = uint64_t(length);
    if (length == 0) return Done(status_);
    state_ = State::kLengthBody;
  } else {
    state_ = State::kCloseBody;
  }
}

void HttpResponseParser::ChunkSizeLine() {
  std::string_view s = Trim(line_);
  uint64_t size = 0;
  size_t digits = 0;
  constexpr uint64_t kMaxChunk = uint64_t(1) << 60;
  for (; digits < s.size() && HexDigit(s[digits]) >= 0; ++digits) {
    if (size > kMaxChunk / 16) return Done(http_result::kBadResponse);
    size = size * 16 + uint64_t(HexDigit(s[digits]));
  }
  if (size > kMaxChunk) return Done(http_result::kBadResponse);
  std::string_view rest = Trim(s.substr(digits));
  if (digits == 0 || (!rest.empty() && rest.front() != ';')) return Done(http_result::kBadResponse);
  if (size == 0) return Done(status_);
  remaining_ = size;
  state_ = State::kChunkData;
}

bool HttpResponseParser::Deliver(std::string_view data) {
  if (data.empty()) return true;
  body_received_ += data.size();
  if (sink_) {
    if (!sink_(data)) {
      Done(http_result::kCancelled);
      return false;
    }
    return true;
  }
  if (body_.size() + data.size() > max_kept_body_) {
    Done(http_result::kTooLarge);
    return false;
  }
  body_.append(data);
  return true;
}

int HttpResponseParser::Feed(std::string_view in) {
  while (state_ != State::kDone && !in.empty()) {
    switch (state_) {
      case State::kStatusLine:
      case State::kHeaderLine: {
        const bool status_line = state_ == State::kStatusLine;
        const size_t before = in.size();
        const bool whole = TakeLine(in, kMaxHeaderBytes - header_bytes_,
                                    status_line ? http_result::kBadStatusLine : http_result::kBadResponse);
        header_bytes_ += before - in.size();
        if (!whole) break;
        if (status_line) StatusLine(); else HeaderLine();
        line_.clear();
        break;
      }
      case State::kChunkSize:
      case State::kChunkEnd: {
        if (!TakeLine(in, kMaxChunkLine - line_.size(), http_result::kBadResponse)) break;
        if (state_ == State::kChunkSize) {
          ChunkSizeLine();
        } else if (!line_.empty()) {
          Done(http_result::kBadResponse);  // chunk data longer than its size
        } else {
          state_ = State::kChunkSize;
        }
        line_.clear();
        break;
      }
      case State::kChunkData:
      case State::kLengthBody: {
        size_t take = size_t(std::min<uint64_t>(remaining_, in.size()));
        if (!Deliver(in.substr(0, take))) break;
        in.remove_prefix(take);
        remaining_ -= take;
        if (remaining_ == 0) {
          if (state_ == State::kChunkData) state_ = State::kChunkEnd;
          else Done(status_);
        }
        break;
      }
      case State::kCloseBody:
        if (Deliver(in)) in = std::string_view();
        break;
      case State::kDone:
        break;
    }
  }
  return result_;
}

int HttpResponseParser::Finish(bool reset) {
  if (state_ == State::kDone) return result_;
  if (state_ == State::kCloseBody) Done(status_);
  else Done(reset ? http_result::kReset : http_result::kClosed);
  return result_;
}

namespace {

// Code points of windows-1252 bytes 0x80-0x9F (the undefined ones as in ISO 8859-1).
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string DecodeUtf16(std::string_view body, bool big_endian) {
  std::u16string out;
  out.reserve(body.size() / 2 + 1);
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    const auto a = static_cast<unsigned char>(body[i]), b = static_cast<unsigned char>(body[i + 1]);
    out.push_back(big_endian ? char16_t(a << 8 | b) : char16_t(b << 8 | a));
  }
  if (body.size() % 2) out.push_back(0xFFFD);
  return out;
}

}  // namespace

std::u16string DecodeHttpText(std::string_view body, std::string_view charset) {
  const std::string name = LowerText(Trim(charset));
  if (name == "utf-8" || name == "utf8") {
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    return Utf8ToUtf16(body);
  }
  if (name == "utf-16" || name == "utf-16le" || name == "utf-16be") {
    bool big_endian = name == "utf-16be";
    if (body.starts_with("\xFF\xFE") && name != "utf-16be") {
      body.remove_prefix(2);
      big_endian = false;
    } else if (body.starts_with("\xFE\xFF") && name != "utf-16le") {
      body.remove_prefix(2);
      big_endian = true;
    }
    return DecodeUtf16(body, big_endian);
  }
  const bool windows_1252 = name == "windows-1252" || name == "cp1252" || name == "x-cp1252";
  std::u16string out;
  out.reserve(body.size());
  for (char c : body) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(windows_1252 && byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte));
  }
  return out;
}

}  // namespace halberd
