// The installer's crash hook: a processor exception that nothing handled, or a C++ exception that
// escaped, is reported (crash/), appended to the failure text after "INSTALLER CRASHED!" with the
// log written at once, shown in the crash dialog unless the run asks no questions, and posted to
// the product's problem-report address when the user chooses "Inform Us" or the run is automatic
// or silent. The process then ends with the exception code (-1 for an escaped C++ exception).
#pragma once

namespace halberd::engine {

// Start-up step 8, with the fatal-error hook: registers the hook and installs the filter.
void InstallCrashHook();

}  // namespace halberd::engine
