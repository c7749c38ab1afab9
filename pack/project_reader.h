// The machinery under the project-file reader: reading one table of the TOML document option by
// option, with the checks every option shares (type, range, words, colours, dates, files) and
// one message per problem, naming the file and line. Every option a table is asked for becomes a
// known option of that table, so that at the end an unknown one can be reported with the nearest
// known name ("did you mean ...?"). The options themselves and what they set are in
// project_file.cpp.
#pragma once
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pack/diagnostics.h"

namespace halberd::pack::project {

struct Word {
  std::string_view word;
  int value;
};

class Section;

class Reader {
 public:
  // `show_lines` false: the document was made by the tool (the implied project of the command
  // line), so its line numbers mean nothing to the user.
  Reader(Diagnostics& diag, std::string file, std::filesystem::path base, bool show_lines)
      : diag_(diag), file_(std::move(file)), base_(std::move(base)), show_lines_(show_lines) {}

  void Error(int line, std::string message) { diag_.Error(file_, show_lines_ ? line : 0, std::move(message)); }
  void Warning(int line, std::string message) { diag_.Warning(file_, show_lines_ ? line : 0, std::move(message)); }
  Diagnostics& diagnostics() { return diag_; }
  const std::string& file() const { return file_; }
  const std::filesystem::path& base() const { return base_; }

  // A path from the project, taken from the project's folder when relative.
  std::filesystem::path Resolve(std::string_view relative) const;
  // The whole content of a file the project names; a missing file is reported at `line`.
  bool LoadFile(int line, std::string_view relative, std::string& bytes);

  // The sections of the document, made once each: "" is the top level, "look", "batches.upgrade".
  void SetRoot(const toml::table* root) { root_ = root; }
  Section& Table(const std::string& dotted);
  // The tables of an array of tables ([[files]]), each a section of its own.
  std::vector<Section*> TableArray(const std::string& dotted);

  // Which option sets which setup-script item, so that a refusal of the script writer can be
  // reported at the project line that caused it.
  void NoteItem(int item, std::string option, int line) { items_.try_emplace(item, std::move(option), line); }
  bool ItemSource(int item, std::string& option, int& line) const;

  // Reports every unknown option of every section, with a suggestion where one is near.
  void ReportUnknownOptions();

 private:
  friend class Section;
  Diagnostics& diag_;
  std::string file_;
  std::filesystem::path base_;
  bool show_lines_;
  const toml::table* root_ = nullptr;
  std::deque<Section> sections_;
  std::map<std::string, Section*> by_name_;
  std::map<int, std::pair<std::string, int>> items_;
};

class Section {
 public:
  Section(Reader& reader, const toml::table* table, std::string name, int line)
      : r_(reader), table_(table), name_(std::move(name)), line_(line) {}

  const std::string& name() const { return name_; }
  bool present() const { return table_ != nullptr; }
  int line() const { return line_; }
  // "[look]" or "the top level", for messages.
  std::string Where() const;

  // The value of an option, or nullptr when it is not given. Every accessor marks the option as
  // known to this section, whether it is given or not.
  const toml::node* Node(std::string_view key);
  bool Has(std::string_view key) { return Node(key) != nullptr; }
  // The line of the option's value, else of the section.
  int Line(std::string_view key);

  bool Bool(std::string_view key, bool def);
  // A text (UTF-8). `max_chars` limits its length in UTF-16 characters; a zero character is
  // always refused.
  std::string Text(std::string_view key, std::string_view def = {}, size_t max_chars = 0x1FFFFFFF);
  std::u16string Wide(std::string_view key, std::u16string_view def = {}, size_t max_chars = 0x1FFFFFFF);
  std::vector<std::string> TextList(std::string_view key);
  int64_t Integer(std::string_view key, int64_t def, int64_t min, int64_t max, std::string_view unit = {});
  double Number(std::string_view key, double def, double min, double max);
  int Choice(std::string_view key, std::span<const Word> words, int def);
  // "#RRGGBB" or "#RGB" -> red in the low byte; "none" -> unset (0xFFFFFFFF).
  uint32_t Colour(std::string_view key, uint32_t def);
  // A web address: http:// or https://.
  std::u16string Address(std::string_view key);
  // A date ("2026-12-10" or a TOML date); nullopt when absent.
  struct Date {
    int year, month, day;
  };
  std::optional<Date> DateValue(std::string_view key);
  struct DateTime {
    int year, month, day, hour, minute, second;
  };
  std::optional<DateTime> DateTimeValue(std::string_view key);
  // A sub-table given inline ({ name = "x" }) or as [a.b]; nullptr when absent.
  Section* SubTable(std::string_view key);
  // The options the section holds, in document order, for tables whose keys are data (the text
  // numbers of [texts.English]); they become known only when asked for.
  std::vector<std::string> Keys() const;

  void Error(std::string_view key, std::string message) { r_.Error(Line(key), std::move(message)); }
  Reader& reader() { return r_; }

 private:
  friend class Reader;
  void TypeError(std::string_view key, std::string_view expected);

  Reader& r_;
  const toml::table* table_;
  std::string name_;
  int line_;
  std::set<std::string, std::less<>> known_;
};

// Levenshtein distance, for suggestions.
size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace halberd::pack::project
