// The install run's registry step: the product's own key, the registry section line by line, the
// merge file imported by the registry editor, and App Paths; and the uninstaller's removal of the
// product key and of the [Registry2] lines. What a line means is decided in registry_lines.cpp;
// this file makes the registry calls.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/language_texts.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"
#include "install/extraction_folders.h"
#include "integration/registry_entries.h"
#include "integration/registry_lines.h"
#include "integration/registry_tree.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

std::wstring ErrorText(DWORD error) { return SystemErrorText(error); }

uint32_t SectionView(uint64_t flags) { return (flags & format::kFlagRegistry64) ? reg_view::k64Bit : reg_view::k32Bit; }

// Opens or creates `path` below Software in every loaded user hive and runs `step` on each; a hive
// that cannot be opened is skipped. Succeeds when it did for every hive it opened; fails
// (ERROR_FILE_NOT_FOUND) when it opened none.
template <typename Step>
bool InEveryUserHive(std::u16string_view path, uint32_t open_flags, uint32_t view, Step step) {
  bool any = false, all = true;
  DWORD error = ERROR_SUCCESS;
  for (const std::wstring& hive : UserHiveNames()) {
    if (!KeyExists(HKEY_USERS, hive, reg_exists::kReadAccess)) continue;  // not loaded: the user is not logged on
    any = true;
    RegistryKey key;
    if (key.OpenKey(HKEY_USERS, hive + L"\\Software\\" + W(path), open_flags, KEY_ALL_ACCESS | REGSAM(view)) ==
            reg_opened::kFailed ||
        !step(key)) {
      if (all) error = GetLastError();
      all = false;
    }
  }
  if (!any) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  SetLastError(error);
  return all;
}

// Step 3: the product's key below Software, in every user's hive and below HKLM, with the open
// access list (the product's programs write their settings there).
void CreateProductKey(const std::u16string& product_registry, uint32_t view) {
  const bool users_ok = InEveryUserHive(product_registry, 0, view, [](RegistryKey&) { return true; });
  const DWORD users_error = users_ok ? 0 : GetLastError();
  RegistryKey key;
  const bool machine_ok =
      key.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\" + W(product_registry), 0, KEY_ALL_ACCESS | REGSAM(view)) !=
      reg_opened::kFailed;
  const DWORD machine_error = machine_ok ? 0 : GetLastError();
  if (users_ok && machine_ok) return;
  const DWORD error = machine_ok ? users_error : machine_error;
  engine::AppendFailureText(W(ProductKeyFailureText(product_registry, error, U16(ErrorText(error)))));
}

std::wstring ExpandedText(std::u16string_view text) {
  std::wstring w = W(text);
  variables::ExpandPathVariables(w);
  return w;
}

// Step 4.1: a one-field line.
void CreateKeyLine(const RegistryLine& line, uint32_t view, uint32_t security) {
  if (std::optional<std::u16string_view> below = StripAllUsersPrefix(line.key)) {
    if (!InEveryUserHive(*below, security, view, [](RegistryKey&) { return true; }))
      engine::LogWide(W(KeyFailureLine(line.key, U16(ErrorText(GetLastError())))));
    return;
  }
  RegistryKey key;
  if (key.OpenKeyPath(W(line.key), security, KEY_ALL_ACCESS | REGSAM(view)) == reg_opened::kFailed)
    engine::LogWide(W(KeyFailureLine(line.key, U16(ErrorText(GetLastError())))));
}

// Step 4.2: a five-field line.
void ApplyValueLine(const RegistryLine& line, std::u16string_view text, uint32_t view, uint32_t security) {
  const RegistryAction action = ActionOf(line.action);
  const std::optional<std::u16string_view> all_users = StripAllUsersPrefix(line.key);
  const std::wstring name = W(line.value_name);
  if (action.delete_at_install) {
    if (all_users) {
      AllUsersDeleteValue(L"Software\\" + W(*all_users), name, view);
    } else {
      // A key that cannot be opened or created holds no value to delete: the line is done.
      RegistryKey key;
      if (key.OpenKeyPath(W(line.key), security, KEY_ALL_ACCESS | REGSAM(view)) == reg_opened::kFailed) return;
      key.DeleteValue(name);
    }
  }
  if (!action.write_at_install) return;
  const std::u16string data = line.type == kTypeText ? U16(ExpandedText(line.data)) : line.data;
  const std::optional<RegistryValueData> value = BuildValueData(line.type, data);
  if (!value) {
    engine::AppendFailureText(W(IllegalEntryText(text)));
    return;
  }
  const uint32_t write_flags = action.keep_existing ? reg_write::kKeepExisting : 0;
  auto write = [&](RegistryKey& key) {
    return key.WriteRaw(name, DWORD(value->type), value->bytes.data(), value->bytes.size(), write_flags);
  };
  if (all_users) {
    if (!InEveryUserHive(*all_users, security, view, write))
      engine::LogWide(W(ValueFailureLine(line.value_name, U16(ErrorText(GetLastError())))));
    return;
  }
  RegistryKey key;
  if (key.OpenKeyPath(W(line.key), security, KEY_ALL_ACCESS | REGSAM(view)) == reg_opened::kFailed) {
    engine::LogWide(W(KeyFailureLine(line.key, U16(ErrorText(GetLastError())))));
    return;
  }
  if (!write(key)) engine::LogWide(W(ValueFailureLine(line.value_name, U16(ErrorText(GetLastError())))));
}

