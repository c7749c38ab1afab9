// The attributes a file is created with when it replaces whatever is at its target. Windows
// refuses to replace a hidden or system file ("create always") with a create whose attributes
// lack those bits: access denied, as if the file were locked. The create therefore carries the
// existing file's hidden and system bits; the entry's own attributes are applied after the write.
// Portable: the caller reads the existing attributes.
#pragma once
#include <cstdint>

namespace halberd::install {

// Attribute bits as the file system reports them.
inline constexpr uint32_t kAttributeHidden = 0x2;
inline constexpr uint32_t kAttributeSystem = 0x4;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;
// What the file system reports when nothing is at the path.
inline constexpr uint32_t kNoFileAttributes = 0xFFFFFFFF;

// The attributes of the create over a target whose attributes are `existing`
// (kNoFileAttributes: no file there): its hidden and system bits, or normal when it has neither.
uint32_t CreateAttributesOver(uint32_t existing);

}  // namespace halberd::install
