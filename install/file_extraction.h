// File extraction: the preparation before the files (folders, batches, the extraction file) and
// the loop over the file entries of the extraction stream, each placed, compared, written,
// listed and recorded for removal. Windows only (file_extraction_win32.cpp).
#pragma once
#include <string>

#include "engine/installation_data.h"

namespace halberd::install {

// Preparation steps up to the batches before installation: status text 113 at 1 percent, the
// uninstall and shared-files folders, the batches, status text 8.
void PrepareFileExtraction();

// The loop over every entry of the extraction file at `extraction_path`, progress 59 to 90; then
// the extraction file is closed and deleted and the files just written are taken out of pending
// restart operations. A corrupt entry ends the run (exit 2).
void ExtractFiles(const engine::InstallationData& data, const std::wstring& extraction_path);

}  // namespace halberd::install