// Step 4: the registry section.
void ApplyRegistrySection(const std::u16string& section, const std::u16string& product_registry, uint32_t view) {
  for (const std::u16string& text : SplitSectionLines(section)) {
    const RegistryLine line = ParseRegistryLine(text);
    const uint32_t security = KeyTakesOpenSecurity(line.key, product_registry) ? 0 : reg_open::kDefaultSecurity;
    switch (line.shape) {
      case RegistryLineShape::kBlank: break;
      case RegistryLineShape::kKey: CreateKeyLine(line, view, security); break;
      case RegistryLineShape::kValue: ApplyValueLine(line, text, view, security); break;
      case RegistryLineShape::kIllegal: engine::AppendFailureText(W(IllegalEntryText(text))); break;
    }
  }
}

// Step 5: the merge text goes into a new temporary ".reg" file, written through the handle that
// created it, and the registry editor of the Windows folder imports it.
void MergeRegistryFile(const std::u16string& merge) {
  FileW file;
  std::string bytes = "\xFF\xFE";  // UTF-16LE, as the registry editor reads version 5 files
  std::u16string_view text = merge;
  if (!text.empty() && text.front() == u'\xFEFF') text.remove_prefix(1);  // the mark is written once, above
  for (char16_t c : text) {
    bytes += char(uint8_t(c));
    bytes += char(uint8_t(c >> 8));
  }
  if (file.Open(std::wstring(L"reg"), kPathNewTempFileWithExtension | kNoReadAccess) != 0 || !file.Write(bytes) ||
      !file.Flush()) {
    const DWORD error = file.LastSystemError() ? file.LastSystemError() : GetLastError();
    if (file.IsOpen()) file.CloseAndDelete(0);
    engine::AppendFailureText(L"Failed to create the registry merge file: " + ErrorText(error) + L"\r\n");
    return;
  }
  const std::wstring path = file.Path();
  file.Close();
  engine::LogWide(L"Merging registry file...");
  // By its full path: a "regedit.exe" beside the installer must never be the one started.
  const std::wstring editor = W(JoinPath(U16(WindowsFolder()), u"regedit.exe"));
  std::wstring command = L"\"" + editor + L"\" /s \"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(editor.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    UniqueKernelHandle process_handle(process.hProcess);
    UniqueKernelHandle thread_handle(process.hThread);
    engine::LogWide(L"OK\r\n");
  } else {
    const std::wstring error = ErrorText(GetLastError());
    engine::LogWide(L"FAILED!\r\n" + error + L"\r\n");
    engine::AppendFailureText(L"Failed to import the registry merge file: " + error + L"\r\n");
  }
  // The editor may still be reading the file when the run ends.
  ScheduleDeleteAtRestart(path);
}

// Step 6: App Paths, in the process's default view, with the default security of its parent: a
// user who could rewrite the key would decide what an administrator starts by the program's name.
void RegisterAppPath(const std::u16string& relative, const std::u16string& install_folder) {
  engine::LogWide(L"Registering exe path...");
  const std::u16string program = JoinPath(install_folder, relative);
  if (!FileExists(W(program))) {
    engine::LogWide(L"FAILED, \"" + W(program) + L"\" does not exist.\r\n");
    return;
  }
  const std::u16string key_path = AppPathsKeyOf(program);
  RegistryKey key;
  if (key.OpenKeyPath(W(key_path), reg_open::kCreateNewOnly | reg_open::kDefaultSecurity) == reg_opened::kFailed) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) engine::LogWide(L"a registration already exists\r\n");
    else engine::LogWide(L"FAILED to create \"" + W(key_path) + L"\": " + ErrorText(error) + L"\r\n");
    return;
  }
  const bool default_written = key.WriteText(L"", W(program));
  DWORD error = default_written ? 0 : GetLastError();
  const bool path_written = key.WriteText(L"Path", W(ParentFolder(program)));
  if (!path_written && !error) error = GetLastError();
  AppendSectionLines(engine::Script().registry_entries, AppPathsUndoLines(key_path, default_written, path_written));
  if (default_written && path_written) engine::LogWide(L"OK\r\n");
  else engine::LogWide(L"FAILED to create value: " + ErrorText(error) + L"\r\n");
}

