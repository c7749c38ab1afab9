#include "variables/path_variables.h"

#include <climits>

#include "foundation/path_rules.h"
#include "foundation/version_compare.h"

namespace halberd::variables {

const std::array<PathVariableEntry, kPathVariableCount> kPathVariables = {{
    {PathVariable::kAppDataAllDir, u"%AppDataAllDir%", false},
    {PathVariable::kAppDataDir, u"%AppDataDir%", false},
    {PathVariable::kAutomatic, u"%Automatic%", false},
    {PathVariable::kBits, u"%Bits%", false},
    {PathVariable::kBootDrive, u"%BootDrive%", false},
    {PathVariable::kCommonDir, u"%CommonDir%", false},
    {PathVariable::kCommonDir32, u"%CommonDir32%", false},
    {PathVariable::kCommonDir64, u"%CommonDir64%", false},
    {PathVariable::kDesktopAllDir, u"%DesktopAllDir%", false},
    {PathVariable::kDesktopDir, u"%DesktopDir%", false},
    {PathVariable::kDesktopShortcuts, u"%DesktopShortcuts%", false},
    {PathVariable::kDeviceDir, u"%DeviceDir%", false},
    {PathVariable::kDocumentAllDir, u"%DocumentAllDir%", false},
    {PathVariable::kDocumentDir, u"%DocumentDir%", false},
    {PathVariable::kExisting, u"%Existing%", false},
    {PathVariable::kFavoritesAllDir, u"%FavoritesAllDir%", false},
    {PathVariable::kFavoritesDir, u"%FavoritesDir%", false},
    {PathVariable::kFontDir, u"%FontDir%", false},
    {PathVariable::kInetpub, u"%Inetpub%", false},
    {PathVariable::kInstallDir, u"%InstallDir%", false},
    {PathVariable::kInstallDrive, u"%InstallDrive%", false},
    {PathVariable::kInstallerDir, u"%InstallerDir%", false},
    {PathVariable::kInstallerDrive, u"%InstallerDrive%", false},
    {PathVariable::kInstallerFilename, u"%InstallerFilename%", false},
    {PathVariable::kInstallerFilepath, u"%InstallerFilepath%", false},
    {PathVariable::kUninstallerFilepath, u"%UninstallerFilepath%", false},
    {PathVariable::kLanguage, u"%Language%", false},
    {PathVariable::kLogFilepath, u"%LogFilepath%", false},
    {PathVariable::kMediaDir, u"%MediaDir%", false},
    {PathVariable::kNetworkInstall, u"%NetworkInstall%", false},
    {PathVariable::kOldVersion, u"%OldVersion%", false},
    {PathVariable::kOldVersionMajor, u"%OldVersionMajor%", true},
    {PathVariable::kOldVersionMinor, u"%OldVersionMinor%", true},
    {PathVariable::kPortable, u"%Portable%", false},
    {PathVariable::kProductName, u"%ProductName%", false},
    {PathVariable::kCompanyName, u"%CompanyName%", false},
    {PathVariable::kProgramsDir, u"%ProgramsDir%", false},
    {PathVariable::kProgramsDir32, u"%ProgramsDir32%", false},
    {PathVariable::kProgramsDir64, u"%ProgramsDir64%", false},
    {PathVariable::kSharedDir, u"%SharedDir%", false},
    {PathVariable::kSMProgramsAllDir, u"%SMProgramsAllDir%", false},
    {PathVariable::kSMProgramsDir, u"%SMProgramsDir%", false},
    {PathVariable::kStartMenuAllDir, u"%StartMenuAllDir%", false},
    {PathVariable::kStartMenuChosen, u"%StartMenuChosen%", false},
    {PathVariable::kStartMenuDir, u"%StartMenuDir%", false},
    {PathVariable::kStartupAllDir, u"%StartupAllDir%", false},
    {PathVariable::kStartupDir, u"%StartupDir%", false},
    {PathVariable::kSystemDir, u"%SystemDir%", false},
    {PathVariable::kTemp, u"%Temp%", false},
    {PathVariable::kUninstallDir, u"%UninstallDir%", false},
    {PathVariable::kWinDir, u"%WinDir%", false},
    {PathVariable::kVersion, u"%Version%", false},
    {PathVariable::kVersionMajor, u"%VersionMajor%", false},
    {PathVariable::kVersionMinor, u"%VersionMinor%", false},
    {PathVariable::kOS, u"%OS%", false},
    {PathVariable::kOSMajor, u"%OSMajor%", false},
    {PathVariable::kOSMinor, u"%OSMinor%", false},
    {PathVariable::kOSName, u"%OSName%", false},
    {PathVariable::kOSDescription, u"%OSDescription%", false},
    {PathVariable::kOSServer, u"%OSServer%", false},
}};

namespace {

// ---------------------------------------------------------------------------------------------
// Case folding and search.

// Simple case folding of one UTF-16 code unit: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic capitals to their small letters.
char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool capital = odd_capitals ? (c & 1) != 0 : (c & 1) == 0;
    return capital ? char16_t(c + 1) : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return char16_t(c + 32);
  if (c >= 0x410 && c <= 0x42F) return char16_t(c + 32);
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 80);
  return c;
}

