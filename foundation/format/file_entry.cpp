#include "foundation/format/file_entry.h"

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/setup_data.h"

namespace halberd::format {

void WriteFileEntryHead(const FileEntry& e, ByteWriter& out) {
  out.U32(kFileEntryMagic);
  out.I32(e.kind);
  out.U32(e.flags);
  out.U32(e.attributes);
  out.I32(e.size);
  for (int32_t t : e.time) out.I32(t);
  out.I32(e.msi_ui_level);
  out.String(e.name);
  out.String(e.second_text);
  out.WideString(e.target_folder);
  out.WideString(e.icon_path);
  out.WideString(e.arguments);
  out.WideString(e.start_in);
}

int ReadFileEntryHead(ByteReader& in, FileEntry& e) {
  e = FileEntry{};
  uint32_t magic;
  if (!in.ReadU32(magic) || magic != kFileEntryMagic) return corrupt::kEntryMagic;
  if (in.remaining() < kFileEntryFixedSize - 4) return corrupt::kEntrySizeTable;
  in.ReadI32(e.kind);
  in.ReadU32(e.flags);
  in.ReadU32(e.attributes);
  in.ReadI32(e.size);
  for (int32_t& t : e.time) in.ReadI32(t);
  in.ReadI32(e.msi_ui_level);
  if (e.size < 0) return corrupt::kEntryNegativeSize;
  if (e.size > kMaxFileSize) return corrupt::kEntryTooLarge;
  if (!in.ReadString(e.name) || !in.ReadString(e.second_text) || !in.ReadWideString(e.target_folder) ||
      !in.ReadWideString(e.icon_path) || !in.ReadWideString(e.arguments) || !in.ReadWideString(e.start_in))
    return corrupt::kEntrySizeTable;
  return corrupt::kNone;
}

std::string EncodeEntryName(const std::string& utf8_name) {
  for (unsigned char c : utf8_name)
    if (c >= 0x80) return "|" + utf8_name;
  return utf8_name;
}

}  // namespace halberd::format
