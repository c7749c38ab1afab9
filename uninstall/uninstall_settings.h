// The uninstall key as the uninstaller reads it: every value the uninstall registration saved,
// each with the value used when it is missing, and the clamping and parsing the uninstaller
// applies (dialog zoom, colour texts, flag words). Portable: the values come through a lookup
// that the Windows part fills from the key (uninstall_run_win32.cpp).
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/format/setup_script.h"

namespace halberd::uninstall {

// The values of the uninstall key. Texts saved as 8-bit strings that hold paths in the uninstall
// text encoding (SharedFiles, ProductFonts) or batch text in code page 1252 (the two batches) are
// kept as the stored bytes.
struct UninstallSettings {
  std::u16string DisplayName;       // the /u name when missing or empty
  std::u16string InstallLocation;   // required: empty means the information is corrupt
  uint64_t ProductFlags = 0;        // signed 64-bit decimal text
  uint32_t ProductFlags2 = 0;       // unsigned decimal text
  uint32_t Bitness = 0;             // 1: the file-system redirection is switched off
  // The look.
  std::u16string DialogFont, DisplayTitle, TitleFont, CopyrightText, CopyrightFont;
  double TitleSize = 1.0;
  uint32_t TitleColor = format::kColourUnset;  // unset: the system's window-text colour
  uint32_t TitleShadow = 1;
  uint32_t TopColor = format::kColourUnset;    // unset: the system's window colour
  uint32_t BottomColor = 0;
  uint32_t MonoColor = 1;
  uint32_t TitlePosition = 0;
  uint32_t CopyrightPos = 0;
  std::u16string TaskbarText = u"Setup";
  double CopyrightSize = 0;
  // Colour texts ("RRGGBB", "#" allowed); unset when missing or not a colour.
  uint32_t CopyrightColor = format::kColourUnset;
  uint32_t BannerFG = format::kColourUnset;
  uint32_t DialogBG = format::kColourUnset;
  uint32_t DialogFG = format::kColourUnset;
  uint32_t ButtonBG = format::kColourUnset;
  uint32_t ButtonFG = format::kColourUnset;
  uint32_t ButtonBorder = format::kColourUnset;
  uint32_t ProgressStyle = 2;
  // What to remove and how.
  std::u16string DisplayVersion;
  std::u16string UninstallSubdir;
  std::u16string AddToPathSubfolder;
  std::string ProductFonts;         // 8-bit, as stored
  uint32_t UninstallFonts = 2;      // 0 keep, 1 ask, 2 remove
  uint32_t UninstallShared = 2;     // 0 keep, 1 ask, 2 remove
  uint32_t ShortcutMode = 0;        // 1: the all-users folders
  std::u16string NotifyURL;
  std::u16string Language;
  uint64_t Session = 0;             // 0: the run keeps the number it drew
  uint32_t DialogZoom = 100;        // clamped to 50..150
  std::u16string DesktopFolder;
  int32_t BitmapTPI = -1;
  uint32_t StretchMode = 0;
  uint32_t BitmapSize = 0;
  std::u16string SupportOffer;
  std::u16string SharedPath;
  std::u16string ProductStartMenu;
  std::string UninstallBatch1;      // code page 1252
  std::string UninstallBatch2;
  std::string SharedFiles;          // 8-bit, as stored
  std::u16string ProductRegistry;
};

// The key's values by name: `text` gives a value as text (numbers as their decimal text),
// `bytes` an 8-bit string value as stored; nullopt when the value is missing.
struct UninstallKeyValues {
  std::function<std::optional<std::u16string>(std::u16string_view name)> text;
  std::function<std::optional<std::string>(std::u16string_view name)> bytes;
};

// Every value of the key with its default; `uninstall_name` is the /u name.
UninstallSettings ReadUninstallSettings(const UninstallKeyValues& values, std::u16string_view uninstall_name);

// The stored zoom as used: 0 or less means 100, otherwise clamped to 50..150.
uint32_t ClampDialogZoom(int64_t stored);

// "RRGGBB" (hexadecimal, either case), with or without a leading "#", as an RGB value with red in
// the low byte; nullopt for anything else.
std::optional<uint32_t> ParseColourText(std::u16string_view text);

// A whole decimal number with an optional sign, blanks around it allowed; nullopt otherwise.
std::optional<int64_t> ParseDecimal(std::u16string_view text);

}  // namespace halberd::uninstall