char FoldByte(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

template <typename Char, typename FoldFn>
size_t FindAt(std::basic_string_view<Char> text, std::basic_string_view<Char> find, size_t from, bool ignore_case,
              FoldFn fold) {
  constexpr size_t npos = std::basic_string_view<Char>::npos;
  if (find.size() > text.size()) return npos;
  if (!ignore_case) return text.find(find, from);
  // A first character that no other character folds to (the "%" of every reference) is found
  // directly.
  const Char first = find[0];
  const bool plain_first = first < 0x80 && !((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'));
  for (size_t i = from; i + find.size() <= text.size(); ++i) {
    if (plain_first) {
      i = text.find(first, i);
      if (i == npos || i + find.size() > text.size()) return npos;
    }
    size_t k = 0;
    while (k < find.size() && fold(text[i + k]) == fold(find[k])) ++k;
    if (k == find.size()) return i;
  }
  return npos;
}

template <typename Char, typename FoldFn>
size_t ReplaceAllIn(std::basic_string<Char>& text, std::basic_string_view<Char> find,
                    std::basic_string_view<Char> replacement, bool ignore_case, size_t start, size_t max_count,
                    FoldFn fold) {
  if (find.empty() || start >= text.size()) return 0;
  std::basic_string_view<Char> in(text);
  std::basic_string<Char> out;
  size_t count = 0;
  size_t copied = 0;  // input consumed so far
  size_t at = start;
  while (count < max_count) {
    size_t hit = FindAt(in, find, at, ignore_case, fold);
    if (hit == std::basic_string_view<Char>::npos) break;
    if (count == 0) out.reserve(text.size());
    out.append(in.substr(copied, hit - copied));
    out.append(replacement);
    copied = at = hit + find.size();
    ++count;
  }
  if (count == 0) return 0;
  out.append(in.substr(copied));
  text = std::move(out);
  return count;
}

template <typename Char, typename FoldFn>
size_t CountOccurrences(std::basic_string_view<Char> text, std::basic_string_view<Char> find, bool ignore_case,
                        FoldFn fold) {
  size_t count = 0;
  for (size_t at = FindAt(text, find, 0, ignore_case, fold); at != std::basic_string_view<Char>::npos;
       at = FindAt(text, find, at + find.size(), ignore_case, fold)) {
    ++count;
  }
  return count;
}

// ---------------------------------------------------------------------------------------------
// Values.

std::u16string Number(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

std::u16string DriveOf(std::u16string_view path) {
  if (!HasDriveLetter(path)) return {};
  return std::u16string{UpperAscii(path[0]), u':'};
}

DriveKind KindOf(std::u16string_view path, const PathVariableInputs& in) {
  if (!HasDriveLetter(path) || !in.drive_kind) return DriveKind::kOther;
  return in.drive_kind(UpperAscii(path[0]));
}

std::u16string FolderOf(PathFolder f, const PathVariableInputs& in) { return in.folder ? in.folder(f) : std::u16string(); }

// A folder joined with a sub-folder name; the folder itself when the name is empty.
std::u16string JoinOrSelf(std::u16string_view folder, std::u16string_view name) {
  return name.empty() ? std::u16string(folder) : JoinPath(folder, name);
}

std::u16string Bit(bool b) { return b ? u"1" : u"0"; }

std::u16string VersionPart(std::u16string_view version, size_t index) {
  std::vector<std::u16string_view> parts = SplitVersion(version);
  return index < parts.size() ? std::u16string(parts[index]) : std::u16string();
}

}  // namespace

size_t ReplaceAll(std::u16string& text, std::u16string_view find, std::u16string_view replacement, bool ignore_case,
                  size_t start, size_t max_count) {
  return ReplaceAllIn<char16_t>(text, find, replacement, ignore_case, start, max_count, Fold);
}

size_t ReplaceAll(std::string& text, std::string_view find, std::string_view replacement, bool ignore_case,
                  size_t start, size_t max_count) {
  return ReplaceAllIn<char>(text, find, replacement, ignore_case, start, max_count, FoldByte);
}

int32_t LeadingInteger(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int64_t v = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    v = v * 10 + (text[i] - u'0');
    if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;
  }
  if (negative) return int32_t(-v);
  return v > INT32_MAX ? INT32_MAX : int32_t(v);
}

int32_t IntegerAfterFirstDot(std::u16string_view text) {
  size_t dot = text.find(u'.');
  return dot == std::u16string_view::npos ? 0 : LeadingInteger(text.substr(dot + 1));
}

std::u16string PathVariableValue(PathVariable variable, const PathVariableInputs& in) {
  using V = PathVariable;
  using F = PathFolder;
  const bool product64 = in.bitness == 1;
  switch (variable) {
    case V::kAppDataAllDir: return FolderOf(F::kAppDataAll, in);
    case V::kAppDataDir: return FolderOf(F::kAppData, in);
    case V::kAutomatic: return Bit(in.automatic);
    case V::kBits: return in.windows_64bit ? u"64" : u"32";
    case V::kBootDrive: return FolderOf(F::kBootDrive, in);
    case V::kCommonDir: return FolderOf(product64 ? F::kCommon64 : F::kCommon32, in);
    case V::kCommonDir32: return FolderOf(F::kCommon32, in);
    case V::kCommonDir64: return FolderOf(F::kCommon64, in);
    case V::kDesktopAllDir: return FolderOf(F::kDesktopAll, in);
    case V::kDesktopDir: return FolderOf(F::kDesktop, in);
    case V::kDesktopShortcuts:
      return JoinOrSelf(FolderOf(in.shortcut_mode == 1 ? F::kDesktopAll : F::kDesktop, in), in.desktop_subfolder);
    case V::kDeviceDir: return FolderOf(F::kDevice, in);
    case V::kDocumentAllDir: return FolderOf(F::kDocumentsAll, in);
    case V::kDocumentDir: return FolderOf(F::kDocuments, in);
    case V::kExisting: return Number(in.existing);
    case V::kFavoritesAllDir: return FolderOf(F::kFavoritesAll, in);
    case V::kFavoritesDir: return FolderOf(F::kFavorites, in);
    case V::kFontDir: return FolderOf(F::kFonts, in);
    case V::kInetpub: return FolderOf(F::kInetpub, in);
    case V::kInstallDir: return in.install_folder;
    case V::kInstallDrive: return DriveOf(in.install_folder);
    case V::kInstallerDir: return ParentFolder(in.installer_path);
    case V::kInstallerDrive: return DriveOf(in.installer_path);
    case V::kInstallerFilename: {
      size_t slash = in.installer_path.find_last_of(u"\\/");
      return slash == std::u16string::npos ? in.installer_path : in.installer_path.substr(slash + 1);
    }
    case V::kInstallerFilepath: return in.installer_path;
    case V::kUninstallerFilepath:
      return in.uninstall_folder.empty() ? std::u16string() : JoinPath(in.uninstall_folder, in.uninstaller_name);
    case V::kLanguage: return in.language;
    case V::kLogFilepath: return JoinPath(JoinOrSelf(in.install_folder, in.uninstall_subdir), u"Install.log");
    case V::kMediaDir: return FolderOf(F::kMedia, in);
    case V::kNetworkInstall: {
      bool unc = in.install_folder.size() >= 2 && in.install_folder[0] == u'\\' && in.install_folder[1] == u'\\';
      return Bit(unc || KindOf(in.install_folder, in) == DriveKind::kNetwork);
    }
    case V::kOldVersion: return in.old_version;
    case V::kOldVersionMajor: return VersionPart(in.old_version, 0);
    case V::kOldVersionMinor: return VersionPart(in.old_version, 1);
    case V::kPortable: return Bit(KindOf(in.install_folder, in) == DriveKind::kPortable);
    case V::kProductName: return in.product_name;
    case V::kCompanyName: return in.company;
    case V::kProgramsDir: return FolderOf(product64 ? F::kPrograms64 : F::kPrograms32, in);
    case V::kProgramsDir32: return FolderOf(F::kPrograms32, in);
    case V::kProgramsDir64: return FolderOf(F::kPrograms64, in);
    case V::kSharedDir: return in.has_uninstaller ? in.shared_folder : std::u16string();
    case V::kSMProgramsAllDir: return FolderOf(F::kSmProgramsAll, in);
    case V::kSMProgramsDir: return FolderOf(F::kSmPrograms, in);
    case V::kStartMenuAllDir: return FolderOf(F::kStartMenuAll, in);
    case V::kStartMenuChosen:
      return JoinOrSelf(FolderOf(in.shortcut_mode == 1 ? F::kSmProgramsAll : F::kSmPrograms, in), in.start_menu_name);
    case V::kStartMenuDir: return FolderOf(F::kStartMenu, in);
    case V::kStartupAllDir: return FolderOf(F::kStartupAll, in);
    case V::kStartupDir: return FolderOf(F::kStartup, in);
    case V::kSystemDir: return FolderOf(F::kSystem, in);
    case V::kTemp: return FolderOf(F::kTemp, in);
    case V::kUninstallDir: return in.uninstall_folder;
    case V::kWinDir: return FolderOf(F::kWindows, in);
    case V::kVersion: return in.version;
    case V::kVersionMajor: return Number(LeadingInteger(in.version));
    case V::kVersionMinor: return Number(IntegerAfterFirstDot(in.version));
    case V::kOS: return Number(in.os.code);
    case V::kOSMajor: return Number(in.os.major);
    case V::kOSMinor: return Number(in.os.minor);
    case V::kOSName: return in.os.name;
    case V::kOSDescription: return in.os.description;
    case V::kOSServer: return Bit(in.os.server);
  }
  return {};
}

void ReplacePathVariables(std::u16string& text, const PathVariableInputs& inputs) {
  for (const PathVariableEntry& e : kPathVariables) {
    bool ignore_case = !e.case_sensitive;
    size_t count = CountOccurrences<char16_t>(text, e.reference, ignore_case, Fold);
    if (count == 0) continue;
    std::u16string value = PathVariableValue(e.variable, inputs);
    if (value.size() > e.reference.size() &&
        (value.size() - e.reference.size()) > (kMaxExpandedText - std::min(text.size(), kMaxExpandedText)) / count) {
      continue;  // the text would outgrow any path
    }
    ReplaceAll(text, e.reference, value, ignore_case);
  }
}

std::u16string ExpandEnvironmentReferences(std::u16string_view text, const EnvironmentLookup& lookup) {
  text = text.substr(0, text.find(u'\0'));
  std::u16string out;
  out.reserve(std::min(text.size(), kEnvironmentPassLimit));
  size_t i = 0;
  while (i < text.size() && out.size() < kEnvironmentPassLimit) {
    if (text[i] != u'%') {
      out += text[i++];
      continue;
    }
    size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    std::u16string_view name = text.substr(i + 1, close - i - 1);
    std::optional<std::u16string> value;
    if (!name.empty() && lookup) value = lookup(name);
    if (value) {
      out += *value;
    } else {
      out.append(text.substr(i, close - i + 1));  // "%NAME%" as it is
    }
    i = close + 1;
  }
  if (out.size() > kEnvironmentPassLimit) out.resize(kEnvironmentPassLimit);
  // Never end on half a surrogate pair.
  if (out.size() == kEnvironmentPassLimit && !out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF) out.pop_back();
  return out;
}

void ExpandPathVariables(std::u16string& text, const PathVariableInputs& inputs, const EnvironmentLookup& lookup) {
  ReplacePathVariables(text, inputs);
  text = ExpandEnvironmentReferences(text, lookup);
}

// ---------------------------------------------------------------------------------------------
// Operating system.

int OsCode(const OsVersion& os) {
  if (!os.nt) return 0;
  const bool workstation = os.product_type == 1;
  const uint32_t v = os.major * 100 + os.minor;
  switch (v) {
    case 501: return 20;
    case 502:
      if (os.suite_mask & 0x8000) return 28;
      if (workstation) return os.windows_64bit ? 24 : 20;
      return os.server_r2 ? 26 : 22;
    case 600: return workstation ? 30 : 32;
    case 601:
      if (os.product_info == 0x22) return 38;
      return workstation ? 36 : 34;
    case 602: return workstation ? 40 : 42;
    case 603: return workstation ? 44 : 46;
    case 604: return 48;
    case 1000:
      if (workstation) return os.build < 21327 ? 48 : 56;
      if (os.build < 17600) return 50;
      if (os.build <= 19503) return 52;
      if (os.build <= 25920) return 60;
      return 64;
  }
  return 0;
}

namespace {

struct OsNames {
  std::u16string long_name;   // "Server 2008 R2"
  std::u16string short_name;  // "2008"
};

OsNames NamesOf(const OsVersion& os) {
  const bool workstation = os.product_type == 1;
  if (!os.nt) {
    if (os.major == 4 && os.minor == 0) return {u"95", u"95"};
    if (os.major == 4 && os.minor == 10) return {u"98", u"98"};
    if (os.major == 4 && os.minor == 90) return {u"Me", u"Me"};
  }
  switch (os.nt ? os.major * 100 + os.minor : 0) {
    case 500: return {workstation ? u"2000" : u"2000 Server", u"2000"};
    case 501: return {u"XP", u"XP"};
    case 502:
      if (os.suite_mask & 0x8000) return {u"Home Server", u"Home Server"};
      if (workstation) return {u"XP", u"XP"};
      return {os.server_r2 ? u"Server 2003 R2" : u"Server 2003", u"2003"};
    case 600: return workstation ? OsNames{u"Vista", u"Vista"} : OsNames{u"Server 2008", u"2008"};
    case 601:
      if (os.product_info == 0x22) return {u"Home Server 2011", u"Home Server 2011"};
      return workstation ? OsNames{u"7", u"7"} : OsNames{u"Server 2008 R2", u"2008"};
    case 602: return workstation ? OsNames{u"8", u"8"} : OsNames{u"Server 2012", u"2012"};
    case 603: return workstation ? OsNames{u"8.1", u"8"} : OsNames{u"Server 2012 R2", u"2012"};
    case 604: return {u"10", u"10"};
    case 1000:
      if (workstation) return os.build < 21327 ? OsNames{u"10", u"10"} : OsNames{u"11", u"11"};
      if (os.build < 17600) return {u"Server 2016", u"2016"};
      if (os.build <= 19503) return {u"Server 2019", u"2019"};
      if (os.build <= 25920) return {u"Server 2022", u"2022"};
      return {u"Server 2025", u"2025"};
  }
  std::string nt = "NT " + std::to_string(os.major) + "." + std::to_string(os.minor);
  std::u16string text(nt.begin(), nt.end());
  return {text, text};
}

// The edition words of the description.
std::u16string_view EditionOf(const OsVersion& os) {
  if (!os.nt || os.major < 5) return {};
  if (os.major == 5) {
    if (os.product_type == 1) return (os.suite_mask & 0x0200) ? u" Home" : u" Professional";
    if (os.major == 5 && os.minor == 2 && (os.suite_mask & 0x8000)) return {};
    if (os.suite_mask & 0x0080) return u" Datacenter";
    if (os.suite_mask & 0x0002) return u" Enterprise";
    if (os.suite_mask & 0x0400) return u" Web";
    return u" Standard";
  }
  switch (os.product_info) {
    case 0x01: return u" Ultimate";
    case 0x02: return u" Home Basic";
    case 0x03: return u" Home Premium";
    case 0x04: return u" Enterprise";
    case 0x05: return u" Home Basic N";
    case 0x06: return u" Business";
    case 0x07: return u" Standard";
    case 0x08: return u" Datacenter";
    case 0x09: return u" Small Business";
    case 0x0A: return u" Enterprise";
    case 0x0B: return u" Starter";
    case 0x0C: return u" Datacenter";
    case 0x0D: return u" Standard";
    case 0x0E: return u" Enterprise";
    case 0x10: return u" Business N";
    case 0x11: return u" Web";
    case 0x1A: return u" Home Premium N";
    case 0x1B: return u" Enterprise N";
    case 0x1C: return u" Ultimate N";
    case 0x2F: return u" Starter N";
    case 0x30: return u" Professional";
    case 0x31: return u" Professional N";
    case 0x48: return u" Enterprise Evaluation";
    case 0x4F: return u" Standard Evaluation";
    case 0x50: return u" Datacenter Evaluation";
    case 0x62: return u" Home N";
    case 0x63: return u" Home China";
    case 0x64: return u" Home Single Language";
    case 0x65: return u" Home";
    case 0x79: return u" Education";
    case 0x7A: return u" Education N";
    case 0x7D: return u" Enterprise LTSC";
    case 0xA1: return u" Pro for Workstations";
  }
  return {};
}

}  // namespace

OsInfo DescribeOs(const OsVersion& os, std::u16string_view wine_version) {
  OsInfo info;
  info.code = OsCode(os);
  info.major = os.major;
  info.minor = os.minor;
  info.server = os.nt && os.product_type != 1;
  OsNames names = NamesOf(os);
  info.name = u"Windows " + names.short_name;
  std::u16string description = u"Windows " + names.long_name;
  description += EditionOf(os);
  if (os.windows_64bit) description += u" x64";
  if (!wine_version.empty()) description = u"WINE " + std::u16string(wine_version) + u" reporting as " + description;
  info.description = std::move(description);
  return info;
}

// ---------------------------------------------------------------------------------------------
// Notification URL.

std::string PercentEscape(std::string_view value) {
  static constexpr std::string_view kReserved = "/%?&\"#<>()[];:@=+\\|~^'*!";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || kReserved.find(ch) != std::string_view::npos) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

void ExpandNotificationUrl(std::string& url, const NotificationUrlValues& v) {
  ReplaceAll(url, "%version%", PercentEscape(v.version), true);
  ReplaceAll(url, "%Session%", std::to_string(v.session), true);
  ReplaceAll(url, "%OS%", std::to_string(v.os_code), true);
  ReplaceAll(url, "%OSMajor%", std::to_string(v.os_major), true);
  ReplaceAll(url, "%OSMinor%", std::to_string(v.os_minor), true);
  ReplaceAll(url, "%OSName%", PercentEscape(v.os_name), true);
  ReplaceAll(url, "%OSDescription%", PercentEscape(v.os_description), true);
  ReplaceAll(url, "%OSServer%", v.os_server ? "1" : "0", true);
}

}  // namespace halberd::variables
