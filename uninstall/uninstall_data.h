// The uninstall data: what an install run created and its uninstaller must undo, kept in memory
// while the run works and written at its end as "Uninstall.dat" in the uninstall folder. The
// uninstaller loads it, undoes what it lists and writes it again with what it could not undo.
//
// "Uninstall.dat" is 8-bit text with CR LF line ends and no byte-order mark: a body, then
// sections, each opened by a header line.
//
//   place                          field
//   ----------------------------   ---------------------------------------------------------------
//   body, one line per record      removal records in the order they were recorded
//     byte 0                       kind: "~" folder, "!" registry value, "^" registry key (default
//                                  view), "*" registry key (64-bit view); any other byte: a file
//                                  record, whose text starts at byte 0
//     byte 1 .. end of line        the text: file and folder paths in the uninstall text encoding;
//                                  registry value paths ("\HKLM\key\value") in UTF-8, never with
//                                  the bar; registry key paths in the system code page, or in the
//                                  uninstall text encoding when the code page cannot hold them
//   "[Strings]"                    always present; every header line follows two empty lines
//     "~" id                       a line of "~" and decimal digits alone: 33 ids
//                                  (kUninstallTextIds), then any further id read from a file,
//                                  then "~999" for the dialog caption; ids outside 1-1000 are
//                                  ignored on reading
//     text lines                   the text in UTF-8, up to the next id line or header; trailing
//                                  blank lines are not part of it. A text line that would read
//                                  as an id line or a header is written after a zero-width space
//   "[AutoClose]"                  one CSV line per program to close: window class, window title,
//                                  program name (UTF-8), close method (decimal: 0 close message,
//                                  1 quit message, 2 ask the user, 3 terminate the process)
//   "[Associations]"               extension~!~program id~!~verb~!~icon, one line per association
//                                  and verb; the icon in the uninstall text encoding
//   "[Firewall]"                   the firewall lines as processed: target;rule name;flags;keep mark
//   "[INF]"                        installed driver information files (uninstall text encoding)
//   "[MSI]"                        "package path" (uninstall text encoding, in double quotes),
//                                  comma, the package's option (decimal)
//   "[Registry2]"                  the setup script's registry section in UTF-8, line for line
//   "[ConditionalDelete]"          one CSV line per conditional deletion run at uninstall time:
//                                  pattern, comparison kind, comparison value, flags (decimal);
//                                  only entries with kDeleteAtUninstall are written and read
// The sections after [Strings] appear in this order, each only when it has lines.
//
// Uninstall text encoding: a text whose characters are all below 128 is written byte for byte;
// any other text is "|" followed by its UTF-8 form. A text without the bar is read in the system
// code page. An ASCII text that itself begins with "|" is written with the bar too, so that the
// bar is never lost on reading.
//
// CSV lines: a field that holds a comma, double quote, tab, CR, LF, semicolon or vertical bar, or
// that begins with a space, apostrophe or "#", or ends with a space, is enclosed in double quotes
// with its double quotes doubled; a line whose only field is empty is written as "".
//
// Reading: lines end at CR LF, a lone LF or a lone CR; each line is trimmed of spaces and tabs
// (and a [Strings] text line keeps its blanks); a trimmed line equal to a header switches to that
// section. Empty lines carry nothing outside [Strings] and are skipped. What the writer produces
// reads back as the same data: a line it could not give back unchanged (one holding a line
// break, an association field holding "~!~", a line that would read as a header) is left out,
// and RecordRemoval refuses such texts; the reader in turn drops an association line it could not
// write again. Reading never fails: any bytes give some data.
//
// Portable: the system code page is passed in (CodePage); the Windows part (writing and reading
// the file, the system's code page) is in uninstall_data_win32.cpp.
#pragma once
#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format/text_numbers.h"

