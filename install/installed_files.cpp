#include "install/installed_files.h"

namespace halberd::install {

InstalledFiles& RunFiles() {
  static InstalledFiles files;
  return files;
}

}  // namespace halberd::install
