// The association keys below HKEY_CLASSES_ROOT: made by the install run (one pass per entry and
// verb), undone by the uninstaller from the [Associations] lines. Every default value replaced is
// first kept in the backup value "<display name> Backup" beside it.
//
// These keys hold command lines that every user's shell runs, so they are created with the
// default (inherited) security, never with an access list that lets anyone rewrite them.
#include "integration/associations.h"

#include <windows.h>

#include <string>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_registry.h"
#include "install/extraction_folders.h"
#include "uninstall/run_uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;
constexpr uint32_t kCreate = reg_open::kDefaultSecurity;
constexpr uint32_t kOpen = reg_open::kOpenOnly;

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Writes `value` as the current key's default value, first keeping a differing old default in the
// backup value. A backup that is already there holds what was there before the product (an
// upgrade finds its own older value) and is kept.
bool WriteDefaultWithBackup(RegistryKey& key, const std::wstring& value, const std::wstring& backup_name) {
  const std::wstring current = key.ReadText(L"");
  if (NeedsBackup(U(current), U(value))) key.WriteText(backup_name, current, reg_write::kKeepExisting);
  return key.WriteText(L"", value);
}

// The context of one install run's associations.
struct AssociationRun {
  std::wstring backup_name;
  std::wstring install_folder;
  uninstall::CodePage code_page;
};

// The verb's keys below the identifier's: "shell" (for a default-verb entry its default names the
// entry's first verb), the verb with its label, and "command". Returns whether the command was
// written.
bool WriteVerb(const AssociationRun& run, const format::FileAssociation& entry, bool first_verb, RegistryKey& id_key,
               const std::wstring& verb, const std::wstring& command) {
  RegistryKey shell_key;
  if (shell_key.OpenKey(id_key.Handle(), L"shell", kCreate, kAccess) == reg_opened::kFailed) return false;
  if (entry.kind == kAssociationDefaultVerb && first_verb) WriteDefaultWithBackup(shell_key, verb, run.backup_name);
  RegistryKey verb_key;
  if (verb_key.OpenKey(shell_key.Handle(), verb, kCreate, kAccess) == reg_opened::kFailed) return false;
  verb_key.WriteText(L"", W(uninstall::DecodeUninstallText(entry.verb_label, run.code_page)));
  RegistryKey command_key;
  if (command_key.OpenKey(verb_key.Handle(), L"command", kCreate, kAccess) == reg_opened::kFailed) return false;
  return WriteDefaultWithBackup(command_key, command, run.backup_name);
}

