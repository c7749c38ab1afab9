#include "variables/batch_file.h"

#include "foundation/format/setup_script.h"
#include "foundation/text_convert.h"

namespace halberd::variables {

using V = PathVariable;

// LogFilepath is quoted like the other paths: it is made of the installation folder, and a folder
// such as "C:\Tom & Jerry" would otherwise end the SET command at the "&" and run the rest.
const std::array<BatchEnvironmentLine, kBatchEnvironmentLineCount> kBatchEnvironmentLines = {{
    {V::kAutomatic, u"Automatic", false},
    {V::kInstallDir, u"InstallDir", true},
    {V::kBits, u"Bits", true},
    {V::kUninstallDir, u"UninstallDir", true},
    {V::kSharedDir, u"SharedDir", true},
    {V::kInstallerFilepath, u"InstallerFilepath", true},
    {V::kInstallerDir, u"InstallerDir", true},
    {V::kInstallerFilename, u"InstallerFilename", true},
    {V::kInstallerDrive, u"InstallerDrive", true},
    {V::kSystemDir, u"SystemDir", true},
    {V::kDeviceDir, u"DeviceDir", true},
    {V::kMediaDir, u"MediaDir", true},
    {V::kFavoritesDir, u"FavoritesDir", true},
    {V::kFavoritesAllDir, u"FavoritesAllDir", true},
    {V::kFontDir, u"FontDir", true},
    {V::kDesktopDir, u"DesktopDir", true},
    {V::kDesktopAllDir, u"DesktopAllDir", true},
    {V::kDesktopShortcuts, u"DesktopShortcuts", true},
    {V::kDocumentDir, u"DocumentDir", true},
    {V::kDocumentAllDir, u"DocumentAllDir", true},
    {V::kProductName, u"ProductName", true},
    {V::kCompanyName, u"CompanyName", true},
    {V::kProgramsDir, u"ProgramsDir", true},
    {V::kProgramsDir32, u"ProgramsDir32", true},
    {V::kProgramsDir64, u"ProgramsDir64", true},
    {V::kStartMenuAllDir, u"StartMenuAllDir", true},
    {V::kStartMenuChosen, u"StartMenuChosen", true},
    {V::kStartMenuDir, u"StartMenuDir", true},
    {V::kSMProgramsDir, u"SMProgramsDir", true},
    {V::kSMProgramsAllDir, u"SMProgramsAllDir", true},
    {V::kStartupDir, u"StartupDir", true},
    {V::kStartupAllDir, u"StartupAllDir", true},
    {V::kCommonDir, u"CommonDir", true},
    {V::kCommonDir32, u"CommonDir32", true},
    {V::kCommonDir64, u"CommonDir64", true},
    {V::kInetpub, u"Inetpub", true},
    {V::kAppDataDir, u"AppDataDir", true},
    {V::kAppDataAllDir, u"AppDataAllDir", true},
    {V::kInstallDrive, u"InstallDrive", false},
    {V::kBootDrive, u"BootDrive", false},
    {V::kVersion, u"Version", false},
    {V::kVersionMajor, u"VersionMajor", false},
    {V::kVersionMinor, u"VersionMinor", false},
    {V::kOldVersion, u"OldVersion", false},
    {V::kOldVersionMajor, u"OldVersionMajor", false},
    {V::kOldVersionMinor, u"OldVersionMinor", false},
    {V::kPortable, u"Portable", false},
    {V::kExisting, u"Existing", false},
    {V::kNetworkInstall, u"NetworkInstall", false},
    {V::kLanguage, u"Language", false},
    {V::kLogFilepath, u"LogFilepath", true},
    {V::kUninstallerFilepath, u"UninstallerFilepath", true},
    {V::kOS, u"OS", false},
    {V::kOSMajor, u"OSMajor", false},
    {V::kOSMinor, u"OSMinor", false},
    {V::kOSName, u"OSName", false},
    {V::kOSDescription, u"OSDescription", false},
    {V::kOSServer, u"OSServer", false},
}};

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

}  // namespace

