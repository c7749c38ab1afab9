#include "foundation/path_rules.h"

namespace halberd {

namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool HasDrivePrefix(std::u16string_view p) { return p.size() >= 2 && p[1] == u':' && IsAsciiLetter(p[0]); }

bool IsNetworkPath(std::u16string_view p) { return p.size() > 2 && p[0] == u'\\' && p[1] == u'\\'; }

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Length of the part of a network path that names the share ("\\server\share"), 0 when the
// path is not a network path.
size_t NetworkRootLength(std::u16string_view p) {
  if (!IsNetworkPath(p)) return 0;
  size_t server_end = p.find(u'\\', 2);
  if (server_end == std::u16string_view::npos) return p.size();
  size_t share_end = p.find(u'\\', server_end + 1);
  return share_end == std::u16string_view::npos ? p.size() : share_end;
}

// The root that a path beginning with one backslash is taken on: "C:" or "\\server\share";
// empty when the base has neither.
std::u16string_view RootOf(std::u16string_view base) {
  if (HasDrivePrefix(base)) return base.substr(0, 2);
  return base.substr(0, NetworkRootLength(base));
}

// One level up, never above a drive root or a network share.
std::u16string Climb(const std::u16string& folder) {
  if (IsDriveRoot(folder)) return folder;
  if (IsNetworkPath(folder) && NetworkRootLength(folder) == folder.size()) return folder;
  return ParentFolder(folder);
}

}  // namespace

bool HasDriveLetter(std::u16string_view path) { return path.size() >= 2 && path[1] == u':' && IsAsciiLetter(path[0]); }

bool IsBlank(std::u16string_view text) {
  for (char16_t c : text) {
    if (!IsBlankChar(c)) return false;
  }
  return true;
}

bool IsFullPath(std::u16string_view p) {
  if (IsNetworkPath(p)) return true;
  return p.size() >= 3 && HasDrivePrefix(p) && p[2] == u'\\';
}

bool IsValidPath(std::u16string_view path, uint32_t flags) {
  std::u16string_view view = path;
  if (flags & path_flags::kTrimFirst) {
    while (!view.empty() && IsBlankChar(view.front())) view.remove_prefix(1);
    while (!view.empty() && IsBlankChar(view.back())) view.remove_suffix(1);
  } else if (!view.empty() && (IsBlankChar(view.front()) || IsBlankChar(view.back()))) {
    return false;
  }
  std::u16string p;
  p.reserve(view.size());
  for (char16_t c : view) {
    if (c != u'"') p.push_back(c);
  }
  // Checked after the quotes are gone, so that a quoted empty path or a quoted trailing
  // backslash is caught too.
  if (p.empty()) return false;
  if (p.back() == u'\\' && !(flags & path_flags::kTrailingBackslashOk)) return false;
  if ((flags & path_flags::kFullPathRequired) && !IsFullPath(p)) return false;

  size_t start = 0;
  if (p.size() >= 2 && p[1] == u':') {
    if (!IsAsciiLetter(p[0])) return false;
    start = 2;
  }
  for (size_t i = start; i < p.size(); ++i) {
    switch (p[i]) {
      case u'/': case u'"': case u'<': case u'>': case u'|': case u';': case u':':
        return false;
      case u'*':
        if (!(flags & path_flags::kAllowAsterisk)) return false;
        break;
      case u'?':
        if (!(flags & path_flags::kAllowQuestionMark)) return false;
        break;
      case u'\\':
        if (i > 1 && p[i - 1] == u'\\') return false;
        break;
      default:
        break;
    }
  }
  return true;
}

bool IsValidFileName(std::u16string_view name) {
  if (name.empty() || IsBlankChar(name.front()) || IsBlankChar(name.back())) return false;
  for (char16_t c : name) {
    switch (c) {
      case u'\\': case u'/': case u'"': case u'<': case u'>': case u'|': case u'*': case u'?':
      case u':': case u';': case u'\r': case u'\n':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool IsSkippedInListing(std::u16string_view name) {
  if (name == u"." || name == u"..") return true;
  return name.find_first_of(u"/\"<>|*?;") != std::u16string_view::npos;
}

bool IsFolderClutter(std::u16string_view name) {
  return EqualsIgnoreCase(name, u"thumbs.db") || EqualsIgnoreCase(name, u"desktop.ini");
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (folder.empty()) return std::u16string(name);
  bool folder_slash = folder.back() == u'\\';
  bool name_slash = !name.empty() && name.front() == u'\\';
  if (folder_slash && name_slash) {
    name.remove_prefix(1);
  } else if (!folder_slash && !name_slash && folder.back() != u':') {
    out.push_back(u'\\');
  }
  out.append(name);
  return out;
}

std::u16string ResolveRelativePath(std::u16string_view base, std::u16string_view path) {
  if (IsFullPath(path) || HasDrivePrefix(path)) return std::u16string(path);
  if (!path.empty() && path.front() == u'\\') {
    std::u16string_view root = RootOf(base);
    if (root.empty()) return std::u16string(path);
    return JoinPath(root, path);
  }
  std::u16string folder = WithoutTrailingBackslash(base);
  while (!path.empty()) {
    if (path.starts_with(u"..\\") || path == u"..") {
      folder = Climb(folder);
      path.remove_prefix(path.size() == 2 ? 2 : 3);
    } else if (path.starts_with(u".\\") || path == u".") {
      path.remove_prefix(path.size() == 1 ? 1 : 2);
    } else {
      break;
    }
  }
  if (path.empty()) return folder;
  return JoinPath(folder, path);
}

std::u16string ParentFolder(std::u16string_view path) {
  std::u16string p = WithoutTrailingBackslash(path);
  if (IsDriveRoot(p)) return std::u16string();
  size_t pos = p.rfind(u'\\');
  if (pos == std::u16string::npos) return std::u16string();
  if (pos == 2 && HasDrivePrefix(p)) return p.substr(0, 3);
  if (pos == 1 && IsNetworkPath(p)) return std::u16string();  // "\\server" has no parent
  if (pos == 0) return p.substr(0, 1);
  return p.substr(0, pos);
}

std::u16string WithoutTrailingBackslash(std::u16string_view folder) {
  while (folder.size() > 1 && folder.back() == u'\\' && !IsDriveRoot(folder)) folder.remove_suffix(1);
  return std::u16string(folder);
}

bool IsDriveRoot(std::u16string_view p) {
  if (p.size() == 2) return HasDrivePrefix(p);
  return p.size() == 3 && HasDrivePrefix(p) && p[2] == u'\\';
}

TempNameGenerator::TempNameGenerator(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}

uint16_t TempNameGenerator::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return uint16_t((uint32_t(state_) * 0xDD1Du) & 0xFFFFu);
}

std::u16string FormatTempName(uint16_t number, std::u16string_view extension, bool zero_padded) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  char16_t digits[4];
  int n = 0;
  do {
    digits[n++] = kHex[number & 15];
    number = uint16_t(number >> 4);
  } while (number != 0);
  std::u16string out = u"TLT";
  out.append(size_t(4 - n), zero_padded ? u'0' : u' ');
  while (n > 0) out.push_back(digits[--n]);
  if (!extension.empty() && extension.front() == u'.') extension.remove_prefix(1);
  out.push_back(u'.');
  out.append(extension);
  return out;
}

}  // namespace halberd
