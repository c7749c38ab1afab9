// Writing Install.log at the end of the run, the outcome messages and the restart question.
#include <windows.h>
#include <shellapi.h>

#include "engine/wizard.h"
#include "engine/install_log.h"
#include "foundation/format/text_numbers.h"
#include "foundation/format/product_flags.h"
#include "engine/language_texts.h"
#include "engine/messages.h"
#include "engine/notifications.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/path_rules.h"
#include "foundation/program_command.h"
#include "foundation/program_start.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/windows_version.h"

namespace halberd::engine {

namespace {
std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

LogClock LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// The build date through the system's date formatting; a date the system refuses (a script may
// carry day 0 or month 13) is written with the same picture by hand.
std::u16string BuildDateText(const format::BuildDate& date) {
  if (date.month == 0) return {};
  SYSTEMTIME time = {};
  time.wYear = date.year;
  time.wMonth = date.month;
  time.wDay = date.day;
  wchar_t buffer[64];
  if (date.month <= 12 && GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, L"yyyy/MM/dd", buffer, 64) > 0)
    return ToU16(buffer);
  return FormatBuildDate(date.year, date.month, date.day);
}

InstallLogHeader HeaderOfThisRun() {
  const RunState& run = Run();
  const ProductSettings& settings = Settings();
  InstallLogHeader h;
  h.display_name = settings.DisplayName;
  h.install_date = LocalNow();
  h.with_install_type = (run.ProductFlags & format::kFlagUninstaller) != 0;  // the log names the install type
  h.install_type = ToU16(run.install_type);
  h.install_location = ToU16(run.install_folder);
  h.installer_version = kInstallerVersion;
  h.build_month = Script().build_date.month;
  h.build_date = BuildDateText(Script().build_date);
  h.product_version = settings.DisplayVersion;
  h.overwriting_version = ToU16(run.overwriting_version);
  h.operating_system = WindowsName(RunningWindows());
  return h;
}

std::string LegacyToUtf8(std::string_view text) { return WideToUtf8(CodePageToWide(std::string(text), CP_ACP)); }

// An existing log of an earlier, 8-bit version is rewritten as UTF-8 with the byte-order mark.
// Returns false when the file could not be read or rewritten.
bool MakeUtf8(FileW& file) {
  int64_t size = file.Size();
  if (size <= 0) return size == 0;
  char head[3];
  if (size >= 3 && file.Seek(0) && file.ReadExact(head, 3) && std::string_view(head, 3) == kUtf8ByteOrderMark)
    return true;
  std::string content;
  if (!file.ReadAll(content)) return false;
  std::optional<std::string> utf8 = Utf8LogContent(content, LegacyToUtf8);
  if (!utf8) return true;
  // The new content is written over the old one; the end is cut where it ends.
  return file.Seek(0) && file.Write(*utf8) && SetEndOfFile(file.Handle());
}

void WriteInstallLog(const std::wstring& path) {
  FileW file;
  if (file.Open(path, kOpenOrCreate | kShareRead) != file_error::kSuccess) return;
  if (!MakeUtf8(file)) return;
  int64_t size = file.Size();
  if (size < 0 || !file.Seek(0, SeekOrigin::kEnd)) return;
  bool ok = file.Write(RecordStart(size)) && file.Write(FormatInstallLogHeader(HeaderOfThisRun())) &&
            CopyRunningLog(file) && file.Write(RecordEnd(WideToUtf8(FailureText()), WideToUtf8(LanguageText(text::kInstallCompleteCaption))));
  (void)ok;  // a log that could not be finished changes nothing about the run
  file.Close();
  // A plain file, so that the next run can append to it and the uninstaller can remove it.
  SetAttributes(path, 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

bool SummaryHasChoices() {
  const format::EndOfRunAddresses& a = Script().addresses;
  return !a.launch_program.empty() || !a.open_document.empty() || !a.open_document_2.empty();
}

// Returns whether the user asked to see the log.
bool ShowOutcome(const std::wstring& log_path) {
  RunState& run = Run();
  switch (DecideOutcome(!FailureText().empty(), run.automatic, run.restart_required(), SummaryHasChoices(),
                        run.ProductFlags)) {
    case Outcome::kNothing:
      return false;
    case Outcome::kSuccessMessage:
      ShowMessage(LanguageText(text::kInstallComplete), LanguageText(text::kInstallCompleteCaption), MB_OK | MB_ICONINFORMATION);
      return false;
    case Outcome::kSummaryPage:
      return RunSummaryPage();
    case Outcome::kFailureQuestion:
      return ShowMessage(ToWide(FillInLogPath(LanguageText16(text::kProblemsViewLog), ToU16(log_path))), LanguageText(text::kProblemsCaption),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  return false;
}
}  // namespace

void OpenInstallLog(const std::u16string& path) {
  std::wstring wide = ToWide(path);
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32 || (result != SE_ERR_NOASSOC && result != SE_ERR_ASSOCINCOMPLETE)) return;
  // Notepad from the system folder by its full path: a "notepad.exe" beside the installer is
  // never the one started.
  ProgramStart notepad = SystemProgramStart(ToU16(SystemFolder()), u"notepad.exe", path);
  StartProgram(ToWide(notepad.application), ToWide(notepad.command_line));
}

void WriteLogAndOutcome(bool show_outcome) {
  RunState& run = Run();
  if (show_outcome && !run.launch_after.empty()) LogWide(L"Launch on exit: " + run.launch_after + L"\r\n");
  // Before the installation folder is settled there is no place for the log (a relative name
  // would land in whatever the current folder happens to be).
  std::u16string folder = ToU16(run.install_folder);
  std::u16string path = IsFullPath(folder) ? InstallLogPath(folder, Settings().UninstallSubdir) : std::u16string();
  bool failures = !FailureText().empty();
  if (failures) QueueProblemReport();
  bool open_log = show_outcome && ShowOutcome(ToWide(path));
  if (!path.empty() && ((run.ProductFlags & format::kFlagAlwaysWriteLog) || failures)) WriteInstallLog(ToWide(path));
  CloseRunningLog();
  if (open_log && !run.silent && !path.empty()) OpenInstallLog(path);
}

bool AskRestart() {
  RunState& run = Run();
  switch (DecideRestart(run.restart_required(), run.automatic, run.ProductFlags)) {
    case RestartDecision::kNone:
      run.restart_agreed = false;
      break;
    case RestartDecision::kAgreed:
      run.restart_agreed = true;
      break;
    case RestartDecision::kAsk:
      // Buttons "OK" (agree) and text 49 (later).
      run.restart_agreed =
          ShowMessage(LanguageText(text::kRestartQuestion), LanguageText(text::kQuestionCaption), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
      break;
  }
  return run.restart_agreed;
}

}  // namespace halberd::engine
