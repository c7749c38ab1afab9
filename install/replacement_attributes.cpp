#include "install/replacement_attributes.h"

namespace halberd::install {

uint32_t CreateAttributesOver(uint32_t existing) {
  // A folder is never replaced by the create (it fails); nothing there takes no bits either.
  if (existing == kNoFileAttributes || (existing & kAttributeDirectory)) return kAttributeNormal;
  uint32_t kept = existing & (kAttributeHidden | kAttributeSystem);
  return kept ? kept : kAttributeNormal;
}

}  // namespace halberd::install
