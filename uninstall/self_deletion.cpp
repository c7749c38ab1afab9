// The self-deletion batch text.
#include "uninstall/self_deletion.h"

#include "foundation/path_rules.h"
#include "foundation/text_convert.h"

namespace halberd::uninstall {

namespace {

std::u16string Literal(std::u16string_view path) {
  std::u16string out;
  for (char16_t c : path) {
    out.push_back(c);
    if (c == u'%') out.push_back(u'%');
  }
  return out;
}

}  // namespace

std::string SelfDeletionBatch(std::u16string_view uninstaller, std::u16string_view install_folder,
                              std::u16string_view uninstall_subdir, std::u16string_view batch_path) {
  const std::u16string exe = Literal(uninstaller);
  std::u16string text = u":Repeat\r\ndel \"" + exe + u"\"\r\nif exist \"" + exe + u"\" goto Repeat\r\n";
  text += u"CHOICE /T 3 /D Y\r\n";
  auto rd = [&](std::u16string_view folder) { text += u"rd \"" + Literal(folder) + u"\"\r\n"; };
  std::u16string subdir(uninstall_subdir);
  while (!subdir.empty() && subdir.back() == u'\\') subdir.pop_back();
  rd(subdir.empty() ? std::u16string(install_folder) : JoinPath(install_folder, subdir));
  // Each shorter prefix of the subfolder, cut at its backslashes, longest first.
  for (int n = 0; n < kSelfDeletionPrefixLimit; ++n) {
    size_t slash = subdir.find_last_of(u'\\');
    if (slash == std::u16string::npos) break;
    subdir.resize(slash);
    while (!subdir.empty() && subdir.back() == u'\\') subdir.pop_back();
    if (subdir.empty()) break;
    rd(JoinPath(install_folder, subdir));
  }
  rd(install_folder);
  text += u"del \"" + Literal(batch_path) + u"\"\r\n";
  bool ascii = true;
  for (char16_t c : text) ascii = ascii && c < 0x80;
  if (ascii) return Utf16ToUtf8(text);
  return "@chcp 65001 >nul\r\n" + Utf16ToUtf8(text);
}

}  // namespace halberd::uninstall
