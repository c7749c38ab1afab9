#include "engine/product_settings.h"

#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"

namespace halberd::engine {

ProductSettings& Settings() {
  static ProductSettings settings;
  return settings;
}

ProductSettings SettingsFromScript(const format::SetupScript& s, std::u16string_view name_override,
                                   uint64_t session) {
  ProductSettings p;
  p.DisplayName = name_override.empty() ? s.DisplayName : std::u16string(name_override);
  const std::u16string& name = p.DisplayName;
  auto or_name = [&name](const std::u16string& value) { return value.empty() ? name : value; };

  p.DisplayVersion = s.DisplayVersion;
  p.Publisher = s.Publisher;
  p.product_description = or_name(s.product_description);
  p.UninstallSubdir = s.UninstallSubdir;
  p.SharedPath = s.SharedPath.empty() ? or_name(s.Publisher) : s.SharedPath;
  p.ProductStartMenu = or_name(s.ProductStartMenu);
  p.ProductRegistry = s.ProductRegistry;
  p.DesktopFolder = (s.ProductFlags & format::kFlagDesktopFolderDefault) ? or_name(s.DesktopFolder) : s.DesktopFolder;
  p.AddToPathSubfolder = s.AddToPathSubfolder;
  p.uninstall_key_name = or_name(s.uninstall_key_name);
  // The uninstaller is written into the uninstall folder by this name: anything but a plain file
  // name (a folder part could put it anywhere) gives the default name.
  p.uninstaller_file_name = IsValidFileName(s.uninstaller_file_name) ? s.uninstaller_file_name : kDefaultUninstallerName;
  p.ShortcutMode = s.ShortcutMode;
  p.Bitness = s.Bitness;
  p.UninstallFonts = s.UninstallFonts;
  p.UninstallShared = s.UninstallShared;

  p.NoDowngradeBelow = s.NoDowngradeBelow;
  p.NotifyURL = s.addresses.NotifyURL;
  p.SupportOffer = s.SupportOffer;
  p.Session = session;
  // The current language is settled when the language table is loaded.

  p.TaskbarText = s.TaskbarText;
  p.DisplayTitle = s.DisplayTitle;
  p.TitleSize = s.TitleSize;
  p.DialogFont = s.DialogFont;
  p.DialogZoom = s.DialogZoom;
  p.BannerFG = s.BannerFG;
  p.TitleColor = s.TitleColor;
  p.TitleShadow = s.TitleShadow;
  p.TitlePosition = s.TitlePosition;
  p.TitleFont = s.TitleFont;
  p.TopColor = s.TopColor;
  p.BottomColor = s.BottomColor;
  p.MonoColor = s.MonoColor();
  p.BitmapSize = s.BitmapSize;
  p.BitmapTPI = s.BitmapTPI;
  p.StretchMode = s.StretchMode;
  p.CopyrightPos = s.CopyrightPos;
  p.CopyrightColor = s.CopyrightColor;
  p.CopyrightSize = s.CopyrightSize;
  p.CopyrightText = s.CopyrightText;
  p.CopyrightFont = s.CopyrightFont;
  p.DialogBG = s.DialogBG;
  p.DialogFG = s.DialogFG;
  p.ButtonBG = s.ButtonBG;
  p.ButtonFG = s.ButtonFG;
  p.ButtonBorder = s.ButtonBorder;
  p.ProgressStyle = s.settings.ProgressStyle;
  // Until the language table is loaded the script's caption stands as it is.
  p.dialog_caption = s.dialog_caption;
  return p;
}

}  // namespace halberd::engine
