// The text of a problem report: who sends it (product, installer, system, rights, program file)
// followed by the run's failure text, in UTF-8, as the "problems" field of the form post.
#pragma once
#include <string>
#include <string_view>

namespace halberd::engine {

struct ProblemReportFacts {
  std::u16string display_name;
  std::u16string version;       // the product version as it survives the system's ANSI code page
  std::string windows_name;     // "Windows 10 (10.0.19045) 64-bit"
  bool admin_rights = false;
  std::u16string program_path;  // the running installer's full path
  std::u16string failure_text;
};

// "<name> <version>\r\nInstaller version: 48.0.11\r\nOS: <windows>\r\nAdmin rights: Yes|No\r\n
// Filename: <path>\r\n\r\n<failure text>", converted to UTF-8.
std::string ProblemReportText(const ProblemReportFacts& facts);

}  // namespace halberd::engine
