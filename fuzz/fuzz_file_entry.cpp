// Arbitrary bytes as an extraction stream: file entries read one after another as the file loop
// reads them, each placed with its target text and checked against the overwrite rules. No input
// may crash, read outside the bytes or make a target path from nothing; an entry that reads must
// write back to a head that reads as the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "foundation/date_time.h"
#include "foundation/format/byte_io.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/format/file_entry.h"
#include "install/overwrite_rules.h"
#include "install/target_path.h"

using namespace halberd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  install::TargetFolders folders;
  folders.install = u"C:\\Program Files\\App";
  folders.uninstall = u"C:\\Program Files\\App\\Uninstall";
  folders.shared = size % 2 ? u"" : u"C:\\Program Files\\Common Files\\Vendor";
  folders.fonts = u"C:\\Windows\\Fonts";
  folders.system = u"C:\\Windows\\System32";
  folders.portable_shared_subfolder = size % 3 == 0;
  const install::Expander expand = [](std::u16string& t) {
    if (t.starts_with(u"%InstallDir%")) t.replace(0, 12, u"C:\\Program Files\\App");
  };

  format::ByteReader in(data, size);
  while (!in.at_end()) {
    const size_t start = in.position();
    format::FileEntry e;
    const int code = format::ReadFileEntryHead(in, e);
    if (code != format::corrupt::kNone) {
      // A head that does not read ends in one of the entry's own corrupt codes.
      if (code != format::corrupt::kEntryMagic && code != format::corrupt::kEntrySizeTable &&
          code != format::corrupt::kEntryNegativeSize && code != format::corrupt::kEntryTooLarge)
        abort();
      break;
    }
    if (in.position() <= start || in.position() > size) abort();
    format::ByteWriter out;
    format::WriteFileEntryHead(e, out);
    format::ByteReader again(out.bytes().data(), out.bytes().size());
    format::FileEntry back;
    if (format::ReadFileEntryHead(again, back) != 0 || !again.at_end() || back.kind != e.kind || back.flags != e.flags ||
        back.attributes != e.attributes || back.size != e.size || back.time != e.time ||
        back.msi_ui_level != e.msi_ui_level || back.name != e.name || back.second_text != e.second_text ||
        back.target_folder != e.target_folder || back.icon_path != e.icon_path || back.arguments != e.arguments ||
        back.start_in != e.start_in)
      abort();
    std::u16string name(e.name.begin(), e.name.end());
    if (name.empty()) name = u"x";
    const install::TargetPath target =
        install::ResolveTargetPath(name, e.target_folder, e.kind, e.flags, folders, expand);
    if (target.corrupt == 0 && target.path.empty()) abort();
    const DateTime entry_time{e.time[0], e.time[1], e.time[2], e.time[3], e.time[4], e.time[5]};
    install::ExistingTarget existing;
    existing.exists = e.flags & 0x100;
    if (e.flags & 0x200) existing.time = DateTime{e.time[5], e.time[4], e.time[3], e.time[2], e.time[1], e.time[0]};
    if (e.flags & 0x400) existing.version = e.second_text.substr(0, e.second_text.size() / 2);
    const install::OverwriteDecision d = install::DecideOverwrite(e.overwrite_mode(), e.kind, e.flags & 0x20,
                                                                  e.flags & 0x800, entry_time, e.second_text, existing);
    if (d.compared && !existing.exists) abort();
    if (!in.Skip(size_t(e.size) <= in.remaining() ? size_t(e.size) : in.remaining())) abort();
  }
  return 0;
}
