// Arbitrary bytes as lines of the registry section (UTF-16LE) and of [Registry2] (UTF-8). Every
// line must parse without a crash or a hang; a value line's data must build or be refused; a line
// joined from its fields must split back to the same fields; and the uninstaller's reading of the
// same text must never name a key it would undo without a root.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "integration/registry_lines.h"

using namespace halberd::integration;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string wide;
  for (size_t i = 0; i + 1 < size; i += 2) wide.push_back(char16_t(data[i] | (data[i + 1] << 8)));
  for (const std::u16string& text : SplitSectionLines(wide)) {
    RegistryLine line = ParseRegistryLine(text);
    if (line.shape == RegistryLineShape::kValue) (void)BuildValueData(line.type, line.data);
    std::vector<std::u16string> fields = SplitRegistryLine(text);
    if (SplitRegistryLine(JoinRegistryLine(fields)) != fields) std::abort();
  }
  RegistryUndo undo = UndoOfRegistry2Line(std::string_view(reinterpret_cast<const char*>(data), size));
  if (undo.kind == RegistryUndo::Kind::kDeleteKeyIfEmpty && undo.key.find(u'\\') == std::u16string::npos &&
      !undo.all_users)
    std::abort();
  return 0;
}
