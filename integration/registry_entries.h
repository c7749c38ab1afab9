// The product's registry entries: its own key below Software, the setup script's registry
// section, the merge file and App Paths, written by the install run; the product key and the
// [Registry2] lines are undone by the uninstaller.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace halberd::integration {

// Windows only. The install run's step.
void WriteRegistryEntries();
// Windows only. Deletes the product key below HKLM\Software and below Software in every user's
// hive, then its empty parents within `product_registry` (never Software itself).
void RemoveProductRegistry(std::u16string_view product_registry, bool view64);
// Windows only. Undoes the [Registry2] lines (UTF-8, comma-separated, quoted).
void RemoveRegistry2Lines(const std::vector<std::string>& lines, bool view64);

}  // namespace halberd::integration
