// Command lines of the programs the installer starts: which program a command names, and the
// command that opens a document with a system program. Programs are always started with their
// full path given as the application name, so that Windows never searches for them (the folder
// of the installer, often a Downloads folder, would be searched first).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace halberd {

struct ProgramStart {
  std::u16string application;   // full path of the program
  std::u16string command_line;  // the program's path in quotes, then the arguments
};

// A system program (for example u"notepad.exe") of `system_folder`, given one path to open,
// in quotes.
ProgramStart SystemProgramStart(std::u16string_view system_folder, std::u16string_view program,
                                std::u16string_view document);

// The program a command line starts: the first quoted text, or, unquoted, the text up to and
// including the first ".exe" (any case) that ends the text or is followed by a blank, else up to
// the first blank. Nothing when that is not a full path (a bare name would be searched for).
std::optional<std::u16string> ProgramOfCommand(std::u16string_view command);

}  // namespace halberd
