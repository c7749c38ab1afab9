#include "foundation/registry_paths.h"

namespace halberd {

namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// A subkey without the separators the root parse leaves around it.
std::u16string CleanSubkey(std::u16string_view rest) {
  while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  return std::u16string(rest);
}

}  // namespace

const std::array<RegistryRootNames, 6> kRegistryRoots = {{
    {RegistryRoot::kLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM", u"\\HKLM\\"},
    {RegistryRoot::kCurrentUser, u"HKEY_CURRENT_USER", u"HKCU", u"\\HKCU\\"},
    {RegistryRoot::kClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR", u"\\HKCR\\"},
    {RegistryRoot::kUsers, u"HKEY_USERS", u"HKU", u"\\HKU\\"},
    {RegistryRoot::kCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC", u"\\HKCC\\"},
    {RegistryRoot::kDynData, u"HKEY_DYN_DATA", u"HKDD", u"\\HKDD\\"},
}};

const RegistryRootNames& RootNames(RegistryRoot root) { return kRegistryRoots[size_t(root)]; }

bool RegistryNameEquals(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool RegistryNameStartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && RegistryNameEquals(text.substr(0, prefix.size()), prefix);
}

std::optional<RegistryKeyPath> ParseKeyPath(std::u16string_view path) {
  // 1. A bracketed form.
  for (const RegistryRootNames& r : kRegistryRoots) {
    if (RegistryNameStartsWith(path, r.bracketed)) return RegistryKeyPath{r.root, CleanSubkey(path.substr(r.bracketed.size()))};
  }
  // 2. The bracketed form without its last backslash: only as the whole path, so that "\HKLMX"
  // does not open HKLM\X.
  for (const RegistryRootNames& r : kRegistryRoots) {
    std::u16string_view open = r.bracketed.substr(0, r.bracketed.size() - 1);
    if (RegistryNameEquals(path, open)) return RegistryKeyPath{r.root, {}};
  }
  // 3. A backslash and a long name, followed by the end or a backslash.
  if (!path.empty() && path[0] == u'\\') {
    std::u16string_view rest = path.substr(1);
    for (const RegistryRootNames& r : kRegistryRoots) {
      if (!RegistryNameStartsWith(rest, r.long_name)) continue;
      std::u16string_view after = rest.substr(r.long_name.size());
      if (after.empty()) return RegistryKeyPath{r.root, {}};
      if (after[0] == u'\\') return RegistryKeyPath{r.root, CleanSubkey(after.substr(1))};
    }
  }
  return std::nullopt;
}

std::optional<RegistryKeyPath> ParseDeletionPath(std::u16string_view path) {
  if (!path.empty() && path[0] == u'\\') path.remove_prefix(1);
  for (const RegistryRootNames& r : kRegistryRoots) {
    for (std::u16string_view name : {r.long_name, r.short_name}) {
      if (!RegistryNameStartsWith(path, name)) continue;
      std::u16string_view after = path.substr(name.size());
      if (after.empty()) return RegistryKeyPath{r.root, {}};
      if (after[0] == u'\\') return RegistryKeyPath{r.root, std::u16string(after.substr(1))};
    }
  }
  return std::nullopt;
}

std::optional<std::u16string_view> StripAllUsersPrefix(std::u16string_view path) {
  constexpr std::u16string_view kPrefix = u"\\HKAU\\";
  if (!RegistryNameStartsWith(path, kPrefix)) return std::nullopt;
  return path.substr(kPrefix.size());
}

SplitKeyPath SplitAtLastBackslash(std::u16string_view path) {
  size_t at = path.rfind(u'\\');
  if (at == std::u16string_view::npos) return {std::u16string_view(), path};
  return {path.substr(0, at), path.substr(at + 1)};
}

std::u16string SubkeyPathText(std::u16string_view parent_text, std::u16string_view subkey) {
  std::u16string text(parent_text);
  if (!text.empty() && text.back() != u'\\') text += u'\\';
  while (!subkey.empty() && subkey.front() == u'\\') subkey.remove_prefix(1);
  while (!subkey.empty() && subkey.back() == u'\\') subkey.remove_suffix(1);
  if (!subkey.empty()) {
    text += subkey;
    text += u'\\';
  }
  return text;
}

std::u16string KeyPathText(RegistryRoot root, std::u16string_view subkey) {
  return SubkeyPathText(RootNames(root).long_name, subkey);
}

bool IsUserHiveName(std::u16string_view name) {
  constexpr std::u16string_view kClasses = u"_Classes";
  if (name.empty() || RegistryNameEquals(name, u".DEFAULT")) return false;
  return !(name.size() >= kClasses.size() && RegistryNameEquals(name.substr(name.size() - kClasses.size()), kClasses));
}

}  // namespace halberd
