// The checks an installer makes of its own program file before it unpacks anything, run on an
// installer's bytes: the setup section and its header, the image CRC of integrity mode 1, and the
// bounds and CRC of the archive from where the installer reads it. The pack tool runs them on a
// signed installer, so that a signer that changed more than the signature is caught before the
// installer is written.
#pragma once
#include <string>

#include "foundation/format/byte_io.h"

namespace halberd::pack {

// Returns 0, or the corrupt code the installer would show with `failure` saying which check.
int CheckInstallerFile(const format::Bytes& file, bool archive_in_file, std::string& failure);

}  // namespace halberd::pack
