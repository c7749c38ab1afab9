#include "integration/registry_entries.h"

namespace halberd::integration {

void WriteRegistryEntries() {}
void RemoveProductRegistry(std::u16string_view, bool) {}
void RemoveRegistry2Lines(const std::vector<std::string>&, bool) {}

}  // namespace halberd::integration
