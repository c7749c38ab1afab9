// A file entry of the extraction stream (the unpacked archive): a fixed part of 48 bytes, six
// string items (length-prefixed as in the setup script), then the file's contents.
//
//   0   u32    magic 0x600FFEE1                    (corrupt 101)
//   4   i32    kind 0-12
//   8   u32    flags: bit 0 desktop shortcut, bit 1 Start-menu shortcut, bits 2-4 overwrite
//              mode, bit 5 permanent, bit 6 in the uninstall folder, bit 31 record an MSI package
//   12  u32    attributes to apply (0xFFFFFFFF: none)
//   16  i32    size of the contents; equals the file-size table entry (71, 72, 73)
//   20  6*i32  time: year, month, day, hour, minute, second (month 0: no date; hour < 0: no time)
//   44  i32    Windows Installer user-interface level (kind 11)
//   then: name (8-bit; "|" marks UTF-8), second text (UTF-8), target folder, icon path,
//         arguments, start-in folder / class id (the last four UTF-16LE)
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/format/byte_io.h"

namespace halberd::format {

constexpr uint32_t kFileEntryMagic = 0x600FFEE1;
constexpr size_t kFileEntryFixedSize = 48;
constexpr uint32_t kNoAttributes = 0xFFFFFFFF;

struct FileEntry {
  int32_t kind = 0;
  uint32_t flags = 0;
  uint32_t attributes = kNoAttributes;
  int32_t size = 0;
  std::array<int32_t, 6> time{0, 0, 0, -1, 0, 0};  // no time
  int32_t msi_ui_level = 0;
  std::string name;         // 8-bit as stored ("|" + UTF-8, or the system code page)
  std::string second_text;  // UTF-8
  std::u16string target_folder;
  std::u16string icon_path;
  std::u16string arguments;
  std::u16string start_in;

  int overwrite_mode() const { return int((flags >> 2) & 7); }
  void set_overwrite_mode(int mode) { flags = (flags & ~0x1Cu) | (uint32_t(mode & 7) << 2); }
};

// Fixed part and texts, without the contents (which follow in the stream).
void WriteFileEntryHead(const FileEntry& entry, ByteWriter& out);

// Reads the fixed part and the texts; returns 0 or a corrupt code (101 magic, 71 negative size,
// 72 too large, 70 when the texts run past the bytes given).
int ReadFileEntryHead(ByteReader& in, FileEntry& entry);

// 8-bit entry name for a UTF-8 file name: plain when it is ASCII, else "|" + UTF-8.
std::string EncodeEntryName(const std::string& utf8_name);

}  // namespace halberd::format
