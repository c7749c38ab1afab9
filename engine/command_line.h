// The installer's command line: cutting the process command line into atoms, the options those
// atoms carry, and the usage message shown for a malformed command line.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace halberd::engine {

// Converts a wide text to the system ANSI code page; a character with no mapping becomes "?".
// The Windows layer passes one built on WideCharToMultiByte; tests pass a simple one.
using AnsiConverter = std::function<std::string(const std::wstring&)>;

// Only this many atoms after the program path are looked at; later ones are ignored unchecked.
inline constexpr size_t kMaxExaminedAtoms = 19;

// Cuts a command line into atoms and drops the first one (the program path).
// Blank, tab, CR and LF separate atoms. A double quote opens a quoted run that ends at the next
// lone double quote; inside the run a doubled double quote stands for one. The run stays in the
// atom with its enclosing quotes, so /d:"C:\My Apps" is one atom. An unclosed run ends with the
// text. Atoms are never empty.
std::vector<std::wstring> SplitAtoms(const std::wstring& command_line);

// What the command line asks for. Empty texts mean "not given".
struct CommandLine {
  std::wstring display_name;             // /n:
  std::wstring install_folder_override;  // /d:
  std::wstring uninstall_product;        // /u:
  std::wstring launch_after;             // /r:"..."
  std::string extra_batch[3];            // /b1:"..." /b2:"..." /b3:"..." (ANSI, CR LF between lines)
  bool automatic = false;                // /a or /silent
  bool silent = false;                   // /silent
  bool minimized = false;                // MIN
  bool uninstall = false;                // /u
  // The usage error line when parsing failed, e.g. "/u requires Product Name"; empty on success.
  std::wstring error;
};

// Parses the process command line (program path first) into `out`, replacing what it held.
// Returns false on a usage error: then `out.error` holds the error line, `out.silent` (with
// `out.automatic`) tells whether /silent appeared among the examined atoms, so that the caller
// shows no message box to an unattended caller, and every other field is left empty.
bool ParseCommandLine(const std::wstring& command_line, const AnsiConverter& to_ansi,
                      CommandLine& out);

// The usage message for an error line: the error line, the synopsis with the program's file name
// and the option list, lines joined by CR LF, no line break after the last line.
std::wstring UsageText(const std::wstring& error_line, const std::wstring& program_file_name);

}  // namespace halberd::engine