// Deletes `path` with everything below it from `root`, then each of `parents` while empty.
void DeleteKeyAndEmptyParents(HKEY root, const std::u16string& path, const std::vector<std::u16string>& parents,
                              REGSAM view) {
  DeleteKeyTreeNoLinks(root, W(path), view);
  for (const std::u16string& parent : parents) {
    if (DeleteKeyTreeNoLinks(root, W(parent), view, true) != reg_result::kDeleted) break;
  }
}

}  // namespace

void WriteRegistryEntries() {
  engine::SetStatusText(engine::LanguageText(text::kStatusRegistry));
  engine::SetProgress(97);
  const engine::RunState& run = engine::Run();
  const bool portable = install::PortableInstallation();
  if (portable && (run.ProductFlags2 & format::kFlags2PortableNoRegistry)) return;
  format::SetupScript& script = engine::Script();
  const std::u16string& product_registry = engine::Settings().ProductRegistry;
  const uint32_t view = SectionView(run.ProductFlags);
  if (!product_registry.empty()) CreateProductKey(product_registry, view);
  ApplyRegistrySection(script.registry_entries, product_registry, view);
  if (!script.registry_merge.empty()) MergeRegistryFile(script.registry_merge);
  if (!portable && !script.app_paths_program.empty()) RegisterAppPath(script.app_paths_program, U16(run.install_folder));
}

void RemoveProductRegistry(std::u16string_view product_registry, bool view64) {
  std::u16string product(product_registry);
  while (!product.empty() && (product.back() == u'\\' || product.back() == u' ')) product.pop_back();
  while (!product.empty() && product.front() == u'\\') product.erase(0, 1);
  if (product.empty()) return;
  const REGSAM view = view64 ? KEY_WOW64_64KEY : 0;
  // At most 20 deletions in all: the key, then 19 parents; Software itself is never one of them.
  std::vector<std::u16string> parents;
  for (const std::u16string& p : ProductKeyParents(product, 19)) parents.push_back(u"Software\\" + p);
  DeleteKeyAndEmptyParents(HKEY_LOCAL_MACHINE, u"Software\\" + product, parents, view);
  for (const std::wstring& hive : UserHiveNames()) {
    std::vector<std::u16string> hive_parents;
    for (const std::u16string& p : parents) hive_parents.push_back(U16(hive) + u"\\" + p);
    DeleteKeyAndEmptyParents(HKEY_USERS, U16(hive) + u"\\Software\\" + product, hive_parents, view);
  }
}

void RemoveRegistry2Lines(const std::vector<std::string>& lines, bool view64) {
  for (const std::string& line : lines) {
    const RegistryUndo undo = UndoOfRegistry2Line(line);
    const uint32_t view = undo.default_view ? 0 : (view64 ? reg_view::k64Bit : 0);
    switch (undo.kind) {
      case RegistryUndo::Kind::kNothing: break;
      case RegistryUndo::Kind::kDeleteKeyIfEmpty:
        if (undo.all_users) {
          for (const std::wstring& hive : UserHiveNames())
            DeleteKeyTreeNoLinks(HKEY_USERS, hive + L"\\Software\\" + W(undo.key), REGSAM(view), true);
        } else if (std::optional<RegistryKeyPath> parsed = ParseKeyPath(undo.key)) {
          DeleteKeyTreeNoLinks(RootHandle(parsed->root), W(parsed->subkey), REGSAM(view), true);
        }
        break;
      case RegistryUndo::Kind::kDeleteValue:
        if (undo.all_users) {
          AllUsersDeleteValue(L"Software\\" + W(undo.key), W(undo.value_name), view);
        } else {
          RegistryKey key;
          if (key.OpenKeyPath(W(undo.key), reg_open::kOpenOnly, KEY_QUERY_VALUE | KEY_SET_VALUE | REGSAM(view)) !=
              reg_opened::kFailed)
            key.DeleteValue(W(undo.value_name));
        }
        break;
    }
  }
}

}  // namespace halberd::integration
