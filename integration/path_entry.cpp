// The PATH text change: which folder the entry names, adding it once, and taking out exactly the
// entry that was added. Nothing here shortens or rewrites the rest of the PATH.
#include "integration/path_entry.h"

#include "foundation/path_rules.h"
#include "uninstall/uninstall_data.h"

namespace halberd::integration {

namespace {

std::u16string_view WithoutOneTrailingBackslash(std::u16string_view text) {
  if (!text.empty() && text.back() == u'\\') text.remove_suffix(1);
  return text;
}

}  // namespace

std::u16string PathEntryFolder(std::u16string_view install_folder, std::u16string_view setting) {
  std::u16string folder = setting.empty() ? std::u16string(install_folder) : ResolveRelativePath(install_folder, setting);
  return WithoutTrailingBackslash(folder);
}

bool PathEntryNamesFolder(std::u16string_view entry, std::u16string_view folder) {
  return uninstall::UpperCaseForCompare(WithoutOneTrailingBackslash(entry)) ==
         uninstall::UpperCaseForCompare(WithoutOneTrailingBackslash(folder));
}

std::optional<std::u16string> PathWithFolder(std::u16string_view path, std::u16string_view folder) {
  if (path.empty() || folder.empty()) return std::nullopt;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u';', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (PathEntryNamesFolder(path.substr(start, end - start), folder)) return std::nullopt;
    start = end + 1;
  }
  std::u16string result(path);
  if (result.back() != u';') result += u';';
  result += folder;
  return result;
}

std::optional<std::u16string> PathWithoutFolder(std::u16string_view path, std::u16string_view folder) {
  if (path.empty() || folder.empty()) return std::nullopt;
  // The last exact entry: ours was appended at the end.
  size_t found = std::u16string_view::npos;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u';', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (path.substr(start, end - start) == folder) found = start;
    start = end + 1;
  }
  if (found == std::u16string_view::npos) return std::nullopt;
  size_t end = found + folder.size();
  std::u16string result(path);
  if (end < path.size()) {
    result.erase(found, folder.size() + 1);  // the entry and the ";" after it
  } else if (found > 0) {
    result.erase(found - 1);  // the last entry and the ";" before it
  } else {
    result.clear();  // the only entry
  }
  return result;
}

}  // namespace halberd::integration
