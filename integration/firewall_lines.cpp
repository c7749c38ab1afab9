// The firewall list's line format and the fixed log lines of the firewall step.
#include "integration/firewall_lines.h"

#include <cstdio>

#include "foundation/text_convert.h"
#include "uninstall/uninstall_data.h"

namespace halberd::integration {

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::vector<std::u16string> FirewallListLines(std::u16string_view list) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(u'\n', start);
    if (end == std::u16string_view::npos) end = list.size();
    std::u16string_view line = list.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

std::optional<FirewallLine> SplitFirewallLine(std::u16string_view line) {
  std::vector<std::u16string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(u';', start);
    if (end == std::u16string_view::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  if (fields.size() != 4) return std::nullopt;
  FirewallLine result;
  result.target = fields[0];
  result.name = fields[1];
  uint32_t flags = 0;
  for (char16_t c : fields[2]) {
    if (c < u'0' || c > u'9') {
      flags = 0;
      break;
    }
    flags = flags > 0xFFFFFFF ? 0xFFFFFFFF : flags * 10 + (c - u'0');
  }
  result.flags = flags;
  result.keep = fields[3].find(u'1') != std::u16string_view::npos;
  return result;
}

bool IsPortTarget(std::u16string_view target, uint16_t& port) {
  port = 0;
  if (target.empty()) return false;
  uint32_t value = 0;
  for (char16_t c : target) {
    if (c < u'0' || c > u'9') return false;
    if (value <= 65535) value = value * 10 + (c - u'0');
  }
  if (value >= 1 && value <= 65535) port = uint16_t(value);
  return true;
}

std::vector<int> PortProtocols(uint32_t flags) {
  std::vector<int> protocols;
  if (flags & kFirewallTcp) protocols.push_back(kProtocolTcp);
  if (flags & kFirewallUdp) protocols.push_back(kProtocolUdp);
  return protocols;
}

uint32_t ProtocolFlag(int protocol) {
  return protocol == kProtocolTcp ? kFirewallTcp : protocol == kProtocolUdp ? kFirewallUdp : 0;
}

std::string RecordedFirewallLine(const FirewallLine& line, uint32_t flags) {
  return uninstall::EncodeUninstallText(line.target) + ";" + Utf16ToUtf8(line.name) + ";" + std::to_string(flags) + ";" +
         (line.keep ? "1" : "0");
}

std::string FirewallConnectFailedLine(int code) {
  return "Failed to connect to the firewall service: code " + std::to_string(code) + "\r\n";
}

std::string FirewallPortAddedLine(int protocol, int port) {
  return std::string("Added firewall exception: ") + (protocol == kProtocolUdp ? "UDP" : "TCP") + " port " +
         std::to_string(port) + "\r\n";
}

std::string FirewallPortFailedLine(int port, long code) {
  return "Failed to open firewall port " + std::to_string(port) + ", code " + std::to_string(code) + "\r\n";
}

std::u16string FirewallProgramMissingLine(std::u16string_view path) {
  return u"Failed to add firewall exception for \"" + std::u16string(path) + u"\": file does not exist\r\n";
}

std::u16string FirewallProgramFailedLine(std::u16string_view path, long code) {
  return u"Failed to add firewall exception for \"" + std::u16string(path) + u"\", code " + Ascii(std::to_string(code)) +
         u"\r\n";
}

std::u16string FirewallProgramAddedLine(std::u16string_view path) {
  return u"Added firewall exception: " + std::u16string(path) + u"\r\n";
}

}  // namespace halberd::integration
