// The crash dialog ("Illegal Operation", ExceptionDlg): the report, the user's e-mail address and
// comments, and the buttons Inform Us, Copy Report and Exit. Built from a template in memory, so
// that every program linking the crash module has it without resources of its own.
#pragma once
#include <string>

namespace halberd::crash {

namespace exception_dialog {
inline constexpr int kInformUs = 2700;
inline constexpr int kExit = 2701;
inline constexpr int kIntro = 2702;
inline constexpr int kReport = 2703;
inline constexpr int kCopyReport = 2704;
inline constexpr int kEmail = 2705;
inline constexpr int kEmailPrompt = 2706;
inline constexpr int kComments = 2707;
inline constexpr int kCommentsPrompt = 2708;
inline constexpr int kSeparator = 66;
inline constexpr wchar_t kCaption[] = L"Illegal Operation";
}  // namespace exception_dialog

struct ExceptionDialogAnswer {
  bool inform = false;   // "Inform Us"; otherwise "Exit" or the window closed
  std::string email;     // 8-bit (code page 1252), with "Inform Us" only
  std::string comments;
};

// Shows the dialog, modal and without owner, with `report` (8-bit, code page 1252). "Inform Us" is
// disabled when `can_inform` is false (no address to send to). "Copy Report" puts the report on
// the clipboard as 8-bit text and leaves the dialog open. A dialog that cannot be made answers Exit.
ExceptionDialogAnswer ShowExceptionDialog(const std::string& report, bool can_inform);

}  // namespace halberd::crash
