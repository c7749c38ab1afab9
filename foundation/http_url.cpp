#include "foundation/http_url.h"

#include "foundation/http_result.h"

namespace halberd {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsHostChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '.' || c == '-' || c == '_'; }

bool IsUnsafeByte(unsigned char c) { return c <= 0x20 || c >= 0x7F; }

bool IsNeverInUrl(char c) {
  switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
    case '%':
      return true;
    default:
      return false;
  }
}

void AppendEscaped(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

// A scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
bool HasScheme(std::string_view text) {
  if (text.empty() || !IsAlpha(text[0])) return false;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == ':') return true;
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

}  // namespace

std::string HttpUrl::HostHeader() const {
  if (port == DefaultPort()) return host;
  return host + ":" + std::to_string(port);
}

std::string HttpUrl::Origin() const { return (secure ? "https://" : "http://") + HostHeader(); }

std::string EscapeUnsafeUrlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsUnsafeByte(static_cast<unsigned char>(c)))
      AppendEscaped(out, static_cast<unsigned char>(c));
    else
      out += c;
  }
  return out;
}

std::string EscapeUrl(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsUnsafeByte(static_cast<unsigned char>(c)) || IsNeverInUrl(c))
      AppendEscaped(out, static_cast<unsigned char>(c));
    else
      out += c;
  }
  return out;
}

int ParseHttpUrl(std::string_view url, HttpUrl& out) {
  out = HttpUrl();
  std::string_view rest = Trim(url);
  if (StartsWithNoCase(rest, "https:")) {
    out.secure = true;
    rest.remove_prefix(6);
  } else if (StartsWithNoCase(rest, "http:")) {
    rest.remove_prefix(5);
  } else if (HasScheme(rest) && rest.substr(rest.find(':') + 1).starts_with("//")) {
    return http_result::kBadAddress;  // another scheme ("ftp://..."), not a host
  }
  out.port = out.DefaultPort();
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  if (rest.empty()) return http_result::kEmptyUrl;
  if (rest.front() == '[') return http_result::kIpv6Host;

  size_t authority_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authority_end);
  rest = authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);

  std::string_view host = authority;
  size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    std::string_view port = authority.substr(colon + 1);
    if (!port.empty()) {
      if (port.size() > 5) return http_result::kBadAddress;
      uint32_t value = 0;
      for (char c : port) {
        if (!IsDigit(c)) return http_result::kBadAddress;
        value = value * 10 + uint32_t(c - '0');
      }
      if (value == 0 || value > 65535) return http_result::kBadAddress;
      out.port = uint16_t(value);
    }
  }
  if (host.empty()) return http_result::kBadAddress;
  for (char c : host)
    if (!IsHostChar(c)) return http_result::kBadAddress;
  out.host = std::string(host);

  std::string_view path = rest.substr(0, rest.find('#'));
  out.path.clear();
  if (path.empty() || path.front() != '/') out.path = "/";
  out.path += EscapeUnsafeUrlBytes(path);
  return 0;
}

std::string ResolveRedirectLocation(const HttpUrl& current, std::string_view location) {
  location = Trim(location);
  if (location.empty()) return std::string();
  const std::string escaped = location.find('%') != std::string_view::npos
                                  ? EscapeUnsafeUrlBytes(location)
                                  : EscapeUrl(location);
  if (HasScheme(escaped)) return escaped;
  if (escaped.starts_with("//")) return (current.secure ? "https:" : "http:") + escaped;
  if (escaped.front() == '/') return current.Origin() + escaped;
  const std::string_view path = std::string_view(current.path).substr(0, current.path.find('?'));
  if (escaped.front() == '?') return current.Origin() + std::string(path) + escaped;
  const std::string_view folder = path.substr(0, path.rfind('/') + 1);  // the path begins with "/"
  return current.Origin() + std::string(folder) + escaped;
}

}  // namespace halberd
