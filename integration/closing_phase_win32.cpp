// The closing phase's files and the uninstall registration: the uninstaller icon, the background
// image, the readme and EULA copies, the PATH entry, the uninstaller with its icon and the
// Uninstall key, the Programs-folder notice and the removal of empty folders.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "engine/installation_data.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/icon_resources.h"
#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "install/component_steps.h"
#include "install/extraction_folders.h"
#include "install/installed_files.h"
#include "install/restart_operations.h"
#include "integration/closing_phase.h"
#include "integration/document_copies.h"
#include "integration/path_entry.h"
#include "integration/uninstall_registration.h"
#include "uninstall/run_uninstall_data.h"

namespace halberd::integration {

namespace {

using engine::Run;
using engine::Script;
using engine::Settings;

constexpr wchar_t kBackgroundImageName[] = L"Installer Background.bmp";
constexpr int64_t kCopyPiece = 1048576;

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::wstring Join(const std::wstring& folder, std::wstring_view name) { return W(JoinPath(U(folder), U(name))); }

bool Flag(uint64_t bit) { return (Run().ProductFlags & bit) != 0; }

// A link planted where a file of ours goes is removed, not followed: the write must land in this
// folder and nowhere the link points to.
void RemovePlantedLink(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(path.c_str());
    else DeleteFileW(path.c_str());
  }
}

using ContentWriter = std::function<bool(FileW& out)>;

ContentWriter BytesWriter(const void* data, size_t size) {
  return [data, size](FileW& out) { return out.Write(data, int64_t(size)); };
}

// Writes a whole file; false with the system error set, and no partial file left behind.
bool WriteWholeFile(const std::wstring& path, const ContentWriter& write) {
  RemovePlantedLink(path);
  FileW file;
  if (file.Open(path, kCreateAlways) != file_error::kSuccess) {
    SetLastError(file.LastSystemError());
    return false;
  }
  if (write(file) && file.Flush()) return true;
  DWORD error = GetLastError();
  file.CloseAndDelete(kDeleteMissingIsSuccess);
  SetLastError(error);
  return false;
}

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  return WriteWholeFile(path, BytesWriter(bytes.data(), bytes.size()));
}

// The running installer's own file, copied in pieces.
bool CopyOwnProgram(FileW& out) {
  FileW program;
  if (program.Open(engine::Installation().program_path, kOpenExisting | kNoWriteAccess | kShareRead) !=
      file_error::kSuccess) {
    SetLastError(program.LastSystemError());
    return false;
  }
  std::string piece(size_t(kCopyPiece), '\0');
  for (;;) {
    int64_t n = program.ReadSome(piece.data(), kCopyPiece);
    if (n < 0) return false;
    if (n == 0) return true;
    if (!out.Write(piece.data(), n)) return false;
  }
}

// The uninstaller is in use: its new contents go into a temporary file beside it, written through
// the handle that created it, which replaces it at the next restart.
void ReplaceUninstallerAtRestart(const std::wstring& target, const ContentWriter& write) {
  FileW temporary_file;
  if (temporary_file.Open(target, kPathNewTempFileBeside) != file_error::kSuccess) {
    DWORD error = temporary_file.LastSystemError();
    engine::AppendFailureText(L"Failed to register '" + target +
                              L"' for replacement because no temporary file could be created.\r\n" +
                              SystemErrorText(error) + L"\r\n\r\n");
    return;
  }
  const std::wstring temporary = temporary_file.Path();
  if (!write(temporary_file) || !temporary_file.Flush()) {
    DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) Run().disk_full = true;
    engine::AppendFailureText(L"Failed to register '" + target +
                              L"' for replacement because the temporary file could not be overwritten.\r\n" +
                              SystemErrorText(error) + L"\r\n\r\n");
    temporary_file.CloseAndDelete(kDeleteMissingIsSuccess | kDeleteAtRestartOnFailure);
    return;
  }
  temporary_file.Close();
  if (!install::RegisterReplacement(temporary, target)) {
    DWORD error = GetLastError();
    engine::AppendFailureText(L"Failed to register '" + target + L"' for replacement with temporary file '" +
                              temporary + L"'\r\n" + SystemErrorText(error) + L"\r\n\r\n");
    RemoveFile(temporary, kDeleteMissingIsSuccess | kDeleteAtRestartOnFailure);
    return;
  }
  Run().set_restart_required();
  engine::LogWide(L"\"" + target + L"\" was successfully registered for replacement.\r\nTemporary file is \"" +
                  temporary + L"\"\r\nReboot will be required.\r\n\r\n");
}

// The uninstaller icon into the uninstaller's resources: icon images 1..n (language 1033) and
// group icon 1 (neutral), built from the icon file.
void ReplaceUninstallerIcon(const std::wstring& path, std::string_view ico) {
  HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
  if (!update) {
    engine::LogUtf8("Failed to open uninstaller for icon replacement.\r\n");
    return;
  }
  std::optional<format::IconResources> icon = format::IconResourcesFromIcoFile(ico);
  bool ok = icon.has_value();
  for (size_t i = 0; ok && i < icon->images.size(); ++i) {
    std::string& image = icon->images[i];
    ok = UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(i + 1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                         image.data(), DWORD(image.size()));
  }
  if (ok)
    ok = UpdateResourceW(update, RT_GROUP_ICON, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         icon->group.data(), DWORD(icon->group.size()));
  // A failed update is discarded, leaving the file as it was written.
  if (!EndUpdateResourceW(update, !ok) || !ok) engine::LogUtf8("Failed to replace uninstaller icon.\r\n");
}

