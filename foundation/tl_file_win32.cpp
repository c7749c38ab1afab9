// The file object and the process-wide file-system operations on Win32. Paths are checked with
// the portable rules of path_rules before they reach the system; UTF-16 is converted to and from
// the portable char16_t form only here.
#include "foundation/tl_file.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "foundation/fatal_error.h"
#include "foundation/last_error.h"
#include "foundation/path_rules.h"
#include "foundation/system_error_text.h"
#include "foundation/text_convert.h"

namespace halberd {

namespace {

// Reads and writes go to the system in pieces of at most 1 MiB: very large single requests fail
// on some network redirectors.
constexpr int64_t kPieceSize = 1048576;

// System error reported for a piece written short when the system gave none.
constexpr DWORD kShortWriteError = 5922;

// Largest file that is loaded into memory whole (kLoadIntoMemory) in a 32-bit process.
constexpr int64_t kMaxMemoryFile = 0x40000000;

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::wstring Join(std::wstring_view folder, std::wstring_view name) {
  return ToWide(JoinPath(ToU16(folder), ToU16(name)));
}

// Wide text to an 8-bit code page; characters it cannot represent become "?".
std::string ToCodePage(const std::wstring& text, UINT code_page) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), nullptr, 0, "?", nullptr);
  std::string out(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), out.data(), n, "?", nullptr);
  return out;
}

bool IsExistingFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A path that begins with a drive letter whose type the system cannot tell (no such drive).
bool OnUnknownDrive(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':') return false;
  if (!((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z'))) return false;
  wchar_t root[] = {path[0], L':', L'\\', 0};
  UINT type = GetDriveTypeW(root);
  return type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR;
}

}  // namespace

int FileErrorFromOpenFailure(DWORD error, const std::wstring& path, bool write_asked) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return IsValidPath(ToU16(path)) ? file_error::kFileNotFound : file_error::kInvalidName;
    case ERROR_PATH_NOT_FOUND:
      if (IsExistingFolder(path)) return file_error::kIsFolder;
      if (OnUnknownDrive(path)) return file_error::kNoSuchDrive;
      return file_error::kFolderNotFound;
    case ERROR_TOO_MANY_OPEN_FILES:
      return file_error::kTooManyOpen;
    case ERROR_ACCESS_DENIED:
      if (IsExistingFolder(path)) return file_error::kIsFolder;
      if (write_asked && IsReadOnly(path)) return file_error::kReadOnly;
      return file_error::kAccessDenied;
    case ERROR_INVALID_DRIVE:
      return file_error::kNoSuchDrive;
    case ERROR_NOT_READY:
      return file_error::kNotReady;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return file_error::kLocked;
    case ERROR_REM_NOT_LIST:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_NET_OR_BAD_PATH:
      return file_error::kBadNetworkPath;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return file_error::kAlreadyExists;
    case ERROR_INVALID_PARAMETER:
      return file_error::kInvalidParameter;
    case ERROR_INVALID_NAME:
      return file_error::kInvalidName;
    default:
      return file_error::kUnknown;
  }
}

