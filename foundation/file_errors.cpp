#include "foundation/file_errors.h"

namespace halberd {

namespace {

constexpr uint32_t kEFail = 0x80004005;

struct FileErrorEntry {
  const char* text;
  uint32_t system_error;
};

// Indexed by code.
constexpr FileErrorEntry kFileErrors[] = {
    {"Success.", 0},
    {"An unknown error occurred.", kEFail},
    {"The filename is invalid.", 123},                   // ERROR_INVALID_NAME
    {"The file was not found.", 2},                      // ERROR_FILE_NOT_FOUND
    {"The directory does not exist.", 3},                // ERROR_PATH_NOT_FOUND
    {"The file is locked by another application.", 32},  // ERROR_SHARING_VIOLATION
    {"Failed to read the file into memory.", 30},        // ERROR_READ_FAULT
    {"Failed to write data to the file.", 29},           // ERROR_WRITE_FAULT
    {"Too many files are already open.", 4},             // ERROR_TOO_MANY_OPEN_FILES
    {"An invalid parameter was used.", 87},              // ERROR_INVALID_PARAMETER
    {"The file already exists.", 80},                    // ERROR_FILE_EXISTS
    {"Too many indexed files exist.", 4},
    {"Access denied.", 5},                               // ERROR_ACCESS_DENIED
    {"The file's Read-Only attribute is set.", 5},
    {"The file's contents are corrupted.", 1392},        // ERROR_FILE_CORRUPT
    {"Deletion failed.", 8398},
    {"The file is too large to load into memory.", 8},  // ERROR_NOT_ENOUGH_MEMORY
    {"Aborted by the user.", 1235},                      // ERROR_REQUEST_ABORTED
    {"Failed to create the directory.", 267},            // ERROR_DIRECTORY
    {"The network path is not valid.", 1203},            // ERROR_NO_NET_OR_BAD_PATH
    {"The device is not ready (usually because no disk is inserted).", 21},  // ERROR_NOT_READY
    {"The drive does not exist.", 15},                   // ERROR_INVALID_DRIVE
    {"Erasure verification failed.", 13915},
    {"The filepath points to a folder, not a file.", kEFail},
    {"Too many tabs are open.", 4},
    {"No change was necessary.", 1252},
    {"The file is not open.", 6},                        // ERROR_INVALID_HANDLE
    {"The file has changed.", kEFail},
    {"The file is already open.", kEFail},
};

constexpr int kFileErrorCount = int(sizeof(kFileErrors) / sizeof(kFileErrors[0]));
static_assert(kFileErrorCount == file_error::kAlreadyOpen + 1);

}  // namespace

const char* FileErrorText(int code) {
  if (code < 0 || code >= kFileErrorCount) return kFileErrors[1].text;
  return kFileErrors[code].text;
}

uint32_t FileErrorSystemCode(int code) {
  if (code < 0 || code >= kFileErrorCount) return kEFail;
  return kFileErrors[code].system_error;
}

}  // namespace halberd
