// Where a file entry goes: its target path worked out from its name, its target-folder text, its
// kind and its flags, against the folders of the run. Portable: the expansion of path variables
// is passed in.
//
//   target text T        result
//   -----------------    ----------------------------------------------------------------------
//   no backslash         T is the file's new name, then resolved as below
//   not empty            expanded; a doubled trailing backslash becomes one; resolved against the
//                        base folder (installation folder; shared-files folder for kind 1); when
//                        it ends with a backslash the file name is appended. Explicit.
//   empty                flag bit 6: the uninstall folder joined with the name; else the kind's
//                        base folder joined with the name, explicit when that is the installation
//                        folder. Kinds without a base folder (2, 3) are corrupt (110).
//
// A kind-1 file of a portable installation with a portable shared sub-folder drops a T that is
// empty, has no backslash, is a full path or holds a percent sign: it goes straight into the
// shared-files folder.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::install {

inline constexpr uint32_t kFlagDesktopShortcut = 1u << 0;
inline constexpr uint32_t kFlagStartMenuShortcut = 1u << 1;
inline constexpr uint32_t kFlagPermanent = 1u << 5;
inline constexpr uint32_t kFlagInUninstallFolder = 1u << 6;
inline constexpr uint32_t kFlagRecordPackage = 1u << 31;

inline constexpr int kHighestKind = 12;

struct TargetFolders {
  std::u16string install;
  std::u16string uninstall;
  std::u16string shared;
  std::u16string fonts;
  std::u16string system;
  // Kind-1 files of a portable installation go straight into `shared` (see above).
  bool portable_shared_subfolder = false;
};

struct TargetPath {
  std::u16string path;
  std::u16string name;       // the entry's name, or its new name
  bool explicit_folder = false;  // the file's folder is created when missing
  int corrupt = 0;           // 110 for a kind without a folder
};

using Expander = std::function<void(std::u16string&)>;

// The base folder of a kind, empty for kinds 2 and 3 and kinds out of range. A kind-1 file falls
// back to the installation folder when the run has no shared-files folder (a product without an
// uninstaller), so that it never lands in the current folder.
std::u16string KindBaseFolder(int kind, const TargetFolders& folders);

TargetPath ResolveTargetPath(std::u16string_view name, std::u16string_view target_text, int kind, uint32_t flags,
                             const TargetFolders& folders, const Expander& expand);

// The last part of a path ("a\b.txt" gives "b.txt").
std::u16string_view FileNamePart(std::u16string_view path);

// Paths compared as folders: normalised to backslashes, without a trailing one, case ignored.
bool SameFolder(std::u16string_view a, std::u16string_view b);

// The folders a file inside the installation folder is written through: each level below the
// installation folder down to the file's own folder, outermost first. Empty for a file directly in
// the installation folder or outside it. A level that is a link (a junction planted by someone
// else) would carry the write elsewhere, so each is looked at before the file is written.
std::vector<std::u16string> FoldersBelowInstallFolder(std::u16string_view path, std::u16string_view install_folder);

}  // namespace halberd::install
