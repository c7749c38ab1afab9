#include "integration/associations.h"

namespace halberd::integration {

void MakeAssociations() {}
void RemoveAssociations(const std::vector<uninstall::AssociationLine>&, std::u16string_view) {}

}  // namespace halberd::integration
