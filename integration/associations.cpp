// The portable rules of the file associations: names, verbs, the choice of program identifier,
// backups, the uninstall line and the log lines.
#include "integration/associations.h"

#include "uninstall/uninstall_data.h"

namespace halberd::integration {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

std::u16string BackupValueName(std::u16string_view display_name) {
  std::u16string name;
  for (char16_t c : display_name)
    if (c != u'\\' && c != u'\r' && c != u'\n' && c != u'\t') name += c;
  return name + u" Backup";
}

std::string WithLeadingDot(std::string_view extension) {
  if (extension.empty() || extension[0] == '.') return std::string(extension);
  return "." + std::string(extension);
}

std::vector<std::string> AssociationVerbs(std::string_view verbs) {
  std::vector<std::string> result;
  size_t start = 0;
  while (start <= verbs.size() && result.size() < kMaxAssociationVerbs) {
    size_t end = verbs.find(',', start);
    if (end == std::string_view::npos) end = verbs.size();
    std::string_view verb = verbs.substr(start, end - start);
    while (!verb.empty() && IsBlank(verb.front())) verb.remove_prefix(1);
    while (!verb.empty() && IsBlank(verb.back())) verb.remove_suffix(1);
    if (!verb.empty()) result.emplace_back(verb);
    start = end + 1;
  }
  return result;
}

bool AssociationApplies(std::u16string_view condition, std::u16string_view language) {
  return condition.empty() || condition == language;
}

bool OwnsProgramId(std::u16string_view given) { return !given.empty() && given[0] != u'!'; }

ProgramIdChoice ChooseProgramId(std::u16string_view given, std::u16string_view extension_type) {
  ProgramIdChoice choice;
  if (OwnsProgramId(given)) {
    choice = {true, std::u16string(given), true};
  } else if (!extension_type.empty()) {
    choice = {true, std::u16string(extension_type), false};  // the extension's type is extended
  } else if (!given.empty()) {
    choice = {true, std::u16string(given.substr(1)), true};  // "!P" and no type yet: P becomes it
    if (choice.program_id.empty()) choice = {};
  }
  return choice;
}

bool NeedsBackup(std::u16string_view current, std::u16string_view replacement) {
  return !current.empty() && current != replacement;
}

bool HasVisibleText(std::u16string_view text) {
  for (char16_t c : text)
    if (!IsBlank(c)) return true;
  return false;
}

uninstall::AssociationLine MakeAssociationLine(std::u16string_view extension, std::u16string_view program_id,
                                               std::u16string_view verb, std::u16string_view icon) {
  return {uninstall::EncodeUninstallText(extension), uninstall::EncodeUninstallText(program_id),
          uninstall::EncodeUninstallText(verb), uninstall::EncodeUninstallText(icon)};
}

std::u16string AssociationNoLabelLine(std::u16string_view extension) {
  return u"Association failed/no label:  \"" + std::u16string(extension) + u"\".\r\n\r\n";
}

std::u16string AssociationKeyInaccessibleLine(std::u16string_view extension) {
  return u"Association failed/key inaccessible:  \"" + std::u16string(extension) + u"\".\r\n\r\n";
}

std::u16string AssociationOpenWithLine(std::u16string_view extension, std::u16string_view command) {
  return std::u16string(extension) + u" Open With " + std::u16string(command) + u"\r\n";
}

std::u16string AssociationFailedLine(std::u16string_view extension, std::u16string_view error_text) {
  std::u16string line = u"Failed to associate file type:  \"" + std::u16string(extension) + u"\".\r\n";
  if (!error_text.empty()) line += std::u16string(error_text) + u"\r\n";
  return line;
}

std::u16string AssociatedLine(std::u16string_view extension, std::u16string_view command, std::u16string_view verb) {
  return u"Associated " + std::u16string(extension) + u" with " + std::u16string(command) + u" (verb=" +
         std::u16string(verb) + u")\r\n";
}

}  // namespace halberd::integration
