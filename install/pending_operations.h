// The system's list of pending restart operations, in portable form: the entries of the
// multi-string value "PendingFileRenameOperations" and the cleaning that takes out the operations
// which would destroy a file this run has just installed. The Windows side
// (restart_operations_win32) reads and writes the value, logs and recycles.
//
// The list is a sequence of pairs (source, target). An empty target deletes the source at the
// restart; any other target is replaced by the source. Paths are in the system's own form
// ("\??\C:\dir\file", a target may start with "!" to replace an existing file); they are compared
// with the installed files after the leading "\", "?" and "!" are removed and A to Z lowered.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace halberd::install {

// The entries of the value's data (UTF-16 code units, as read). Each entry ends with a null; the
// list ends with one more. Empty entries inside the list are kept: they are the empty targets of
// deletions.
std::vector<std::u16string> SplitPendingOperations(std::u16string_view data);
// The value's data for `entries`: each followed by a null, then the closing null.
std::u16string JoinPendingOperations(const std::vector<std::u16string>& entries);

// The form in which pending paths and installed files are compared.
std::u16string NormalisePendingPath(std::u16string_view path);

// A path of the list as a file path: "\??\C:\x" gives "C:\x", "\??\UNC\server\x" gives
// "\\server\x"; a leading "!" is dropped. Anything else is returned unchanged.
std::u16string PendingPathToFilePath(std::u16string_view path);

struct PendingRemoval {
  bool is_move = false;             // a pending move (else a pending deletion)
  std::u16string installed_file;    // the installed file it would have destroyed, as listed
  std::u16string source;            // the pair's source as it stands in the list
};

struct CleanedPendingOperations {
  std::vector<std::u16string> entries;   // what stays, in order (an odd last entry dropped)
  std::vector<PendingRemoval> removed;   // the pairs taken out, in list order
};

// Walks the pairs: a move whose target is an installed file and a deletion whose source is one
// are taken out; every other pair stays. A list with an odd number of entries loses its last one.
CleanedPendingOperations CleanPendingList(std::vector<std::u16string> entries,
                                          const std::vector<std::u16string>& installed_files);

}  // namespace halberd::install
