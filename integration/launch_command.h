// The program the product starts at the end of an install run: its command split into the
// program and its arguments. The starting itself (through the desktop shell, else directly) is in
// end_of_run_win32.cpp.
#pragma once
#include <string>
#include <string_view>

namespace halberd::integration {

struct LaunchCommand {
  std::u16string program;
  std::u16string arguments;
  bool operator==(const LaunchCommand&) const = default;
};

// A command that begins with a double quote: the program is the quoted text, the arguments what
// follows the closing quote (blanks before them dropped). Otherwise the program runs to the first
// blank. Blanks around the command are ignored.
LaunchCommand SplitLaunchCommand(std::u16string_view command);

}  // namespace halberd::integration