namespace {

// The temporary-name generator is shared by the process. It is seeded once from the clock, the
// performance counter and the process and thread ids, and stepped under a lock.
std::mutex g_generator_mutex;

uint64_t Mix(uint64_t x) {  // splitmix64 finaliser: spreads the seed's few varying bits
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint16_t NextTempNumber() {
  std::lock_guard<std::mutex> lock(g_generator_mutex);
  static TempNameGenerator generator([] {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t seed = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    seed = Mix(seed ^ uint64_t(counter.QuadPart));
    return Mix(seed ^ (uint64_t(GetCurrentProcessId()) << 32 | GetCurrentThreadId()));
  }());
  return generator.Next();
}

// How a new temporary file is created: access, sharing, handle inheritance and attributes. The
// creation itself always fails when the name exists, and its handle is the one used: a name that
// is closed and opened again could meanwhile be a link planted by someone else.
struct TempCreation {
  DWORD access = GENERIC_WRITE;
  DWORD share = 0;
  bool inheritable = false;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
};

struct NewTempFile {
  std::wstring path;  // empty when no file could be made
  UniqueFileHandle handle;
};

HANDLE CreateNewFile(const std::wstring& name, const TempCreation& how) {
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, how.inheritable ? TRUE : FALSE};
  return CreateFileW(name.c_str(), how.access, how.share, &security, CREATE_NEW, how.attributes, nullptr);
}

// Tries "TLTxxxx.ext" names in `folder`, creating each with the disposition that fails when the
// file exists. At the 200th try the folder becomes the temporary folder, at the 300th "c:\temp"
// when that folder exists or can be made. `stop_after_denials`: more than 20 access-denied
// failures in a row give up (the fallback after the system's own function failed).
NewTempFile TryTempNames(std::wstring folder, std::u16string_view extension, bool zero_padded,
                         bool stop_after_denials, const TempCreation& how) {
  int denials_in_row = 0;
  for (int attempt = 1; attempt <= 400; ++attempt) {
    if (attempt == 200) folder = TempFolder();
    if (attempt == 300 && CreateFolderTree(L"c:\\temp")) folder = L"c:\\temp";
    std::wstring name = Join(folder, ToWide(FormatTempName(NextTempNumber(), extension, zero_padded)));
    HANDLE h = CreateNewFile(name, how);
    if (h != INVALID_HANDLE_VALUE) return {name, UniqueFileHandle(h)};
    if (stop_after_denials) {
      if (GetLastError() != ERROR_ACCESS_DENIED) {
        denials_in_row = 0;
      } else if (++denials_in_row > 20) {
        break;
      }
    }
  }
  return {};
}

// The system's temporary-file names with prefix "TLT": the system function only forms each name
// (a unique number is given), and the file is created here so that its handle is kept. A failure
// other than an existing name ends the tries.
NewTempFile TrySystemTempNames(const std::wstring& folder, const TempCreation& how) {
  for (int attempt = 0; attempt < 400; ++attempt) {
    UINT number = NextTempNumber();
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"TLT", number ? number : 1, name)) break;
    HANDLE h = CreateNewFile(name, how);
    if (h != INVALID_HANDLE_VALUE) return {name, UniqueFileHandle(h)};
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return {};
}

// A new temporary file as TempName describes, with its handle.
NewTempFile CreateTempFile(const std::wstring& folder, const std::wstring& extension, const TempCreation& how) {
  std::wstring dir;
  if (!folder.empty()) {
    if (!CreateFolderTree(folder)) return {};
    dir = ToWide(WithoutTrailingBackslash(ToU16(folder)));
  } else {
    dir = TempFolder();
  }
  std::u16string ext = ToU16(extension);
  if (!ext.empty() && ext.front() == u'.') ext.erase(0, 1);
  if (!ext.empty()) return TryTempNames(dir, ext, false, false, how);
  NewTempFile made = TrySystemTempNames(dir, how);
  if (!made.path.empty()) return made;
  return TryTempNames(dir, u"tmp", true, true, how);
}

bool RecycleFile(const std::wstring& path) {
  // The shell expands wildcards in the source list: a pattern would recycle every match.
  if (path.find_first_of(L"*?") != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  std::wstring from = path;
  from.push_back(L'\0');  // the list ends with two terminators; c_str() adds the second
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  int result = SHFileOperationW(&op);
  if (result != 0) {
    SetLastError(DWORD(result));
    return false;
  }
  if (op.fAnyOperationsAborted) {
    SetLastError(ERROR_CANCELLED);
    return false;
  }
  return true;
}

bool IsMissingError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }


}  // namespace

// ---------------------------------------------------------------------------------------------
// Open

int FileW::Open(std::wstring_view path, uint32_t mode, DWORD attributes) {
  return OpenWide(std::wstring(path), mode | kWidePath, attributes);
}

int FileW::Open(std::string_view path, uint32_t mode, DWORD attributes) {
  if (mode & kWidePath) {
    Close();
    path_.clear();
    owns_path_ = false;
    return FailOpen(file_error::kInvalidParameter, ERROR_INVALID_PARAMETER, mode);
  }
  std::wstring wide = IsMarkedUtf8(path) ? ToWide(Utf8ToUtf16(path.substr(1)))
                                         : CodePageToWide(std::string(path), CP_ACP);
  return OpenWide(std::move(wide), mode | kWidePath, attributes);
}

