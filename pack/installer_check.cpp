#include "pack/installer_check.h"

#include <algorithm>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/pe_image.h"
#include "foundation/format/setup_data.h"

namespace halberd::pack {

using namespace halberd::format;

int CheckInstallerFile(const Bytes& file, bool archive_in_file, std::string& failure) {
  PeLayout layout;
  PeSection section;
  bool found = false;
  int code = LocateSetupSection(file.data(), std::min(file.size(), kPeHeaderReadSize), layout, section, found);
  if (code) {
    failure = "the PE header";
    return code;
  }
  if (!found || section.raw_position == 0 || section.raw_position > file.size()) {
    failure = "the setup section";
    return corrupt::kNoRawData;
  }
  // What the loader maps of the section: its virtual size, at most its raw data in the file.
  size_t mapped = std::min<uint64_t>({section.virtual_size, section.raw_size, file.size() - section.raw_position});
  SetupHeader header;
  code = ParseSetupHeader(file.data() + section.raw_position, mapped, header);
  if (code) {
    failure = "the installation data header";
    return code == kVersionMismatch ? corrupt::kMagic : code;
  }
  uint32_t crc = 0;
  if (!ImageCrc(file.data(), section.raw_position, layout, crc) || crc != header.image_crc) {
    failure = "the image CRC";
    return corrupt::kImageCrc;
  }
  const uint64_t start = uint64_t(section.raw_position) + header.archive_offset;
  uint64_t available = archive_in_file
      ? FileArchiveBytes(uint64_t(header.archive_size), file.size(), start, FindCertificateTable(file.data(), file.size(), layout))
      : SectionArchiveBytes(header, mapped);
  if (start > file.size()) available = 0;
  MemoryArchiveSource source(file.data() + std::min<uint64_t>(start, file.size()), size_t(available));
  // A memory source never fails to read: the check ends in success or a corrupt code.
  const ArchiveResult verified = VerifyArchive(header, source);
  if (verified.ok()) return 0;
  failure = "the archive";
  return verified.corrupt_code;
}

}  // namespace halberd::pack
