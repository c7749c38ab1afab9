#include "foundation/http_request.h"

namespace halberd {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

// The header part of a header text: up to (without) the empty line that ends it.
std::string_view HeaderPart(std::string_view extra) {
  if (extra.starts_with("\r\n")) return std::string_view();
  size_t end = extra.find("\r\n\r\n");
  return end == std::string_view::npos ? extra : extra.substr(0, end + 2);
}

// Calls `line` for each line of a header part (without its "\r\n").
template <typename Fn>
void ForEachLine(std::string_view text, Fn line) {
  while (!text.empty()) {
    size_t end = text.find("\r\n");
    line(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
}

bool LineIsHeader(std::string_view line, std::string_view name) {
  return StartsWithNoCase(line, name) && line.size() > name.size() && line[name.size()] == ':';
}

std::string FormName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '"') out += "%22";
    else if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else out += c;
  }
  return out;
}

}  // namespace

std::string HttpRequestLine(uint32_t flags, std::string_view path) {
  const char* method = (flags & http_flag::kPost) ? "POST" : (flags & http_flag::kHead) ? "HEAD" : "GET";
  std::string line = method;
  line += ' ';
  line += path;
  line += " HTTP/1.1\r\n";
  return line;
}

bool HeaderTextHas(std::string_view extra, std::string_view name) {
  bool found = false;
  ForEachLine(HeaderPart(extra), [&](std::string_view line) { found = found || LineIsHeader(line, name); });
  return found;
}

std::string BuildHttpRequest(const HttpUrl& url, uint32_t flags, std::string_view own_line,
                             std::string_view extra) {
  std::string text;
  if (flags & http_flag::kOwnRequestLine) {
    text = own_line;
    if (!text.ends_with("\r\n")) text += "\r\n";
  } else {
    text = HttpRequestLine(flags, url.path);
  }
  text += "Host: ";
  text += url.HostHeader();
  text += "\r\n";
  if (!HeaderTextHas(extra, "User-Agent")) {
    text += "User-Agent: ";
    text += kHttpUserAgent;
    text += "\r\nAccept-Encoding: identity\r\n";
  }
  text += extra;
  if (!extra.empty() && !extra.ends_with("\r\n") && extra.find("\r\n\r\n") == std::string_view::npos)
    text += "\r\n";  // a last header line without its line end
  if (text.find("\r\n\r\n") == std::string::npos) text += "\r\n";
  return text;
}

HttpRedirectStep DecideHttpRedirect(int status, uint32_t flags) {
  HttpRedirectStep step;
  step.flags = flags;
  if (flags & http_flag::kOwnRequestLine) return step;
  switch (status) {
    case 301:
    case 308:
      step.follow = !(flags & http_flag::kNoFollowPermanent);
      break;
    case 303:
      step.follow = !(flags & http_flag::kNoFollowTemporary);
      if (step.follow && (flags & http_flag::kPost)) {
        step.flags &= ~http_flag::kPost;
        step.drop_body = true;
      }
      break;
    case 302:
    case 307:
      step.follow = !(flags & http_flag::kNoFollowTemporary);
      break;
    default:
      break;
  }
  return step;
}

std::string HeaderTextWithoutBody(std::string_view extra) {
  std::string out;
  ForEachLine(HeaderPart(extra), [&](std::string_view line) {
    if (line.empty() || LineIsHeader(line, "Content-Length") || LineIsHeader(line, "Content-Type")) return;
    out += line;
    out += "\r\n";
  });
  return out;
}

std::string HttpForm::ContentType() const { return "multipart/form-data; boundary=" + boundary; }

std::string HttpForm::HeaderText() const {
  return "Content-Type: " + ContentType() + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

HttpForm BuildHttpForm(const std::vector<std::pair<std::string, std::string>>& fields) {
  HttpForm form;
  form.boundary = "AaB03x";
  auto clashes = [&](const std::string& boundary) {
    for (const auto& [name, value] : fields)
      if (name.find(boundary) != std::string::npos || value.find(boundary) != std::string::npos) return true;
    return false;
  };
  for (int suffix = 1; clashes(form.boundary); ++suffix) form.boundary = "AaB03x-" + std::to_string(suffix);
  for (const auto& [name, value] : fields) {
    form.body += "--" + form.boundary + "\r\nContent-Disposition: form-data; name=\"" + FormName(name) +
                 "\"\r\n\r\n";
    form.body += value;
    form.body += "\r\n";
  }
  form.body += "--" + form.boundary + "--\r\n";
  return form;
}

}  // namespace halberd
