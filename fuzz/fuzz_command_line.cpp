// Arbitrary bytes as the process command line (UTF-16LE). Parsing ends in success with no error
// line, or in a usage error that carries its line and nothing else; atoms are never empty, and the
// usage text can always be made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/command_line.h"

using namespace halberd::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  for (size_t i = 0; i + 1 < size; i += 2) line.push_back(wchar_t(data[i] | (data[i + 1] << 8)));

  for (const std::wstring& atom : SplitAtoms(line))
    if (atom.empty()) std::abort();

  const AnsiConverter to_ansi = [](const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
  };
  CommandLine parsed;
  if (ParseCommandLine(line, to_ansi, parsed)) {
    if (!parsed.error.empty()) std::abort();
    if (parsed.silent && !parsed.automatic) std::abort();
  } else {
    if (parsed.error.empty()) std::abort();
    if (!parsed.display_name.empty() || !parsed.install_folder_override.empty() || !parsed.uninstall_product.empty() ||
        !parsed.launch_after.empty() || !parsed.extra_batch[0].empty() || !parsed.extra_batch[1].empty() ||
        !parsed.extra_batch[2].empty())
      std::abort();
    if (UsageText(parsed.error, L"setup.exe").find(parsed.error) != 0) std::abort();
  }
  return 0;
}