// Step 6.1 and 6.2: the uninstaller file. Returns its path.
std::wstring WriteUninstaller() {
  const engine::InstallationData& data = engine::Installation();
  const std::wstring path = Join(uninstall::UninstallFolder(), W(Settings().uninstaller_file_name));
  const bool from_image = (Run().ProductFlags2 & format::kFlags2StripUninstaller) && !data.uninstaller_image.empty();
  const ContentWriter write = from_image ? BytesWriter(data.uninstaller_image.data(), data.uninstaller_image.size())
                                         : ContentWriter(CopyOwnProgram);
  if (WriteWholeFile(path, write)) {
    engine::LogWide(L"Uninstaller >>> " + path + L"\r\n");
    if (from_image && !Script().uninstaller_icon.empty()) ReplaceUninstallerIcon(path, Script().uninstaller_icon);
  } else {
    ReplaceUninstallerAtRestart(path, write);
  }
  return path;
}

// "product.ico" for the registration's display icon; returns whether it was written.
bool WriteProductIcon() {
  const std::string& icon = Script().product_icon;
  if (icon.empty()) return false;
  const std::wstring path = Join(uninstall::UninstallFolder(), W(kProductIconName));
  if (!WriteWholeFile(path, icon)) return false;
  uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
  return true;
}

uint64_t InstalledBytes() {
  uint64_t total = 0;
  for (int32_t size : engine::Installation().header.file_sizes) total += uint64_t(size > 0 ? size : 0);
  return total;
}

void SaveDocuments(const std::vector<std::string>& documents, std::u16string_view base, const wchar_t* failure,
                   const wchar_t* detail) {
  for (const DocumentCopy& copy : DocumentCopies(documents, base)) {
    const std::wstring path = Join(Run().install_folder, W(copy.file_name));
    const bool product_file = IsInstalledFile(U(path), install::RunFiles().written);
    if (product_file || !WriteWholeFile(path, copy.bytes)) {
      DWORD error = product_file ? ERROR_FILE_EXISTS : GetLastError();
      engine::LogWide(failure + path + L"\r\n" + SystemErrorText(error) + L"\r\n");
      continue;
    }
    uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
    if (Flag(format::kFlagDetailedLog)) engine::LogWide(detail + path + L"\r\n");
  }
}

void RemoveFolderIfEmpty(const std::wstring& folder) {
  if (folder.empty() || IsDriveRoot(U(folder))) return;
  DWORD attributes = GetFileAttributesW(folder.c_str());
  // A link in the folder's place is not ours to follow.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
  if (FolderIsEmpty(folder, true)) RemoveFolder(folder);
}

}  // namespace

void WriteUninstallerIcon() {
  if (!Flag(format::kFlagUninstaller) || Script().uninstaller_icon.empty()) return;
  const std::wstring path = Join(uninstall::UninstallFolder(), W(kUninstallIconName));
  if (!WriteWholeFile(path, Script().uninstaller_icon)) {
    DWORD error = GetLastError();
    engine::LogWide(L"Failed to install uninstaller icon to " + path + L"\r\n" + SystemErrorText(error) + L"\r\n");
    return;
  }
  uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
}

void SaveBackgroundImage() {
  const std::string& image = Script().background_picture;
  if (!Flag(format::kFlagBackgroundImage) || image.empty()) return;
  const std::wstring path = Join(uninstall::UninstallFolder(), kBackgroundImageName);
  if (!Flag(format::kFlagHideFileNames)) engine::SetStatusText(path);
  if (WriteWholeFile(path, image)) uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
}

void SaveDocumentCopies() {
  if (Flag(format::kFlagSaveReadme))
    SaveDocuments(Script().readme_texts, u"readme", L"Failed to save readme to: ", L"README >>> ");
  if (Flag(format::kFlagSaveEula))
    SaveDocuments(Script().license_texts, u"eula", L"Failed to save EULA to: ", L"EULA >>> ");
}

void AddPathEntry() {
  if (Flag(format::kFlagAddToPath)) UpdatePath(PathChange::kAdd, Run().install_folder, Settings().AddToPathSubfolder);
}

void CreateUninstallerAndRegistration() {
  if (!Flag(format::kFlagUninstaller)) return;
  RegistrationFacts facts;
  facts.product_icon_written = WriteProductIcon();
  facts.uninstaller_path = U(WriteUninstaller());
  facts.key_name = Settings().uninstall_key_name;
  facts.uninstall_folder = U(uninstall::UninstallFolder());
  facts.install_folder = U(Run().install_folder);
  facts.installer_path = U(engine::Installation().program_path);
  facts.ProductFlags = Run().ProductFlags;
  facts.ProductFlags2 = Run().ProductFlags2;
  facts.installed_bytes = InstalledBytes();
  facts.shared_files = install::SharedFilesForRegistration();
  facts.product_fonts = install::ProductFontsForRegistration();
  facts.background_image = Flag(format::kFlagBackgroundImage) && !Script().background_picture.empty();
  RegisterUninstall(facts);
}

void NotifyProgramsFolder() {
  wchar_t folder[MAX_PATH] = {};
  int which = Settings().ShortcutMode == 1 ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
  if (SHGetSpecialFolderPathW(nullptr, folder, which, FALSE))
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, folder, nullptr);
}

void RemoveEmptyFolders() {
  RemoveFolderIfEmpty(install::RunSharedFolder());
  RemoveFolderIfEmpty(uninstall::UninstallFolder());
  RemoveFolderIfEmpty(Run().install_folder);
}

}  // namespace halberd::integration
