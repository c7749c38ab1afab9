#include "engine/default_install_folder.h"

#include "foundation/path_rules.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// A path with a drive ("C:\x", also "C:x") or a network path: it does not go into Program Files.
bool IsAbsolute(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':' && IsAsciiLetter(path[0])) return true;
  return path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
    if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool IsRegistryFolder(std::u16string_view folder) {
  return folder.starts_with(u"HKLM\\") || folder.starts_with(u"HKCU\\");
}

}  // namespace

bool IsDeferredInstallFolder(std::u16string_view folder) {
  return EqualsIgnoringAsciiCase(folder, u"<master>") || IsRegistryFolder(folder);
}

std::u16string ExpandChosenFolder(std::u16string_view chosen, const std::function<void(std::u16string&)>& expand) {
  std::u16string folder(chosen);
  if (expand) expand(folder);
  return WithoutTrailingBackslash(folder);
}

std::u16string DefaultInstallFolder(const DefaultInstallFolderInputs& in) {
  std::u16string folder = in.script_folder;
  if (!folder.empty()) {
    variables::ReplaceAll(folder, u"<os>", in.windows_folder, true);
    if (in.expand) in.expand(folder);
  }
  // A folder the script reads from the registry is not replaced by /d:.
  if (IsRegistryFolder(folder)) return folder;
  if (!in.command_line_folder.empty()) return WithoutTrailingBackslash(in.command_line_folder);
  if (IsBlank(folder)) folder = in.display_name;
  if (IsBlank(folder)) return {};
  if (IsDeferredInstallFolder(folder)) return folder;
  if (IsAbsolute(folder)) return WithoutTrailingBackslash(folder);
  std::u16string program_files = in.program_files ? in.program_files(in.bitness == 1) : std::u16string();
  return WithoutTrailingBackslash(JoinPath(program_files, folder));
}

}  // namespace halberd::engine
