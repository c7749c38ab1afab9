// strip_installer: makes the uninstaller copy of an installer the way the installer makes it when
// the uninstaller keeps no installation data: the file up to the ".setup" section, the section
// taken off (StripSection), the bytes after the section's raw data appended. The end-to-end tests
// start the result under Wine.
//
//   strip_installer INSTALLER -o OUT
#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/format/pe_image.h"
#include "pack/installer_writer.h"

using namespace halberd;
using format::Bytes;

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[2]) != "-o") {
    std::fprintf(stderr, "usage: strip_installer INSTALLER -o OUT\n");
    return 2;
  }
  std::string error;
  Bytes installer;
  if (!pack::ReadWholeFile(argv[1], installer, error)) {
    std::fprintf(stderr, "strip_installer: %s\n", error.c_str());
    return 1;
  }
  format::PeLayout layout;
  format::PeSection section;
  bool found = false;
  if (format::LocateSetupSection(installer.data(), std::min(installer.size(), format::kPeHeaderReadSize), layout,
                                 section, found) != 0 || !found || section.raw_position > installer.size()) {
    std::fprintf(stderr, "strip_installer: no installation data section in %s\n", argv[1]);
    return 1;
  }
  Bytes image(installer.begin(), installer.begin() + section.raw_position);
  size_t end = std::min<size_t>(installer.size(), size_t(section.raw_position) + section.raw_size);
  Bytes tail(installer.begin() + end, installer.end());
  if (!format::StripSection(image, layout, section, tail) || !pack::WriteFileAtomically(argv[3], image, error)) {
    std::fprintf(stderr, "strip_installer: cannot strip: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
