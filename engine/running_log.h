// The run's running log and failure text.
//
// The running log is a UTF-8 temporary file, created when the installation starts and closed and
// deleted by the exit routine; the install log copies it in at the end of the run. Lines written
// before it exists are kept in memory and go into the file when it is created, so nothing logged
// early (a corrupt installer, the platform checks) is lost.
//
// The failure text is wide text in memory: complete messages, each ending with its own line
// breaks. A non-empty failure text means the run had failures.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "foundation/tl_file.h"

namespace halberd::engine {

// Creates the temporary file (once; later calls do nothing) and registers its removal at exit.
// Returns false when no file could be made: the lines then stay in memory.
bool StartRunningLog();

// The logging operations: each appends to the running log, converted to UTF-8.
void LogWide(std::wstring_view text);
void Log1252(std::string_view text);   // 8-bit text in code page 1252
void LogUtf8(std::string_view text);   // already UTF-8
void LogFormatA(const char* format, ...);     // printf-style, 8-bit (code page 1252) arguments
void LogFormatW(const wchar_t* format, ...);  // printf-style, wide; "%s" takes wide text

// Copies the whole running log to `out` in blocks of 4096 bytes (what has been written so far).
bool CopyRunningLog(FileW& out);
// The running log's text (tests and the problem report of an early failure read it).
std::string RunningLogText();
// Closes and deletes the running log file; later lines are kept in memory again.
void CloseRunningLog();

void AppendFailureText(std::wstring_view text);
const std::wstring& FailureText();

// Failed-item reports: "<text 31> <item>\r\n", then, when `error` is not 0,
// "Code <error>: <system message>\r\n\r\n".
// LogFailedItem writes them to the running log only. FailItem appends them to the failure text;
// when `error` is the disk-full error (112) it also sets the run's disk-full flag and deletes
// `item`'s file (the partial file the failed write left behind).
void LogFailedItem(std::wstring_view item, DWORD error);
void FailItem(std::wstring_view item, DWORD error);
// The lines of a failed-item report (shared by both forms).
std::wstring FailedItemText(std::wstring_view item, DWORD error);

}  // namespace halberd::engine
