#include "install/target_path.h"

#include "foundation/format/corrupt_codes.h"
#include "foundation/path_rules.h"
#include "uninstall/uninstall_data.h"

namespace halberd::install {

std::u16string_view FileNamePart(std::u16string_view path) {
  size_t pos = path.find_last_of(u"\\/");
  return pos == std::u16string_view::npos ? path : path.substr(pos + 1);
}

bool SameFolder(std::u16string_view a, std::u16string_view b) {
  auto normal = [](std::u16string_view p) {
    std::u16string s(p);
    for (char16_t& c : s)
      if (c == u'/') c = u'\\';
    return uninstall::UpperCaseForCompare(WithoutTrailingBackslash(s));
  };
  return normal(a) == normal(b);
}

std::u16string KindBaseFolder(int kind, const TargetFolders& f) {
  switch (kind) {
    case 0: case 5: case 9: case 10: case 11: case 12: return f.install;
    case 1: return f.shared.empty() ? f.install : f.shared;
    case 4: return f.fonts;
    case 6: case 7: case 8: return f.system;
    default: return {};
  }
}

TargetPath ResolveTargetPath(std::u16string_view name, std::u16string_view target_text, int kind, uint32_t flags,
                             const TargetFolders& folders, const Expander& expand) {
  TargetPath out;
  out.name = std::u16string(name);
  // A kind outside the table has no folder, whatever its target text says.
  if (kind < 0 || kind > kHighestKind) {
    out.corrupt = format::corrupt::kEntryKind;
    return out;
  }
  std::u16string t(target_text);
  if (!t.empty() && t.find(u'\\') == std::u16string::npos) out.name = t;
  if (kind == 1 && folders.portable_shared_subfolder &&
      (t.empty() || t.find(u'\\') == std::u16string::npos || IsFullPath(t) || t.find(u'%') != std::u16string::npos))
    t.clear();

  if (!t.empty()) {
    if (expand) expand(t);
    if (t.size() >= 2 && t.ends_with(u"\\\\")) t.pop_back();
    std::u16string base = kind == 1 ? KindBaseFolder(1, folders) : folders.install;
    out.path = ResolveRelativePath(base, t);
    if (!out.path.empty() && out.path.back() == u'\\') out.path += FileNamePart(out.name);
    out.explicit_folder = true;
    return out;
  }
  if (flags & kFlagInUninstallFolder) {
    out.path = JoinPath(folders.uninstall, out.name);
    return out;
  }
  std::u16string base = KindBaseFolder(kind, folders);
  if (base.empty() && (kind == 2 || kind == 3)) {
    out.corrupt = format::corrupt::kEntryKind;
    return out;
  }
  out.path = JoinPath(base, out.name);
  out.explicit_folder = SameFolder(base, folders.install);
  return out;
}

std::vector<std::u16string> FoldersBelowInstallFolder(std::u16string_view path, std::u16string_view install_folder) {
  std::vector<std::u16string> levels;
  const std::u16string install = WithoutTrailingBackslash(install_folder);
  if (install.empty()) return levels;
  std::u16string level = ParentFolder(path);
  // Innermost first, up to (not including) the installation folder; a path that never meets it
  // is outside.
  while (!level.empty() && !SameFolder(level, install)) {
    levels.push_back(WithoutTrailingBackslash(level));
    std::u16string parent = ParentFolder(levels.back());
    if (parent.empty() || parent.size() >= levels.back().size()) return {};
    level = parent;
  }
  if (level.empty()) return {};
  return {levels.rbegin(), levels.rend()};
}

}  // namespace halberd::install
