// The text of "SETUPBAT.BAT": a batch of the product (8-bit text in code page 1252) turned into a
// batch file that first sets the run's paths and facts as environment variables, in the encoding
// the interpreter can read back; and the rules that decide which batches of an install run apply.
// Running the file is Windows-only (batch_runner_win32.cpp).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "variables/path_variables.h"

namespace halberd::variables {

// One environment line: the variable whose value it sets and whether name and value are enclosed
// in double quotes (which keeps characters such as "&" in a path literal for the interpreter).
struct BatchEnvironmentLine {
  PathVariable variable;
  std::u16string_view name;
  bool quoted;
};
inline constexpr size_t kBatchEnvironmentLineCount = 58;
extern const std::array<BatchEnvironmentLine, kBatchEnvironmentLineCount> kBatchEnvironmentLines;

// One "SET NAME=value" line (in double quotes when `quoted`: SET "NAME=value"), CR LF at its end,
// written so that the interpreter sets exactly `value` and runs nothing else:
//   - "%" is doubled: in a batch file "%%" is one literal percent, and percent expansion comes
//     before any quoting;
//   - each line break (CR LF, a lone CR or LF) and each Ctrl-Z or NUL becomes one blank: the
//     interpreter reads a Ctrl-Z as a line feed, and a line break would end the SET line;
//   - & | < > ^ ( ) get a caret wherever the interpreter's quote state is off at that point (a
//     double quote in the value switches it), so that they are taken as text. Inside quotes they
//     are text already and a caret there would stay in the value.
// SET with a quoted argument takes the value up to the last double quote of the line, so double
// quotes inside the value are kept.
std::u16string BatchSetLine(std::u16string_view name, std::u16string_view value, bool quoted);

// The "SET ..." lines in table order, each ending with CR LF. The Existing line is left out of an
// uninstall run.
using BatchValue = std::function<std::u16string(PathVariable)>;
std::u16string BatchEnvironmentText(const BatchValue& value, bool uninstall_run);

// Whether a path on the interpreter's command line needs double quotes: it holds a blank, a tab
// or one of the characters the interpreter acts on (& | < > ^ ( ) @ , ; =). Without them a folder
// named "a&b" would end the command at the "&" and run what follows it.
bool NeedsInterpreterQuotes(std::u16string_view path);

// A batch that holds nothing but blanks, tabs and line breaks runs nothing.
bool IsBlankBatch(std::string_view text);

// The script's batch followed by commands from the command line, on a line of their own.
std::string AppendBatchCommands(std::string_view batch, std::string_view commands);

// Whether a line is a PAUSE command: after leading and trailing blanks, tabs and line breaks and
// one leading "@" with the blanks after it are removed, exactly "PAUSE" is left, in any case.
bool IsPauseLine(std::u16string_view line);
// The text without its PAUSE lines (each dropped with its line break). Line breaks are CR LF.
std::u16string WithoutPauseLines(std::u16string_view text);

struct BatchFileInputs {
  std::string batch;             // code page 1252
  std::u16string environment;    // BatchEnvironmentText
  bool drop_pause = false;       // automatic mode or a hidden batch
  bool windows7_or_later = true;
};

struct BatchFileText {
  std::string bytes;  // the file's content
  bool utf8 = false;  // written in UTF-8 (else code page 1252)
};

// The whole file: the code-page line, "@echo off", the environment lines, the batch text; line
// breaks made CR LF and a final one added. UTF-8 with "@chcp 65001" when the system is Windows 7
// or later and the text holds a character above 127; otherwise code page 1252 with "@chcp 1252"
// and "?" for what the code page cannot hold.
BatchFileText BuildBatchFile(const BatchFileInputs& in);

// The batches of an install run before file extraction.
struct BatchesBeforeInstallation {
  bool upgrade = false;
  bool reinstall = false;
};
// `existing` is %Existing% (0 new, 1 reinstall, 2 upgrade, 3 downgrade); `earlier_folder_exists`
// whether an earlier installation was found and its installation folder exists; `same_version_only`
// is ProductFlags2 bit 0.
BatchesBeforeInstallation SelectBatchesBeforeInstallation(int existing, bool earlier_folder_exists,
                                                          bool same_version_only);

// %Existing% of an install type's log name ("New", "Reinstall", "Upgrade", "Downgrade").
int ExistingFromInstallType(std::u16string_view install_type);

}  // namespace halberd::variables
