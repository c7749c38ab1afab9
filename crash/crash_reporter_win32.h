// What a crash hook does with a crash record, shared by the installer and any program linking the
// crash module: build the report, let the program record it, show the crash dialog (interactive
// runs) and post the report when the user chooses "Inform Us" or, in a run without questions,
// always.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "crash/crash_report.h"

namespace halberd::crash {

using FormFields = std::vector<std::pair<std::string, std::string>>;

struct CrashHandling {
  bool interactive = true;  // false: no dialog, the report is posted at once
  std::string endpoint;     // where reports are posted; "" posts none
  std::string file_name;    // the executable's file name, for the subject
  // The program's record of the report (the installer: its failure text and log).
  std::function<void(const std::string& report)> record;
  // Posts the fields as a multipart form to the address; its result is not looked at.
  std::function<void(const std::string& url, const FormFields& fields)> post;
};

// Returns whether the report was sent.
bool HandleCrash(const CrashRecord& record, const CrashHandling& handling);

// The file name of the running program, code page 1252.
std::string ProgramFileName();

}  // namespace halberd::crash
