// Assembles an installer: the installation data (header, file-size table, script block, archive)
// appended to a copy of the stub as a new ".setup" section, with the image CRC and the PE
// checksum set. The output is written to a temporary file beside it and renamed into place, so a
// failed pack never leaves a half-written installer.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/format/byte_io.h"

namespace halberd::pack {

struct InstallationData {
  uint32_t flags2 = 0;                 // ProductFlags2 (bit 12 is set here when a key is given)
  format::Bytes script;                // unpacked setup script
  std::vector<int32_t> file_sizes;
  format::Bytes archive;               // stored chunks
  std::vector<uint8_t> cipher_key;     // empty, or 56 bytes
  bool archive_in_file = false;        // archive source 1: mapped size stops before the archive
  uint32_t xz_preset = 6;
};

// The section's bytes; `archive_offset` receives where the archive starts in them.
bool BuildSectionData(const InstallationData& data, format::Bytes& section, size_t& archive_offset,
                      std::string& error);

// Stub + section -> installer bytes, with the image CRC written into the section header.
bool BuildInstaller(const format::Bytes& stub, const InstallationData& data, format::Bytes& installer,
                    std::string& error);

// Writes `bytes` to `path` through a temporary file in the same folder and a rename. `finish`, when
// given, runs on the complete temporary file before the rename (the signing step); when it fails,
// the temporary file is removed and `path` is left as it was.
using FinishStep = std::function<bool(const std::filesystem::path& temp, std::string& error)>;
bool WriteFileAtomically(const std::string& path, const format::Bytes& bytes, std::string& error,
                         const FinishStep& finish = nullptr);

bool ReadWholeFile(const std::string& path, format::Bytes& bytes, std::string& error);

}  // namespace halberd::pack
