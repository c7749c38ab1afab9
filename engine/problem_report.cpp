#include "engine/problem_report.h"

#include "engine/run_state.h"
#include "foundation/text_convert.h"

namespace halberd::engine {

std::string ProblemReportText(const ProblemReportFacts& facts) {
  std::string text = Utf16ToUtf8(facts.display_name);
  text += ' ';
  text += Utf16ToUtf8(facts.version);
  text += "\r\nInstaller version: ";
  text += kInstallerVersion;
  text += "\r\nOS: ";
  text += facts.windows_name;
  text += "\r\nAdmin rights: ";
  text += facts.admin_rights ? "Yes" : "No";
  text += "\r\nFilename: ";
  text += Utf16ToUtf8(facts.program_path);
  text += "\r\n\r\n";
  text += Utf16ToUtf8(facts.failure_text);
  return text;
}

}  // namespace halberd::engine