int FileW::OpenWide(std::wstring path, uint32_t mode, DWORD attributes) {
  Close();
  owns_path_ = false;
  last_error_text_.clear();
  last_system_error_ = 0;

  // The final path by the path kind. The kinds that make a new temporary file create it below and
  // keep the handle of that exclusive creation, so they always create.
  uint32_t disposition = mode & kDispositionMask;
  bool new_temp = false;
  std::wstring temp_folder, temp_extension;
  switch (mode & kPathKindMask) {
    case kPathAsGiven:
      break;
    case kPathNewTempFile:
      new_temp = true;
      break;
    case kPathNewTempFileInFolder:
      new_temp = true;
      temp_folder = path;
      break;
    case kPathInTempFolder:
      if (path.empty()) {
        path_.clear();
        return FailOpen(file_error::kInvalidName, ERROR_INVALID_NAME, mode);
      }
      path = Join(TempFolder(), path);
      break;
    case kPathNewTempFileBeside:
      new_temp = true;
      temp_folder = ToWide(ParentFolder(ToU16(path)));
      break;
    case kPathNewTempFileWithExtension:
      new_temp = true;
      temp_extension = path;
      break;
    default:
      path_ = path;
      return FailOpen(file_error::kInvalidParameter, ERROR_INVALID_PARAMETER, mode);
  }

  // Access and sharing. A write-only open that shares writing also shares reading, and a
  // read-only open that shares reading also shares writing.
  bool read = !(mode & kNoReadAccess);
  bool write = !(mode & kNoWriteAccess);
  DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
  DWORD share = ((mode & kShareRead) ? FILE_SHARE_READ : 0) | ((mode & kShareWrite) ? FILE_SHARE_WRITE : 0);
  if (write && !read && (share & FILE_SHARE_WRITE)) share |= FILE_SHARE_READ;
  if (read && !write && (share & FILE_SHARE_READ)) share |= FILE_SHARE_WRITE;

  if (new_temp) {
    TempCreation how{access, share, (mode & kInheritable) != 0, attributes};
    NewTempFile made = CreateTempFile(temp_folder, temp_extension, how);
    path_ = made.path;
    if (made.path.empty()) {
      // The reason the name could not be made is kept.
      return FailOpen(file_error::kInvalidName, GetLastError(), mode);
    }
    handle_ = std::move(made.handle);
  } else {
    path_ = path;
    if (!IsValidPath(ToU16(path))) return FailOpen(file_error::kInvalidName, ERROR_INVALID_NAME, mode);
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, (mode & kInheritable) ? TRUE : FALSE};
    static const DWORD kCreation[] = {OPEN_ALWAYS, OPEN_EXISTING, CREATE_NEW, CREATE_ALWAYS};

    // With kRetryOnce the first failure of any kind is tried again after 150 ms; a sharing
    // violation is retried five times, 100 ms apart, unless kNoSharingRetry.
    bool retried_once = false;
    int sharing_retries = 0;
    for (;;) {
      HANDLE h = CreateFileW(path.c_str(), access, share, &security, kCreation[disposition], attributes, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        handle_.reset(h);
        break;
      }
      DWORD error = GetLastError();
      if ((mode & kRetryOnce) && !retried_once) {
        retried_once = true;
        Sleep(150);
        continue;
      }
      if (error == ERROR_SHARING_VIOLATION && !(mode & kNoSharingRetry) && sharing_retries < 5) {
        ++sharing_retries;
        Sleep(100);
        continue;
      }
      return FailOpen(FileErrorFromOpenFailure(error, path, write), error, mode);
    }
  }

  can_read_ = read;
  can_write_ = write;
  owns_path_ = true;
  if (mode & kLoadIntoMemory) {
    int code = LoadIntoMemory();
    if (code != file_error::kSuccess) {
      DWORD error = GetLastError();
      Close();
      return FailOpen(code, error, mode);
    }
  }
  if ((mode & kSeekToEnd) && !Seek(0, SeekOrigin::kEnd)) {
    DWORD error = GetLastError();
    Close();
    return FailOpen(file_error::kUnknown, error, mode);
  }
  if (mode & kCloseAfterOpen) Close();
  return file_error::kSuccess;
}

int FileW::FailOpen(int code, DWORD system_error, uint32_t mode) {
  last_system_error_ = system_error;
  last_error_text_ = FileErrorText(code);
  if (mode & kFatalOnFailure) {
    FatalError("Failed to open required file:\r\n" + ToCodePage(path_, 1252) + "\r\n\r\n" + last_error_text_);
  }
  SetLastError(FileErrorSystemCode(code));
  return code;
}

