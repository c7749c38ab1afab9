// Closing the running programs that the setup script names (its `AutoClose` list) before files
// are replaced. Each entry names a window by class and title patterns: a pattern that starts with
// "*" matches any text that contains the rest, any other pattern the whole text (letter case
// ignored), and an empty pattern every window. The matching is portable; the window walk and the
// actions are the Windows part's.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/format/setup_script.h"

namespace halberd::engine {

// Flags of an entry: when it applies.
inline constexpr uint8_t kCloseWhileInstalling = 0x1;
inline constexpr uint8_t kCloseWhileUninstalling = 0x2;

// Actions of an entry.
inline constexpr uint8_t kCloseByMessage = 0;    // WM_CLOSE is posted
inline constexpr uint8_t kCloseByQuit = 1;       // WM_QUIT is posted
inline constexpr uint8_t kCloseAskUser = 2;      // the user is asked to close it
inline constexpr uint8_t kCloseTerminate = 3;    // the owning process is terminated

bool WindowPatternMatches(std::u16string_view pattern, std::u16string_view text);

// The first entry for installing whose patterns match the window; nullptr when none does.
const format::AutoCloseEntry* FindCloseEntry(const std::vector<format::AutoCloseEntry>& entries,
                                             std::u16string_view window_class, std::u16string_view window_title);

// The entries kept for the uninstaller: those that apply while uninstalling.
std::vector<format::AutoCloseEntry> EntriesForUninstall(const std::vector<format::AutoCloseEntry>& entries);

// The step of the install run (Windows only): every top-level window of another process is
// matched; afterwards the list keeps the uninstaller's entries and the run waits 333 ms.
void CloseRunningPrograms();

}  // namespace halberd::engine
