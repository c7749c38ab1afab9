#include "integration/path_entry.h"

namespace halberd::integration {

void UpdatePath(PathChange, const std::wstring&, std::u16string_view) {}

}  // namespace halberd::integration
