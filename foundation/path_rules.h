// Path and file-name rules of the file layer, in portable form (UTF-16 text, no system calls):
// path and name validation, the folder-listing skip rule, joining a folder and a name, resolving
// a relative path against a base folder, and the temporary-name generator with its name forms.
// The Windows file layer (tl_file) applies them to real files.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace halberd {

// Flags of IsValidPath.
namespace path_flags {
constexpr uint32_t kAllowAsterisk = 0x1;
constexpr uint32_t kAllowQuestionMark = 0x2;
constexpr uint32_t kAllowWildcards = 0x3;
constexpr uint32_t kTrimFirst = 0x4;           // blanks at either end are trimmed, not refused
constexpr uint32_t kFullPathRequired = 0x20;   // drive letter with colon and backslash, or "\\"
constexpr uint32_t kTrailingBackslashOk = 0x80;
}  // namespace path_flags

// True for an empty text or one made only of spaces, tabs, carriage returns and line feeds.
bool IsBlank(std::u16string_view text);

// True when the path begins with a drive: a letter and a colon ("C:", "d:\\x").
bool HasDriveLetter(std::u16string_view path);

// A path is valid when (in this order): unless kTrimFirst, it neither begins nor ends with a
// space, tab, carriage return or line feed (with kTrimFirst those are trimmed); it is not empty;
// double quotes are removed; it ends with a backslash only with kTrailingBackslashOk; with
// kFullPathRequired it is a full path; a colon as second character needs a letter before it;
// it holds none of / " < > | ; : * ? (the wildcards as the flags allow); and two backslashes in
// a row appear only at the very start (a network path).
bool IsValidPath(std::u16string_view path, uint32_t flags = 0);

// A full path: "X:\..." or a network path "\\...".
bool IsFullPath(std::u16string_view path);

// One name without a folder: not empty, no blank at either end, none of \ / " < > | * ? : ; and
// no carriage return or line feed.
bool IsValidFileName(std::u16string_view name);

// Folder listings skip "." and ".." and any name holding / " < > | * ? or ;.
bool IsSkippedInListing(std::u16string_view name);

// "thumbs.db" and "desktop.ini" (any case): shell clutter that does not keep a folder from being
// empty.
bool IsFolderClutter(std::u16string_view name);

// Joins a folder and a name with exactly one backslash: none is inserted when the folder ends
// with a backslash or a colon, and a name that begins with a backslash loses the folder's
// trailing one. An empty folder gives the name unchanged (it never turns a relative name into
// one on the root of the current drive).
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Resolves `path` against the folder `base`: a full or network path, or one with a drive letter,
// stays as it is; a path that begins with a single backslash is taken on the base's drive (or
// network share); otherwise each leading "..\" climbs one level (never above the base's root),
// a leading ".\" is dropped, and the rest is joined to what is left of the base.
std::u16string ResolveRelativePath(std::u16string_view base, std::u16string_view path);

// The folder part of a path: "C:\a\b.txt" gives "C:\a", "C:\b.txt" gives "C:\" (a drive root
// keeps its backslash); a name without a folder, or a root, gives "".
std::u16string ParentFolder(std::u16string_view path);

// A folder value without a trailing backslash, except for a drive root ("C:\").
std::u16string WithoutTrailingBackslash(std::u16string_view folder);

// "C:", "C:\" (any letter): the root of a drive.
bool IsDriveRoot(std::u16string_view path);

// The temporary-name generator: xorshift64* over a 64-bit state. Each step exclusive-ors the
// state with itself shifted right by 12, left by 25 and right by 27 bits; the number is the low
// 16 bits of the new state's low 32 bits multiplied by 0xDD1D. A zero state would stay zero, so
// a zero seed is replaced by a fixed non-zero one.
class TempNameGenerator {
 public:
  explicit TempNameGenerator(uint64_t seed);
  uint16_t Next();
  uint64_t state() const { return state_; }

 private:
  uint64_t state_;
};

// "TLT" + the number in upper-case hexadecimal padded to four characters (with spaces, or with
// zeros when `zero_padded`) + "." + the extension (a leading "." of the extension is dropped).
std::u16string FormatTempName(uint16_t number, std::u16string_view extension, bool zero_padded);

}  // namespace halberd
