// The product settings: one process-wide record of the named values that the setup script sets
// and every step reads. The member names are the value names under which the uninstall
// registration saves them in the uninstall key and from which the uninstaller reads them back;
// members in lower case are settings that the key does not hold under a name of their own.
//
// The record is filled once, right after the setup script is read, with the defaults that depend
// on the display name already applied:
//   DisplayName        the /n: name, else the script's display name
//   product_description   empty: the display name
//   SharedPath         empty: Publisher, or the display name when there is no publisher
//   ProductStartMenu   empty: the display name
//   uninstall_key_name empty: the display name
//   uninstaller_file_name  empty, or not a plain file name: "uninstall.exe"
//   DesktopFolder      empty and ProductFlags bit 58: the display name
// The default installation folder is not settled here: it needs the path variables and the
// special folders, and the step that chooses the folder works it out from the script.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/format/setup_script.h"

namespace halberd::engine {

// A script that names no product, run without /n:, would register under the uninstall key
// itself and give every caption and default an empty name; the run stops with this corrupt code.
inline constexpr int kCorruptNoProductName = 33;

inline constexpr char16_t kDefaultUninstallerName[] = u"uninstall.exe";

struct ProductSettings {
  // Names and places.
  std::u16string DisplayName;
  std::u16string DisplayVersion;
  std::u16string Publisher;
  std::u16string product_description;  // the <description> token
  std::u16string UninstallSubdir;
  std::u16string SharedPath;
  std::u16string ProductStartMenu;
  std::u16string ProductRegistry;
  std::u16string DesktopFolder;
  std::u16string AddToPathSubfolder;
  std::u16string uninstall_key_name;
  std::u16string uninstaller_file_name;
  uint8_t ShortcutMode = 0;  // 1: shortcuts for all users
  uint8_t Bitness = 0;       // 1: 64-bit product, 2: 32-bit product
  int32_t UninstallFonts = 0;
  int32_t UninstallShared = 0;
  // Versions and addresses.
  std::u16string NoDowngradeBelow;
  std::u16string NotifyURL;
  std::u16string SupportOffer;
  // Of the run: the session number drawn at start-up and the name of the current language.
  uint64_t Session = 0;
  std::u16string Language;
  // The look.
  std::u16string TaskbarText;
  std::u16string DisplayTitle;
  double TitleSize = 1.0;
  std::u16string DialogFont;
  uint32_t DialogZoom = 100;
  uint32_t BannerFG = 0;
  uint32_t TitleColor = 0;
  uint8_t TitleShadow = 0;
  uint8_t TitlePosition = 0;
  std::u16string TitleFont;
  uint32_t TopColor = 0;
  uint32_t BottomColor = 0;
  bool MonoColor = false;  // TopColor equals BottomColor
  uint32_t BitmapSize = 0;
  int32_t BitmapTPI = -1;
  uint32_t StretchMode = 0;
  uint8_t CopyrightPos = 0;
  uint32_t CopyrightColor = 0;
  double CopyrightSize = 1.0;
  std::u16string CopyrightText;
  std::u16string CopyrightFont;
  uint32_t DialogBG = format::kColourUnset;
  uint32_t DialogFG = 0;
  uint32_t ButtonBG = format::kColourUnset;
  uint32_t ButtonFG = format::kColourUnset;
  uint32_t ButtonBorder = 0;
  int32_t ProgressStyle = 0;
  // Captions, settled when the language table is loaded and again when a language is chosen:
  // the dialog caption (the script's, tokens replaced, or a non-empty text 114) and the window
  // title (text 0).
  std::u16string dialog_caption;
  std::u16string window_title;
};

// The record of this process.
ProductSettings& Settings();

// The settings a script gives, with the defaults above. `name_override` is the /n: name (empty
// when none was given); `session` is the run's session number.
ProductSettings SettingsFromScript(const format::SetupScript& script, std::u16string_view name_override,
                                   uint64_t session);

// Bitness 1 (a 64-bit product): switches off the file-system redirection of this 32-bit process
// now, with Wow64DisableWow64FsRedirection found in kernel32 at run time, and records in the run
// state whether that worked; the step that checks the platform turns a failure into its fatal
// error. Any other bitness changes nothing. Windows only.
void ApplyBitness(uint8_t bitness);
// Switches the redirection back on if ApplyBitness switched it off. Windows only.
void RestoreFsRedirection();

}  // namespace halberd::engine
