// The copies of the product's readme and licence (EULA) texts left in the installation folder:
// their file names and their bytes. A plain text is saved as UTF-16 little-endian with a
// byte-order mark, so that any editor shows every character; an RTF document is saved unchanged.
// Writing the files is the closing phase's (closing_phase_win32.cpp).
#pragma once
#include <string>
#include <vector>

namespace halberd::integration {

struct DocumentCopy {
  std::u16string file_name;
  std::string bytes;
};

// One copy per non-empty document, numbered from 1 among the documents: "<base>.txt" when the
// product has a single document, else "<base>1.txt", "<base>2.txt", ...; an RTF document takes
// ".rtf" instead.
std::vector<DocumentCopy> DocumentCopies(const std::vector<std::string>& documents, std::u16string_view base);

// Whether `path` is one of the files the run installed (compared without regard to case). A copy
// never takes the place of one: a product that ships its own "readme.txt" keeps it.
bool IsInstalledFile(std::u16string_view path, const std::vector<std::u16string>& installed);

}  // namespace halberd::integration
