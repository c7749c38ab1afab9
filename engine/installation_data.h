// The installer's own installation data, read from the ".setup" section of its program file:
// locating and validating the section, unpacking the setup script, the integrity check of the
// program file, the uninstaller image, and unpacking the archive into the temporary extraction
// file. Every failed check ends the run through the corrupt-installer error.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/format/byte_io.h"
#include "foundation/format/pe_image.h"
#include "foundation/format/setup_data.h"

namespace halberd::engine {

struct InstallationData {
  std::wstring program_path;
  uint64_t program_size = 0;
  format::PeLayout layout;
  format::PeSection section;
  format::CertificateTable certificates;  // where a signature's table lies, if signed
  const uint8_t* mapped = nullptr;  // the section as the loader mapped it
  size_t mapped_size = 0;
  format::SetupHeader header;
  format::Bytes image;              // the program file before the section
  format::Bytes uninstaller_image;  // empty: the uninstaller copy is the whole program file
};

// Phase 1: opens the program file, finds the section, reads and checks the header and the
// file-size table. Without a section the "no installation data" message ends the run (-1).
InstallationData& OpenInstallationData();
InstallationData& Installation();

// Phase 2: unscrambles or deciphers the script block and unpacks it (47).
format::Bytes UnpackSetupScript(const InstallationData& data);
// After the first script items: the unpacked script must match the script key (25).
void CheckSetupScriptCrc(const InstallationData& data, const format::Bytes& script);

// Phase 4: integrity of the program file (mode 1 CRC, mode 2 signature) and the uninstaller image.
void CheckProgramIntegrity(InstallationData& data, int integrity_mode);
void PrepareUninstallerImage(InstallationData& data);
uint64_t UninstallerImageSize(const InstallationData& data);

// Unpacks the archive (source 0: the mapped section, else the program file) into a new temporary
// extraction file, registered at once for deletion at restart; progress moves from 28 to 59.
// Returns the extraction file's path; the file is deleted by the exit routine at the latest.
std::wstring UnpackArchive(const InstallationData& data, int archive_source, bool xz_chunks);

// Disk space needed on the drive of `target_folder`.
uint64_t DiskSpaceNeededFor(const InstallationData& data, const std::wstring& target_folder, uint64_t extra_space);

}  // namespace halberd::engine
