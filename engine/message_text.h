// Language texts with placeholders: "%s" and "%d" are filled in, left to right, from the given
// values. The texts come from the installation data, so they are never handed to printf; a
// placeholder without a value becomes empty and a value without a placeholder is dropped.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

namespace halberd::engine {

// "%%" stands for one "%"; any other "%" is kept as it is.
std::u16string FillInText(std::u16string_view text, std::initializer_list<std::u16string_view> values);

}  // namespace halberd::engine
