// Writing one file of the extraction stream to its target: three attempts 50 ms apart, the
// contents copied in bounded blocks into a partial file beside the target and moved over it once
// whole, the entry's times and attributes applied, and the failure report (a missing drive, a full
// disk, a locked file handed to replacement at restart).
// Windows only (file_write_win32.cpp).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/tl_file.h"

namespace halberd::install {

enum class WriteOutcome { kWritten, kPending, kFailed };

struct FileWrite {
  std::wstring target;
  FileW* source = nullptr;   // the extraction file
  int64_t offset = 0;        // of the contents in the extraction file
  int64_t size = 0;
  DateTime time;             // applied when it has a date and a time
  uint32_t attributes = 0xFFFFFFFF;  // 0xFFFFFFFF: none
  bool compared = false;     // the existing target was compared by the kind's rule
  bool record_folders = false;  // folders made for the file are recorded for removal
};

// The partial file of a target is its name with this ending. A run killed during a write leaves
// at most this file, never a half-written target; the next write of the target removes it first.
// (A target whose partial name would pass the path limit is written in place.)
inline constexpr wchar_t kPartialFileEnding[] = L".hbpart";

// Copy block: the most of a file held in memory at once.
inline constexpr size_t kCopyBlockSize = 256 * 1024;
// The attribute bits an entry sets: read-only, hidden, system, archive, temporary, offline.
inline constexpr DWORD kEntryAttributeMask = 0x1127;

WriteOutcome WriteEntryFile(const FileWrite& write);

}  // namespace halberd::install
