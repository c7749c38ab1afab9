#include "foundation/format/pe_image.h"

#include <algorithm>
#include <cstring>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"

namespace halberd::format {

namespace {
constexpr uint32_t kPageSize = 4096;

uint32_t AlignUp(uint64_t v, uint32_t a) { return a ? uint32_t((v + a - 1) / a * a) : uint32_t(v); }

bool ReadLayout(const uint8_t* head, size_t size, PeLayout& l, int& code) {
  code = corrupt::kPeOffset;
  if (size < 0x40) return false;
  l.e_lfanew = LoadU16(head + 0x3C);
  if (l.e_lfanew < 64 || l.e_lfanew > 4096 || size < l.e_lfanew + 24) return false;
  code = corrupt::kSectionCount;
  l.section_count = LoadU16(head + l.e_lfanew + 6);
  if (l.section_count < 4 || l.section_count > 99) return false;
  l.optional_header_size = LoadU16(head + l.e_lfanew + 20);
  l.optional_header_offset = l.e_lfanew + 24;
  l.section_table_offset = l.optional_header_offset + l.optional_header_size;
  if (uint64_t(l.section_table_offset) + 40u * l.section_count > size) return false;
  code = corrupt::kNone;
  return true;
}

PeSection SectionAt(const uint8_t* head, const PeLayout& l, int i) {
  PeSection s;
  const uint8_t* e = head + l.section_table_offset + 40 * i;
  s.index = i;
  s.table_offset = l.section_table_offset + 40 * i;
  s.virtual_size = LoadU32(e + 8);
  s.virtual_address = LoadU32(e + 12);
  s.raw_size = LoadU32(e + 16);
  s.raw_position = LoadU32(e + 20);
  return s;
}

bool NameIs(const uint8_t* entry, const char* name) {
  char n[9] = {};
  std::memcpy(n, entry, 8);
  return std::strcmp(n, name) == 0;
}
}  // namespace

int LocateSetupSection(const uint8_t* head, size_t size, PeLayout& layout, PeSection& section, bool& found) {
  found = false;
  int code;
  if (!ReadLayout(head, size, layout, code)) return code;
  for (int i = 0; i < layout.section_count; ++i) {
    if (NameIs(head + layout.section_table_offset + 40 * i, kSetupSectionName)) {
      section = SectionAt(head, layout, i);
      found = true;
      break;
    }
  }
  return corrupt::kNone;
}

bool StripSection(Bytes& image, const PeLayout& l, const PeSection& s, const Bytes& tail) {
  if (image.size() < uint64_t(l.section_table_offset) + 40u * l.section_count) return false;
  // A signature no longer matches the program without the section: its table is left out and its
  // entry cleared, so the uninstaller is a plain unsigned program.
  size_t kept = tail.size();
  const CertificateTable certificates = FindCertificateTable(image.data(), image.size(), l);
  const uint64_t tail_start = uint64_t(s.raw_position) + s.raw_size;
  if (certificates.present() && certificates.position >= tail_start && certificates.position - tail_start < kept)
    kept = size_t(certificates.position - tail_start);
  if (certificates.entry_offset) std::memset(image.data() + certificates.entry_offset, 0, 8);
  image.insert(image.end(), tail.begin(), tail.begin() + ptrdiff_t(kept));
  uint8_t* opt = image.data() + l.optional_header_offset;
  StoreU16(image.data() + l.e_lfanew + 6, uint16_t(l.section_count - 1));
  StoreU32(opt + 8, LoadU32(opt + 8) - s.raw_size);
  uint8_t* table = image.data() + l.section_table_offset;
  for (int i = s.index + 1; i < l.section_count; ++i) {
    uint8_t* to = table + 40 * (i - 1);
    std::memcpy(to, table + 40 * i, 40);
    if (i != l.section_count - 1) StoreU32(to + 20, LoadU32(to + 20) - s.raw_size);
  }
  std::memset(table + 40 * (l.section_count - 1), 0, 40);
  // The image size is what the remaining sections span. It cannot be derived from the old size
  // and the section's raw size: when the archive is read from the file, the loader maps only the
  // header and the script, far less than the section's raw size.
  StoreU32(opt + 56, ImageSizeOfSections(image.data(), l.section_table_offset, uint16_t(l.section_count - 1),
                                         LoadU32(opt + 32)));
  return true;
}

uint32_t ImageSizeOfSections(const uint8_t* file, uint32_t section_table_offset, uint16_t section_count,
                             uint32_t section_alignment) {
  uint64_t end = 0;
  for (int i = 0; i < section_count; ++i) {
    const uint8_t* e = file + section_table_offset + 40 * i;
    uint32_t virtual_size = LoadU32(e + 8);
    // A section without a virtual size is mapped with its raw size.
    if (virtual_size == 0) virtual_size = LoadU32(e + 16);
    end = std::max<uint64_t>(end, uint64_t(LoadU32(e + 12)) + virtual_size);
  }
  return AlignUp(end, section_alignment);
}

bool AppendSection(Bytes& exe, const char* name, const Bytes& data, uint32_t mapped_size, PeSection& added,
                   std::string& error, bool whole_raw_blocks) {
  PeLayout l;
  int code;
  if (exe.size() < 0x40 || exe[0] != 'M' || exe[1] != 'Z') {
    error = "the stub is not a Windows program (no MZ header)";
    return false;
  }
  // The stub itself may have fewer than the 4 sections the installer later insists on; the
  // appended one counts.
  l.e_lfanew = LoadU16(exe.data() + 0x3C);
  if (l.e_lfanew < 64 || l.e_lfanew > 4096 || exe.size() < l.e_lfanew + 24u + 96u ||
      std::memcmp(exe.data() + l.e_lfanew, "PE\0\0", 4) != 0) {
    error = "the stub has no valid PE header";
    return false;
  }
  (void)code;
  l.section_count = LoadU16(exe.data() + l.e_lfanew + 6);
  l.optional_header_size = LoadU16(exe.data() + l.e_lfanew + 20);
  l.optional_header_offset = l.e_lfanew + 24;
  l.section_table_offset = l.optional_header_offset + l.optional_header_size;
  uint8_t* opt = exe.data() + l.optional_header_offset;
  if (LoadU16(opt) != 0x10B) {
    error = "the stub is not a 32-bit (PE32) program";
    return false;
  }
  if (l.section_count >= 98) {
    error = "the stub has too many sections";
    return false;
  }
  uint32_t section_alignment = LoadU32(opt + 32);
  uint32_t file_alignment = LoadU32(opt + 36);
  uint32_t size_of_headers = LoadU32(opt + 60);
  uint32_t table_end = l.section_table_offset + 40u * (l.section_count + 1);
  uint64_t data_end = 0, virtual_end = 0;
  uint32_t first_raw = UINT32_MAX;
  for (int i = 0; i < l.section_count; ++i) {
    const uint8_t* e = exe.data() + l.section_table_offset + 40 * i;
    if (NameIs(e, kSetupSectionName)) {
      error = "the stub already carries installation data";
      return false;
    }
    PeSection s = SectionAt(exe.data(), l, i);
    if (s.raw_size) {
      data_end = std::max<uint64_t>(data_end, uint64_t(s.raw_position) + s.raw_size);
      first_raw = std::min(first_raw, s.raw_position);
    }
    virtual_end = std::max<uint64_t>(virtual_end, uint64_t(s.virtual_address) + std::max(s.virtual_size, s.raw_size));
  }
  if (table_end > size_of_headers || table_end > first_raw) {
    error = "the stub's header has no room for another section";
    return false;
  }
  if (data_end < exe.size()) {
    error = "the stub has data after its last section (link it stripped)";
    return false;
  }
  // The data starts on a page boundary, so that a loader can map it from the file page by page
  // (Wine reads a section whose data is not page-aligned into memory whole when it loads it).
  uint32_t raw_position = AlignUp(exe.size(), std::max<uint32_t>(file_alignment, kPageSize));
  uint32_t raw_size = AlignUp(data.size(), file_alignment);
  if (whole_raw_blocks) {
    raw_size = file_alignment ? uint32_t(data.size() / file_alignment * file_alignment) : uint32_t(data.size());
    if (raw_size < mapped_size) {
      error = "the section is too small to map its first " + std::to_string(mapped_size) + " bytes";
      return false;
    }
  }
  uint32_t virtual_address = AlignUp(virtual_end, section_alignment);
  if (uint64_t(raw_position) + raw_size > 0xFFFFFFFFu || uint64_t(virtual_address) + mapped_size > 0x7FFFFFFFu) {
    error = "the installation data is too large for a 32-bit program";
    return false;
  }

  uint8_t* e = exe.data() + l.section_table_offset + 40 * l.section_count;
  std::memset(e, 0, 40);
  std::memcpy(e, name, std::min<size_t>(8, std::strlen(name)));
  StoreU32(e + 8, mapped_size);
  StoreU32(e + 12, virtual_address);
  StoreU32(e + 16, raw_size);
  StoreU32(e + 20, raw_position);
  StoreU32(e + 36, 0x40000040);  // initialised data, readable
  StoreU16(exe.data() + l.e_lfanew + 6, uint16_t(l.section_count + 1));
  StoreU32(opt + 8, LoadU32(opt + 8) + raw_size);
  StoreU32(opt + 56, AlignUp(uint64_t(virtual_address) + mapped_size, section_alignment));

  exe.resize(raw_position, 0);
  exe.insert(exe.end(), data.begin(), data.end());
  if (!whole_raw_blocks) exe.resize(size_t(raw_position) + raw_size, 0);

  added.index = l.section_count;
  added.table_offset = l.section_table_offset + 40 * l.section_count;
  added.virtual_size = mapped_size;
  added.virtual_address = virtual_address;
  added.raw_size = raw_size;
  added.raw_position = raw_position;
  return true;
}

CertificateTable FindCertificateTable(const uint8_t* head, size_t size, const PeLayout& l) {
  CertificateTable t;
  constexpr uint32_t kEntry = 4;
  if (l.optional_header_size < 2 || uint64_t(l.optional_header_offset) + 2 > size) return t;
  const uint8_t* opt = head + l.optional_header_offset;
  uint32_t count_at, directories_at;
  switch (LoadU16(opt)) {
    case 0x10B: count_at = 92, directories_at = 96; break;
    case 0x20B: count_at = 108, directories_at = 112; break;
    default: return t;
  }
  uint32_t entry_end = directories_at + 8 * (kEntry + 1);
  if (l.optional_header_size < entry_end || uint64_t(l.optional_header_offset) + entry_end > size) return t;
  if (LoadU32(opt + count_at) <= kEntry) return t;
  t.entry_offset = l.optional_header_offset + directories_at + 8 * kEntry;
  t.position = LoadU32(head + t.entry_offset);
  t.size = LoadU32(head + t.entry_offset + 4);
  return t;
}

uint64_t FileArchiveBytes(uint64_t archive_size, uint64_t file_size, uint64_t start, const CertificateTable& c) {
  uint64_t end = file_size;
  const bool signed_file = c.present() && c.position >= start && c.position <= file_size;
  if (signed_file) end = c.position;
  uint64_t available = end > start ? end - start : 0;
  if (signed_file && c.position % 8 == 0 && available > archive_size && available - archive_size < 8)
    available = archive_size;
  return available;
}

bool ImageCrc(const uint8_t* image, size_t size, const PeLayout& l, uint32_t& crc) {
  const uint64_t from = ImageCrcStart(l);
  CertificateTable table = FindCertificateTable(image, size, l);
  uint64_t end = size;
  if (table.present() && table.position < end) end = table.position;
  if (from > end) return false;
  crc = 0;
  if (!table.entry_offset || table.entry_offset < from || table.entry_offset + 8 > end) {
    crc = Crc32(image + from, size_t(end - from));
    return true;
  }
  // The entry counts as the zeros it holds before signing.
  static const uint8_t kZeros[8] = {};
  crc = Crc32(image + from, size_t(table.entry_offset - from));
  crc = Crc32(kZeros, 8, crc);
  crc = Crc32(image + table.entry_offset + 8, size_t(end - table.entry_offset - 8), crc);
  return true;
}

uint32_t PeChecksum(const Bytes& file, uint32_t checksum_offset) {
  uint64_t sum = 0;
  size_t n = file.size();
  for (size_t i = 0; i < n; i += 2) {
    if (i == checksum_offset || i == checksum_offset + 2) continue;
    uint32_t word = file[i] | (i + 1 < n ? file[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + n);
}

}  // namespace halberd::format