int FileW::LoadIntoMemory() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_.get(), &size)) return file_error::kReadIntoMemory;
  if (size.QuadPart > kMaxMemoryFile) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return file_error::kTooLargeForMemory;
  }
  std::string contents;
  try {
    contents.resize(size_t(size.QuadPart));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return file_error::kTooLargeForMemory;
  }
  if (!ReadExact(contents.data(), int64_t(contents.size()))) return file_error::kReadIntoMemory;
  memory_ = std::move(contents);
  memory_position_ = 0;
  in_memory_ = true;
  return file_error::kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Failures of the other operations

bool FileW::Fail(const std::string& text, DWORD system_error) {
  last_error_text_ = text;
  last_system_error_ = system_error;
  SetLastError(system_error);
  return false;
}

bool FileW::FailWithSystemError(DWORD system_error) {
  return Fail(WideToAnsi(SystemErrorText(system_error)), system_error);
}

bool FileW::CheckOpenFor(bool write) {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  if (write && !can_write_) return Fail("Write access denied", ERROR_ACCESS_DENIED);
  if (!write && !can_read_) return Fail("Read access denied", ERROR_ACCESS_DENIED);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading and writing

bool FileW::ReadExact(void* buffer, int64_t size) {
  if (size == 0) return true;
  if (size < 0) return Fail("Illegal block size " + std::to_string(size), ERROR_INVALID_PARAMETER);
  if (!buffer) return Fail("read(NULL)", ERROR_INVALID_PARAMETER);
  if (!CheckOpenFor(false)) return false;
  if (in_memory_) {
    int64_t available = int64_t(memory_.size()) - memory_position_;
    if (size > available) return Fail("Read past end of file", ERROR_HANDLE_EOF);
    std::memcpy(buffer, memory_.data() + memory_position_, size_t(size));
    memory_position_ += size;
    return true;
  }
  int64_t start = Position();
  if (start < 0) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < size) {
    DWORD piece = DWORD(std::min(size - done, kPieceSize));
    DWORD got = 0;
    if (!ReadFile(handle_.get(), out + done, piece, &got, nullptr)) {
      DWORD error = GetLastError();
      Seek(start);
      return FailWithSystemError(error);
    }
    if (got == 0) break;
    done += got;
  }
  if (done < size) {
    Seek(start);
    return Fail("Read past end of file", ERROR_HANDLE_EOF);
  }
  return true;
}

