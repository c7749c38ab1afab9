// The shortcut plan: entries, their preparation, the places their links go to and what is
// recorded (see shortcut_plan.h).
#include "integration/shortcut_plan.h"

#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"

namespace halberd::integration {

namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string Trimmed(std::u16string_view s) {
  while (!s.empty() && IsBlankChar(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankChar(s.back())) s.remove_suffix(1);
  return std::u16string(s);
}

std::u16string_view FileNameOf(std::u16string_view path) {
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string FormatOne(std::u16string_view format, std::u16string_view value) {
  std::u16string out(format);
  size_t at = out.find(u"%s");
  if (at == std::u16string::npos) return out.empty() ? std::u16string(value) : out;
  return out.replace(at, 2, value);
}

ShortcutEntry UninstallerShortcut(const ShortcutRun& run) {
  ShortcutEntry e;
  e.target = run.uninstaller_path;
  e.arguments = u"/u:\"" + run.uninstall_key_name + u"\"";
  e.name = run.uninstall_name;
  if (run.has_uninstaller_icon) e.icon = JoinPath(run.uninstall_folder, u"uninstall.ico");
  return e;
}

}  // namespace

ShortcutEntry EntryFromScript(const format::RegistrationEntry& r) {
  ShortcutEntry e;
  e.target = r.texts[0];
  e.name = r.texts[1];
  e.icon = r.texts[2];
  e.arguments = r.texts[3];
  e.start_in = r.texts[4];
  e.desktop = r.options[0] != 0;
  e.start_menu = r.options[1] != 0;
  e.startup = r.options[2] != 0;
  e.extra_folder = r.extra_text;
  e.keep_at_uninstall = (r.flags[0] & 1) != 0;
  e.expand_target = (r.flags[0] & 2) != 0;
  e.portable = (r.flags[0] & 4) != 0;
  e.show_command = r.flags[1];
  return e;
}

ShortcutEntry EntryFromFile(const install::ShortcutRequest& r) {
  ShortcutEntry e;
  e.target = r.target;
  e.name = r.name;
  e.icon = r.icon_path;
  e.arguments = r.arguments;
  e.start_in = r.start_in;
  e.desktop = r.desktop;
  e.start_menu = r.start_menu;
  e.startup = r.startup;
  e.keep_at_uninstall = r.keep_at_uninstall;
  return e;
}

std::vector<ShortcutEntry> AddedShortcuts(const ShortcutRun& run) {
  std::vector<ShortcutEntry> added;
  if (run.ProductFlags & format::kFlagUninstaller) {
    if (run.ProductFlags & format::kFlagUninstallShortcutInStartMenu) {
      ShortcutEntry e = UninstallerShortcut(run);
      e.start_menu = true;
      added.push_back(e);
    }
    if (run.ProductFlags & format::kFlagUninstallShortcutOnDesktop) {
      ShortcutEntry e = UninstallerShortcut(run);
      e.desktop = true;
      added.push_back(e);
    }
    if (run.ProductFlags & format::kFlagUninstallShortcutInUninstallFolder) {
      ShortcutEntry e = UninstallerShortcut(run);
      e.extra_folder = run.uninstall_folder;
      e.portable = true;
      added.push_back(e);
    }
    if (run.ProductFlags2 & format::kFlags2UninstallShortcutInInstallFolder) {
      ShortcutEntry e = UninstallerShortcut(run);
      e.extra_folder = run.install_folder;
      added.push_back(e);
    }
  }
  if (run.ProductFlags & format::kFlagLogShortcutInStartMenu) {
    ShortcutEntry e;
    e.target = JoinPath(run.uninstall_folder, u"Install.log");
    e.name = run.log_shortcut_name;
    e.start_menu = true;
    added.push_back(e);
  }
  return added;
}

bool EntryWanted(const ShortcutEntry& e, const ShortcutRun& run) {
  if ((run.ProductFlags2 & format::kFlags2NoStartMenuPageOnRemovable) && run.portable) return e.portable;
  return true;
}

PreparedShortcut PrepareShortcut(const ShortcutEntry& e, const ShortcutRun& run, const PrepareTools& tools) {
  PreparedShortcut p;
  p.target = e.target;
  // 2. Arguments; "~" and a quote: a whole command line whose quoted program is the target.
  std::u16string arguments = tools.expand(e.arguments);
  bool target_from_arguments = false;
  if (arguments.size() >= 2 && arguments[0] == u'~' && arguments[1] == u'"') {
    SplitCommand c = SplitCommandLine(std::u16string_view(arguments).substr(1));
    p.target = c.program;
    arguments = c.arguments;
    target_from_arguments = true;
  }
  p.arguments = arguments;
  // 3. The icon, absolute against the uninstall folder.
  std::u16string icon = Trimmed(tools.expand(e.icon));
  if (!icon.empty()) p.icon = ResolveRelativePath(run.uninstall_folder, icon);
  // 4. The start-in folder.
  std::u16string start_in = Trimmed(tools.expand(e.start_in));
  if (!start_in.empty() && !tools.folder_exists(start_in)) {
    p.missing_start_in = start_in;
    start_in.clear();
  }
  if (start_in.empty()) start_in = run.install_folder;
  // A bare drive ("C:") names the drive's current folder, not its root.
  if (start_in.size() == 2 && start_in[1] == u':') start_in += u'\\';
  p.start_in = start_in;
  // 5. The target: expanded when asked (a target taken from the arguments already is), and
  // absolute against the installation folder when it names no drive.
  if (e.expand_target && !target_from_arguments) p.target = tools.expand(p.target);
  p.target = Trimmed(p.target);
  if (p.target.find(u':') == std::u16string::npos) p.target = ResolveRelativePath(run.install_folder, p.target);
  // 6. The name.
  p.name = Trimmed(e.name);
  if (p.name.empty()) p.name = Trimmed(FormatOne(run.unnamed_format, FileNameOf(p.target)));
  p.name = SafeLinkName(p.name);
  // 7. The link flags.
  if (run.ShortcutMode == 1) p.link_flags |= kLinkAllUsers;
  if (e.show_command == kShowMinimizedNoFocus) p.link_flags |= kLinkMinimized;
  if (e.show_command == kShowMaximized) p.link_flags |= kLinkMaximized;
  return p;
}

std::u16string MissingStartInLine(std::u16string_view folder) {
  return u"Shortcut \"Start In\" folder \"" + std::u16string(folder) + u"\" doesn't exist.\r\n";
}

ShortcutTargets TargetsOf(const ShellFolders& f, uint8_t shortcut_mode, std::u16string_view desktop_folder_name,
                          std::u16string_view product_start_menu) {
  const bool all = shortcut_mode == 1;
  ShortcutTargets t;
  t.desktop = all ? f.all_users_desktop : f.desktop;
  std::u16string folder_name = Trimmed(desktop_folder_name);
  if (!folder_name.empty()) t.desktop_folder = JoinPath(t.desktop, SafeLinkName(folder_name));
  const std::u16string menu = SafeLinkName(Trimmed(product_start_menu));
  t.start_menu = menu.empty() ? (all ? f.all_users_programs : f.programs)
                              : JoinPath(all ? f.all_users_programs : f.programs, menu);
  t.startup = all ? f.all_users_startup : f.startup;
  return t;
}

std::vector<ShortcutLink> LinksOf(const ShortcutEntry& e, const PreparedShortcut& p, const ShortcutTargets& t,
                                  std::u16string_view extra_folder) {
  std::vector<ShortcutLink> links;
  const std::u16string file = p.name + u".lnk";
  auto add = [&](ShortcutPlace place, const std::u16string& base) {
    if (base.empty()) return;
    ShortcutLink l;
    l.place = place;
    l.path = JoinPath(base, file);
    l.folder = ParentFolder(l.path);
    l.record = !e.keep_at_uninstall;
    links.push_back(std::move(l));
  };
  if (e.desktop) {
    if (t.desktop_folder.empty()) add(ShortcutPlace::kDesktop, t.desktop);
    else add(ShortcutPlace::kDesktopFolder, t.desktop_folder);
  }
  if (e.start_menu) add(ShortcutPlace::kStartMenu, t.start_menu);
  if (e.startup) add(ShortcutPlace::kStartup, t.startup);
  std::u16string extra = Trimmed(extra_folder);
  if (!extra.empty()) add(ShortcutPlace::kExtraFolder, WithoutTrailingBackslash(extra));
  return links;
}

std::u16string LinkLogLine(ShortcutPlace place, std::u16string_view name, std::u16string_view path) {
  const char16_t* kind = u"Shortcut";
  switch (place) {
    case ShortcutPlace::kDesktop: kind = u"Desktop Shortcut"; break;
    case ShortcutPlace::kDesktopFolder: kind = u"Desktop Folder Shortcut"; break;
    case ShortcutPlace::kStartMenu: kind = u"Start Menu Shortcut"; break;
    case ShortcutPlace::kStartup: kind = u"Startup Shortcut"; break;
    case ShortcutPlace::kExtraFolder: kind = u"Shortcut"; break;
  }
  return std::u16string(kind) + u"(" + std::u16string(name) + u") >>> " + std::u16string(path) + u"\r\n";
}

bool NeedsUnicodeDesktopIni(std::u16string_view icon_path) {
  for (char16_t c : icon_path)
    if (c >= 128) return true;
  return false;
}

SplitCommand SplitCommandLine(std::u16string_view command) {
  SplitCommand s;
  while (!command.empty() && IsBlankChar(command.front())) command.remove_prefix(1);
  size_t end;
  if (!command.empty() && command[0] == u'"') {
    size_t close = command.find(u'"', 1);
    if (close == std::u16string_view::npos) {
      s.program = std::u16string(command.substr(1));
      return s;
    }
    s.program = std::u16string(command.substr(1, close - 1));
    end = close + 1;
  } else {
    end = command.find_first_of(u" \t");
    if (end == std::u16string_view::npos) end = command.size();
    s.program = std::u16string(command.substr(0, end));
  }
  std::u16string_view rest = command.substr(end);
  while (!rest.empty() && IsBlankChar(rest.front())) rest.remove_prefix(1);
  s.arguments = std::u16string(rest);
  return s;
}

std::optional<std::u16string> RootShortcutPath(std::u16string_view install_folder, std::u16string_view name) {
  const std::u16string n = SafeLinkName(Trimmed(name));
  if (n.empty() || n.find(u'\\') != std::u16string::npos) return std::nullopt;
  if (install_folder.size() < 2 || install_folder[1] != u':') return std::nullopt;
  const char16_t letter = install_folder[0];
  if (!((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z'))) return std::nullopt;
  return std::u16string(1, letter) + u":\\" + n + u".lnk";
}

bool PinSupported(uint32_t major, uint32_t minor) { return major == 6 && minor >= 1 && minor <= 3; }

std::u16string PinnedCopyPath(std::u16string_view app_data_folder, std::u16string_view name) {
  return JoinPath(JoinPath(app_data_folder, u"Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar"),
                  std::u16string(name) + u".lnk");
}

bool IsPinnedShortcut(std::u16string_view path) {
  // Case ignored: the folder is the shell's and may come back in another case.
  static constexpr std::u16string_view kMark = u"\\user pinned\\";
  if (path.size() < kMark.size()) return false;
  for (size_t i = 0; i + kMark.size() <= path.size(); ++i) {
    bool same = true;
    for (size_t j = 0; j < kMark.size() && same; ++j) {
      char16_t c = path[i + j];
      if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
      same = c == kMark[j];
    }
    if (same) return true;
  }
  return false;
}

std::u16string SafeLinkName(std::u16string_view name) {
  std::u16string out;
  std::u16string part;
  auto flush = [&]() {
    std::u16string t = Trimmed(part);
    while (!t.empty() && t.back() == u'.') t.pop_back();  // the shell drops trailing dots anyway
    part.clear();
    if (t.empty()) return;
    if (!out.empty()) out += u'\\';
    out += t;
  };
  for (char16_t c : name) {
    if (c == u'\\' || c == u'/') {
      flush();
      continue;
    }
    if (c < 0x20 || std::u16string_view(u":*?\"<>|").find(c) != std::u16string_view::npos) c = u'_';
    part += c;
  }
  flush();
  return out;
}

}  // namespace halberd::integration
