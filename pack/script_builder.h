// The setup script the pack tool writes for a product described by its command-line options.
#pragma once
#include <string>

#include "foundation/format/byte_io.h"
#include "pack/pack_options.h"

namespace halberd::pack {

// Fails with the reason when the options cannot make a valid script.
bool BuildSetupScript(const PackOptions& options, format::Bytes& script, std::string& error);

}  // namespace halberd::pack
