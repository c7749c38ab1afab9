// The parts of the PE format the installer and the pack tool touch: finding the ".setup" section
// in the installer's own file, removing it again for the uninstaller copy, and (pack tool)
// appending it to a copy of the stub.
//
//   file 0x3C            u16  e_lfanew, offset of "PE\0\0"        64 <= v <= 4096 (corrupt 43)
//   e_lfanew + 6         u16  number of sections                  4 <= v <= 99    (corrupt 44)
//   e_lfanew + 20        u16  size of the optional header
//   e_lfanew + 24 + that      section table, 40 bytes an entry:
//        0 name[8], 8 virtual size, 12 virtual address, 16 raw size, 20 raw-data position
//   optional header (PE32): 0 magic 0x10B, 8 SizeOfInitializedData, 32 SectionAlignment,
//        36 FileAlignment, 56 SizeOfImage, 60 SizeOfHeaders, 64 CheckSum, 92 NumberOfRvaAndSizes,
//        96 data directories (8 bytes each; PE32+ with magic 0x20B: 108 and 112)
//   data directory 4: the certificate table, { u32 file position, u32 size }; a signer appends the
//        table at the file's end (8-byte aligned, zero-padded to it) and rewrites this entry and
//        the CheckSum, nothing else.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/format/byte_io.h"

namespace halberd::format {

constexpr char kSetupSectionName[] = ".setup";
// Enough of the file's start to hold any header this reader accepts.
constexpr size_t kPeHeaderReadSize = 4096 + 24 + 0xFFFF + 99 * 40;

struct PeSection {
  int index = -1;
  uint32_t table_offset = 0;  // file offset of the section's table entry
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_position = 0;
};

struct PeLayout {
  uint32_t e_lfanew = 0;
  uint16_t section_count = 0;
  uint16_t optional_header_size = 0;
  uint32_t optional_header_offset = 0;
  uint32_t section_table_offset = 0;
};

// Checks the header fields and looks for ".setup". Returns 0 or a corrupt code (43, 44); `found`
// tells whether the section exists. `head` is the start of the file (at most kPeHeaderReadSize).
int LocateSetupSection(const uint8_t* head, size_t size, PeLayout& layout, PeSection& section, bool& found);

// Offset from which the image CRC of integrity mode 1 is taken: everything after the PE checksum.
inline uint32_t ImageCrcStart(const PeLayout& layout) { return layout.e_lfanew + 92; }

// Where a signature's certificate table lies in the file, from data directory 4.
struct CertificateTable {
  uint32_t entry_offset = 0;  // file offset of the directory entry; 0 when the header has none
  uint32_t position = 0;      // file position of the table; 0 when the file is not signed
  uint32_t size = 0;
  bool present() const { return position != 0 && size != 0; }
};
// Reads the entry from the start of the file (`head`, at least up to the section table, as
// LocateSetupSection checked it).
CertificateTable FindCertificateTable(const uint8_t* head, size_t size, const PeLayout& layout);

// Archive source 1 (the archive read from the program file): the bytes from the archive's start
// (`start`, a file position) up to the file's end, or, in a signed file, up to its certificate
// table. A signer pads the data before the table with zeros to an 8-byte boundary; those fewer
// than 8 bytes after an archive that otherwise fills the space are not counted, so that signing
// changes nothing here.
uint64_t FileArchiveBytes(uint64_t archive_size, uint64_t file_size, uint64_t start,
                          const CertificateTable& certificates);

// The image CRC of integrity mode 1 over `image`, the file from position 0 up to the setup
// section's raw data. It follows the rules of the PE checksum and of a signature's digest, so
// that signing leaves it unchanged: it starts after the CheckSum field, counts the certificate
// directory entry as zero, and stops where a certificate table starts. For an unsigned file
// (entry zero) it is the plain CRC-32 from ImageCrcStart to the image's end. Returns false when
// the image is too short to hold the header.
bool ImageCrc(const uint8_t* image, size_t size, const PeLayout& layout, uint32_t& crc);

// Turns `image` (the file up to the section's raw data) into a program without the section:
// appends `tail` (the file's bytes after the section), lowers the section count, the initialised
// data size, moves the later table entries up and sets the image size to what the remaining
// sections span. A signed file's certificate table is not carried over and its entry is cleared:
// the signature would not match.
bool StripSection(Bytes& image, const PeLayout& layout, const PeSection& section, const Bytes& tail);

// SizeOfImage of a file with the given section table: the end of the section that ends last in
// memory (virtual address + virtual size, the raw size when the virtual size is 0), rounded up to
// the section alignment. `file` holds at least the whole table.
uint32_t ImageSizeOfSections(const uint8_t* file, uint32_t section_table_offset, uint16_t section_count,
                             uint32_t section_alignment);

// Pack tool: appends `data` as a new last section named `name`, of which the loader maps the
// first `mapped_size` bytes. Fails with a reason when the stub has no room or is not a PE32 file.
// By default the section's raw size is the data rounded up to the file alignment and the file is
// padded to it. With `whole_raw_blocks`, the raw size is the data rounded down instead and the
// file ends with the data, its last partial block lying after the section: the layout of an
// installer that reads its archive from the file up to the file's end.
bool AppendSection(Bytes& exe, const char* name, const Bytes& data, uint32_t mapped_size, PeSection& added,
                   std::string& error, bool whole_raw_blocks = false);

// The PE checksum (as the image-help library computes it) with the checksum field left out.
uint32_t PeChecksum(const Bytes& file, uint32_t checksum_offset);

}  // namespace halberd::format
