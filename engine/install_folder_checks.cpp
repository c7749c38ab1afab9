#include "engine/install_folder_checks.h"

#include "engine/message_text.h"
#include "foundation/path_rules.h"

namespace halberd::engine {

namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

std::u16string_view WithoutOneBackslash(std::u16string_view folder) {
  if (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
  return folder;
}

bool IsAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c > 0x7F) return false;
  return true;
}

}  // namespace

std::u16string CleanFolderText(std::u16string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
    text = text.substr(1, text.size() - 2);
    while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  }
  return std::u16string(WithoutOneBackslash(text));
}

bool SameFolder(std::u16string_view a, std::u16string_view b) {
  a = WithoutOneBackslash(a);
  b = WithoutOneBackslash(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

FolderCheckResult CheckInstallFolder(std::u16string_view folder_text, const FolderRules& rules, const DriveFacts& drives,
                                     const std::function<std::u16string(int)>& text) {
  FolderCheckResult r;
  r.folder = CleanFolderText(folder_text);
  const std::u16string& folder = r.folder;
  auto fail = [&r](FolderCheck check, std::u16string message) {
    r.check = check;
    r.message = std::move(message);
    return r;
  };
  if (folder.empty()) return fail(FolderCheck::kEmpty, {});

  // A drive root lost its backslash above ("C:"); it is a valid path, refused below as a root.
  std::u16string as_path = folder;
  uint32_t path_rules = path_flags::kFullPathRequired;
  if (folder.size() == 2 && HasDriveLetter(folder)) {
    as_path += u'\\';
    path_rules |= path_flags::kTrailingBackslashOk;
  }
  bool special = false;
  for (const std::u16string& s : rules.special_folders)
    if (!s.empty() && SameFolder(folder, s)) special = true;
  if (!IsValidPath(as_path, path_rules) || special)
    return fail(FolderCheck::kInvalid, text(14) + u"\r\n\r\n" + folder);

  std::u16string drive = HasDriveLetter(folder) ? folder.substr(0, 2) : std::u16string();
  if (!drive.empty() && !drives.available(drive))
    return fail(FolderCheck::kDriveMissing, FillInText(text(16), {drive}));
  bool network = folder.starts_with(u"\\\\") || (!drive.empty() && drives.network(drive));
  if (rules.refuse_network && network) return fail(FolderCheck::kNetwork, text(66));
  if (folder.size() < 4) return fail(FolderCheck::kDriveRoot, text(17));
  for (const std::u16string* pf : {&rules.program_files_32, &rules.program_files_64})
    if (!pf->empty() && SameFolder(folder, *pf))
      return fail(FolderCheck::kProgramFiles, FillInText(text(18), {*pf}));
  if (!drive.empty() && (drives.read_only(drive) || (rules.refuse_removable && drives.removable(drive))))
    return fail(FolderCheck::kReadOnlyDrive, FillInText(text(96), {drive}));
  if (rules.ascii_only && !IsAscii(folder)) return fail(FolderCheck::kNonAscii, text(30));
  return r;
}

}  // namespace halberd::engine
