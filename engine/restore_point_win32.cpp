#include "engine/restore_point.h"

#include <windows.h>
#include <objbase.h>

#include <cstddef>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/product_flags.h"
#include "foundation/fs_redirection.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/tl_registry.h"

namespace halberd::engine {

namespace {

// The restore-point service's records (the wide form of its header, which MinGW lacks).
constexpr DWORD kBeginSystemChange = 100;
constexpr DWORD kEndSystemChange = 101;
constexpr DWORD kApplicationInstall = 0;
constexpr size_t kDescriptionChars = 256;

// Both records are byte-packed as in the system's header: the status record is 12 bytes with
// the sequence number at offset 4, and the commit must hand back exactly the number it was given.
#pragma pack(push, 1)
struct RestorePointInfo {
  DWORD event_type;
  DWORD restore_point_type;
  INT64 sequence_number;
  WCHAR description[kDescriptionChars];
};

struct StateManagerStatus {
  DWORD status;
  INT64 sequence_number;
};
#pragma pack(pop)

static_assert(sizeof(RestorePointInfo) == 16 + 2 * kDescriptionChars);
static_assert(offsetof(RestorePointInfo, sequence_number) == 8);
static_assert(offsetof(RestorePointInfo, description) == 16);
static_assert(sizeof(StateManagerStatus) == 12);
static_assert(offsetof(StateManagerStatus, sequence_number) == 4);

using SetRestorePointFn = BOOL(WINAPI*)(RestorePointInfo*, StateManagerStatus*);

INT64 g_sequence = 0;
bool g_begun = false;

// Windows editions with System Restore keep its settings under this key; server editions and
// systems whose "srclient.dll" is only a stand-in (Wine's reports failure with no reason) lack it.
constexpr wchar_t kSystemRestoreKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";

SetRestorePointFn FindService(const char** reason) {
  HMODULE library = LoadSystemLibrary(L"srclient.dll");
  if (!library || !KeyExists(HKEY_LOCAL_MACHINE, kSystemRestoreKey, reg_exists::kReadAccess | reg_view::k64Bit)) {
    *reason = "System Restore is not present.";
    return nullptr;
  }
  auto fn = reinterpret_cast<SetRestorePointFn>(reinterpret_cast<void*>(GetProcAddress(library, "SRSetRestorePointW")));
  if (!fn) *reason = "SRSetRestorePointW is not present.";
  return fn;
}

void Failed(const std::wstring& reason) {
  LogWide(L"FAILED" + reason + L"\r\n\r\n");
  Run().ProductFlags2 &= ~format::kFlags2RestorePoint;
}

}  // namespace

void BeginRestorePoint() {
  if (!(Run().ProductFlags2 & format::kFlags2RestorePoint)) return;
  LogUtf8("Creating restore point...");
  // The service asks for a process that lets the system call back into it.
  HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  if (FAILED(security) && security != RPC_E_TOO_LATE) {
    Failed(L"Failed to initialize COM security: " + SystemErrorText(DWORD(security)));
    return;
  }
  // The service's client loads further system libraries as it works.
  RedirectionOnScope redirection_on(ProcessFsRedirection());
  const char* missing = nullptr;
  SetRestorePointFn set_restore_point = FindService(&missing);
  if (!set_restore_point) {
    Failed(std::wstring(missing, missing + std::char_traits<char>::length(missing)));
    return;
  }
  RestorePointInfo info{};
  info.event_type = kBeginSystemChange;
  info.restore_point_type = kApplicationInstall;
  std::u16string description = RestorePointDescription(Settings().DisplayName, Settings().DisplayVersion);
  std::copy(description.begin(), description.end(), info.description);
  StateManagerStatus status{};
  if (!set_restore_point(&info, &status)) {
    if (status.status == ERROR_SERVICE_DISABLED) {
      Failed(L"System Restore is turned off.");
    } else {
      wchar_t line[64];
      swprintf(line, 64, L"Failed, code %u: ", unsigned(status.status));
      Failed(line + SystemErrorText(status.status));
    }
    return;
  }
  g_sequence = status.sequence_number;
  g_begun = true;
  LogUtf8("OK\r\n");
}

void CommitRestorePoint() {
  if (!g_begun || !(Run().ProductFlags2 & format::kFlags2RestorePoint)) return;
  RedirectionOnScope redirection_on(ProcessFsRedirection());
  const char* missing = nullptr;
  SetRestorePointFn set_restore_point = FindService(&missing);
  RestorePointInfo info{};
  info.event_type = kEndSystemChange;
  info.restore_point_type = kApplicationInstall;
  info.sequence_number = g_sequence;
  StateManagerStatus status{};
  if (!set_restore_point || !set_restore_point(&info, &status)) LogUtf8("Failed to commit restore point.\r\n");
  g_begun = false;
}

}  // namespace halberd::engine