std::u16string BatchSetLine(std::u16string_view name, std::u16string_view value, bool quoted) {
  std::u16string line = u"SET ";
  bool in_quotes = quoted;
  if (quoted) line += u'"';
  line += name;
  line += u'=';
  for (size_t i = 0; i < value.size(); ++i) {
    char16_t c = value[i];
    switch (c) {
      case u'%':
        line += u"%%";
        break;
      case u'\r':
        if (i + 1 < value.size() && value[i + 1] == u'\n') ++i;  // CR LF is one line break
        line += u' ';
        break;
      case u'\n':
      case u'\x1A':
      case u'\0':
        line += u' ';
        break;
      case u'"':
        in_quotes = !in_quotes;
        line += c;
        break;
      case u'&':
      case u'|':
      case u'<':
      case u'>':
      case u'^':
      case u'(':
      case u')':
        if (!in_quotes) line += u'^';
        line += c;
        break;
      default:
        line += c;
    }
  }
  if (quoted) line += u'"';
  line += u"\r\n";
  return line;
}

std::u16string BatchEnvironmentText(const BatchValue& value, bool uninstall_run) {
  std::u16string text;
  for (const BatchEnvironmentLine& line : kBatchEnvironmentLines) {
    if (uninstall_run && line.variable == V::kExisting) continue;
    text += BatchSetLine(line.name, value(line.variable), line.quoted);
  }
  return text;
}

bool IsBlankBatch(std::string_view text) {
  for (char c : text)
    if (!IsBlank(char16_t(uint8_t(c)))) return false;
  return true;
}

std::string AppendBatchCommands(std::string_view batch, std::string_view commands) {
  std::string text(batch);
  if (commands.empty()) return text;
  if (!text.empty() && text.back() != '\r' && text.back() != '\n') text += "\r\n";
  text += commands;
  return text;
}

bool IsPauseLine(std::u16string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  if (!line.empty() && line.front() == u'@') {
    line.remove_prefix(1);
    while (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) line.remove_prefix(1);
  }
  static constexpr std::u16string_view kPause = u"PAUSE";
  if (line.size() != kPause.size()) return false;
  for (size_t i = 0; i < line.size(); ++i)
    if (UpperAscii(line[i]) != kPause[i]) return false;
  return true;
}

std::u16string WithoutPauseLines(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u"\r\n", start);
    size_t next = end == std::u16string_view::npos ? text.size() : end + 2;
    std::u16string_view line = text.substr(start, next - start);
    if (!IsPauseLine(line)) out += line;
    start = next;
  }
  return out;
}

BatchFileText BuildBatchFile(const BatchFileInputs& in) {
  std::u16string batch = format::NormaliseLineBreaks(format::Utf16FromCp1252(in.batch));
  if (in.drop_pause) batch = WithoutPauseLines(batch);
  std::u16string body = u"@echo off\r\n" + format::NormaliseLineBreaks(in.environment) + batch;
  if (body.size() < 2 || body.compare(body.size() - 2, 2, u"\r\n") != 0) body += u"\r\n";

  bool above_127 = false;
  for (char16_t c : body) above_127 = above_127 || c > 127;
  BatchFileText file;
  file.utf8 = in.windows7_or_later && above_127;
  if (file.utf8) {
    file.bytes = "@chcp 65001 >nul\r\n" + Utf16ToUtf8(body);
  } else {
    file.bytes = "@chcp 1252 >nul\r\n" + format::Cp1252FromUtf16(body);
  }
  return file;
}

BatchesBeforeInstallation SelectBatchesBeforeInstallation(int existing, bool earlier_folder_exists,
                                                          bool same_version_only) {
  BatchesBeforeInstallation b;
  b.upgrade = existing == 2;
  b.reinstall = earlier_folder_exists && (existing == 1 || !same_version_only);
  return b;
}

int ExistingFromInstallType(std::u16string_view install_type) {
  if (install_type == u"Reinstall") return 1;
  if (install_type == u"Upgrade") return 2;
  if (install_type == u"Downgrade") return 3;
  return 0;
}

bool NeedsInterpreterQuotes(std::u16string_view path) {
  return path.find_first_of(u" \t&|<>^()@,;=") != std::u16string_view::npos;
}

}  // namespace halberd::variables