namespace halberd::uninstall {

// Conversion to and from the system code page, given by the caller: Windows uses the system's
// ANSI code page; tests a stand-in. `encode` turns characters the code page lacks into "?".
struct CodePage {
  std::function<std::string(std::u16string_view)> encode;
  std::function<std::u16string(std::string_view)> decode;
};

// The text ids whose texts the uninstaller needs, written to [Strings] in this order; the dialog
// caption follows under kCaptionTextId.
inline constexpr std::array<int, 33> kUninstallTextIds = {
    text::kUninstallFailures,        // 10
    text::kUninstallCompleteCaption, // 15
    text::kQuestionCaption,          // 20
    text::kFolderNotAscii,           // 30
    text::kUninstallComplete,        // 34
    text::kSharedFileCaption,        // 35
    text::kCancel,                   // 49
    text::kUninstallConfirm,         // 53
    text::kUninstallCaption,         // 55
    text::kRemoveFontQuestion,       // 56
    text::kRemoveFontCaption,        // 57
    text::kNotRemoved,               // 58
    text::kRemoveSharedQuestion,     // 59
    text::kPageCaption,              // 65
    text::kStatusRemovingFonts,      // 67
    text::kStatusRemovingFiles,      // 68
    text::kStatusRemovingRegistry,   // 69
    text::kStatusRemovingAssociations,  // 70
    text::kUninstallProgressHeading, // 71
    text::kUninstallRestartQuestion, // 74
    text::kYes,                      // 79
    text::kNo,                       // 80
    text::kCloseProgram,             // 99
    text::kRetry,                    // 100
    text::kUninstallCancelled,       // 101
    text::kContinue,                 // 104
    text::kUninstallCloseProgram,    // 107
    text::kStatusRemovingPackages,   // 108
    text::kSupportOffer,             // 109
    text::kSupportButton,            // 110
    text::kCancelledCaption,         // 111
    text::kYesToAll,                 // 115
    text::kNoToAll,                  // 116
};
inline constexpr int kCaptionTextId = 999;
// Ids read from [Strings]: 1 to 1000; a text under any other id is ignored.
inline constexpr int kMinTextId = 1;
inline constexpr int kMaxTextId = 1000;

// Flag of a conditional deletion that runs at uninstall time; only those are written.
inline constexpr int kDeleteAtUninstall = 8;

enum class RemovalKind {
  kFile = 0,
  kFolder = 1,
  kRegistryValue = 2,
  kRegistryKey = 3,    // deleted in the default registry view
  kRegistryKey64 = 4,  // deleted in the 64-bit registry view
};

// A body record read back: its kind and its text decoded.
struct RemovalRecord {
  RemovalKind kind = RemovalKind::kFile;
  std::u16string text;
  bool operator==(const RemovalRecord&) const = default;
};

// [AutoClose]: a running program to close before removal.
struct CloseEntry {
  std::u16string window_class;  // "*" at the start: any class that contains the rest
  std::u16string window_title;
  std::u16string program_name;  // shown to the user
  int method = 0;               // 0 close message, 1 quit message, 2 ask the user, 3 terminate
  bool operator==(const CloseEntry&) const = default;
};

// [Associations]: one association and verb; 8-bit texts as stored (the extension and program id
// as the run used them, the icon in the uninstall text encoding).
struct AssociationLine {
  std::string extension;
  std::string program_id;
  std::string verb;
  std::string icon;
  bool operator==(const AssociationLine&) const = default;
};

// [ConditionalDelete]: a deletion rule of the setup script kept for uninstall time; the pattern
// and value are 8-bit texts as the script stores them ("|" marks UTF-8).
struct ConditionalDeletion {
  std::string pattern;
  int comparison_kind = 0;
  std::string comparison_value;
  int flags = 0;
  bool operator==(const ConditionalDeletion&) const = default;
};

class UninstallData {
 public:
  // Adds a body record for `text` unless it is refused; returns whether a line was added.
  //   kFile, kFolder    uninstall text encoding ("|" + UTF-8 when needed); a file path that
  //                     begins with a kind byte, "[", "|" or a blank takes the bar too, so it
  //                     reads back as a file
  //   kRegistryValue    plain UTF-8
  //   kRegistryKey(64)  the system code page; the uninstall text encoding when the code page
  //                     cannot hold the text (so a "?" never names another key)
  // Refused: a text of fewer than 4 bytes once converted (not counting the bar), so "C:\" is
  // never a record; a text holding CR, LF or NUL, or ending in a space or tab (the reader could
  // not give it back, and a changed text could name something the run did not create); a
  // folder already recorded, compared without regard to case or a trailing backslash.
  bool RecordRemoval(std::u16string_view text, RemovalKind kind, const CodePage& code_page);

