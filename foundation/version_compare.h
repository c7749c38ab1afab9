// Version texts ("2.10.3"): the split into parts and the comparison part by part as numbers.
#pragma once
#include <string_view>
#include <vector>

namespace halberd {

// The parts of a version text: cut at every "."; empty parts ("1..5", a leading or trailing dot)
// are dropped, so "1..5" has the parts "1" and "5".
std::vector<std::string_view> SplitVersion(std::string_view version);
std::vector<std::u16string_view> SplitVersion(std::u16string_view version);

// Compares two version texts part by part (the parts of SplitVersion); a part counts as the number
// its leading digits make (none: 0) and a missing part as 0, so "1.0" equals "1" and "1..5" equals
// "1.5". Negative, zero or positive.
int CompareVersions(std::string_view a, std::string_view b);
int CompareVersions(std::u16string_view a, std::u16string_view b);

}  // namespace halberd
