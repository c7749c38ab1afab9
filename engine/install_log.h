// The install log: the text file "Install.log" in the uninstall folder, kept across runs. Each
// run appends one record: a separator (or, in a new file, the UTF-8 byte-order mark), a header
// that names the product, the date and the system, the run's running log and, last, either the
// failure summary or the success text.
//
// The pieces that need no system calls live here so that they are proven natively; writing the
// file and the outcome messages are in install_log_win32.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace halberd::engine {

inline constexpr char16_t kInstallLogName[] = u"Install.log";

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Put between the records of two runs: a blank line and 46 asterisks.
inline constexpr std::string_view kRecordSeparator =
    "\r\n\r\n**********************************************\r\n";
inline constexpr std::string_view kFailureSummaryLine = "*** FAILURE SUMMARY ***\r\n";

// "Install.log" in the uninstall folder: `uninstall_subdir` joined with the name, taken relative
// to the installation folder (a full `uninstall_subdir` stays as it is).
std::u16string InstallLogPath(std::u16string_view install_folder, std::u16string_view uninstall_subdir);

// A local date and time of day.
struct LogClock {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "yyyy/mm/dd HH:ii:ss": a four-digit year, two digits for the rest.
std::string FormatInstallDate(const LogClock& time);
// "yyyy/MM/dd", as the system's date formatting writes that picture; "" when `month` is 0 (no
// build date).
std::u16string FormatBuildDate(int year, int month, int day);

// What the header says. Texts are wide; the header itself is UTF-8.
struct InstallLogHeader {
  std::u16string display_name;
  LogClock install_date;
  bool with_install_type = false;  // only products with an uninstaller name their install type
  std::u16string install_type;     // "New", "Reinstall", "Upgrade", "Downgrade"
  std::u16string install_location;
  std::string installer_version;
  int build_month = 0;             // 0: the installer has no build date
  std::u16string build_date;       // the build date as formatted for the log
  std::u16string product_version;
  std::u16string overwriting_version;
  std::string operating_system;
};

// The header lines in their order, each ended by "\r\n", the last by "\r\n\r\n". The install
// type, the build date, the product version and the overwriting version have a line only when
// there is something to say.
std::string FormatInstallLogHeader(const InstallLogHeader& header);

// What goes at the end of the file before the header: the byte-order mark into an empty file,
// the separator after an earlier record.
std::string_view RecordStart(int64_t existing_size);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsWellFormedUtf8(std::string_view text);

// The content an existing install log must be given before a record is appended, or nullopt
// when it can stay as it is. A file that begins with the byte-order mark stays. A file that is
// well-formed UTF-8 without the mark only gets the mark (converting it again would garble every
// character beyond ASCII). Anything else is a log of an earlier, 8-bit version: `legacy_to_utf8`
// converts it from the system code page, and the result carries the mark.
std::optional<std::string> Utf8LogContent(std::string_view content,
                                          const std::function<std::string(std::string_view)>& legacy_to_utf8);

// The record's end: "\r\n", then the failure summary line and the failure text when the run had
// failures, else `success_text` (text 43) and "\r\n". Both texts are UTF-8.
std::string RecordEnd(std::string_view failure_text, std::string_view success_text);

// What the user is told at the end of a run.
enum class Outcome {
  kNothing,          // automatic runs, or a product that asks for no completion message
  kSuccessMessage,   // text 42 with caption text 43
  kSummaryPage,      // the summary page with its choices
  kFailureQuestion,  // text 40: view the log?
};
// `product_flags` is updated: without bit 6 no log is kept to be offered, so bit 57 is cleared.
// `summary_has_choices`: the script names a program to launch or a document to open.
Outcome DecideOutcome(bool failures, bool automatic, bool restart_required, bool summary_has_choices,
                      uint64_t& product_flags);

enum class RestartDecision { kNone, kAgreed, kAsk };
RestartDecision DecideRestart(bool restart_required, bool automatic, uint64_t product_flags);

// Text 40 with the log path in place of its first "%s" (the text is the publisher's: nothing else
// in it is taken as a format).
std::u16string FillInLogPath(std::u16string_view text, std::u16string_view log_path);

// Windows only (install_log_win32.cpp).
// The end of the run: the "Launch on exit" line (with `show_outcome`, at the end of an install
// run), the problem report when anything failed, the outcome message, Install.log when the
// product always keeps one or anything failed, and the closing of the running log. Any failure
// while writing Install.log is ignored.
void WriteLogAndOutcome(bool show_outcome);
// The restart question after the log: agreed without asking in automatic runs unless the product
// asks even then. The answer is kept in the run state.
bool AskRestart();
// Opens the install log with the program registered for it, else with Notepad.
void OpenInstallLog(const std::u16string& path);

}  // namespace halberd::engine
