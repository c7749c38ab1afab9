// The uninstaller's deletion checks: links inside the installation folder, the whole-tree
// deletion of the installation folder, and the trust in the uninstall data file.
#include "uninstall/delete_safety.h"

#include "foundation/path_rules.h"
#include "uninstall/removal_order.h"

namespace halberd::uninstall {

DeletionCheck CheckDeletion(std::u16string_view path, std::u16string_view install_folder, const PathKindOf& kind_of) {
  const std::u16string target = WithoutTrailingBackslash(path);
  const std::u16string base = WithoutTrailingBackslash(install_folder);
  // ".." could lead a recorded path out of the folder it seems to lie in.
  if (HasDotSegment(target)) return DeletionCheck::kRefused;
  if (!base.empty() && IsSameOrBelow(target, base) && !IsSamePath(target, base)) {
    // Each folder below the installation folder down to the path's parent.
    size_t at = base.size();
    if (!base.empty() && base.back() == u'\\') --at;
    while (true) {
      size_t next = target.find(u'\\', at + 1);
      if (next == std::u16string::npos) break;
      if (kind_of(target.substr(0, next)) == PathKind::kLink) return DeletionCheck::kRefused;
      at = next;
    }
  }
  return kind_of(target) == PathKind::kLink ? DeletionCheck::kLinkItself : DeletionCheck::kFollow;
}

TreeDeletionCheck CheckTreeDeletion(std::u16string_view folder, std::u16string_view recorded_location,
                                    const std::vector<std::u16string>& system_folders) {
  const std::u16string f = WithoutTrailingBackslash(folder);
  if (IsDriveRoot(f)) return TreeDeletionCheck::kDriveRoot;
  if (f.empty() || !IsFullPath(f) || HasDotSegment(f) || !IsSamePath(f, recorded_location))
    return TreeDeletionCheck::kNotRecorded;
  // A network share's root ("\\server\share") is a root too.
  if (f.size() > 2 && f[0] == u'\\' && f[1] == u'\\') {
    size_t server_end = f.find(u'\\', 2);
    if (server_end == std::u16string::npos || f.find(u'\\', server_end + 1) == std::u16string::npos)
      return TreeDeletionCheck::kDriveRoot;
  }
  for (const std::u16string& s : system_folders)
    if (!s.empty() && IsSameOrBelow(s, f)) return TreeDeletionCheck::kSystemFolder;
  return TreeDeletionCheck::kAllowed;
}

bool OrdinaryUserMayChange(const FileSecurity& security) {
  if (!security.read || !security.owner_trusted || !security.has_acl) return true;
  for (const AccessEntry& e : security.entries)
    if (e.allow && !e.trusted && (e.mask & kChangingRights)) return true;
  return false;
}

}  // namespace halberd::uninstall