  // The body lines (kind byte and text, without line end).
  const std::vector<std::string>& records() const { return records_; }
  // Empties the body and the set of recorded folders.
  void ClearRecords();

  // [Strings]: texts by id (1 to 1000, not 999); an id without a text reads as empty.
  std::map<int, std::u16string> texts;
  std::u16string caption;  // id 999
  // Sets the texts of kUninstallTextIds from `text_of` (the run's language) and nothing else.
  void TakeTexts(const std::function<std::u16string(int)>& text_of);

  std::vector<CloseEntry> close_list;
  std::vector<AssociationLine> associations;
  std::vector<std::string> firewall;   // lines as processed
  std::vector<std::string> drivers;    // [INF] lines
  std::vector<std::string> packages;   // [MSI] lines (PackageLine)
  std::string registry;                // [Registry2]: UTF-8 lines joined by CR LF
  std::vector<ConditionalDeletion> conditional_deletions;  // written when kDeleteAtUninstall is set

  // Same records and sections; the set of recorded folders is a recording aid, not compared.
  bool operator==(const UninstallData& other) const;

 private:
  friend UninstallData LoadUninstallData(std::string_view bytes);
  std::vector<std::string> records_;
  std::set<std::u16string> folders_;  // upper case, without trailing backslash
};

// The bytes of the whole file: the body, [Strings], then each further section that has lines.
std::string WriteUninstallData(const UninstallData& data);

// Reads the whole file. Never fails: lines that do not fit their section are ignored. The set of
// recorded folders starts empty (an uninstall run clears the records before it records again).
UninstallData LoadUninstallData(std::string_view bytes);

// The uninstall text encoding.
std::string EncodeUninstallText(std::u16string_view text);
std::u16string DecodeUninstallText(std::string_view stored, const CodePage& code_page);

// A body line's kind and decoded text.
RemovalRecord ReadRemovalRecord(std::string_view line, const CodePage& code_page);

// An [MSI] line for a package and its option, and the reverse (false for a line of another
// form). The path is in the uninstall text encoding; it may hold commas.
std::string PackageLine(std::u16string_view path, int option);
bool ReadPackageLine(std::string_view line, std::string& encoded_path, int& option);

// One CSV line of fields, and its fields back; exposed for the uninstaller's [Registry2] replay.
std::string JoinCsvLine(const std::vector<std::string>& fields);
std::vector<std::string> SplitCsvLine(std::string_view line);

// The file's name in the uninstall folder, and its path there.
inline constexpr char16_t kUninstallDataName[] = u"Uninstall.dat";
std::u16string UninstallDataPath(std::u16string_view uninstall_folder);

// Upper case of a text for comparisons without regard to case: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters, as Windows compares file names in those ranges.
std::u16string UpperCaseForCompare(std::u16string_view text);

// Windows only (uninstall_data_win32.cpp).
// The system's ANSI code page; characters it lacks become "?" (no best-fit look-alikes).
CodePage SystemCodePage();
// Writes the file at `path`: into a new temporary file beside it, then moved over it, so that a
// failed write (a full disk) leaves no partial file and keeps an earlier file as it was. In an
// elevated process the file is owned by the administrators and only they and SYSTEM may change
// it (users may read it): it drives deletions with an administrator's rights. Returns success;
// on failure the system's last error holds the reason (never 0).
bool WriteUninstallDataFile(const UninstallData& data, const std::wstring& path);
// Whether the process runs with an administrator's full token.
bool ProcessIsElevated();
// Whether an ordinary user owns the file at `path` or may change it (OrdinaryUserMayChange of
// delete_safety.h over the file's owner and access list). A file whose security cannot be read
// counts as changeable.
bool DataFileOpenToOrdinaryUsers(const std::wstring& path);
// Reads and loads the file; returns the file error code (file_error::kSuccess when loaded), whose
// text goes into the "could not be loaded" message. With `open_to_ordinary_users`, also tells
// whether an ordinary user owns or may change the file read (as DataFileOpenToOrdinaryUsers, on
// the handle the file is read through).
int LoadUninstallDataFile(const std::wstring& path, UninstallData& data, bool* open_to_ordinary_users = nullptr);

}  // namespace halberd::uninstall
