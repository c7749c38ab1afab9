// The process-wide run state that the command line and start-up set and every step reads:
// the run flags, the names given on the command line, the session number and the product flag
// words.
#pragma once
#include <cstdint>
#include <string>

namespace halberd::engine {

// The installer's own version; the installation data must carry the same.
inline constexpr char kInstallerVersion[] = "48.0.11";
// Name used in captions before the product's own name is known.
inline constexpr wchar_t kOwnCaptionW[] = L"Halberd Setup";
inline constexpr char kOwnCaptionA[] = "Halberd Setup";

struct RunState {
  std::wstring display_name;          // /n:, else the setup script
  std::wstring install_folder_override;  // /d:
  std::wstring install_folder;        // the installation folder as settled so far (default, /d:, chosen)
  std::wstring uninstall_product;     // /u:
  std::wstring launch_after;          // /r:
  std::string extra_batch[3];         // /b1: /b2: /b3: (ANSI)
  bool automatic = false;
  bool silent = false;
  bool minimized = false;
  bool uninstall = false;
  bool disk_full = false;
  uint64_t session = 0;               // random, top bit clear
  uint64_t ProductFlags = 0;
  uint32_t ProductFlags2 = 0;
  // A 64-bit product switches the file-system redirection off when its script is read; a failure
  // is kept here and made fatal by the platform check ("Wow64DisableWow64FsRedirection() failed").
  bool fs_redirection_off = false;
  bool fs_redirection_failed = false;
  // Set by the earlier-installation checks: the install type's log name ("New", "Reinstall",
  // "Upgrade", "Downgrade") and the version of the installation being overwritten (empty when
  // unknown).
  std::wstring install_type = L"New";
  std::wstring overwriting_version;
  // The installation folder (InstallLocation) of the earlier installation found; empty when none.
  std::wstring earlier_install_location;
  // The summary page's choices for the end of the run: the document, the program and the second
  // document run only while chosen (all are, unless the page was shown and the user unticked them).
  bool end_show_document = true;
  bool end_start_program = true;
  bool end_second_document = true;
  // The restart question was agreed (or needed no asking): the end of the run restarts Windows.
  bool restart_agreed = false;

  bool restart_required() const { return (ProductFlags >> 14) & 1; }
  void set_restart_required() { ProductFlags |= uint64_t(1) << 14; }
};

RunState& Run();

// Exit code of a finished installation: 16 when a restart is required, 17 when a write failed
// because the disk was full, otherwise 0.
int FinishedExitCode(const RunState& run);

// Exit codes of the install run.
namespace exit_code {
inline constexpr int kFinished = 0;
inline constexpr int kFatal = -1;
inline constexpr int kCorrupt = 2;
inline constexpr int kBitness = 5;
inline constexpr int kWindowsTooOld = 6;
inline constexpr int kMasterProduct = 7;
inline constexpr int kAlreadyRunning = 8;
inline constexpr int kUninstallFirst = 9;
inline constexpr int kEarlierUninstallerStarted = 10;
inline constexpr int kNoDowngrade = 11;
inline constexpr int kCancelled = 12;
inline constexpr int kUsage = 15;
inline constexpr int kRestartRequired = 16;
inline constexpr int kDiskFull = 17;
inline constexpr int kBlocked = 18;
}  // namespace exit_code

}  // namespace halberd::engine
