// The batch runner: writes a batch as "SETUPBAT.BAT" (batch_file.h) into the installation folder
// (the temporary folder while that does not exist), runs it with the command interpreter, hidden
// when asked, waits for it with the windows kept responsive, optionally copies its output into the
// running log, and deletes the file again. Windows only (batch_runner_win32.cpp).
//
// A batch that cannot be written or started is reported (failure text, running log, an error box
// outside automatic mode); the run goes on either way.
#pragma once
#include <string_view>

namespace halberd::variables {

// Runs one batch (8-bit text in code page 1252). An empty or blank batch succeeds at once. With a
// caption, the log receives a "Running <caption>..." line and the batch's output. Returns whether
// the interpreter was started.
bool RunBatch(std::string_view text, bool hidden, std::wstring_view caption);

// The batches of the install run, each with its own hidden and output-logging flags:
// the Pre-Installation batch (with the /b1: commands), then the Upgrade and the Reinstall batch
// when they apply.
void RunBatchesBeforeInstallation();
// The Post-Installation batch (with the /b2: commands).
void RunPostInstallationBatch();
// The Installation-Exit batch (with the /b3: commands); its output is never logged.
void RunInstallationExitBatch();

}  // namespace halberd::variables
