#include "foundation/program_command.h"

#include "foundation/path_rules.h"

namespace halberd {

namespace {
bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }
char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
}  // namespace

ProgramStart SystemProgramStart(std::u16string_view system_folder, std::u16string_view program,
                                std::u16string_view document) {
  ProgramStart start;
  start.application = JoinPath(system_folder, program);
  start.command_line = u"\"" + start.application + u"\" \"" + std::u16string(document) + u"\"";
  return start;
}

std::optional<std::u16string> ProgramOfCommand(std::u16string_view command) {
  while (!command.empty() && IsBlankChar(command.front())) command.remove_prefix(1);
  std::u16string program;
  if (!command.empty() && command.front() == u'"') {
    size_t end = command.find(u'"', 1);
    if (end == std::u16string_view::npos) return std::nullopt;
    program = command.substr(1, end - 1);
  } else {
    size_t end = std::u16string_view::npos;
    for (size_t i = 0; i + 4 <= command.size(); ++i) {
      if (command[i] != u'.' || LowerAscii(command[i + 1]) != u'e' || LowerAscii(command[i + 2]) != u'x' ||
          LowerAscii(command[i + 3]) != u'e')
        continue;
      if (i + 4 == command.size() || IsBlankChar(command[i + 4])) {
        end = i + 4;
        break;
      }
    }
    if (end == std::u16string_view::npos) {
      end = 0;
      while (end < command.size() && !IsBlankChar(command[end])) ++end;
    }
    program = command.substr(0, end);
  }
  if (!IsFullPath(program)) return std::nullopt;
  return program;
}

}  // namespace halberd
