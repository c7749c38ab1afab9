// The folders of file extraction: the uninstall folder, the shared-files folder, and folder
// creation that records what it made.
#include <windows.h>

#include <vector>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/format/setup_script.h"
#include "install/extraction_folders.h"
#include "install/restart_operations.h"
#include "uninstall/run_uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::install {

namespace {


std::wstring g_shared_folder;
bool g_portable = false;

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

void LoosenFolder(const std::wstring& folder) {
  engine::LogWide(L"Loosening security on directory \"" + folder + L"\"...");
  DWORD error = LoosenSecurity(folder, true);
  if (error == 0) engine::LogWide(L"OK\r\n");
  else engine::LogFormatW(L"FAILED code %d: %s\r\n\r\n", int(error), SystemErrorText(error).c_str());
}

// Shared-files folder of a product with an uninstaller.
std::wstring ComputeSharedFolder() {
  const format::SetupScript& script = engine::Script();
  const engine::ProductSettings& settings = engine::Settings();
  const std::u16string install = U16(engine::Run().install_folder);
  if (!script.portable_shared_subfolder.empty() && g_portable)
    return W(WithoutTrailingBackslash(JoinPath(install, script.portable_shared_subfolder)));
  std::wstring base;
  switch (script.shared_base_folder) {
    case 1: base = AllUsersAppDataFolder(); break;
    case 2: base = CommonFiles32Folder(); break;
    case 3: base = CommonFiles64Folder(); break;
    default: base = settings.Bitness == 1 ? CommonFiles64Folder() : CommonFiles32Folder(); break;
  }
  return W(WithoutTrailingBackslash(ResolveRelativePath(U16(base), settings.SharedPath)));
}

}  // namespace

const std::wstring& RunSharedFolder() { return g_shared_folder; }
bool PortableInstallation() { return g_portable; }

bool FileTakesFolderName(const std::wstring& folder) {
  std::u16string level = WithoutTrailingBackslash(U16(folder));
  while (!level.empty() && !IsDriveRoot(level)) {
    if (FileExists(W(level))) return true;
    std::u16string parent = ParentFolder(level);
    if (parent.size() >= level.size()) break;
    level = parent;
  }
  return false;
}

bool CreateFolderRecorded(const std::wstring& folder, bool record) {
  if (FolderExists(folder)) return true;
  // The levels missing now, innermost first.
  std::vector<std::wstring> missing;
  std::u16string level = WithoutTrailingBackslash(U16(folder));
  while (!level.empty() && !IsDriveRoot(level) && !FolderExists(W(level))) {
    missing.push_back(W(level));
    std::u16string parent = ParentFolder(level);
    if (parent.size() >= level.size()) break;
    level = parent;
  }
  bool created = CreateFolderTree(folder);
  const DWORD error = GetLastError();
  if (record) {
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
      if (FolderExists(*it)) uninstall::RecordRemoval(*it, uninstall::RemovalKind::kFolder);
  }
  SetLastError(error);
  return created;
}

void PrepareExtractionFolders() {
  engine::RunState& run = engine::Run();
  const engine::ProductSettings& settings = engine::Settings();
  const std::u16string install = U16(run.install_folder);
  const std::wstring uninstall_folder =
      settings.UninstallSubdir.empty() ? run.install_folder
                                       : W(WithoutTrailingBackslash(JoinPath(install, settings.UninstallSubdir)));
  uninstall::SetUninstallFolder(uninstall_folder);
  variables::PathVariableRun().uninstall_folder = U16(uninstall_folder);
  g_portable = variables::PathVariableValue(variables::PathVariable::kPortable,
                                            variables::CurrentPathVariableInputs()) == u"1";

  // The folder page creates the installation folder when it is chosen; a run without that page
  // makes it here, and records the levels it made.
  if (!FolderExists(run.install_folder) && !CreateFolderRecorded(run.install_folder, true)) {
    const DWORD error = GetLastError();
    engine::LogWide(L"Failed to create installation folder \"" + run.install_folder + L"\": " +
                    SystemErrorText(error) + L"\r\n");
  }
  if (run.ProductFlags & format::kFlagLoosenInstallFolder) LoosenFolder(run.install_folder);
  if (!settings.UninstallSubdir.empty() && !CreateFolderRecorded(uninstall_folder, true)) {
    const DWORD error = GetLastError();
    engine::LogWide(L"Failed to create uninstall data folder \"" + uninstall_folder + L"\": " + SystemErrorText(error) +
                    L"\r\n");
  }

  if (g_portable && (run.ProductFlags & format::kFlagPortableWithoutUninstaller)) run.ProductFlags &= ~format::kFlagUninstaller;
  if (!(run.ProductFlags & format::kFlagUninstaller)) return;
  g_shared_folder = ComputeSharedFolder();
  variables::PathVariableRun().shared_folder = U16(g_shared_folder);
  if (!CreateFolderRecorded(g_shared_folder, true)) {
    const DWORD error = GetLastError();
    engine::LogWide(L"Failed to create shared folder \"" + g_shared_folder + L"\": " + SystemErrorText(error) + L"\r\n");
    return;
  }
  if (run.ProductFlags & format::kFlagLoosenSharedFolder) LoosenFolder(g_shared_folder);
}

}  // namespace halberd::install
