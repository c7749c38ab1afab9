// The platform requirements of a product, checked before anything is installed: the bitness of
// Windows, the oldest Windows it runs on, the Windows versions it refuses, a master product that
// must be installed first, and the single running installer. The decisions are portable; the
// Windows part (RunPlatformChecks) reads the system and ends the run on a refusal.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/format/setup_script.h"
#include "foundation/windows_version.h"

namespace halberd::engine {

// The bitness of Windows a product asks for and this Windows lacks: 64 (Bitness 1 on 32-bit
// Windows), 32 (Bitness 2 on 64-bit Windows), otherwise 0 (it may run here).
int MissingBitness(uint8_t bitness, bool windows_64bit);

using format::MinimumWindows;
// Whether the running Windows is older than the minimum (major, minor, then build; a minimum
// without a build accepts every build of its version).
bool IsOlderThan(const WindowsVersion& running, const MinimumWindows& minimum);
// The minimum as the refusal text names it: "6.1", "10.0.19041".
std::u16string MinimumWindowsText(const MinimumWindows& minimum);

// Language text n of the run (tests give their own).
using TextSource = std::function<std::u16string(int)>;

// Whether the running Windows's bit is set in the excluded-Windows mask.
bool IsExcludedWindows(uint32_t excluded_mask, const WindowsVersion& running);

// What the registry tells of the master product: whether its uninstall key exists, and its
// `InstallLocation` and `DisplayVersion`.
struct MasterProductFacts {
  bool installed = false;
  std::u16string install_location;
  std::u16string version;
};

// The master product as the run uses it: an empty uninstall key name or display name is this
// product's display name.
format::MasterProduct MasterWithDefaults(format::MasterProduct master, std::u16string_view own_display_name);

struct MasterProductDecision {
  int refusal_text = 0;    // 0: the run goes on; 12 (missing) or 112 (too old): exit 7
  std::u16string message;  // the refusal text filled in
  std::u16string folder;   // with "<master>": the master's folder, which becomes the installation folder
};
// `master` with its defaults; `text` fetches a language text by number; `folder_is_master` tells
// whether the installation folder is "<master>".
MasterProductDecision DecideMasterProduct(const format::MasterProduct& master, bool folder_is_master,
                                          const MasterProductFacts& facts,
                                          const TextSource& text);

// Whether a folder value is "<master>" (letter case ignored).
bool IsMasterFolder(std::u16string_view folder);

// The name of the named mutex that lets only one installer run at a time.
inline constexpr wchar_t kSingleInstallerMutex[] = L"Halberd HVS";

// Steps of the install run, in their order (Windows only). Each refusal shows its text (under the
// rules of error messages) and ends the run with its exit code.
void RunPlatformChecks();

}  // namespace halberd::engine
