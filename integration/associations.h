// File associations: extension and program-identifier keys under HKEY_CLASSES_ROOT, with the
// backup of every default value they overwrite, made by the install run and undone (backups
// restored) by the uninstaller from the [Associations] lines.
#pragma once
#include <string>
#include <vector>

#include "uninstall/uninstall_data.h"

namespace halberd::integration {

// Windows only. The install run's step over the setup script's association list.
void MakeAssociations();
// Windows only. Undoes the recorded associations; `display_name` names the backup values
// ("<display name> Backup").
void RemoveAssociations(const std::vector<uninstall::AssociationLine>& lines, std::u16string_view display_name);

}  // namespace halberd::integration
