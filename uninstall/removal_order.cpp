// Folder removal order and parent climbing of the uninstaller.
#include "uninstall/removal_order.h"

#include <algorithm>

#include "foundation/path_rules.h"
#include "uninstall/uninstall_data.h"

namespace halberd::uninstall {

namespace {

std::u16string Key(std::u16string_view path) {
  std::u16string key = UpperCaseForCompare(path);
  while (key.size() > 3 && key.back() == u'\\') key.pop_back();
  return key;
}

}  // namespace

bool IsSamePath(std::u16string_view a, std::u16string_view b) { return Key(a) == Key(b); }

bool HasDotSegment(std::u16string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    std::u16string_view part = path.substr(start, end - start);
    if (part == u"." || part == u"..") return true;
    start = end + 1;
  }
  return false;
}

bool IsSameOrBelow(std::u16string_view path, std::u16string_view folder) {
  const std::u16string p = Key(path), f = Key(folder);
  if (f.empty() || p.size() < f.size() || p.compare(0, f.size(), f) != 0) return false;
  return p.size() == f.size() || f.back() == u'\\' || p[f.size()] == u'\\';
}

std::vector<std::u16string> FolderRemovalOrder(const std::vector<std::u16string>& folders) {
  std::vector<std::u16string> order;
  std::vector<std::u16string> seen;
  for (const std::u16string& f : folders) {
    std::u16string key = Key(f);
    if (f.empty() || std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    order.push_back(WithoutTrailingBackslash(f));
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const std::u16string& a, const std::u16string& b) { return a.size() > b.size(); });
  return order;
}

std::vector<std::u16string> FolderClimb(std::u16string_view folder, std::u16string_view install_folder,
                                        const std::vector<std::u16string>& kept) {
  std::vector<std::u16string> chain;
  std::u16string current = WithoutTrailingBackslash(folder);
  for (int step = 0; step < kFolderClimbLimit; ++step) {
    if (current.empty() || !IsFullPath(current) || IsDriveRoot(current) || HasDotSegment(current)) break;
    if (IsSamePath(current, install_folder)) break;
    bool is_kept = false;
    for (const std::u16string& k : kept) is_kept = is_kept || (!k.empty() && IsSamePath(current, k));
    if (is_kept) break;
    chain.push_back(current);
    std::u16string parent = ParentFolder(current);
    if (parent.size() >= current.size()) break;  // a network share's root has no parent to go to
    current = parent;
  }
  return chain;
}

std::vector<std::u16string> StartMenuClimb(std::u16string_view programs, std::u16string_view product_start_menu) {
  std::vector<std::u16string> chain;
  std::u16string relative(product_start_menu);
  while (!relative.empty() && relative.front() == u'\\') relative.erase(relative.begin());
  while (!relative.empty() && relative.back() == u'\\') relative.pop_back();
  if (relative.empty() || programs.empty() || IsFullPath(relative) || HasDotSegment(relative) ||
      relative.find(u':') != std::u16string::npos)
    return chain;
  for (int step = 0; step < kStartMenuClimbLimit && !relative.empty(); ++step) {
    chain.push_back(JoinPath(programs, relative));
    size_t slash = relative.find_last_of(u'\\');
    if (slash == std::u16string::npos) break;
    relative.resize(slash);
    while (!relative.empty() && relative.back() == u'\\') relative.pop_back();
  }
  return chain;
}

bool IsTaskbarPin(std::string_view body_line) {
  // Only a file record is a pinned shortcut; letter case as the shell writes the folder name,
  // which is the same in every language.
  if (!body_line.empty() && (body_line[0] == '~' || body_line[0] == '!' || body_line[0] == '^' || body_line[0] == '*'))
    return false;
  return body_line.find("\\User Pinned\\") != std::string_view::npos;
}

}  // namespace halberd::uninstall
