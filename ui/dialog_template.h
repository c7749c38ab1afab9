// Rebuilding a page template with the look's font: an extended dialog template (DLGTEMPLATEEX)
// that carries a font gets the dialog face and the zoomed point size; its controls are copied
// unchanged, their DWORD alignment kept. Portable: the template is bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halberd::ui {

// The rebuilt template, or nothing when `bytes` is not an extended template with a font (the
// caller then uses it unchanged) or is cut short. An empty `face` keeps the template's own.
std::optional<std::string> WithDialogFont(std::string_view bytes, std::u16string_view face, int point_size);

}  // namespace halberd::ui
