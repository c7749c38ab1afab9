// The file layer: one file object (FileW) through which every file of the installer and the
// uninstaller is opened, read and written, and the process-wide file-system operations (exists,
// folder tree, removal, deletion with its flags, temporary folder and names, attributes, free
// space). The portable rules it applies (path and name validation, joining, temporary-name
// forms) live in path_rules; error codes and their texts in file_errors.
//
// Failures follow one convention: an open returns a file error code (file_error::k...), other
// operations a success flag; either way the object's last error text says what went wrong and the
// system's last-error value holds the reason.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/file_errors.h"

namespace halberd {

// ---------------------------------------------------------------------------------------------
// Owned system handles.

// Move-only owner of a system handle; Traits names the handle type, its invalid value and its
// closer.
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;
  UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
  explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }
  // Hands the handle over; the owner is left empty.
  Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Type handle = Traits::Invalid()) noexcept {
    Type old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Type handle_;
};

struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE on failure
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
struct KernelHandleTraits {  // CreateFileMappingW, OpenProcess, CreateThread: NULL on failure
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {  // FindFirstFileW
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { FindClose(h); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// ---------------------------------------------------------------------------------------------
// Open modes (a 32-bit set of the library's own bits).

inline namespace open_mode {
// Disposition, bits 0-1.
constexpr uint32_t kOpenOrCreate = 0;
constexpr uint32_t kOpenExisting = 1;
constexpr uint32_t kCreateNew = 2;  // fails when the file exists
constexpr uint32_t kCreateAlways = 3;  // truncates
constexpr uint32_t kDispositionMask = 3;

constexpr uint32_t kNoReadAccess = 0x8;
constexpr uint32_t kNoWriteAccess = 0x10;
constexpr uint32_t kFatalOnFailure = 0x20;  // "Failed to open required file:..." ends the run
constexpr uint32_t kRetryOnce = 0x40;  // any first failure is retried once after 150 ms
constexpr uint32_t kLoadIntoMemory = 0x80;  // reads are then served from memory
constexpr uint32_t kShareRead = 0x100;
constexpr uint32_t kShareWrite = 0x200;
constexpr uint32_t kSeekToEnd = 0x400;
constexpr uint32_t kCloseAfterOpen = 0x800;  // create or test only
constexpr uint32_t kNoSharingRetry = 0x1000;
constexpr uint32_t kWidePath = 0x2000;
constexpr uint32_t kInheritable = 0x4000;

// Path kind, the top three bits. The kinds that make a new temporary file create it exclusively
// (never over an existing name) and keep the handle of that creation: the file is never opened
// again by name.
constexpr uint32_t kPathKindMask = 0xE0000000;
constexpr uint32_t kPathAsGiven = 0;
constexpr uint32_t kPathNewTempFile = 0x20000000;  // in the temporary folder; the path is unused
constexpr uint32_t kPathNewTempFileInFolder = 0x40000000;  // the path names the folder
constexpr uint32_t kPathInTempFolder = 0x60000000;  // the path is a name inside the temporary folder
constexpr uint32_t kPathNewTempFileBeside = 0x80000000;  // in the folder of the given path
constexpr uint32_t kPathNewTempFileWithExtension = 0xA0000000;  // the path is the extension
}  // namespace open_mode

// Flags of RemoveFile (and CloseAndDelete).
inline namespace delete_flags {
constexpr uint32_t kDeleteKeepReadOnly = 0x1;  // by default the read-only attribute is cleared first
constexpr uint32_t kDeleteAtRestart = 0x2;  // instead of now
constexpr uint32_t kDeleteAtRestartOnFailure = 0x10;  // when deleting now fails (not for a missing file)
constexpr uint32_t kDeleteToRecycleBin = 0x80;  // silent, no confirmation, undo allowed, no error UI
constexpr uint32_t kDeleteOnlyIfEmpty = 0x100;  // only a file of size 0
constexpr uint32_t kDeleteMissingIsSuccess = 0x800;  // file-not-found and path-not-found succeed
}  // namespace delete_flags

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// ---------------------------------------------------------------------------------------------
// The file object. Belongs to one thread; closes whatever it holds when destroyed.

class FileW {
 public:
  FileW() = default;
  ~FileW() { Close(); }
  FileW(const FileW&) = delete;
  FileW& operator=(const FileW&) = delete;

  // Opens `path` (wide text; kWidePath is implied) with an open mode and the attributes a new
  // file is created with. Closes any file the object had open first. Returns a file error code
  // (file_error::kSuccess on success); on failure the system's last error is the code's system
  // error and LastSystemError() keeps the original one.
  int Open(std::wstring_view path, uint32_t mode, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  // The same with an 8-bit path: UTF-8 when it begins with "|" (the bar is dropped), else in the
  // system code page. kWidePath with an 8-bit path is a caller's mistake: code 9.
  int Open(std::string_view path, uint32_t mode, DWORD attributes = FILE_ATTRIBUTE_NORMAL);

  // Reads exactly `size` bytes. Fewer bytes than asked leave the position where it was and fail
  // with "Read past end of file". Size 0 succeeds at once.
  bool ReadExact(void* buffer, int64_t size);
  // Reads up to `size` bytes (at least 1); returns the number read (0 at the end of the file) or
  // -1 on failure.
  int64_t ReadSome(void* buffer, int64_t size);
  // Writes all of `data`, in pieces of at most 1 MiB. Size 0 succeeds at once.
  bool Write(const void* data, int64_t size);
  bool Write(std::string_view text) { return Write(text.data(), int64_t(text.size())); }

  // Byte position and size; -1 on failure.
  int64_t Position();
  int64_t Size();
  bool Seek(int64_t offset, SeekOrigin origin = SeekOrigin::kBegin);
  // The whole file from its start (the position ends at the end of the file).
  bool ReadAll(std::string& text);
  bool Flush();

  // Creation and last-write times (UTC, milliseconds 0), set through the handle: a time set so is
  // the one the file keeps. A date-time without date or time fails (87).
  bool SetCreationTime(const DateTime& time);
  bool SetLastWriteTime(const DateTime& time);

  // Byte-range locks held by this object; Close releases every one still held.
  bool LockRange(int64_t offset, int64_t length);
  bool UnlockRange(int64_t offset, int64_t length);
  // A read-only view of the whole file, mapped on first use and kept until Close; nullptr on
  // failure or for an empty file.
  const uint8_t* MapView();

  // Unmaps the view, closes the mapping, releases the locks and closes the handle.
  void Close();
  // Closes, then deletes the file with RemoveFile and `flags`.
  bool CloseAndDelete(uint32_t flags);

  bool IsOpen() const { return handle_.valid(); }
  bool CanRead() const { return can_read_; }
  bool CanWrite() const { return can_write_; }
  bool InMemory() const { return in_memory_; }
  // The path as finally opened (after any temporary-name generation).
  const std::wstring& Path() const { return path_; }
  HANDLE Handle() const { return handle_.get(); }
  // 8-bit text (system code page, "?" for what it cannot show) of the last failure.
  const std::string& LastErrorText() const { return last_error_text_; }
  DWORD LastSystemError() const { return last_system_error_; }

 private:
  struct LockedRange {
    int64_t offset;
    int64_t length;
  };

  int OpenWide(std::wstring path, uint32_t mode, DWORD attributes);
  int FailOpen(int code, DWORD system_error, uint32_t mode);
  bool Fail(const std::string& text, DWORD system_error);
  bool FailWithSystemError(DWORD system_error);
  bool CheckOpenFor(bool write);
  int LoadIntoMemory();
  bool SetTime(const DateTime& time, bool creation);

  std::wstring path_;
  bool owns_path_ = false;  // path_ names a file this object opened or created
  UniqueFileHandle handle_;
  bool can_read_ = false;
  bool can_write_ = false;
  std::string last_error_text_;
  DWORD last_system_error_ = 0;
  bool in_memory_ = false;
  std::string memory_;  // the whole file in memory mode
  int64_t memory_position_ = 0;
  UniqueKernelHandle mapping_;
  const uint8_t* view_ = nullptr;
  std::vector<LockedRange> locks_;
};

// The file error code for a failed CreateFileW: `error` is the system's, `path` the path
// tried, `write_asked` whether write access was asked. Paths are looked at for the cases that
// depend on them (an existing folder: 23; a read-only file opened for writing: 13; a drive
// letter whose type the system cannot tell: 21).
int FileErrorFromOpenFailure(DWORD error, const std::wstring& path, bool write_asked);

// ---------------------------------------------------------------------------------------------
// Process-wide operations. Paths are wide text; failures leave the reason in the system's last
// error.

// An existing entry that is not a folder.
bool FileExists(const std::wstring& path);
// The change-directory test: the current folder is changed to `path` and back. Access denied
// counts as existing (the folder is there, we just may not enter it). A blank path is false.
bool FolderExists(const std::wstring& path);
// Creates the folder and any missing parents. A blank path fails with 267 (invalid directory
// name); the result is whether the folder exists afterwards.
bool CreateFolderTree(const std::wstring& path);
// Removes an empty folder, deleting "thumbs.db" and "desktop.ini" in it first. Drive roots and
// paths of three characters or fewer are refused (161, bad path name).
bool RemoveFolder(const std::wstring& path);
// Whether a folder holds nothing (with `ignore_clutter`, nothing but "thumbs.db" and
// "desktop.ini", any case). False when the folder cannot be listed.
bool FolderIsEmpty(const std::wstring& path, bool ignore_clutter);
// Deletes a file under the delete flags. An empty path fails with 87.
bool RemoveFile(const std::wstring& path, uint32_t flags = 0);
// Registers `path` for deletion at the next restart: MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT
// (found at run time), else a "NUL=" line in "wininit.ini" (restart_moves).
bool ScheduleDeleteAtRestart(const std::wstring& path);

// The temporary folder, worked out once per process: the system's temporary path when it
// exists, else the Windows folder's "temp", else "c:\temp" (created). No trailing backslash
// unless a drive root.
const std::wstring& TempFolder();
// The choice behind TempFolder with its inputs given (tests use it to reach the fallbacks).
std::wstring ChooseTempFolder(const std::wstring& system_temp_path, const std::wstring& windows_folder);
// A new, empty, uniquely named file: "TLTxxxx.ext" with an extension, else the system's
// temporary-file name with prefix "TLT". In `folder` (created when missing) or, when it is
// empty, the temporary folder. Returns the full name, or "" when no name could be made.
std::wstring TempName(const std::wstring& folder, const std::wstring& extension = L"");

// The attribute bits selected by `mask` take `values`; nothing is written when they already
// match. Mask 1 clears read-only; mask 7 read-only, hidden and system.
bool SetAttributes(const std::wstring& path, DWORD values, DWORD mask);
bool IsReadOnly(const std::wstring& path);

// Free bytes on the root of a drive (available to this user); nullopt for a non-letter or a
// failure.
std::optional<uint64_t> DiskFreeSpace(wchar_t drive_letter);

}  // namespace halberd
