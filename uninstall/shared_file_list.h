// The lists the uninstall key keeps for the components the product shares with others: the
// shared files whose reference counts it holds (`SharedFiles`) and the fonts it installed
// (`ProductFonts`), parsed into items, and what the uninstaller does with one shared file given
// its count. Portable; the registry and the files are the Windows part's.
//
// `SharedFiles`: items separated by ";", each normally in double quotes. An item is a path in the
// uninstall text encoding followed by its marks, read from the end in this order:
//   "^"   a self-registering component (unregistered when no longer shared)
//   " "   a file never to delete
//   0xA9  a type library (unregistered when no longer shared)
// A path marked as UTF-8 ("|") whose last byte 0xA9 ends one of its own characters (as "é" does)
// keeps that byte: only a byte that is not part of the text is a mark.
//
// `ProductFonts`: pairs of double-quoted texts separated by blanks: the font's name (UTF-8), then
// its file name (uninstall text encoding).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::uninstall {

struct SharedFileItem {
  std::string path;  // uninstall text encoding, quotes and marks removed
  bool com_server = false;
  bool never_delete = false;
  bool type_library = false;
  bool operator==(const SharedFileItem&) const = default;
};

std::vector<SharedFileItem> ParseSharedFiles(std::string_view value);

struct FontItem {
  std::string name;  // UTF-8
  std::string file;  // uninstall text encoding
  bool operator==(const FontItem&) const = default;
};

std::vector<FontItem> ParseProductFonts(std::string_view value);

// What happens to one shared file: the count value is read first (a file without one is not
// this product's to touch).
struct SharedFileDecision {
  bool skip = false;        // no count value: nothing is done
  bool write_count = false; // the count is written back as new_count
  uint32_t new_count = 0;
  bool stays = true;        // still shared, or never to be deleted
  bool unregister_com = false;
  bool unregister_type_library = false;
  bool operator==(const SharedFileDecision&) const = default;
};

SharedFileDecision DecideSharedFile(const SharedFileItem& item, bool count_exists, uint32_t count);

}  // namespace halberd::uninstall
