// The write procedure of one extracted file.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "engine/language_texts.h"
#include "engine/progress.h"
#include "foundation/format/text_numbers.h"
#include "foundation/format/product_flags.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/system_error_text.h"
#include "install/extraction_folders.h"
#include "install/file_write.h"
#include "install/overwrite_rules.h"
#include "install/replacement_attributes.h"
#include "install/restart_operations.h"

namespace halberd::install {

namespace {

constexpr int kAttempts = 3;
constexpr DWORD kRetryPauseMs = 50;

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// Some systems end a write on a full disk with a short count instead of the disk-full error; the
// free space of the target's folder tells the two apart.
bool RoomIsShort(const std::wstring& target, int64_t bytes_left) {
  const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
  ULARGE_INTEGER free_bytes;
  return GetDiskFreeSpaceExW(folder.c_str(), &free_bytes, nullptr, nullptr) &&
         free_bytes.QuadPart < uint64_t(bytes_left);
}

// Moves the whole partial file over the target; 0 or the system error. The move replaces a link
// planted at the target's name, never what it points to. (No write-through: the rename is ordered
// after the file's contents by the file system, and a flush per small file would cost more than
// the write itself.)
DWORD MoveIntoPlace(const std::wstring& partial, const std::wstring& target) {
  if (MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  const DWORD error = GetLastError();
  return error ? error : DWORD(ERROR_WRITE_FAULT);
}

// The name the contents are written under: the partial name beside the target, or the target
// itself when the partial name would pass the system's path limit (the target is then written in
// place, and a failed attempt deletes what it wrote).
std::wstring WritingName(const std::wstring& target) {
  std::wstring partial = target + kPartialFileEnding;
  return partial.size() < MAX_PATH ? partial : target;
}

// One attempt: write the contents into the target's partial file through the handle that created
// it, then move it over the target. Returns 0 or the system error; the target keeps its earlier
// contents whenever the attempt fails, and no partial file stays behind.
DWORD Attempt(const FileWrite& w) {
  const std::wstring partial = WritingName(w.target);
  const bool in_place = partial == w.target;
  FileW out;
  // A hidden or system target is replaced by a file that keeps those bits.
  const DWORD create_attributes = CreateAttributesOver(GetFileAttributesW(w.target.c_str()));
  const uint32_t flags = (in_place ? kCreateAlways : kCreateNew) | kNoReadAccess | kNoSharingRetry | kWidePath;
  auto open = [&] {
    if (out.Open(partial, flags, create_attributes) == file_error::kSuccess) return DWORD(0);
    DWORD error = out.LastSystemError();
    return error ? error : GetLastError();
  };
  DWORD opened = open();
  // The partial file is always made new, so nobody else's file is ever written through. What a
  // killed run left under its name is removed (a link there too, not followed) and the make tried
  // again; a normal write costs no extra call.
  if (!in_place && (opened == ERROR_FILE_EXISTS || opened == ERROR_ALREADY_EXISTS)) {
    RemoveFile(partial, kDeleteMissingIsSuccess | kDeleteKeepReadOnly);
    opened = open();
  }
  if (opened) return opened;
  auto fail = [&out](DWORD error) {
    out.CloseAndDelete(kDeleteMissingIsSuccess);
    return error;
  };
  if (!w.source->Seek(w.offset)) return fail(GetLastError() ? GetLastError() : ERROR_READ_FAULT);
  static std::vector<uint8_t> block(kCopyBlockSize);
  int64_t left = w.size;
  while (left > 0) {
    const int64_t n = left < int64_t(block.size()) ? left : int64_t(block.size());
    if (!w.source->ReadExact(block.data(), n)) return fail(GetLastError() ? GetLastError() : ERROR_READ_FAULT);
    if (!out.Write(block.data(), n)) {
      DWORD error = GetLastError();
      return fail(RoomIsShort(w.target, left) ? DWORD(ERROR_DISK_FULL) : error ? error : DWORD(ERROR_WRITE_FAULT));
    }
    left -= n;
    engine::ProgressPulse();  // a big file takes long: the background window still answers
  }
  if (HasFullTime(w.time)) {
    // Failing to stamp the time leaves a good file; it is not a failed write.
    out.SetCreationTime(w.time);
    out.SetLastWriteTime(w.time);
  }
  // No flush: the system's cache takes the contents and a write that does not fit fails above
  // (the room is taken when the write is made); a flush per file would cost a disk round trip per
  // small file, and seconds on a large one, in which even the progress page's own thread was seen
  // to stop answering.
  out.Close();
  if (DWORD error = in_place ? 0 : MoveIntoPlace(partial, w.target)) {
    RemoveFile(partial, kDeleteMissingIsSuccess);
    return error;
  }
  if (w.attributes != 0xFFFFFFFF) SetAttributes(w.target, w.attributes & kEntryAttributeMask, kEntryAttributeMask);
  return 0;
}

bool DriveIsMissing(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':' || !iswalpha(path[0])) return false;
  wchar_t root[] = {path[0], L':', L'\\', 0};
  return GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR;
}

}  // namespace

WriteOutcome WriteEntryFile(const FileWrite& w) {
  engine::RunState& run = engine::Run();
  DWORD error = 0;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    error = Attempt(w);
    if (error == 0) return WriteOutcome::kWritten;
    Sleep(kRetryPauseMs);
    if (attempt == 1) {
      if (error == ERROR_PATH_NOT_FOUND) {
        std::wstring folder = w.target.substr(0, w.target.find_last_of(L'\\'));
        CreateFolderRecorded(folder, w.record_folders);
      }
      if ((run.ProductFlags & format::kFlagClearAttributesOnRetry) && FileExists(w.target))
        SetAttributes(w.target, 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
  }

  std::wstring entry = L"\r\n" + engine::LanguageText(text::kNotInstalled) + L" " + w.target + L"\r\n";
  if (IsDiskFull(error)) {
    // The attempt removed its partial file; the target is as it was.
    run.disk_full = true;
    engine::AppendFailureText(entry);
    return WriteOutcome::kFailed;
  }
  if (error == ERROR_INVALID_NAME) {
    engine::AppendFailureText(entry);
    return WriteOutcome::kFailed;
  }
  if (DriveIsMissing(w.target)) {
    wchar_t line[64];
    std::swprintf(line, 64, L"Drive %c: is not present.\r\n", wchar_t(towupper(w.target[0])));
    engine::AppendFailureText(entry + line);
    return WriteOutcome::kFailed;
  }
  entry += SystemErrorText(error) + L"\r\n";
  if (w.compared || (run.ProductFlags & format::kFlagReplaceLockedFiles)) {
    if (ReplaceAtRestart(w.target, *w.source, w.offset, w.size, w.time) == ReplaceResult::kPending) {
      run.set_restart_required();
      engine::LogWide(entry);
      return WriteOutcome::kPending;
    }
  }
  engine::AppendFailureText(entry);
  return WriteOutcome::kFailed;
}

}  // namespace halberd::install
