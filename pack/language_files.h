// Language files: the texts an installer shows, one plain UTF-8 file per language (the format is
// described at the top of pack/languages/English.txt and in docs/project-format.md), the list of
// every text number the installer uses with the placeholders it fills in, and where the pack tool
// finds its own language folder. Building the language table of a product from these files and
// the project's overrides belongs to the project reader (project_file.cpp).
#pragma once
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "foundation/format/text_numbers.h"
#include "pack/diagnostics.h"

namespace halberd::pack {

struct LanguageText {
  std::u16string text;      // line breaks as CR LF
  int line = 0;             // where the text was given, for messages
  bool in_project = false;  // given by the project file ([texts]), not by a language file
};

struct LanguageFile {
  std::string path;   // as shown in messages
  std::string name;   // the "language =" line: the name in the installer's language list
  int name_line = 0;
  std::map<int, LanguageText> texts;
};

constexpr int kMaxTextNumber = 9999;

// Parses a language file; problems are reported with the file and line. Entries before a problem
// are kept, so one run reports every problem of the file.
void ParseLanguageFile(std::string_view content, const std::string& path, LanguageFile& out, Diagnostics& diag);

// Reads and parses a file; a missing or unreadable file is reported and gives false.
bool ReadLanguageFile(const std::filesystem::path& file, const std::string& shown_path, LanguageFile& out,
                      Diagnostics& diag);

using text::EngineText;

// Every text number the installer and the uninstaller use, in increasing order
// (foundation/format/text_numbers.h); the language files and their tests follow it.
std::span<const EngineText> EngineTexts();
const EngineText* FindEngineText(int number);

// The printf conversions of a text, in order and as written ("%s%d"); "%%" is not one. A text
// for which the installer supplies arguments must have exactly the conversions it expects, or
// formatting it could read arguments that are not there.
std::string Placeholders(std::u16string_view text);

// The tool's language folder: $HALBERD_LANGUAGES; else "languages" beside the tool (an installed
// layout, also "../share/halberd/languages"); else pack/languages of the source tree when the tool
// runs from the build tree. Empty when none exists.
std::filesystem::path FindLanguageFolder(const std::filesystem::path& tool_path);

}  // namespace halberd::pack
