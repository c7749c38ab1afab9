// The crash hook's work: report, record, dialog, post.
#include "crash/crash_reporter_win32.h"

#include <windows.h>

#include "crash/crash_filter_win32.h"
#include "crash/exception_dialog_win32.h"

namespace halberd::crash {

bool HandleCrash(const CrashRecord& record, const CrashHandling& handling) {
  const std::string report = BuildCrashReport(record);
  if (handling.record) handling.record(report);
  const bool can_send = kSupportMailbox[0] != '\0' && !handling.endpoint.empty() && handling.post;
  ReportPost post{kSupportMailbox, report, {}, {}, handling.file_name};
  if (handling.interactive) {
    ExceptionDialogAnswer answer = ShowExceptionDialog(report, can_send);
    if (!answer.inform) return false;
    post.email = answer.email;
    post.comments = answer.comments;
  }
  if (!can_send) return false;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  handling.post(handling.endpoint, ReportPostFields(post));
  SetCursor(previous ? previous : LoadCursorW(nullptr, IDC_ARROW));
  return true;
}

std::string ProgramFileName() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  int size = WideCharToMultiByte(1252, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(1252, 0, name, -1, out.data(), size, nullptr, nullptr);
  out.resize(size_t(size - 1));
  return out;
}

}  // namespace halberd::crash
