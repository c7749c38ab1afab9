// Version texts ("2.10.3") compared part by part as numbers: negative, zero or positive.
#pragma once
#include <string_view>

namespace halberd {
int CompareVersions(std::string_view a, std::string_view b);
}
