// The text of "delunins.bat", the batch that deletes the uninstaller after a successful
// uninstall run: it waits until the uninstaller's file can be deleted, then removes the emptied
// uninstall folder, its parents within `UninstallSubdir` and the installation folder, and last
// itself. Portable; writing and starting it hidden is the Windows part's.
//
//   :Repeat
//   del "<uninstaller>"
//   if exist "<uninstaller>" goto Repeat
//   CHOICE /T 3 /D Y
//   rd "<installation folder>\<UninstallSubdir>"
//   rd "<each shorter prefix of it, longest first (at most 50)>"
//   rd "<installation folder>"
//   del "<the batch itself>"
//
// The interpreter expands "%" even inside double quotes, so a "%" of a path is written doubled.
// Paths outside ASCII are written in UTF-8 after "@chcp 65001 >nul" (the interpreter reads a
// batch in the console's code page, which is not the code page the system's 8-bit texts use).
#pragma once
#include <string>
#include <string_view>

namespace halberd::uninstall {

inline constexpr char16_t kSelfDeletionBatchName[] = u"delunins.bat";
inline constexpr int kSelfDeletionPrefixLimit = 50;

std::string SelfDeletionBatch(std::u16string_view uninstaller, std::u16string_view install_folder,
                              std::u16string_view uninstall_subdir, std::u16string_view batch_path);

}  // namespace halberd::uninstall
