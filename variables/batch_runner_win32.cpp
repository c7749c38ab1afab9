// Running a batch: the batch folder, "SETUPBAT.BAT" and the "hs_batch.log" capture file, the
// command interpreter, the wait with the windows kept responsive, the output copied into the
// running log, and the clean-up.
#include <windows.h>

#include <string>

#include "engine/messages.h"
#include "foundation/format/product_flags.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/message_pump.h"
#include "foundation/path_rules.h"
#include "foundation/restart_moves.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "variables/batch_file.h"
#include "variables/batch_runner.h"
#include "variables/path_variables.h"

namespace halberd::variables {

namespace {


// How often the wait looks at the interpreter and at the window messages.
constexpr DWORD kWaitSliceMs = 75;

std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string U16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

bool Automatic() { return engine::Run().automatic || engine::Run().silent; }

// A failure the user is told about: an error box outside automatic mode, then the failure text and
// the running log.
void ReportBatchFailure(const std::wstring& message) {
  if (!Automatic()) engine::ShowMessage(message, L"Error", MB_OK | MB_ICONERROR);
  engine::AppendFailureText(message + L"\r\n");
  engine::LogWide(message + L"\r\n");
}

// The interpreter: %comspec% when the environment names one, else the system's own.
std::wstring CommandInterpreter() {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = ExpandEnvironmentStringsW(L"%comspec%", buffer, DWORD(std::size(buffer)));
  if (n > 1 && n <= std::size(buffer)) {
    std::wstring value(buffer, n - 1);
    if (!value.empty() && lstrcmpiW(value.c_str(), L"%comspec%") != 0) return value;
  }
  if (!RunningOsVersion().nt) return W(JoinPath(U16(WindowsFolder()), u"command.com"));
  return W(JoinPath(U16(SystemFolder()), u"cmd.exe"));
}

// One path of the command: its short form, in quotes when even that holds a space (a volume
// without short names), so that the interpreter still sees one path.
std::wstring CommandPath(const std::wstring& path) {
  std::wstring s = ShortPathOf(path);
  return NeedsInterpreterQuotes(std::u16string(s.begin(), s.end())) ? L"\"" + s + L"\"" : s;
}

void WaitResponsive(HANDLE process) {
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, kWaitSliceMs, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return;
    PumpPendingMessages();
  }
}

// The capture file's text without trailing blanks and line breaks, into the running log.
void CopyCapturedOutput(const std::wstring& capture_path, bool utf8) {
  FileW capture;
  if (capture.Open(capture_path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite) != file_error::kSuccess)
    return;
  std::string output;
  if (!capture.ReadAll(output)) return;
  while (!output.empty() && (output.back() == ' ' || output.back() == '\t' || output.back() == '\r' ||
                             output.back() == '\n'))
    output.pop_back();
  if (output.empty()) return;
  if (utf8) engine::LogUtf8(output);
  else engine::Log1252(output);
  engine::LogUtf8("\r\n\r\n");
}

BatchFileText RunBatchFileText(std::string_view text, bool drop_pause) {
  const PathVariableInputs inputs = CurrentPathVariableInputs();
  const OsVersion& os = RunningOsVersion();
  BatchFileInputs in;
  in.batch = std::string(text);
  in.environment = BatchEnvironmentText([&inputs](PathVariable v) { return PathVariableValue(v, inputs); },
                                        engine::Run().uninstall);
  in.drop_pause = drop_pause;
  in.windows7_or_later = os.nt && (os.major > 6 || (os.major == 6 && os.minor >= 1));
  return BuildBatchFile(in);
}

}  // namespace