// One entry and verb (one pass of the install step).
void AssociateVerb(const AssociationRun& run, const format::FileAssociation& entry, const std::wstring& extension,
                   const std::wstring& command, const std::string& verb_8bit, bool first_verb) {
  const std::wstring verb = W(uninstall::DecodeUninstallText(verb_8bit, run.code_page));
  const std::u16string given = uninstall::DecodeUninstallText(entry.program_id, run.code_page);

  RegistryKey ext_key;
  const bool ext_open =
      ext_key.OpenKey(HKEY_CLASSES_ROOT, extension, given.empty() ? kOpen : kCreate, kAccess) != reg_opened::kFailed;
  // Without an open extension key (or for an open-with entry) the identifier is taken as given.
  const bool owned = OwnsProgramId(given);
  ProgramIdChoice choice{!given.empty(), std::u16string(owned || given.empty() ? given : given.substr(1)), owned};
  // Whether the extension names the identifier (an open-with entry leaves the extension alone).
  bool extension_set = false;
  if (ext_open && entry.kind != kAssociationOpenWithOnly) {
    const std::wstring current = ext_key.ReadText(L"");
    choice = ChooseProgramId(given, U(current));
    if (!choice.usable) {
      engine::LogWide(W(AssociationNoLabelLine(U(extension))));
      return;
    }
    extension_set = choice.owned ? WriteDefaultWithBackup(ext_key, W(choice.program_id), run.backup_name)
                                 : true;  // the extension already names the type being extended
  }
  const std::wstring program_id = W(choice.program_id);
  if (ext_open && !program_id.empty() && (entry.kind == kAssociationOpenWithOnly || verb == L"open")) {
    RegistryKey open_with;
    if (open_with.OpenKey(ext_key.Handle(), L"OpenWithProgids", kCreate, kAccess) != reg_opened::kFailed)
      open_with.WriteText(program_id, L"");
    engine::LogWide(W(AssociationOpenWithLine(U(extension), U(command))));
  }
  if (!ext_open && !choice.owned) {
    engine::LogWide(W(AssociationKeyInaccessibleLine(U(extension))));
    return;
  }
  // An empty identifier would name HKEY_CLASSES_ROOT itself.
  if (program_id.empty()) {
    engine::LogWide(W(AssociationNoLabelLine(U(extension))));
    return;
  }

  bool command_written = false;
  DWORD error = 0;
  RegistryKey id_key;
  if (id_key.OpenKey(HKEY_CLASSES_ROOT, program_id, kCreate, kAccess) == reg_opened::kFailed) {
    error = GetLastError();
  } else {
    const std::u16string description = uninstall::DecodeUninstallText(entry.description, run.code_page);
    if (choice.owned && HasVisibleText(description)) WriteDefaultWithBackup(id_key, W(description), run.backup_name);
    if (!entry.icon.empty()) {
      std::wstring icon = W(entry.icon);
      variables::ExpandPathVariables(icon);
      icon = W(ResolveRelativePath(U(run.install_folder), U(icon)));
      RegistryKey icon_key;
      if (icon_key.OpenKey(id_key.Handle(), L"DefaultIcon", kCreate, kAccess) != reg_opened::kFailed)
        WriteDefaultWithBackup(icon_key, icon, run.backup_name);
    }
    command_written = WriteVerb(run, entry, first_verb, id_key, verb, command);
    if (!command_written) error = GetLastError();
  }

  // Recorded whether or not it was made: the uninstaller restores whatever was backed up.
  uninstall::RunUninstallData().associations.push_back(
      MakeAssociationLine(U(extension), U(program_id), U(verb), entry.icon));
  if (!command_written)
    engine::LogWide(W(AssociationFailedLine(U(extension), error ? U(SystemErrorText(error)) : u"")));
  else if (extension_set)
    engine::LogWide(W(AssociatedLine(U(extension), U(command), U(verb))));
}

// Writes the backup value back as the current key's default value and deletes it. Returns
// whether there was one.
bool RestoreDefault(RegistryKey& key, const std::wstring& backup_name) {
  const std::wstring backup = key.ReadText(backup_name);
  if (backup.empty()) return false;
  key.WriteText(L"", backup);
  key.DeleteValue(backup_name);
  return true;
}

