// Readme and licence copies: names and bytes (see the header).
#include "integration/document_copies.h"

#include "foundation/format/setup_script.h"
#include "uninstall/uninstall_data.h"

namespace halberd::integration {

namespace {

std::string Utf16LeWithByteOrderMark(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

}  // namespace

std::vector<DocumentCopy> DocumentCopies(const std::vector<std::string>& documents, std::u16string_view base) {
  std::vector<DocumentCopy> copies;
  const bool single = documents.size() == 1;
  for (size_t i = 0; i < documents.size(); ++i) {
    const std::string& document = documents[i];
    if (document.empty()) continue;
    const bool rtf = format::DocumentIsRtf(document);
    std::u16string name(base);
    if (!single) {
      std::string number = std::to_string(i + 1);
      name.append(number.begin(), number.end());
    }
    name += rtf ? u".rtf" : u".txt";
    copies.push_back({std::move(name), rtf ? document : Utf16LeWithByteOrderMark(format::DocumentPlainText(document))});
  }
  return copies;
}

bool IsInstalledFile(std::u16string_view path, const std::vector<std::u16string>& installed) {
  const std::u16string wanted = uninstall::UpperCaseForCompare(path);
  for (const std::u16string& file : installed)
    if (uninstall::UpperCaseForCompare(file) == wanted) return true;
  return false;
}

}  // namespace halberd::integration
