#include "engine/restore_point.h"

namespace halberd::engine {

std::u16string RestorePointDescription(std::u16string_view display_name, std::u16string_view version) {
  constexpr size_t kMaxDescription = 255;  // the service's description field holds 256 with the end
  std::u16string text(display_name);
  if (!version.empty()) {
    text += u' ';
    text += version;
  }
  if (text.size() > kMaxDescription) text.resize(kMaxDescription);
  return text;
}

}  // namespace halberd::engine