// The number of values of an open key, -1 on error.
int ValueCount(RegistryKey& key) {
  DWORD values = 0;
  if (RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return -1;
  return int(values);
}

// One [Associations] line undone.
void RemoveAssociation(const uninstall::AssociationLine& line, const std::wstring& backup_name,
                       const uninstall::CodePage& code_page) {
  const std::wstring extension = W(uninstall::DecodeUninstallText(line.extension, code_page));
  const std::wstring program_id = W(uninstall::DecodeUninstallText(line.program_id, code_page));
  const std::wstring verb = W(uninstall::DecodeUninstallText(line.verb, code_page));
  if (extension.empty() || program_id.empty()) return;

  RegistryKey ext_key;
  bool ext_restored = false;
  const bool ext_open = ext_key.OpenKey(HKEY_CLASSES_ROOT, extension, kOpen, kAccess) != reg_opened::kFailed;
  if (ext_open) {
    ext_restored = RestoreDefault(ext_key, backup_name);
    if (verb == L"open") {
      RegistryKey open_with;
      if (open_with.OpenKey(ext_key.Handle(), L"OpenWithProgids", kOpen, kAccess) != reg_opened::kFailed)
        open_with.DeleteValue(program_id);
      open_with.CloseAll();
      ext_key.DeleteSubkey(L"OpenWithProgids", reg_delete::kOnlyIfEmpty);
    }
  }

  RegistryKey id_key;
  if (id_key.OpenKey(HKEY_CLASSES_ROOT, program_id, kOpen, kAccess) == reg_opened::kFailed) return;
  RestoreDefault(id_key, backup_name);
  if (!line.icon.empty()) {
    RegistryKey icon_key;
    if (icon_key.OpenKey(id_key.Handle(), L"DefaultIcon", kOpen, kAccess) != reg_opened::kFailed &&
        !RestoreDefault(icon_key, backup_name)) {
      icon_key.DeleteValue(L"");
      icon_key.CloseAll();
      id_key.DeleteSubkey(L"DefaultIcon", reg_delete::kOnlyIfEmpty);
    }
  }
  RegistryKey shell_key;
  if (shell_key.OpenKey(id_key.Handle(), L"shell", kOpen, kAccess) != reg_opened::kFailed) {
    if (!RestoreDefault(shell_key, backup_name) && _wcsicmp(shell_key.ReadText(L"").c_str(), verb.c_str()) == 0)
      shell_key.DeleteValue(L"");
    bool command_restored = false;
    RegistryKey command_key;
    if (command_key.OpenKey(shell_key.Handle(), verb + L"\\command", kOpen, kAccess) != reg_opened::kFailed) {
      command_restored = RestoreDefault(command_key, backup_name);
      if (!command_restored) command_key.DeleteValue(L"");
    }
    command_key.CloseAll();
    if (!command_restored) shell_key.DeleteSubkey(verb);
    const bool shell_empty = shell_key.SubkeyCount() == 0;
    shell_key.CloseAll();
    if (shell_empty) id_key.DeleteSubkey(L"shell", reg_delete::kOnlyIfEmpty);
  }
  // The identifier's key goes when nothing but its description is left in it.
  const bool id_left_over = id_key.SubkeyCount() == 0 && ValueCount(id_key) <= (id_key.ValueExists(L"") ? 1 : 0);
  id_key.CloseAll();
  if (id_left_over && DeleteKeyPath(L"\\HKCR\\" + program_id) == reg_result::kDeleted && ext_open && !ext_restored) {
    // The extension's key goes only when what is left of it was ours: its default naming the
    // identifier. A key that holds anything else (another program's open-with entry, its own
    // type) is not ours to delete.
    if (_wcsicmp(ext_key.ReadText(L"").c_str(), program_id.c_str()) == 0) ext_key.DeleteValue(L"");
    ext_key.CloseAll();
    DeleteKeyPath(L"\\HKCR\\" + extension, reg_delete::kOnlyIfEmpty);
  }
}

}  // namespace

void MakeAssociations() {
  const format::SetupScript& script = engine::Script();
  if ((engine::Run().ProductFlags2 & format::kFlags2PortableNoAssociations) && install::PortableInstallation()) return;
  if (script.associations.empty()) return;
  try {
    AssociationRun run{W(BackupValueName(engine::Settings().DisplayName)), engine::Run().install_folder,
                       uninstall::SystemCodePage()};
    for (const format::FileAssociation& entry : script.associations) {
      if (entry.extension.empty() || !AssociationApplies(entry.language, engine::Settings().Language)) continue;
      std::wstring command = W(entry.command);
      variables::ExpandPathVariables(command);
      const std::wstring extension =
          W(uninstall::DecodeUninstallText(WithLeadingDot(entry.extension), run.code_page));
      const std::vector<std::string> verbs = AssociationVerbs(entry.verbs);
      for (size_t i = 0; i < verbs.size(); ++i) AssociateVerb(run, entry, extension, command, verbs[i], i == 0);
    }
  } catch (...) {
    engine::LogUtf8(kAssociationsCrashedLine);
  }
  NotifyAssociationsChanged();
}

void RemoveAssociations(const std::vector<uninstall::AssociationLine>& lines, std::u16string_view display_name) {
  if (lines.empty()) return;
  const std::wstring backup_name = W(BackupValueName(display_name));
  const uninstall::CodePage code_page = uninstall::SystemCodePage();
  for (const uninstall::AssociationLine& line : lines) RemoveAssociation(line, backup_name, code_page);
  NotifyAssociationsChanged();
}

}  // namespace halberd::integration
