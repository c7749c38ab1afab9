#include "foundation/special_folders.h"

#include "foundation/path_rules.h"

namespace halberd {

namespace {
char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
}  // namespace

std::u16string TrimFolderValue(std::u16string_view value) {
  if (value.size() > 3 && value.back() == u'\\') value.remove_suffix(1);
  return std::u16string(value);
}

std::u16string WithoutX86(std::u16string_view folder) {
  std::u16string out(folder);
  size_t at = out.find(u" (x86)");
  if (at != std::u16string::npos) out.erase(at, 6);
  return out;
}

std::u16string BootDriveFromValue(std::u16string_view boot_dir) {
  if (boot_dir.size() >= 2 && boot_dir[1] == u':') {
    char16_t c = boot_dir[0];
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    if (c >= u'A' && c <= u'Z') return std::u16string{c, u':'};
  }
  return u"C:";
}

std::u16string DriverFolderFromDevicePath(std::u16string_view device_path, std::u16string_view system_root,
                                          std::u16string_view windows_folder) {
  std::u16string_view first = device_path.substr(0, device_path.find(u';'));
  constexpr std::u16string_view kToken = u"%SystemRoot%";
  std::u16string out;
  for (size_t i = 0; i < first.size();) {
    bool match = first.size() - i >= kToken.size();
    for (size_t k = 0; match && k < kToken.size(); ++k) match = LowerAscii(first[i + k]) == LowerAscii(kToken[k]);
    if (match) {
      out += system_root;
      i += kToken.size();
    } else {
      out += first[i++];
    }
  }
  if (!IsBlank(out)) return WithoutTrailingBackslash(TrimFolderValue(out));
  return windows_folder.empty() ? std::u16string(u"INF") : JoinPath(windows_folder, u"INF");
}

bool WantsSixtyFourBitFolder(int bitness, bool windows_64bit) { return windows_64bit && (bitness == 2 || bitness == 4); }

std::u16string WebRootParent(std::u16string_view web_root) {
  std::u16string root = WithoutTrailingBackslash(web_root);
  std::u16string parent = ParentFolder(root);
  return parent.empty() ? root : parent;
}

}  // namespace halberd
