// The firewall list: its lines and fields, port targets, protocols, the form a line is recorded
// in for the uninstaller, and the fixed log lines.
#include "integration/firewall_lines.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_convert.h"
#include "uninstall/uninstall_data.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

std::u16string U(std::string_view s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

}  // namespace

TEST(FirewallLines, ListSplitsIntoLines) {
  EXPECT_EQ(FirewallListLines(u""), std::vector<std::u16string>{});
  EXPECT_EQ(FirewallListLines(u"8080;Web;1;0\r\nbin\\app.exe;;0;1\r\n"),
            (std::vector<std::u16string>{u"8080;Web;1;0", u"bin\\app.exe;;0;1"}));
  EXPECT_EQ(FirewallListLines(u"a;b;c;d\n\r\n\ne;f;g;h"), (std::vector<std::u16string>{u"a;b;c;d", u"e;f;g;h"}));
}

TEST(FirewallLines, FieldsOfALine) {
  struct Case {
    const char* line;
    bool valid;
    const char* target;
    const char* name;
    uint32_t flags;
    bool keep;
  };
  const Case cases[] = {
      {"8080;Web server;3;0", true, "8080", "Web server", 3, false},
      {"%InstallDir%\\app.exe;;0;1", true, "%InstallDir%\\app.exe", "", 0, true},
      {"53;DNS;2;yes 1", true, "53", "DNS", 2, true},  // any field holding the digit 1 keeps
      {"53;DNS;2;", true, "53", "DNS", 2, false},
      {"53;DNS;x;0", true, "53", "DNS", 0, false},     // flags that are no number: none
      {"53;Grüße;1;0", true, "53", "Grüße", 1, false},
      {";;;", true, "", "", 0, false},
      {"8080;Web;1", false, "", "", 0, false},
      {"8080;Web;1;0;extra", false, "", "", 0, false},
      {"8080", false, "", "", 0, false},
      {"", false, "", "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::optional<FirewallLine> line = SplitFirewallLine(U(c.line));
    ASSERT_EQ(line.has_value(), c.valid);
    if (!line) continue;
    EXPECT_EQ(N(line->target), c.target);
    EXPECT_EQ(N(line->name), c.name);
    EXPECT_EQ(line->flags, c.flags);
    EXPECT_EQ(line->keep, c.keep);
  }
}

TEST(FirewallLines, PortTargets) {
  struct Case {
    const char* target;
    bool is_port;
    uint16_t port;
  };
  const Case cases[] = {
      {"80", true, 80},         {"65535", true, 65535}, {"1", true, 1},
      {"0", true, 0},           {"65536", true, 0},     {"99999999999999999999", true, 0},
      {"app.exe", false, 0},    {"80a", false, 0},      {"C:\\8080", false, 0},
      {" 80", false, 0},        {"", false, 0},         {"-80", false, 0},
  };
  for (const Case& c : cases) {
    uint16_t port = 12345;
    EXPECT_EQ(IsPortTarget(U(c.target), port), c.is_port) << c.target;
    EXPECT_EQ(port, c.port) << c.target;
  }
}

TEST(FirewallLines, ProtocolsOfAPort) {
  EXPECT_EQ(PortProtocols(0), std::vector<int>{});
  EXPECT_EQ(PortProtocols(1), std::vector<int>{6});
  EXPECT_EQ(PortProtocols(2), std::vector<int>{17});
  EXPECT_EQ(PortProtocols(3), (std::vector<int>{6, 17}));
  EXPECT_EQ(PortProtocols(7), (std::vector<int>{6, 17}));
  EXPECT_EQ(ProtocolFlag(6) | ProtocolFlag(17), 3u);
}

TEST(FirewallLines, RecordedForm) {
  FirewallLine port{u"8080", u"Web", 3, false};
  EXPECT_EQ(RecordedFirewallLine(port, 3), "8080;Web;3;0");
  EXPECT_EQ(RecordedFirewallLine(port, 1), "8080;Web;1;0");  // only TCP could be opened
  FirewallLine program{u"C:\\Programme\\Müller\\app.exe", u"Grüße", 0, false};
  // The target in the uninstall text encoding ("|" and UTF-8), the name in UTF-8.
  EXPECT_EQ(RecordedFirewallLine(program, 0), "|C:\\Programme\\M\xC3\xBCller\\app.exe;Gr\xC3\xBC\xC3\x9F" "e;0;0");
  // What is recorded splits back into the same fields.
  std::optional<FirewallLine> back = SplitFirewallLine(U(RecordedFirewallLine(port, 3)));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->target, u"8080");
  EXPECT_EQ(back->flags, 3u);
  // And "Uninstall.dat" gives the recorded lines back unchanged.
  uninstall::UninstallData data;
  data.firewall = {RecordedFirewallLine(port, 3), RecordedFirewallLine(program, 0)};
  EXPECT_EQ(uninstall::LoadUninstallData(uninstall::WriteUninstallData(data)).firewall, data.firewall);
}

TEST(FirewallLines, LogLines) {
  EXPECT_EQ(FirewallConnectFailedLine(2), "Failed to connect to the firewall service: code 2\r\n");
  EXPECT_EQ(FirewallPortAddedLine(6, 8080), "Added firewall exception: TCP port 8080\r\n");
  EXPECT_EQ(FirewallPortAddedLine(17, 53), "Added firewall exception: UDP port 53\r\n");
  EXPECT_EQ(FirewallPortFailedLine(8080, long(int32_t(0x80070005))), "Failed to open firewall port 8080, code -2147024891\r\n");
  EXPECT_EQ(N(FirewallProgramMissingLine(u"C:\\App\\a.exe")),
            "Failed to add firewall exception for \"C:\\App\\a.exe\": file does not exist\r\n");
  EXPECT_EQ(N(FirewallProgramFailedLine(u"C:\\App\\a.exe", -5)), "Failed to add firewall exception for \"C:\\App\\a.exe\", code -5\r\n");
  EXPECT_EQ(N(FirewallProgramAddedLine(u"C:\\App\\a.exe")), "Added firewall exception: C:\\App\\a.exe\r\n");
}
