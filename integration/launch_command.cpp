// Splitting the end-of-run command into program and arguments.
#include "integration/launch_command.h"

namespace halberd::integration {

namespace {
constexpr std::u16string_view kBlanks = u" \t";

std::u16string_view TrimBlanks(std::u16string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}
}  // namespace

LaunchCommand SplitLaunchCommand(std::u16string_view command) {
  command = TrimBlanks(command);
  if (command.empty()) return {};
  size_t program_end;
  size_t rest;
  LaunchCommand out;
  if (command.front() == u'"') {
    program_end = command.find(u'"', 1);
    if (program_end == std::u16string_view::npos) program_end = command.size();
    out.program = command.substr(1, program_end - 1);
    rest = program_end + 1;
  } else {
    program_end = command.find_first_of(kBlanks);
    if (program_end == std::u16string_view::npos) program_end = command.size();
    out.program = command.substr(0, program_end);
    rest = program_end;
  }
  if (rest < command.size()) out.arguments = TrimBlanks(command.substr(rest));
  return out;
}

}  // namespace halberd::integration
