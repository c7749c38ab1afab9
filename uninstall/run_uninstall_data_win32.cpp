// The run-wide uninstall data and its writing at the end of an install run.
#include <windows.h>

#include "engine/language_texts.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/system_error_text.h"
#include "uninstall/run_uninstall_data.h"

namespace halberd::uninstall {

namespace {

std::wstring g_uninstall_folder;

std::u16string Utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Utf8(const std::u16string& text) {
  return WideToUtf8(std::wstring(text.begin(), text.end()));
}

}  // namespace

UninstallData& RunUninstallData() {
  static UninstallData data;
  return data;
}

bool RecordRemoval(const std::wstring& text, RemovalKind kind) {
  static const CodePage code_page = SystemCodePage();
  return RunUninstallData().RecordRemoval(Utf16(text), kind, code_page);
}

void SetUninstallFolder(const std::wstring& folder) { g_uninstall_folder = folder; }
const std::wstring& UninstallFolder() { return g_uninstall_folder; }

bool WriteUninstallData() {
  UninstallData& data = RunUninstallData();
  data.TakeTexts([](int id) { return engine::LanguageText16(id); });
  data.caption = engine::Settings().dialog_caption;
  const format::SetupScript& script = engine::Script();
  data.registry = Utf8(script.registry_entries);
  data.conditional_deletions.clear();
  for (const format::FileDeletion& d : script.conditional_deletions)
    data.conditional_deletions.push_back({d.pattern, d.comparison_kind, d.comparison_value, d.flags});
  const std::u16string path16 = UninstallDataPath(Utf16(g_uninstall_folder));
  const std::wstring path(path16.begin(), path16.end());
  if (WriteUninstallDataFile(data, path)) return true;
  // The file is written beside its place and moved over it, so a failed write leaves no partial
  // file and an earlier "Uninstall.dat" as it was: only the report is made here.
  const DWORD error = GetLastError();
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) engine::Run().disk_full = true;
  engine::AppendFailureText(engine::FailedItemText(path, error));
  return false;
}

}  // namespace halberd::uninstall
