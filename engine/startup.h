// Process start-up: DLL search hardening, the start-up steps, the command line, and the branch
// into the install run or the uninstall run.
#pragma once

namespace halberd::engine {

// Restricts DLL loading to the system folder (SetDefaultDllDirectories where the system has it)
// and takes the current folder out of the search. First call of the process.
void HardenDllSearch();

// The whole process after hardening; returns only through the exit routine in practice.
int RunProcess();

}  // namespace halberd::engine