bool RunBatch(std::string_view text, bool hidden, std::wstring_view caption) {
  if (IsBlankBatch(text)) return true;
  hidden = hidden || engine::Run().silent;
  const bool capture_output = !caption.empty();
  if (capture_output) engine::LogWide(L"\r\nRunning " + std::wstring(caption) + L"...\r\n");

  const std::wstring interpreter = CommandInterpreter();
  if (!FileExists(interpreter)) {
    engine::LogWide(L"The CLI " + interpreter + L" does not exist!\r\n");
    return false;
  }

  const BatchFileText file = RunBatchFileText(text, Automatic() || hidden);
  const std::wstring& install_folder = engine::Run().install_folder;
  const std::wstring folder = FolderExists(install_folder) ? install_folder : TempFolder();
  const std::wstring batch_path = W(JoinPath(U16(folder), u"SETUPBAT.BAT"));
  {
    FileW out;
    const bool opened = out.Open(batch_path, kCreateAlways | kNoReadAccess) == file_error::kSuccess;
    if (!opened || !out.Write(file.bytes)) {
      ReportBatchFailure(L"Unable to create batch file \"" + batch_path + L"\".\r\n\r\n" +
                         CodePageToWide(out.LastErrorText(), CP_ACP));
      // A half-written file is not left behind; a file that could not be opened is not ours.
      if (opened) out.CloseAndDelete(kDeleteAtRestartOnFailure);
      return false;
    }
  }

  std::wstring command = CommandPath(batch_path);
  std::wstring capture_path;
  if (capture_output) {
    capture_path = W(JoinPath(U16(folder), u"hs_batch.log"));
    FileW capture;
    if (capture.Open(capture_path, kCreateAlways | kCloseAfterOpen) == file_error::kSuccess) {
      command += L" > " + CommandPath(capture_path);
    } else {
      engine::LogWide(L"Failed to create batch output capture file.  " +
                      CodePageToWide(capture.LastErrorText(), CP_ACP) + L"\r\n");
      capture_path.clear();
    }
  }
  // The interpreter takes off the first and the last double quote of a command that holds more
  // than two, so quoted paths get one more pair around the whole command.
  if (command.find_first_of(L" \"") != std::wstring::npos) command = L"\"" + command + L"\"";

  std::wstring command_line = L"\"" + interpreter + L"\" /c " + command;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessW(interpreter.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      folder.c_str(), &startup, &process) != 0;
  if (started) {
    UniqueKernelHandle process_handle(process.hProcess);
    UniqueKernelHandle thread_handle(process.hThread);
    WaitResponsive(process_handle.get());
    if (!capture_path.empty()) CopyCapturedOutput(capture_path, file.utf8);
  } else {
    const DWORD error = GetLastError();
    ReportBatchFailure(L"Unable to launch batch file \"" + batch_path + L"\".\r\n" + SystemErrorText(error) +
                       L"\r\nCommand-line: " + command_line);
  }

  if (!capture_path.empty()) RemoveFile(capture_path, kDeleteAtRestartOnFailure);
  RemoveFile(batch_path, kDeleteAtRestartOnFailure);
  return started;
}

void RunBatchesBeforeInstallation() {
  const engine::RunState& run = engine::Run();
  const format::Batches& batches = engine::Script().batches;
  auto caption_if = [&run](uint32_t log_flag, std::wstring_view caption) {
    return (run.ProductFlags2 & log_flag) ? caption : std::wstring_view();
  };

  RunBatch(AppendBatchCommands(batches.pre_install, run.extra_batch[0]), run.ProductFlags & format::kFlagHidePreInstallBatch,
           caption_if(format::kFlags2LogPreInstallBatch, L"Pre-Installation Batch"));

  const bool earlier_folder_exists = run.install_type != L"New" && !run.earlier_install_location.empty() &&
                                     FolderExists(run.earlier_install_location);
  const BatchesBeforeInstallation which =
      SelectBatchesBeforeInstallation(ExistingFromInstallType(U16(run.install_type)), earlier_folder_exists,
                                      run.ProductFlags2 & format::kFlags2ReinstallSameVersionOnly);
  if (which.upgrade)
    RunBatch(batches.upgrade, run.ProductFlags & format::kFlagHideUpgradeBatch, caption_if(format::kFlags2LogUpgradeBatch, L"Upgrade Batch"));
  if (which.reinstall)
    RunBatch(batches.reinstall, run.ProductFlags & format::kFlagHideReinstallBatch,
             caption_if(format::kFlags2LogReinstallBatch, L"Reinstall Batch"));
}

void RunPostInstallationBatch() {
  const engine::RunState& run = engine::Run();
  RunBatch(AppendBatchCommands(engine::Script().batches.post_install, run.extra_batch[1]),
           run.ProductFlags & format::kFlagHidePostInstallBatch,
           (run.ProductFlags2 & format::kFlags2LogPostInstallBatch) ? L"Post-Installation Batch" : L"");
}

void RunInstallationExitBatch() {
  const engine::RunState& run = engine::Run();
  RunBatch(AppendBatchCommands(engine::Script().batches.install_exit, run.extra_batch[2]),
           run.ProductFlags & format::kFlagHideInstallExitBatch, L"");
}

}  // namespace halberd::variables
