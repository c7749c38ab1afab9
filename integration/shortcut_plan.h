// The shortcut plan, in portable form: the entries of the run (the setup script's shortcut list,
// the shortcuts file extraction listed, the uninstaller and log shortcuts the product flags add),
// the preparation of each entry (target, arguments, icon, start-in folder, name, link flags), the
// places its links go to under `ShortcutMode`, what is recorded for removal, the root shortcut of
// a portable drive and the taskbar pin. The shell calls are in shortcuts_win32.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format/setup_script.h"
#include "install/installed_files.h"

namespace halberd::integration {

// Window state of a shortcut.
inline constexpr int kShowNormal = 0;
inline constexpr int kShowMinimizedNoFocus = 1;
inline constexpr int kShowMaximized = 2;

// Flags passed to link creation.
inline constexpr uint32_t kLinkAllUsers = 0x1;
inline constexpr uint32_t kLinkMinimized = 0x2;
inline constexpr uint32_t kLinkMaximized = 0x4;

struct ShortcutEntry {
  std::u16string target;
  std::u16string name;
  std::u16string icon;
  std::u16string arguments;
  std::u16string start_in;
  bool desktop = false;
  bool start_menu = false;
  bool startup = false;
  std::u16string extra_folder;  // may hold path variables
  bool keep_at_uninstall = false;
  bool expand_target = false;
  bool portable = false;  // made in a portable installation that limits shortcuts
  int show_command = kShowNormal;
  bool operator==(const ShortcutEntry&) const = default;
};

// An entry of the setup script's list (item 71): texts target, name, icon, arguments, start-in;
// options desktop, Start menu, Startup; the extra folder; flags[0] bit 0 kept, bit 1 expanded,
// bit 2 portable; flags[1] the window state.
ShortcutEntry EntryFromScript(const format::RegistrationEntry& e);
// A shortcut that file extraction listed (its target is the written file's path).
ShortcutEntry EntryFromFile(const install::ShortcutRequest& r);

// What the run knows when it lays out the shortcuts.
struct ShortcutRun {
  uint64_t ProductFlags = 0;
  uint32_t ProductFlags2 = 0;
  uint8_t ShortcutMode = 0;
  bool portable = false;               // %Portable%
  std::u16string install_folder;
  std::u16string uninstall_folder;
  std::u16string uninstaller_path;     // the uninstaller copy
  std::u16string uninstall_key_name;
  bool has_uninstaller_icon = false;
  std::u16string uninstall_name;       // language text 33
  std::u16string log_shortcut_name;    // language text 86
  std::u16string unnamed_format;       // language text 38, "%s" takes the target's file name
};

// The shortcuts the product flags add (ProductFlags bit 2 first): the uninstaller in the Start
// menu (bit 1), on the desktop (bit 33), in the uninstall folder (bit 38, a portable entry), in
// the installation folder (ProductFlags2 bit 21); the log in the Start menu (bit 59).
std::vector<ShortcutEntry> AddedShortcuts(const ShortcutRun& run);

// ProductFlags2 bit 11: a portable installation makes only the entries marked portable.
bool EntryWanted(const ShortcutEntry& e, const ShortcutRun& run);

// A prepared entry: what goes into the link.
struct PreparedShortcut {
  std::u16string target;
  std::u16string arguments;
  std::u16string icon;      // empty: the target is the icon
  std::u16string start_in;
  std::u16string name;
  uint32_t link_flags = 0;
  // The start-in folder that does not exist (already logged as such); empty when none.
  std::u16string missing_start_in;
  bool operator==(const PreparedShortcut&) const = default;
};

struct PrepareTools {
  std::function<std::u16string(std::u16string_view)> expand;     // path variables
  std::function<bool(const std::u16string&)> folder_exists;
};
PreparedShortcut PrepareShortcut(const ShortcutEntry& e, const ShortcutRun& run, const PrepareTools& tools);

// The log line of a start-in folder that does not exist.
std::u16string MissingStartInLine(std::u16string_view folder);

// Where the links of an entry go.
enum class ShortcutPlace { kDesktop, kDesktopFolder, kStartMenu, kStartup, kExtraFolder };

// The shell folders of both kinds; ShortcutMode 1 takes the all-users ones.
struct ShellFolders {
  std::u16string desktop, all_users_desktop;
  std::u16string programs, all_users_programs;
  std::u16string startup, all_users_startup;
};

struct ShortcutTargets {
  std::u16string desktop;        // the desktop folder of the mode
  std::u16string desktop_folder; // that desktop joined with `DesktopFolder`; empty without one
  std::u16string start_menu;     // the Programs folder of the mode joined with `ProductStartMenu`
  std::u16string startup;        // the Startup folder of the mode
};
ShortcutTargets TargetsOf(const ShellFolders& folders, uint8_t shortcut_mode, std::u16string_view desktop_folder_name,
                          std::u16string_view product_start_menu);

struct ShortcutLink {
  ShortcutPlace place = ShortcutPlace::kDesktop;
  std::u16string path;    // the link file, ending in ".lnk"
  std::u16string folder;  // its folder, created when missing
  bool record = false;    // the link (and the folder levels this run creates) are recorded for removal
  bool operator==(const ShortcutLink&) const = default;
};
// The links of one prepared entry, in the order desktop, Start menu, Startup, extra folder.
// `extra_folder` is the entry's extra folder already expanded.
std::vector<ShortcutLink> LinksOf(const ShortcutEntry& e, const PreparedShortcut& p, const ShortcutTargets& targets,
                                  std::u16string_view extra_folder);

// The log line of a link made (with ProductFlags bit 20): "Desktop Shortcut(%s) >>> %s\r\n" and
// its kin, with the entry's name and the link path.
std::u16string LinkLogLine(ShortcutPlace place, std::u16string_view name, std::u16string_view path);

// A Desktop.ini whose icon path holds a character of 128 or above must be a Unicode file.
bool NeedsUnicodeDesktopIni(std::u16string_view icon_path);

// A command line split into its program (quotes removed) and its arguments (blanks before them
// dropped). A program that does not begin with a quote ends at the first blank.
struct SplitCommand {
  std::u16string program;
  std::u16string arguments;
  bool operator==(const SplitCommand&) const = default;
};
SplitCommand SplitCommandLine(std::u16string_view command);

// The root shortcut of a portable drive: "X:\<name>.lnk" on the installation folder's drive;
// nullopt when the installation folder has no drive letter or the name is empty.
std::optional<std::u16string> RootShortcutPath(std::u16string_view install_folder, std::u16string_view name);

// The taskbar pin is made on Windows NT 6.1 up to (not including) 10, that is 6.1, 6.2 and 6.3.
bool PinSupported(uint32_t major, uint32_t minor);
// The copy the shell makes of a pinned link, below the user's application-data folder.
std::u16string PinnedCopyPath(std::u16string_view app_data_folder, std::u16string_view name);
// Whether a body line of the uninstall data is a pinned link the uninstaller unpins.
bool IsPinnedShortcut(std::u16string_view path);

// A link's name made safe as a file name inside its folder: every character that a file name
// cannot hold (":*?"<>|" and control characters) becomes "_"; backslashes stay (sub-folders);
// "." and ".." parts are dropped so that a name never climbs out of its folder.
std::u16string SafeLinkName(std::u16string_view name);

}  // namespace halberd::integration
