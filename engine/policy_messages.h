// How the checks before installing tell the user and end the run, and the product flag bits they
// read. Error messages follow the run's rules: nothing is shown in silent mode, and in automatic
// mode only when ProductFlags bit 35 asks for errors. A refusal also goes to the running log, so
// the install log of a later run or a caller reading the log can see why the run ended.
#pragma once
#include <cstdint>
#include <string>

namespace halberd::engine {

namespace policy_flag {
inline constexpr uint64_t kUninstallFirst = uint64_t(1) << 0;
inline constexpr uint64_t kEarlierInstallation = uint64_t(1) << 2;
inline constexpr uint64_t kAskFolder = uint64_t(1) << 7;
inline constexpr uint64_t kSingleInstaller = uint64_t(1) << 8;
inline constexpr uint64_t kMasterProduct = uint64_t(1) << 16;
inline constexpr uint64_t kNoInstallTypeConfirmation = uint64_t(1) << 28;
inline constexpr uint64_t kConfirmFolder = uint64_t(1) << 31;
inline constexpr uint64_t kAskStartMenu = uint64_t(1) << 34;
inline constexpr uint64_t kErrorsWhenAutomatic = uint64_t(1) << 35;
inline constexpr uint64_t kCompareVersions = uint64_t(1) << 36;
inline constexpr uint64_t kRefuseNetworkFolder = uint64_t(1) << 37;
inline constexpr uint64_t kAskOverInstall = uint64_t(1) << 44;
inline constexpr uint64_t kRefuseRemovableDrive = uint64_t(1) << 55;
// ProductFlags2.
inline constexpr uint32_t kNoStartMenuPageOnRemovable = uint32_t(1) << 11;
inline constexpr uint32_t kRecordEarlierLocation = uint32_t(1) << 13;
inline constexpr uint32_t kAsciiFolderOnly = uint32_t(1) << 16;
}  // namespace policy_flag

// Whether an error message is shown in this run (Windows only, as the functions below).
bool ErrorMessagesShown();
// Shows an error message under the rules above (caption text 21, error icon).
void ShowErrorMessage(const std::wstring& text);
// Logs the text, shows it under the rules above and ends the run with `code`.
[[noreturn]] void Refuse(const std::wstring& text, int code);

}  // namespace halberd::engine
