// Arbitrary bytes as the extraction stream: entry heads, each followed by its contents, read the
// way the file loop reads them. Every entry ends in success or one of the entry's corrupt codes; a
// head read successfully writes again and reads back to the same entry, and the loop always moves
// forward, so it cannot hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "foundation/format/byte_io.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/format/file_entry.h"

using namespace halberd::format;

namespace {
bool SameEntry(const FileEntry& a, const FileEntry& b) {
  return a.kind == b.kind && a.flags == b.flags && a.attributes == b.attributes && a.size == b.size &&
         a.time == b.time && a.msi_ui_level == b.msi_ui_level && a.name == b.name &&
         a.second_text == b.second_text && a.target_folder == b.target_folder && a.icon_path == b.icon_path &&
         a.arguments == b.arguments && a.start_in == b.start_in;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  while (!in.at_end()) {
    const size_t start = in.position();
    FileEntry entry;
    int code = ReadFileEntryHead(in, entry);
    if (code != corrupt::kNone) {
      if (code != corrupt::kEntryMagic && code != corrupt::kEntrySizeTable && code != corrupt::kEntryNegativeSize &&
          code != corrupt::kEntryTooLarge)
        std::abort();
      break;
    }
    if (in.position() <= start || entry.size < 0) std::abort();

    ByteWriter out;
    WriteFileEntryHead(entry, out);
    ByteReader again(out.bytes());
    FileEntry reread;
    if (ReadFileEntryHead(again, reread) != corrupt::kNone || !again.at_end() || !SameEntry(entry, reread))
      std::abort();

    // The contents follow; an entry whose contents run past the stream is a size mismatch.
    if (!in.Skip(size_t(entry.size))) break;
  }
  return 0;
}
