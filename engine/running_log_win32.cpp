#include "engine/running_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "engine/exit_routine.h"
#include "engine/language_texts.h"
#include "engine/run_state.h"
#include "foundation/format/text_numbers.h"
#include "foundation/system_error_text.h"

namespace halberd::engine {

namespace {
struct RunningLog {
  CRITICAL_SECTION lock;
  FileW file;
  bool started = false;
  std::string pending;  // lines written while no file is open
  RunningLog() { InitializeCriticalSection(&lock); }
};

RunningLog& TheLog() {
  static RunningLog* log = new RunningLog;  // never destroyed: the exit routine may log late
  return *log;
}

class Locked {
 public:
  explicit Locked(RunningLog& log) : log_(log) { EnterCriticalSection(&log_.lock); }
  ~Locked() { LeaveCriticalSection(&log_.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  RunningLog& log_;
};

std::wstring& Failures() {
  static std::wstring text;
  return text;
}

void Append(std::string_view utf8) {
  if (utf8.empty()) return;
  RunningLog& log = TheLog();
  Locked locked(log);
  if (log.file.IsOpen()) {
    // A write that fails loses only this line; the run does not depend on its log.
    log.file.Write(utf8);
  } else {
    log.pending.append(utf8);
  }
}

// Format into a growing buffer; MinGW's msvcrt functions give -1 when the buffer is too small.
template <typename Char, typename Formatter>
std::basic_string<Char> FormatV(Formatter format_into, const Char* format, va_list args) {
  std::vector<Char> buffer(512);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = format_into(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0 && size_t(n) < buffer.size()) return std::basic_string<Char>(buffer.data(), size_t(n));
    if (buffer.size() >= (size_t(1) << 24)) return std::basic_string<Char>(buffer.data(), buffer.size() - 1);
    buffer.resize(n > 0 ? size_t(n) + 1 : buffer.size() * 2);
  }
}
}  // namespace

bool StartRunningLog() {
  RunningLog& log = TheLog();
  {
    Locked locked(log);
    if (log.started) return log.file.IsOpen();
    log.started = true;
    if (log.file.Open(std::wstring_view(), kPathNewTempFile | kShareRead) != 0) return false;
    if (!log.pending.empty() && log.file.Write(log.pending)) log.pending.clear();
  }
  AtExitRun([] { CloseRunningLog(); });
  return true;
}

void LogWide(std::wstring_view text) { Append(WideToUtf8(std::wstring(text))); }
void Log1252(std::string_view text) { Append(WideToUtf8(CodePageToWide(std::string(text), 1252))); }
void LogUtf8(std::string_view text) { Append(text); }

void LogFormatA(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV<char>(
      [](char* b, size_t n, const char* f, va_list a) { return _vsnprintf(b, n, f, a); }, format, args);
  va_end(args);
  Log1252(text);
}

void LogFormatW(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatV<wchar_t>(
      [](wchar_t* b, size_t n, const wchar_t* f, va_list a) { return _vsnwprintf(b, n, f, a); }, format, args);
  va_end(args);
  LogWide(text);
}

bool CopyRunningLog(FileW& out) {
  RunningLog& log = TheLog();
  Locked locked(log);
  if (!log.file.IsOpen()) return out.Write(log.pending);
  int64_t end = log.file.Position();
  if (end < 0 || !log.file.Seek(0)) return false;
  bool ok = true;
  char block[4096];
  for (int64_t done = 0; ok && done < end;) {
    int64_t got = log.file.ReadSome(block, std::min<int64_t>(sizeof block, end - done));
    if (got <= 0) break;
    ok = out.Write(block, got);
    done += got;
  }
  log.file.Seek(end);
  return ok;
}

std::string RunningLogText() {
  RunningLog& log = TheLog();
  Locked locked(log);
  if (!log.file.IsOpen()) return log.pending;
  std::string text;
  int64_t end = log.file.Position();
  if (end >= 0 && log.file.Seek(0)) {
    text.resize(size_t(end));
    if (end > 0 && !log.file.ReadExact(text.data(), end)) text.clear();
    log.file.Seek(end);
  }
  return text;
}

void CloseRunningLog() {
  RunningLog& log = TheLog();
  Locked locked(log);
  if (log.file.IsOpen()) log.file.CloseAndDelete(kDeleteAtRestartOnFailure);
}

void AppendFailureText(std::wstring_view text) { Failures().append(text); }
const std::wstring& FailureText() { return Failures(); }

std::wstring FailedItemText(std::wstring_view item, DWORD error) {
  std::wstring text = LanguageText(text::kNotInstalled) + L" " + std::wstring(item) + L"\r\n";
  if (error != 0) text += L"Code " + std::to_wstring(error) + L": " + SystemErrorText(error) + L"\r\n\r\n";
  return text;
}

void LogFailedItem(std::wstring_view item, DWORD error) { LogWide(FailedItemText(item, error)); }

void FailItem(std::wstring_view item, DWORD error) {
  AppendFailureText(FailedItemText(item, error));
  if (error == ERROR_DISK_FULL) {
    Run().disk_full = true;
    RemoveFile(std::wstring(item), kDeleteMissingIsSuccess);
  }
}

}  // namespace halberd::engine
