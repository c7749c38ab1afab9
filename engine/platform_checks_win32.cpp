#include "engine/platform_checks.h"

#include <windows.h>

#include "engine/earlier_installation.h"
#include "engine/language_texts.h"
#include "engine/message_text.h"
#include "engine/policy_messages.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/exit_routine.h"
#include "engine/setup_script_state.h"
#include "foundation/fatal_error.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/tl_registry.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

void CheckBitness() {
  const RunState& run = Run();
  int missing = MissingBitness(Settings().Bitness, RunningWindows().is64bit);
  if (missing != 0) {
    std::wstring text = ToWide(FillInText(LanguageText16(text::kWrongBitness), {ToU16(std::to_wstring(missing))}));
    LogWide(text + L"\r\n");
    if (!run.automatic && !run.silent) ShowErrorMessage(text);
    ExitRun(exit_code::kBitness);
  }
  if (Settings().Bitness == 1 && run.fs_redirection_failed) FatalError("Wow64DisableWow64FsRedirection() failed");
}

void CheckWindowsVersion() {
  const WindowsVersion& running = RunningWindows();
  MinimumWindows minimum = format::ReadMinimumWindows(Script().minimum_windows_version);
  if (IsOlderThan(running, minimum))
    Refuse(ToWide(FillInText(LanguageText16(text::kWindowsTooOld), {MinimumWindowsText(minimum)})), exit_code::kWindowsTooOld);
  if (IsExcludedWindows(Script().excluded_windows_mask, running)) {
    std::string name = WindowsName(running);
    Refuse(ToWide(FillInText(LanguageText16(text::kWindowsExcluded), {std::u16string(name.begin(), name.end())})), exit_code::kBitness);
  }
}

void CheckMasterProduct() {
  if (!(Run().ProductFlags & format::kFlagMasterProduct)) return;
  format::MasterProduct master = MasterWithDefaults(Script().master_product, Settings().DisplayName);
  MasterProductFacts facts;
  RegistryKey key;
  if (key.OpenKey(RegistryRoot::kLocalMachine, kUninstallRoot + ToWide(master.uninstall_key_name), reg_open::kOpenOnly,
                  KEY_READ | reg_view::k32Bit) != reg_opened::kFailed) {
    facts.installed = true;
    facts.install_location = ToU16(key.ReadText(L"InstallLocation"));
    facts.version = ToU16(key.ReadText(L"DisplayVersion"));
  }
  bool folder_is_master = IsMasterFolder(ToU16(Run().install_folder));
  MasterProductDecision d = DecideMasterProduct(master, folder_is_master, facts, [](int n) { return LanguageText16(n); });
  if (d.refusal_text != 0) Refuse(ToWide(d.message), exit_code::kMasterProduct);
  if (folder_is_master) Run().install_folder = ToWide(d.folder);
}

void TakeSingleInstallerMutex() {
  if (!(Run().ProductFlags & format::kFlagSingleInstaller)) return;
  // Held to the end of the process: the handle is never closed.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kSingleInstallerMutex);
  if (mutex == nullptr) return;
  DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) Refuse(LanguageText(text::kAlreadyRunning), exit_code::kAlreadyRunning);
}

}  // namespace

void RunPlatformChecks() {
  CheckBitness();
  CheckWindowsVersion();
  CheckMasterProduct();
  TakeSingleInstallerMutex();
}

}  // namespace halberd::engine
