#include "pack/script_builder.h"

#include "foundation/format/setup_script.h"
#include "foundation/text_convert.h"

namespace halberd::pack {

bool BuildSetupScript(const PackOptions& o, format::Bytes& bytes, std::string& error) {
  format::SetupScript script = format::MinimalSetupScript(Utf8ToUtf16(o.display_name));
  script.DisplayVersion = Utf8ToUtf16(o.version);
  script.Publisher = Utf8ToUtf16(o.publisher);
  script.default_install_folder = Utf8ToUtf16(o.install_folder);
  if (o.compress) script.ProductFlags |= format::kFlagXzChunks;
  else script.ProductFlags &= ~format::kFlagXzChunks;
  script.settings.integrity_mode = int32_t(o.integrity);
  script.archive_source = uint8_t(o.archive_source);
  format::ByteWriter w;
  if (!format::WriteSetupScript(script, w, &error)) return false;
  bytes = std::move(w.bytes());
  return true;
}

}  // namespace halberd::pack
