// The firewall list's lines and the decisions about them: splitting a line into its four fields
// (target;name;flags;keep), whether the target is a port, which protocols a port is opened for,
// whether the line is recorded for removal and in what form, and the log lines. Portable; the
// firewall's COM interfaces are called from firewall_win32.cpp.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::integration {

// Corrupt-installer code of a line that does not have exactly four fields.
inline constexpr int kCorruptFirewallLine = 90;

// Protocol numbers of the firewall's open ports.
inline constexpr int kProtocolTcp = 6;
inline constexpr int kProtocolUdp = 17;
// Flag bits of the third field.
inline constexpr uint32_t kFirewallTcp = 0x1;
inline constexpr uint32_t kFirewallUdp = 0x2;

// Results of connecting to the firewall service.
namespace firewall_connect {
inline constexpr int kConnected = 0;
inline constexpr int kNoManager = 2;
inline constexpr int kNoPolicy = 3;
inline constexpr int kNoProfile = 4;
inline constexpr int kException = 27;
}  // namespace firewall_connect

struct FirewallLine {
  std::u16string target;  // a decimal port or a program path
  std::u16string name;    // the rule name; empty: the product's display name
  uint32_t flags = 0;     // kFirewallTcp, kFirewallUdp (ports only)
  bool keep = false;      // the keep field holds the digit 1: never removed
};

// The lines of the list; CR LF or LF ends a line, empty lines are skipped.
std::vector<std::u16string> FirewallListLines(std::u16string_view list);

// The four fields of a line; nothing when it has more or fewer (corrupt code 90 at install time,
// skipped at uninstall time). A flags field that is not a decimal number counts as 0.
std::optional<FirewallLine> SplitFirewallLine(std::u16string_view line);

// A port target: decimal digits only. `port` is 0 for a number outside 1 to 65535 (which the
// firewall refuses).
bool IsPortTarget(std::u16string_view target, uint16_t& port);

// The protocols a port is opened for, TCP before UDP.
std::vector<int> PortProtocols(uint32_t flags);
// kFirewallTcp or kFirewallUdp for a protocol number.
uint32_t ProtocolFlag(int protocol);

// The line as "Uninstall.dat" keeps it: the target in the uninstall text encoding, the name in
// UTF-8, the flags given (for a port: those of the protocols actually opened) and the keep mark.
std::string RecordedFirewallLine(const FirewallLine& line, uint32_t flags);

// The log lines.
std::string FirewallConnectFailedLine(int code);
std::string FirewallPortAddedLine(int protocol, int port);
std::string FirewallPortFailedLine(int port, long code);
std::u16string FirewallProgramMissingLine(std::u16string_view path);
std::u16string FirewallProgramFailedLine(std::u16string_view path, long code);
std::u16string FirewallProgramAddedLine(std::u16string_view path);

}  // namespace halberd::integration
