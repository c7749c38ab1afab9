// Arbitrary bytes as "Uninstall.dat". Reading never fails, so every input must give some data
// without a crash or a hang; whatever it gives must write again and read back to the same data,
// and writing that a second time must give the same bytes. The body lines, package lines and
// registry lines go through the uninstaller's own readers too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "uninstall/uninstall_data.h"

using namespace halberd::uninstall;

namespace {

CodePage Latin1() {
  return {[](std::u16string_view text) {
            std::string out;
            for (char16_t c : text) out.push_back(c < 0x100 ? char(c) : '?');
            return out;
          },
          [](std::string_view bytes) {
            std::u16string out;
            for (char b : bytes) out.push_back(char16_t(uint8_t(b)));
            return out;
          }};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);  // exact size for ASan

  UninstallData loaded = LoadUninstallData(bytes);
  const std::string written = WriteUninstallData(loaded);
  UninstallData again = LoadUninstallData(written);
  if (!(again == loaded)) std::abort();
  if (WriteUninstallData(again) != written) std::abort();

  static const CodePage code_page = Latin1();
  UninstallData recorded;
  for (const std::string& line : loaded.records()) {
    // A record read back and recorded again is the same line, unless recording refuses it.
    RemovalRecord record = ReadRemovalRecord(line, code_page);
    recorded.ClearRecords();
    if (recorded.RecordRemoval(record.text, record.kind, code_page)) {
      if (ReadRemovalRecord(recorded.records()[0], code_page) != record) std::abort();
    }
  }
  for (const std::string& line : loaded.packages) {
    std::string path;
    int option;
    ReadPackageLine(line, path, option);
  }
  SplitCsvLine(loaded.registry);
  return 0;
}
