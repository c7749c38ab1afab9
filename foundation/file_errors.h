// File error codes: the small result that every file open and many file operations return, with
// the text shown to the user and the system error number set when the code is reported.
// Portable: the system error numbers are written out here, so no windows.h is needed.
#pragma once
#include <cstdint>

namespace halberd {

// Used as file_error::kLocked; the codes convert to int, the type that Open returns.
namespace file_error {
enum Code : int {
  kSuccess = 0,
  kUnknown = 1,
  kInvalidName = 2,
  kFileNotFound = 3,
  kFolderNotFound = 4,
  kLocked = 5,
  kReadIntoMemory = 6,
  kWriteFailed = 7,
  kTooManyOpen = 8,
  kInvalidParameter = 9,
  kAlreadyExists = 10,
  kTooManyIndexed = 11,
  kAccessDenied = 12,
  kReadOnly = 13,
  kCorrupted = 14,
  kDeletionFailed = 15,
  kTooLargeForMemory = 16,
  kAborted = 17,
  kCreateFolderFailed = 18,
  kBadNetworkPath = 19,
  kNotReady = 20,
  kNoSuchDrive = 21,
  kErasureVerification = 22,
  kIsFolder = 23,
  kTooManyTabs = 24,
  kNoChange = 25,
  kNotOpen = 26,
  kChanged = 27,
  kAlreadyOpen = 28,
};
}  // namespace file_error

// Text of a code, for example "The file was not found."; any code outside 0-28 has the text
// "An unknown error occurred.".
const char* FileErrorText(int code);

// System error number that goes with a code (0x80004005, E_FAIL, for codes without a better one).
uint32_t FileErrorSystemCode(int code);

// An open that finds the object already open is not a failure for callers that only need the
// file to be open.
inline bool FileIsOpenAfter(int code) { return code == file_error::kSuccess || code == file_error::kAlreadyOpen; }

}  // namespace halberd
