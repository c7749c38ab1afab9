// File associations: extension and program-identifier keys under HKEY_CLASSES_ROOT, with the
// backup of every default value they overwrite, made by the install run and undone (backups
// restored) by the uninstaller from the [Associations] lines.
//
// The decisions and texts are portable (associations.cpp): the backup value's name, the verbs of
// an entry, which program identifier an extension gets and whether the installer owns it, the
// log lines. The registry work is in associations_win32.cpp.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "uninstall/uninstall_data.h"

namespace halberd::integration {

// Kinds of an association entry.
inline constexpr uint32_t kAssociationNormal = 0;
inline constexpr uint32_t kAssociationDefaultVerb = 1;  // the verb becomes the type's default verb
inline constexpr uint32_t kAssociationOpenWithOnly = 2; // only offered in the extension's open-with list

inline constexpr size_t kMaxAssociationVerbs = 8;

// "<display name> Backup", without backslashes, CR, LF and tabs: the value that keeps what an
// association replaced.
std::u16string BackupValueName(std::u16string_view display_name);

// The extension with its leading "."; empty stays empty.
std::string WithLeadingDot(std::string_view extension);

// The comma-separated verbs, blanks around each dropped, empty ones skipped, at most 8.
std::vector<std::string> AssociationVerbs(std::string_view verbs);

// Whether an entry with this language condition is made in a run of `language`.
bool AssociationApplies(std::u16string_view condition, std::u16string_view language);

// Which program identifier the extension gets. `given` is the entry's identifier (an empty one,
// or one that starts with "!", is not the installer's own); `extension_type` the extension's
// current default value.
struct ProgramIdChoice {
  bool usable = false;          // false: an empty identifier for an extension without a type
  std::u16string program_id;    // the identifier the verbs go under
  bool owned = false;           // the installer owns it: it writes the description and the extension's default
};
ProgramIdChoice ChooseProgramId(std::u16string_view given, std::u16string_view extension_type);
// Whether `given` names an identifier of the installer's own before the extension is looked at.
bool OwnsProgramId(std::u16string_view given);

// Whether writing `replacement` over `current` first needs a backup of `current`.
bool NeedsBackup(std::u16string_view current, std::u16string_view replacement);

// Whether a description holds any character that is not blank.
bool HasVisibleText(std::u16string_view text);

// The [Associations] line of an association and verb: every field in the uninstall text encoding.
uninstall::AssociationLine MakeAssociationLine(std::u16string_view extension, std::u16string_view program_id,
                                               std::u16string_view verb, std::u16string_view icon);

// The log lines.
std::u16string AssociationNoLabelLine(std::u16string_view extension);
std::u16string AssociationKeyInaccessibleLine(std::u16string_view extension);
std::u16string AssociationOpenWithLine(std::u16string_view extension, std::u16string_view command);
// `error_text` is the system's text for the failure, empty when there is none.
std::u16string AssociationFailedLine(std::u16string_view extension, std::u16string_view error_text);
std::u16string AssociatedLine(std::u16string_view extension, std::u16string_view command, std::u16string_view verb);
inline constexpr char kAssociationsCrashedLine[] = "Crashed while installing associations.\r\n";

// Windows only. The install run's step over the setup script's association list.
void MakeAssociations();
// Windows only. Undoes the recorded associations; `display_name` names the backup values
// ("<display name> Backup").
void RemoveAssociations(const std::vector<uninstall::AssociationLine>& lines, std::u16string_view display_name);

}  // namespace halberd::integration