int64_t FileW::ReadSome(void* buffer, int64_t size) {
  if (size <= 0) {
    Fail("Illegal block size " + std::to_string(size), ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!buffer) {
    Fail("NULL block pointer", ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!CheckOpenFor(false)) return -1;
  if (in_memory_) {
    int64_t n = std::clamp<int64_t>(int64_t(memory_.size()) - memory_position_, 0, size);
    if (n > 0) std::memcpy(buffer, memory_.data() + memory_position_, size_t(n));
    memory_position_ += n;
    return n;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < size) {
    DWORD piece = DWORD(std::min(size - done, kPieceSize));
    DWORD got = 0;
    if (!ReadFile(handle_.get(), out + done, piece, &got, nullptr)) {
      FailWithSystemError(GetLastError());
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool FileW::Write(const void* data, int64_t size) {
  if (size == 0) return true;
  if (size < 0) return Fail("Illegal write size", ERROR_INVALID_PARAMETER);
  if (!data) return Fail("write(NULL)", ERROR_INVALID_PARAMETER);
  if (!CheckOpenFor(true)) return false;
  // In memory mode the position is the memory one: the file is written there and the copy in
  // memory kept equal to it.
  if (in_memory_) {
    LARGE_INTEGER to;
    to.QuadPart = memory_position_;
    if (!SetFilePointerEx(handle_.get(), to, nullptr, FILE_BEGIN)) return FailWithSystemError(GetLastError());
  }
  const auto* in = static_cast<const uint8_t*>(data);
  int64_t done = 0;
  while (done < size) {
    DWORD piece = DWORD(std::min(size - done, kPieceSize));
    DWORD written = 0;
    BOOL ok = WriteFile(handle_.get(), in + done, piece, &written, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (in_memory_ && written > 0) {
      size_t end = size_t(memory_position_) + written;
      if (memory_.size() < end) memory_.resize(end, '\0');
      std::memcpy(memory_.data() + memory_position_, in + done, written);
      memory_position_ += written;
    }
    done += written;
    if (!ok || written != piece) {
      return Fail("Not all data could be written", error != ERROR_SUCCESS ? error : kShortWriteError);
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Position, size, times

int64_t FileW::Position() {
  if (!IsOpen()) {
    Fail("File not open", ERROR_INVALID_HANDLE);
    return -1;
  }
  if (in_memory_) return memory_position_;
  LARGE_INTEGER zero = {}, position;
  if (!SetFilePointerEx(handle_.get(), zero, &position, FILE_CURRENT)) {
    FailWithSystemError(GetLastError());
    return -1;
  }
  return position.QuadPart;
}

int64_t FileW::Size() {
  if (!IsOpen()) {
    Fail("File not open", ERROR_INVALID_HANDLE);
    return -1;
  }
  if (in_memory_) return int64_t(memory_.size());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_.get(), &size)) {
    FailWithSystemError(GetLastError());
    return -1;
  }
  return size.QuadPart;
}

bool FileW::Seek(int64_t offset, SeekOrigin origin) {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  if (in_memory_) {
    int64_t base = origin == SeekOrigin::kBegin ? 0 : origin == SeekOrigin::kCurrent ? memory_position_
                                                                                     : int64_t(memory_.size());
    if (base + offset < 0) return FailWithSystemError(ERROR_NEGATIVE_SEEK);
    memory_position_ = base + offset;
    return true;
  }
  static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER to;
  to.QuadPart = offset;
  if (!SetFilePointerEx(handle_.get(), to, nullptr, kMethod[int(origin)])) return FailWithSystemError(GetLastError());
  return true;
}

bool FileW::ReadAll(std::string& text) {
  text.clear();
  if (!CheckOpenFor(false)) return false;
  int64_t size = Size();
  if (size < 0) return false;
  if (size > kMaxMemoryFile) return Fail(FileErrorText(file_error::kTooLargeForMemory), ERROR_NOT_ENOUGH_MEMORY);
  if (!Seek(0)) return false;
  text.resize(size_t(size));
  if (!ReadExact(text.data(), size)) {
    text.clear();
    return false;
  }
  return true;
}

bool FileW::Flush() {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  if (!FlushFileBuffers(handle_.get())) return FailWithSystemError(GetLastError());
  return true;
}

bool FileW::SetTime(const DateTime& time, bool creation) {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  if (time.month == 0 || time.hour < 0) return FailWithSystemError(ERROR_INVALID_PARAMETER);
  SYSTEMTIME st = {};
  st.wYear = WORD(time.year);
  st.wMonth = WORD(time.month);
  st.wDay = WORD(time.day);
  st.wHour = WORD(time.hour);
  st.wMinute = WORD(time.minute);
  st.wSecond = WORD(time.second);
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return FailWithSystemError(GetLastError());
  // No flush before it: writes are stamped when they are made, not when the cache reaches the
  // disk, and a time set through the handle is the one the file keeps when the handle closes.
  if (!SetFileTime(handle_.get(), creation ? &ft : nullptr, nullptr, creation ? nullptr : &ft)) {
    return FailWithSystemError(GetLastError());
  }
  return true;
}

bool FileW::SetCreationTime(const DateTime& time) { return SetTime(time, true); }
bool FileW::SetLastWriteTime(const DateTime& time) { return SetTime(time, false); }

// ---------------------------------------------------------------------------------------------
// Locks, mapping, closing

bool FileW::LockRange(int64_t offset, int64_t length) {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  if (offset < 0 || length <= 0) return FailWithSystemError(ERROR_INVALID_PARAMETER);
  if (!LockFile(handle_.get(), DWORD(offset), DWORD(uint64_t(offset) >> 32), DWORD(length),
                DWORD(uint64_t(length) >> 32))) {
    return FailWithSystemError(GetLastError());
  }
  locks_.push_back({offset, length});
  return true;
}

bool FileW::UnlockRange(int64_t offset, int64_t length) {
  if (!IsOpen()) return Fail("File not open", ERROR_INVALID_HANDLE);
  auto held = std::find_if(locks_.begin(), locks_.end(),
                           [&](const LockedRange& r) { return r.offset == offset && r.length == length; });
  if (held == locks_.end()) return FailWithSystemError(ERROR_NOT_LOCKED);
  if (!UnlockFile(handle_.get(), DWORD(offset), DWORD(uint64_t(offset) >> 32), DWORD(length),
                  DWORD(uint64_t(length) >> 32))) {
    return FailWithSystemError(GetLastError());
  }
  locks_.erase(held);
  return true;
}

const uint8_t* FileW::MapView() {
  if (view_) return view_;
  if (!IsOpen()) {
    Fail("File not open", ERROR_INVALID_HANDLE);
    return nullptr;
  }
  mapping_.reset(CreateFileMappingW(handle_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_) {
    FailWithSystemError(GetLastError());
    return nullptr;
  }
  view_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_) {
    DWORD error = GetLastError();
    mapping_.reset();
    FailWithSystemError(error);
    return nullptr;
  }
  return view_;
}

void FileW::Close() {
  KeepLastError keep;
  if (view_) UnmapViewOfFile(view_);
  view_ = nullptr;
  mapping_.reset();
  for (const LockedRange& r : locks_) {
    UnlockFile(handle_.get(), DWORD(r.offset), DWORD(uint64_t(r.offset) >> 32), DWORD(r.length),
               DWORD(uint64_t(r.length) >> 32));
  }
  locks_.clear();
  handle_.reset();
  can_read_ = false;
  can_write_ = false;
  in_memory_ = false;
  std::string().swap(memory_);
  memory_position_ = 0;
}

bool FileW::CloseAndDelete(uint32_t flags) {
  Close();
  // Only a file this object opened (or created) is deleted: after a failed open the path names
  // somebody else's file.
  if (!owns_path_ || path_.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  owns_path_ = false;
  return RemoveFile(path_, flags);
}

// ---------------------------------------------------------------------------------------------
// Process-wide operations

bool FileExists(const std::wstring& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  if (IsBlank(ToU16(path))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring saved(n, L'\0');
  saved.resize(GetCurrentDirectoryW(n, saved.data()));
  if (SetCurrentDirectoryW(path.c_str())) {
    SetCurrentDirectoryW(saved.c_str());
    return true;
  }
  // The folder is there; this user just may not enter it.
  return GetLastError() == ERROR_ACCESS_DENIED;
}

bool CreateFolderTree(const std::wstring& path) {
  if (IsBlank(ToU16(path))) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  if (FolderExists(path)) return true;
  std::u16string parent = ParentFolder(ToU16(path));
  // Each parent is shorter than its child, so the recursion ends.
  if (parent.size() >= 4 || (!parent.empty() && !IsDriveRoot(parent) && parent != u"\\")) {
    CreateFolderTree(ToWide(parent));
  }
  DWORD error = CreateDirectoryW(path.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
  bool exists = FolderExists(path);
  SetLastError(error);
  return exists;
}

bool FolderIsEmpty(const std::wstring& path, bool ignore_clutter) {
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW(Join(path, L"*").c_str(), &entry));
  if (!find) return false;
  do {
    std::u16string name = ToU16(entry.cFileName);
    if (name == u"." || name == u"..") continue;
    if (ignore_clutter && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsFolderClutter(name)) continue;
    SetLastError(ERROR_DIR_NOT_EMPTY);
    return false;
  } while (FindNextFileW(find.get(), &entry));
  return true;
}

bool RemoveFolder(const std::wstring& path) {
  std::u16string folder = WithoutTrailingBackslash(ToU16(path));
  if (path.size() <= 3 || IsDriveRoot(folder)) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  std::wstring wide = ToWide(folder);
  // "thumbs.db" and "desktop.ini" are left by the shell and would keep the folder; they go only
  // when nothing else is in it, so a folder that stays keeps its look.
  if (FolderIsEmpty(wide, true)) {
    RemoveFile(Join(wide, L"thumbs.db"), kDeleteMissingIsSuccess);
    RemoveFile(Join(wide, L"desktop.ini"), kDeleteMissingIsSuccess);
  }
  if (RemoveDirectoryW(wide.c_str())) return true;
  DWORD error = GetLastError();
  SetLastError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  return false;
}

bool RemoveFile(const std::wstring& path, uint32_t flags) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  bool known = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
  if (flags & kDeleteOnlyIfEmpty) {
    // A file whose size cannot be read is not known to be empty.
    if (!known) {
      DWORD error = GetLastError();
      if ((flags & kDeleteMissingIsSuccess) && IsMissingError(error)) {
        SetLastError(ERROR_SUCCESS);
        return true;
      }
      return false;
    }
    if (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
      return false;
    }
  }
  bool cleared_read_only = false;
  if (!(flags & kDeleteKeepReadOnly) && known && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
    cleared_read_only = SetAttributes(path, 0, FILE_ATTRIBUTE_READONLY);
  }

  bool ok;
  if (flags & kDeleteAtRestart) {
    ok = ScheduleDeleteAtRestart(path);
  } else if (flags & kDeleteToRecycleBin) {
    ok = RecycleFile(path);
  } else {
    ok = DeleteFileW(path.c_str()) != FALSE;
  }
  if (ok) return true;

  DWORD error = GetLastError();
  if ((flags & kDeleteMissingIsSuccess) && IsMissingError(error)) {
    SetLastError(ERROR_SUCCESS);
    return true;
  }
  if ((flags & kDeleteAtRestartOnFailure) && !(flags & kDeleteAtRestart) && !IsMissingError(error)) {
    if (ScheduleDeleteAtRestart(path)) {
      SetLastError(ERROR_SUCCESS_REBOOT_REQUIRED);  // gone at the next restart
      return true;
    }
    error = GetLastError();
  }
  // The file stays: it keeps the attribute it had.
  if (cleared_read_only) SetAttributes(path, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
  SetLastError(error);
  return false;
}

std::wstring ChooseTempFolder(const std::wstring& system_temp_path, const std::wstring& windows_folder) {
  std::wstring folder;
  if (!IsBlank(ToU16(system_temp_path)) && FolderExists(system_temp_path)) {
    folder = system_temp_path;
  } else if (!windows_folder.empty() && FolderExists(Join(windows_folder, L"temp"))) {
    folder = Join(windows_folder, L"temp");
  } else {
    folder = L"c:\\temp";
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  return ToWide(WithoutTrailingBackslash(ToU16(folder)));
}

const std::wstring& TempFolder() {
  static std::once_flag once;
  static std::wstring folder;
  std::call_once(once, [] {
    KeepLastError keep;
    std::wstring system_temp(MAX_PATH + 1, L'\0');
    DWORD n = GetTempPathW(DWORD(system_temp.size()), system_temp.data());
    if (n > system_temp.size()) {
      system_temp.resize(n);
      n = GetTempPathW(n, system_temp.data());
    }
    system_temp.resize(n < system_temp.size() ? n : 0);
    std::wstring windows(MAX_PATH, L'\0');
    UINT m = GetWindowsDirectoryW(windows.data(), UINT(windows.size()));
    windows.resize(m < windows.size() ? m : 0);
    folder = ChooseTempFolder(system_temp, windows);
  });
  return folder;
}

std::wstring TempName(const std::wstring& folder, const std::wstring& extension) {
  return CreateTempFile(folder, extension, TempCreation{}).path;
}

bool SetAttributes(const std::wstring& path, DWORD values, DWORD mask) {
  DWORD old = GetFileAttributesW(path.c_str());
  if (old == INVALID_FILE_ATTRIBUTES) return false;
  old &= ~DWORD(FILE_ATTRIBUTE_NORMAL);
  DWORD wanted = (old & ~mask) | (values & mask & ~DWORD(FILE_ATTRIBUTE_NORMAL));
  if (wanted == old) return true;
  // Only these bits can be set; the others (folder, compressed, reparse point...) stay as they are.
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD write = wanted & kSettable;
  return SetFileAttributesW(path.c_str(), write ? write : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool IsReadOnly(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::optional<uint64_t> DiskFreeSpace(wchar_t drive_letter) {
  bool letter = (drive_letter >= L'a' && drive_letter <= L'z') || (drive_letter >= L'A' && drive_letter <= L'Z');
  if (!letter) {
    SetLastError(ERROR_INVALID_DRIVE);
    return std::nullopt;
  }
  wchar_t root[] = {drive_letter, L':', L'\\', 0};
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(root, &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

}  // namespace halberd
