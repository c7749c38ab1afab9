#include "integration/shortcuts.h"

namespace halberd::integration {

void CreateShortcuts() {}
void UnpinFromTaskbar(const std::wstring&) {}

}  // namespace halberd::integration
