// SOURCE_DATE_EPOCH, the reproducible-builds convention: when it is set, the pack tool records no
// time later than it (file times are clamped to it, "today" is its day), so that the same sources
// give the same installer whenever and wherever they are packed.
#pragma once
#include <cstdint>
#include <optional>

namespace halberd::pack {

// The epoch in seconds since 1970 when it is set; `valid` is false when it is set to something
// other than a number of seconds.
std::optional<int64_t> SourceDateEpoch(bool* valid = nullptr);

}  // namespace halberd::pack
