// The options of the project file and what each sets in the setup script. The tables are read in
// the order of docs/project-format.md; project_reader.cpp does the checks that options share.
#include "pack/project_file.h"

#include "foundation/format/product_flags.h"
#include "pack/payload.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>

#include "foundation/format/file_entry.h"
#include "foundation/format/setup_data.h"
#include "foundation/text_convert.h"
#include "pack/file_sources.h"
#include "pack/language_files.h"
#include "pack/project_reader.h"
#include "pack/source_date_epoch.h"
#include "pack/text_checks.h"

namespace halberd::pack {

namespace fs = std::filesystem;
using format::SetupScript;
using project::Reader;
using project::Section;
using project::Word;

namespace {

std::string Quoted(std::string_view s) { return "`" + std::string(s) + "`"; }

// ---- Yes/no options that set one bit of ProductFlags (word 1) or ProductFlags2 (word 2) -------

struct FlagOption {
  const char* section;
  const char* key;
  uint64_t flags;   // the ProductFlags bit, or 0
  uint32_t flags2;  // the ProductFlags2 bit, or 0
  bool set_when;       // the bit is set when the option has this value
  bool default_value;
};

constexpr FlagOption kFlagOptions[] = {
    {"install", "ask_for_folder", format::kFlagAskFolder, 0, true, true},
    {"install", "confirm_folder", format::kFlagConfirmFolder, 0, true, false},
    {"install", "ask_for_start_menu_folder", format::kFlagAskStartMenu, 0, true, true},
    {"install", "allow_network_folder", format::kFlagRefuseNetworkFolder, 0, false, true},
    {"install", "allow_removable_drive", format::kFlagRefuseRemovableDrive, 0, false, true},
    {"install", "allow_non_ascii_folder", 0, format::kFlags2AsciiFolderOnly, false, true},
    {"install", "single_instance", format::kFlagSingleInstaller, 0, true, false},
    {"install", "restore_point", 0, format::kFlags2RestorePoint, true, false},
    {"install", "always_write_log", format::kFlagAlwaysWriteLog, 0, true, false},
    {"install", "detailed_log", format::kFlagDetailedLog, 0, true, false},
    {"install", "show_file_names", format::kFlagHideFileNames, 0, false, true},
    {"install", "errors_in_automatic_mode", format::kFlagErrorsWhenAutomatic, 0, true, false},
    {"install", "restart_question_in_automatic_mode", format::kFlagRestartQuestionWhenAutomatic, 0, true, false},
    {"install", "restart_marker", format::kFlagRestartMarker, 0, true, false},
    {"install", "loosen_folder_security", format::kFlagLoosenInstallFolder, 0, true, false},
    {"install", "replace_locked_files", format::kFlagReplaceLockedFiles, 0, true, false},
    {"install", "clear_read_only", format::kFlagClearAttributesOnRetry, 0, true, false},
    {"pages", "greeting", format::kFlagNoGreeting, 0, false, true},
    {"pages", "greeting_in_automatic_mode", format::kFlagGreetingWhenAutomatic, 0, true, false},
    {"pages", "completion_message", format::kFlagNoCompletionMessage, 0, false, true},
    {"pages", "offer_log", format::kFlagOfferLog, 0, true, false},
    {"look", "background_window", format::kFlagNoBackgroundWindow, 0, false, true},
    {"look", "full_screen", format::kFlagFullScreenBackground, 0, true, true},
    {"upgrade", "uninstall_first", format::kFlagUninstallFirst, 0, true, false},
    {"upgrade", "compare_versions", format::kFlagCompareVersions, 0, true, true},
    {"upgrade", "confirm_install_type", format::kFlagNoInstallTypeConfirmation, 0, false, true},
    {"upgrade", "confirm_over_install", format::kFlagAskOverInstall, 0, true, false},
    {"upgrade", "remove_earlier_location", 0, format::kFlags2RecordEarlierLocation, true, false},
    {"uninstall", "create", format::kFlagUninstaller, 0, true, true},
    {"uninstall", "automatic", format::kFlagUninstallAutomatic, 0, true, false},
    {"uninstall", "delete_install_folder", format::kFlagUninstallDeletesInstallFolder, 0, true, false},
    {"uninstall", "restart_windows", format::kFlagUninstallRestarts, 0, true, false},
    {"uninstall", "keep_log", format::kFlagUninstallKeepsLog, 0, true, false},
    {"uninstall", "close_progress_first", format::kFlagUninstallClosesProgressFirst, 0, true, false},
    {"uninstall", "completion_message", 0, format::kFlags2UninstallCompletionMessage, true, false},
    {"uninstall", "keep_installation_data", 0, format::kFlags2StripUninstaller, false, false},
    {"shortcuts", "desktop_folder_named_after_product", format::kFlagDesktopFolderDefault, 0, true, false},
    {"shortcuts", "uninstall_in_start_menu", format::kFlagUninstallShortcutInStartMenu, 0, true, false},
    {"shortcuts", "uninstall_on_desktop", format::kFlagUninstallShortcutOnDesktop, 0, true, false},
    {"shortcuts", "uninstall_in_uninstall_folder", format::kFlagUninstallShortcutInUninstallFolder, 0, true, false},
    {"shortcuts", "uninstall_in_install_folder", 0, format::kFlags2UninstallShortcutInInstallFolder, true, false},
    {"shortcuts", "log_in_start_menu", format::kFlagLogShortcutInStartMenu, 0, true, false},
    {"portable", "create_uninstaller", format::kFlagPortableWithoutUninstaller, 0, false, true},
    {"portable", "only_portable_shortcuts", 0, format::kFlags2NoStartMenuPageOnRemovable, true, false},
    {"portable", "write_registry", 0, format::kFlags2PortableNoRegistry, false, true},
    {"portable", "make_associations", 0, format::kFlags2PortableNoAssociations, false, true},
    {"portable", "add_firewall_exceptions", 0, format::kFlags2PortableNoFirewall, false, true},
    {"shared", "loosen_folder_security", format::kFlagLoosenSharedFolder, 0, true, false},
    {"path", "add", format::kFlagAddToPath, 0, true, false},
    {"finish", "launch_directly", 0, format::kFlags2LaunchDirectly, true, false},
    {"licence", "save_copies", format::kFlagSaveEula, 0, true, false},
    {"readme", "save_copies", format::kFlagSaveReadme, 0, true, false},
    {"batches.pre_install", "hidden", format::kFlagHidePreInstallBatch, 0, true, true},
    {"batches.pre_install", "log_output", 0, format::kFlags2LogPreInstallBatch, true, false},
    {"batches.post_install", "hidden", format::kFlagHidePostInstallBatch, 0, true, true},
    {"batches.post_install", "log_output", 0, format::kFlags2LogPostInstallBatch, true, false},
    {"batches.install_exit", "hidden", format::kFlagHideInstallExitBatch, 0, true, true},
    {"batches.before_uninstall", "hidden", format::kFlagHideUninstallBatch1, 0, true, true},
    {"batches.after_uninstall", "hidden", format::kFlagHideUninstallBatch2, 0, true, true},
    {"batches.upgrade", "hidden", format::kFlagHideUpgradeBatch, 0, true, true},
    {"batches.upgrade", "log_output", 0, format::kFlags2LogUpgradeBatch, true, false},
    {"batches.reinstall", "hidden", format::kFlagHideReinstallBatch, 0, true, true},
    {"batches.reinstall", "log_output", 0, format::kFlags2LogReinstallBatch, true, false},
    {"batches.reinstall", "only_same_version", 0, format::kFlags2ReinstallSameVersionOnly, true, false},
};

// ---- Words ------------------------------------------------------------------------------------

constexpr Word kPageStyles[] = {{"plain", 0}, {"picture", 1}, {"banner", 2}, {"panel", 3}};
constexpr Word kPositions[] = {{"none", 0},        {"top-left", 1},      {"top-centre", 2},   {"top-right", 3},
                               {"bottom-left", 4}, {"bottom-centre", 5}, {"bottom-right", 6}};
constexpr Word kPictureFits[] = {{"stretch", 0}, {"fit", 1}, {"multiple", 2}, {"tile", 3}};
constexpr Word kBitness[] = {{"any", 0}, {"64-bit", 1}, {"32-bit", 2}};
constexpr Word kAutomatic[] = {{"command-line", 0}, {"always", 1}, {"never", 2}};
constexpr Word kSharedBase[] = {{"common-files", 0}, {"app-data", 1}, {"common-files-32", 2}, {"common-files-64", 3}};
constexpr Word kRemoval[] = {{"keep", 0}, {"ask", 1}, {"remove", 2}};
constexpr Word kRegistryView[] = {{"32-bit", 0}, {"64-bit", 1}};
constexpr Word kHorizontal[] = {{"default", 0}, {"left", 1}, {"right", 2}, {"centre", 3}};
constexpr Word kVertical[] = {{"default", 0}, {"top", 8}, {"bottom", 16}, {"centre", 24}};
constexpr Word kKinds[] = {{"file", 0},    {"shared", 1},      {"font", 4},         {"startup", 5},
                           {"system", 6},  {"com", 7},         {"com-server", 7},   {"typelib", 8},
                           {"type-library", 8}, {"if-newer", 9}, {"driver", 10},    {"msi", 11},
                           {"applet", 12}, {"control-panel-applet", 12}};
constexpr Word kOverwrite[] = {{"always", 0}, {"never", 1}, {"if-exists", 2}, {"if-missing", 3}, {"if-newer", 4}};
constexpr Word kMsiUi[] = {{"default", 1}, {"none", 2}, {"basic", 3}, {"reduced", 4}, {"full", 5}};
constexpr Word kAttributes[] = {{"read-only", 0x1}, {"hidden", 0x2},     {"system", 0x4},
                                {"archive", 0x20},  {"temporary", 0x100}, {"offline", 0x1000}};
constexpr Word kWindow[] = {{"normal", 0}, {"minimized", 1}, {"maximized", 2}};
constexpr Word kRegistryTypes[] = {{"text", 1},   {"string", 1}, {"expandable-text", 2}, {"expand-string", 2},
                                   {"binary", 3}, {"number", 4}, {"dword", 4},           {"number64", 11},
                                   {"qword", 11}};
constexpr Word kAtInstall[] = {{"write", 0}, {"write-if-missing", 1}, {"delete", 2}, {"nothing", 3}};
constexpr Word kAtUninstall[] = {{"delete", 0}, {"keep", 1}};
constexpr Word kCloseActions[] = {{"close", 0}, {"quit", 1}, {"ask", 2}, {"end-process", 3}};
constexpr Word kCloseWhen[] = {{"install", 1}, {"uninstall", 2}, {"both", 3}};
constexpr Word kDeleteWhen[] = {{"install", 4}, {"uninstall", 8}, {"both", 12}};
constexpr Word kDeleteConditions[] = {{"always", 0}, {"older-than", 1}, {"version-below", 2}};
constexpr Word kUninstallValueTypes[] = {{"text", 1}, {"expandable-text", 2}, {"number", 4}};
constexpr Word kProtocols[] = {{"tcp", 1}, {"udp", 2}};
constexpr Word kCompression[] = {{"xz", 1}, {"none", 0}};
constexpr Word kIntegrity[] = {{"none", 0}, {"crc", 1}, {"signature", 2}};
constexpr Word kArchiveSource[] = {{"section", 0}, {"file", 1}};
// The bits of the excluded-Windows mask.
constexpr Word kWindowsVersions[] = {
    {"unknown", 1},          {"win32s", 2},         {"95", 4},           {"98", 8},          {"me", 16},
    {"nt3", 32},             {"nt4", 64},           {"2000", 128},       {"xp", 256},        {"server-2003", 512},
    {"vista", 1024},         {"server-2008", 2048}, {"7", 4096},         {"8", 8192},        {"8.1", 8192},
    {"server-2012", 16384},  {"10", 32768},         {"server-2016", 65536}, {"server-2019", 131072},
    {"server-2022", 131072}, {"11", 524288},        {"server-2025", 1048576}};
// Minimum Windows versions by name: major, minor, build.
struct NamedWindows {
  std::string_view name;
  uint32_t major, minor, build;
};
constexpr NamedWindows kNamedWindows[] = {{"xp", 5, 1, 0}, {"vista", 6, 0, 0}, {"7", 6, 1, 0}, {"8", 6, 2, 0},
                                          {"8.1", 6, 3, 0}, {"10", 10, 0, 0},  {"11", 10, 0, 22000}};

int FindWord(std::span<const Word> words, std::string_view w) {
  for (const Word& x : words)
    if (x.word == w) return x.value;
  return -1;
}

std::string WordList(std::span<const Word> words) {
  std::string list;
  for (const Word& w : words) list += (list.empty() ? "" : ", ") + std::string(w.word);
  return list;
}

// ---- Small conversions -------------------------------------------------------------------------

// An 8-bit text of the script (z-strings): ASCII as it is, anything else as "|" and UTF-8.
std::string EightBit(const std::string& utf8) { return IsAscii(utf8) ? utf8 : "|" + utf8; }

// A field of an [Associations] line of the uninstall data: one line, no NUL (it ends a z-string),
// no "~!~" (it separates the fields).
bool OneLineRecordField(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && text.find("~!~") == std::string::npos;
}

// A Windows path from the project: "/" becomes "\", no trailing "\" (except a drive root).
std::string WindowsPath(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  while (s.size() > 1 && s.back() == '\\' && !(s.size() == 3 && s[1] == ':')) s.pop_back();
  return s;
}

std::string JoinWindows(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!out.empty() && out.back() != '\\') out += '\\';
    out += p;
  }
  return out;
}

// "{rtf" documents are kept as they are; a plain text becomes UTF-8 without byte-order mark.
bool IsRtf(std::string_view d) {
  if (d.substr(0, 3) == "\xEF\xBB\xBF") d.remove_prefix(3);
  return d.substr(0, 5) == "{\\rtf";
}

// Text files of the project (plain licence and readme texts, registry merge files, batch files):
// UTF-8 (with or without byte-order mark) or UTF-16 with its byte-order mark. Returns false for
// anything else.
bool DecodeTextFile(std::string_view bytes, std::u16string& text) {
  if (bytes.size() >= 2 && (uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE)) {
    text.clear();
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
    return bytes.size() % 2 == 0;
  }
  if (bytes.size() >= 2 && (uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF)) {
    text.clear();
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += char16_t((uint8_t(bytes[i]) << 8) | uint8_t(bytes[i + 1]));
    return bytes.size() % 2 == 0;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!IsValidUtf8(bytes)) return false;
  text = Utf8ToUtf16(bytes);
  return true;
}

bool LooksLikeBmp(std::string_view b) { return b.size() >= 54 && b.substr(0, 2) == "BM"; }
bool LooksLikeWav(std::string_view b) { return b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WAVE"; }
// An icon file: header (reserved 0, type 1, count), then count 16-byte entries whose images lie
// inside the file.
bool LooksLikeIcon(std::string_view b) {
  auto u16 = [&](size_t at) { return uint32_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  if (b.size() < 6 || u16(0) != 0 || u16(2) != 1 || u16(4) == 0) return false;
  size_t count = u16(4);
  if (b.size() < 6 + 16 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    uint64_t size = u32(6 + 16 * i + 8), offset = u32(6 + 16 * i + 12);
    if (size == 0 || offset + size > b.size()) return false;
  }
  return true;
}

// Today (UTC), or the day of SOURCE_DATE_EPOCH when it is set, for reproducible builds.
format::BuildDate Today() {
  std::time_t tt = std::time(nullptr);
  if (auto epoch = SourceDateEpoch()) tt = std::time_t(*epoch);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &tt);
#else
  gmtime_r(&tt, &tm);
#endif
  return {uint16_t(tm.tm_year + 1900), uint8_t(tm.tm_mon + 1), uint8_t(tm.tm_mday)};
}

bool ParseHexKey(std::string_view text, std::vector<uint8_t>& key) {
  key.clear();
  if (text.size() != 112) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    key.push_back(uint8_t(hi * 16 + lo));
  }
  return true;
}

// One field of a comma-separated line (registry entries): quoted when it holds a separator or a
// quote, or has blanks at its ends.
std::string CsvField(const std::string& f) {
  bool quote = f.find_first_of(",\"\t\r\n;|") != std::string::npos ||
               (!f.empty() && (f[0] == ' ' || f[0] == '\'' || f[0] == '#' || f.back() == ' '));
  if (!quote) return f;
  std::string out = "\"";
  for (char c : f) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// ---- The reading of one project ---------------------------------------------------------------

class ProjectBuilder {
 public:
  ProjectBuilder(Reader& r, const ProjectEnvironment& env, Project& p) : r_(r), env_(env), p_(p), s_(p.script) {}

  void Read() {
    s_ = SetupScript{};
    s_.settings.ProgressStyle = 2;
    ReadFlags();
    ReadProduct();
    ReadLanguages();
    ReadInstall();
    ReadRequirements();
    ReadUpgrade();
    ReadPages();
    ReadLook();
    ReadShortcuts();
    ReadUninstall();
    ReadShared();
    ReadRegistry();
    ReadPath();
    ReadDocuments("licence", 29, s_.license_texts);
    ReadDocuments("readme", 30, s_.readme_texts);
    ReadBatches();
    ReadFinishAndNotify();
    ReadAssociations();
    ReadFirewall();
    ReadClosePrograms();
    ReadDeletions();
    ReadShortcutList();
    ReadPackage();
    ReadSigning();
    ReadFiles();
    r_.ReportUnknownOptions();
    CheckScript();
  }

 private:
  Section& T(const char* name) { return r_.Table(name); }
  void Note(int item, Section& sec, std::string_view key) {
    r_.NoteItem(item, (sec.name().empty() ? "" : sec.name() + ".") + std::string(key), sec.Line(key));
  }
  std::u16string Name() const { return s_.DisplayName; }

  bool LoadChecked(Section& sec, std::string_view key, std::string& bytes, bool (*check)(std::string_view),
                   const char* what) {
    std::string rel = sec.Text(key);
    if (rel.empty()) return false;
    if (!r_.LoadFile(sec.Line(key), rel, bytes)) return false;
    if (check && !check(bytes)) {
      sec.Error(key, Quoted(rel) + " is not " + what);
      bytes.clear();
      return false;
    }
    return true;
  }

  void ReadFlags() {
    for (const FlagOption& f : kFlagOptions) {
      if (T(f.section).Bool(f.key, f.default_value) != f.set_when) continue;
      s_.ProductFlags |= f.flags;
      s_.ProductFlags2 |= f.flags2;
    }
  }

  void ReadProduct() {
    Section& p = T("product");
    if (!p.Has("name")) r_.Error(p.line(), "the product has no name: give `name` in [product]");
    s_.DisplayName = p.Wide("name");
    if (p.Has("name") && s_.DisplayName.empty()) p.Error("name", "`name` must not be empty");
    Note(11, p, "name");
    s_.DisplayVersion = p.Wide("version");
    Note(18, p, "version");
    s_.Publisher = p.Wide("publisher");
    Note(10, p, "publisher");
    s_.product_description = p.Wide("description");
    Note(12, p, "description");
    s_.default_install_folder = Utf8ToUtf16(WindowsPath(p.Text("install_folder")));
    Note(19, p, "install_folder");
    LoadChecked(p, "icon", s_.product_icon, LooksLikeIcon, "an icon (.ico) file");
    Note(74, p, "icon");
  }

  void ReadInstall() {
    Section& i = T("install");
    s_.run_mode = uint8_t(i.Choice("automatic", kAutomatic, 0));
    s_.dwell_time = uint16_t(i.Integer("status_line_time", 0, 0, format::kMaxDwellTime, "milliseconds"));
    Note(7, i, "status_line_time");
    uint64_t extra = uint64_t(i.Integer("extra_disk_space", 0, 0, INT64_MAX, "bytes"));
    s_.settings.extra_disk_space_low = int32_t(uint32_t(extra));
    s_.settings.extra_disk_space_high = int32_t(uint32_t(extra >> 32));
  }

  void ReadRequirements() {
    Section& q = T("requirements");
    s_.Bitness = uint8_t(q.Choice("bitness", kBitness, 0));
    if (q.Has("minimum_windows")) {
      std::string v = q.Text("minimum_windows");
      uint32_t major = 0, minor = 0, build = 0;
      bool ok = false;
      for (const NamedWindows& n : kNamedWindows)
        if (v == n.name) major = n.major, minor = n.minor, build = n.build, ok = true;
      if (!ok) {
        unsigned a = 0, b = 0, c = 0;
        char tail = 0;
        int got = std::sscanf(v.c_str(), "%u.%u.%u%c", &a, &b, &c, &tail);
        ok = (got == 2 || got == 3) && v.find_first_not_of("0123456789.") == std::string::npos && a > 0;
        major = a, minor = b, build = got == 3 ? c : 0;
      }
      if (!ok)
        q.Error("minimum_windows", "`minimum_windows` must be a Windows version like \"6.1\" or \"10.0.19041\", or one of "
                                   "xp, vista, 7, 8, 8.1, 10, 11");
      s_.minimum_windows_version = format::WriteMinimumWindows({major, minor, build});
    }
    for (const std::string& w : q.TextList("excluded_windows")) {
      int bit = FindWord(kWindowsVersions, w);
      if (bit < 0) q.Error("excluded_windows", "`excluded_windows` names an unknown Windows version \"" + w + "\"; use " + WordList(kWindowsVersions));
      else s_.excluded_windows_mask |= uint32_t(bit);
    }
    if (Section* m = q.SubTable("master_product")) {
      s_.ProductFlags |= format::kFlagMasterProduct;
      s_.master_product.uninstall_key_name = m->Wide("uninstall_key");
      s_.master_product.display_name = m->Wide("name");
      s_.master_product.minimum_version = m->Wide("minimum_version");
      Note(52, *m, "name");
    }
  }

  void ReadUpgrade() {
    Section& u = T("upgrade");
    s_.earlier_install_location = u.Wide("earlier_location", {}, 0xFFFF / 2);
    s_.upgrade_minimum_version = u.Wide("uninstall_first_below");
    Note(66, u, "uninstall_first_below");
    s_.upgrade_confirm_minimum = u.Text("confirm_over_install_below");
    if (!IsAscii(s_.upgrade_confirm_minimum)) u.Error("confirm_over_install_below", "`confirm_over_install_below` must be a version of plain digits and dots");
    Note(61, u, "confirm_over_install_below");
    s_.NoDowngradeBelow = u.Wide("no_downgrade_below", {}, 127);
    Note(62, u, "no_downgrade_below");
  }

  void ReadPages() {
    Section& g = T("pages");
    format::FixedSettings& f = s_.settings;
    f.language_style = g.Choice("language_style", kPageStyles, 1);
    f.greeting_style = g.Choice("greeting_style", kPageStyles, 1);
    f.license_style = g.Choice("licence_style", kPageStyles, 1);
    f.readme_style = g.Choice("readme_style", kPageStyles, 1);
    f.folder_style = g.Choice("folder_style", kPageStyles, 1);
    f.start_menu_style = g.Choice("start_menu_style", kPageStyles, 1);
    f.ProgressStyle = g.Choice("progress_style", kPageStyles, 2);
    f.summary_style = g.Choice("summary_style", kPageStyles, 1);
    s_.progress_page_value = uint32_t(g.Choice("progress_horizontal", kHorizontal, 0) | g.Choice("progress_vertical", kVertical, 0));
    s_.greeting_link = g.Address("greeting_link");
    Note(28, g, "greeting_link");
    s_.addresses.greeting_text = g.Wide("greeting_text");
    s_.password = g.Wide("password");
    Note(65, g, "password");
  }

  void ReadLook() {
    Section& l = T("look");
    s_.TaskbarText = l.Wide("taskbar_text", Name());
    Note(3, l, "taskbar_text");
    s_.DisplayTitle = l.Wide("title", Name());
    Note(4, l, "title");
    s_.TitleSize = l.Number("title_size", 1.0, 0.1, 10.0);
    s_.TitleColor = l.Colour("title_colour", 0xFFFEF7);
    s_.TitleShadow = uint8_t(l.Integer("title_shadow", 1, 0, 255));
    s_.TitlePosition = uint8_t(l.Choice("title_position", kPositions, 1));
    s_.TitleFont = l.Wide("title_font", s_.TitleFont, 0xFFFF / 2);
    Note(43, l, "title_font");
    s_.title_drawing_option = l.Bool("title_fallback", true) ? 0 : 1;
    s_.TopColor = l.Colour("top_colour", 0x7F3F00);
    s_.BottomColor = l.Colour("bottom_colour", 0x000000);
    const bool keep_picture = l.Bool("picture_for_uninstaller", true);
    if (LoadChecked(l, "picture", s_.background_picture, LooksLikeBmp, "a Windows bitmap (.bmp) file") && keep_picture)
      s_.ProductFlags |= format::kFlagBackgroundImage;
    s_.BitmapSize = uint32_t(l.Integer("picture_size", s_.background_picture.empty() ? 0 : 100, 0, format::kMaxBitmapSize, "percent"));
    s_.StretchMode = uint32_t(l.Choice("picture_fit", kPictureFits, 2));
    s_.BitmapTPI = int32_t(l.Integer("picture_transparent_index", -1, -1, 255));
    std::u16string copyright = l.Wide("copyright");
    s_.CopyrightPos = uint8_t(l.Choice("copyright_position", kPositions, copyright.empty() ? 0 : 6));
    s_.CopyrightText = copyright;
    s_.CopyrightColor = l.Colour("copyright_colour", s_.CopyrightColor);
    s_.CopyrightSize = l.Number("copyright_size", 1.0, 0.1, 10.0);
    s_.CopyrightFont = l.Wide("copyright_font", s_.CopyrightFont);
    Note(47, l, "copyright");
    s_.DialogFont = l.Wide("dialog_font", {}, 0xFFFF / 2);
    Note(35, l, "dialog_font");
    s_.DialogZoom = uint32_t(l.Integer("dialog_zoom", 100, 50, 150, "percent"));
    s_.dialog_caption = l.Wide("dialog_caption", u"<product> Setup");
    Note(37, l, "dialog_caption");
    s_.BannerFG = l.Colour("banner_text", 0x000000);
    if (l.Has("dialog_background") || l.Has("dialog_text")) {
      s_.ProductFlags |= format::kFlagDialogColours;
      s_.DialogBG = l.Colour("dialog_background", format::kColourUnset);
      s_.DialogFG = l.Colour("dialog_text", 0x000000);
    }
    if (l.Has("button_face") || l.Has("button_text") || l.Has("button_border")) {
      s_.ProductFlags2 |= format::kFlags2ButtonColours;
      s_.ButtonBG = l.Colour("button_face", format::kColourUnset);
      s_.ButtonFG = l.Colour("button_text", format::kColourUnset);
      s_.ButtonBorder = l.Colour("button_border", 0x000000);
    }
    if (l.Has("edit_background") || l.Has("edit_text")) {
      s_.ProductFlags2 |= format::kFlags2SecondColours;
      s_.second_colours = {l.Colour("edit_background", format::kColourUnset), l.Colour("edit_text", format::kColourUnset)};
    }
    if (l.Has("list_background") || l.Has("list_text")) {
      s_.ProductFlags2 |= format::kFlags2ThirdColours;
      s_.third_colours = {l.Colour("list_background", format::kColourUnset), l.Colour("list_text", format::kColourUnset)};
    }
    LoadChecked(l, "opening_sound", s_.opening_sound, LooksLikeWav, "a WAV sound file");
  }

  void ReadShortcuts() {
    Section& c = T("shortcuts");
    s_.ShortcutMode = c.Bool("all_users", false) ? 1 : 0;
    s_.ProductStartMenu = c.Wide("start_menu_folder");
    Note(17, c, "start_menu_folder");
    s_.DesktopFolder = c.Wide("desktop_folder");
    Note(54, c, "desktop_folder");
    LoadChecked(c, "desktop_folder_icon", s_.desktop_folder_icon, LooksLikeIcon, "an icon (.ico) file");
    if (Section* root = c.SubTable("root_shortcut")) {
      s_.further_commands[0].command = root->Wide("command");
      s_.further_commands[0].text = root->Wide("name");
      if (s_.further_commands[0].command.empty()) root->Error("command", "`root_shortcut` needs a `command`");
      Note(72, *root, "name");
    }
    if (Section* pin = c.SubTable("taskbar_pin")) {
      s_.further_commands[1].command = pin->Wide("program");
      s_.further_commands[1].text = pin->Wide("name");
      if (s_.further_commands[1].command.empty()) pin->Error("program", "`taskbar_pin` needs a `program`");
      Note(72, *pin, "name");
    }
  }

  void ReadUninstall() {
    Section& u = T("uninstall");
    s_.UninstallSubdir = Utf8ToUtf16(WindowsPath(u.Text("folder")));
    Note(31, u, "folder");
    s_.uninstaller_file_name = u.Wide("file_name", u"uninstall.exe", 127);
    if (s_.uninstaller_file_name.empty() || s_.uninstaller_file_name.find_first_of(u"\\/:*?\"<>|") != std::u16string::npos)
      u.Error("file_name", "`file_name` must be a plain file name, like \"uninstall.exe\"");
    Note(32, u, "file_name");
    s_.uninstall_key_name = u.Wide("key_name");
    Note(33, u, "key_name");
    if (s_.uninstall_key_name.find(u'\\') != std::u16string::npos) u.Error("key_name", "`key_name` must not contain a backslash");
    bool create = (s_.ProductFlags & format::kFlagUninstaller) != 0;
    if (LoadChecked(u, "icon", s_.uninstaller_icon, LooksLikeIcon, "an icon (.ico) file") && !create)
      r_.Warning(u.Line("icon"), "`icon` is not used: the product gets no uninstaller (`create = false`)");
    s_.UninstallFonts = int32_t(u.Choice("fonts", kRemoval, 2));
    s_.UninstallShared = int32_t(u.Choice("shared_files", kRemoval, 2));
    s_.SupportOffer = u.Address("support_offer");
    Note(74, u, "support_offer");
    if (auto t = u.DateTimeValue("file_time")) {
      s_.uninstaller_file_info = format::WriteFileInfo({t->year, t->month, t->day, t->hour, t->minute, t->second});
    }
    for (Section* v : r_.TableArray("uninstall.value")) {
      format::UninstallValue value;
      value.name = v->Wide("name", {}, 127);
      if (value.name.empty()) r_.Error(v->line(), "an uninstall value needs a `name`");
      value.type = uint8_t(v->Choice("type", kUninstallValueTypes, 1));
      if (const toml::node* d = v->Node("data"); d && d->is_integer()) value.data = Utf8ToUtf16(std::to_string(d->as_integer()->get()));
      else value.data = v->Wide("data");
      if (value.type == 4 && value.data.find_first_not_of(u"-0123456789") != std::u16string::npos)
        v->Error("data", "a `number` value needs a whole number as `data`");
      Note(73, *v, "name");
      s_.uninstall_values.push_back(std::move(value));
    }
    if (s_.uninstall_values.size() > format::kMaxUninstallValues) r_.Error(0, "more than 1000 uninstall values");
  }

  void ReadShared() {
    Section& h = T("shared");
    s_.shared_base_folder = uint8_t(h.Choice("base", kSharedBase, 0));
    s_.SharedPath = Utf8ToUtf16(WindowsPath(h.Text("folder")));
    Note(15, h, "folder");
    s_.portable_shared_subfolder = Utf8ToUtf16(WindowsPath(h.Text("portable_folder")));
    Note(16, h, "portable_folder");
  }

  // A registry key of the project: "HKLM\Software\..." (or the long root name, or "\HKLM\...")
  // in the notation the installer reads, "\HKLM\Software\...".
  bool RegistryKey(Section& e, std::string_view key_name, std::string& out) {
    std::string k = e.Text(key_name);
    static const std::pair<const char*, const char*> kRoots[] = {
        {"HKLM", "HKLM"}, {"HKCU", "HKCU"}, {"HKCR", "HKCR"}, {"HKU", "HKU"}, {"HKCC", "HKCC"}, {"HKAU", "HKAU"},
        {"HKEY_LOCAL_MACHINE", "HKLM"}, {"HKEY_CURRENT_USER", "HKCU"}, {"HKEY_CLASSES_ROOT", "HKCR"},
        {"HKEY_USERS", "HKU"}, {"HKEY_CURRENT_CONFIG", "HKCC"}};
    std::string rest = k[0] == '\\' ? k.substr(1) : k;
    for (const auto& [name, shortname] : kRoots) {
      size_t n = std::string_view(name).size();
      if (rest.size() > n && rest.compare(0, n, name) == 0 && rest[n] == '\\' && rest.size() > n + 1) {
        out = "\\" + std::string(shortname) + "\\" + rest.substr(n + 1);
        return true;
      }
    }
    e.Error(key_name, Quoted(key_name) + " must be a registry key beginning with HKLM\\, HKCU\\, HKCR\\, HKU\\, HKCC\\ or "
                      "HKAU\\ (every user), like 'HKLM\\Software\\Vendor\\Product'");
    return false;
  }

  // The data of a registry value: `value` (or its older name `data`), written as people write it:
  // a text, a whole number (for the number types, and as its digits for a text), or for a binary
  // value hexadecimal pairs ("0A 0B FF") or a list of bytes ([10, 11, 255]). The text the installer
  // reads is put in `out`; false after an error.
  bool RegistryData(Section& e, int type, std::string& out) {
    if (e.Has("value") && e.Has("data")) {
      e.Error("value", "give the value's data once: `value` or `data`, not both");
      return false;
    }
    const std::string_view key = e.Has("value") ? "value" : "data";
    const toml::node* d = e.Node(key);
    const std::string what = "`" + std::string(key) + "`";
    const bool number_type = type == 4 || type == 11;
    const char* range = type == 4 ? "a dword must be a whole number from -2147483648 to 4294967295"
                                  : "a qword must be a whole number of at most 64 bits";
    if (d && d->is_integer()) {
      const int64_t n = d->as_integer()->get();
      if (type == 3) {
        e.Error(key, what + " of a binary value must be hexadecimal pairs like \"0A 0B FF\" or a list of bytes like [10, 11, 255]");
        return false;
      }
      if (type == 4 && (n < -2147483648LL || n > 4294967295LL)) {
        e.Error(key, what + " does not fit its type: " + range);
        return false;
      }
      out = std::to_string(n);
      return true;
    }
    if (d && d->is_array() && type == 3) {
      static const char* digits = "0123456789ABCDEF";
      for (const toml::node& byte : *d->as_array()) {
        if (!byte.is_integer() || byte.as_integer()->get() < 0 || byte.as_integer()->get() > 255) {
          e.Error(key, what + " of a binary value must list bytes, whole numbers from 0 to 255");
          return false;
        }
        const int64_t b = byte.as_integer()->get();
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
      }
      return true;
    }
    if (d && !d->is_string()) {
      e.Error(key, what + (number_type ? " must be a whole number" : " must be a text") +
                       (type == 3 ? " of hexadecimal pairs or a list of bytes" : ""));
      return false;
    }
    out = e.Text(key);
    if (number_type) {
      const bool negative = !out.empty() && out[0] == '-';
      const std::string digits_part = negative ? out.substr(1) : out;
      bool ok = !digits_part.empty() && digits_part.size() <= 20 &&
                digits_part.find_first_not_of("0123456789") == std::string::npos;
      if (ok) {
        errno = 0;
        const unsigned long long v = std::strtoull(digits_part.c_str(), nullptr, 10);
        if (errno == ERANGE) ok = false;
        else if (type == 4) ok = negative ? v <= 2147483648ull : v <= 4294967295ull;
        else ok = !negative || v <= 9223372036854775808ull;
      }
      if (!ok) {
        e.Error(key, what + " does not fit its type: " + range);
        return false;
      }
    } else if (type == 3) {
      std::string hex;
      for (char c : out)
        if (c != ' ') hex += c;
      if (hex.size() % 2 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        e.Error(key, what + " of a binary value must be pairs of hexadecimal digits, like \"0A 0B FF\"");
        return false;
      }
    }
    return true;
  }

  void ReadRegistry() {
    Section& g = T("registry");
    s_.ProductRegistry = Utf8ToUtf16(WindowsPath(g.Text("product_key")));
    Note(20, g, "product_key");
    if (g.Choice("view", kRegistryView, 0) == 1) s_.ProductFlags |= format::kFlagRegistry64;
    std::string merge;
    if (LoadChecked(g, "merge_file", merge, nullptr, "")) {
      if (!DecodeTextFile(merge, s_.registry_merge))
        g.Error("merge_file", "`merge_file` must be a registry file in UTF-8 or UTF-16 text");
    }
    s_.app_paths_program = Utf8ToUtf16(WindowsPath(g.Text("app_path")));
    std::string lines;
    for (Section* e : r_.TableArray("registry.entry")) {
      std::string key;
      if (!e->Has("key")) {
        r_.Error(e->line(), "a registry entry needs a `key`");
        continue;
      }
      bool value_line = e->Has("name") || e->Has("type") || e->Has("data") || e->Has("value") || e->Has("at_install") ||
                        e->Has("at_uninstall");
      if (!RegistryKey(*e, "key", key)) continue;
      if (!value_line) {
        lines += CsvField(key) + "\r\n";
        continue;
      }
      std::string name = e->Text("name");
      int type = e->Choice("type", kRegistryTypes, 1);
      std::string data;
      if (!RegistryData(*e, type, data)) continue;
      int at_install = e->Choice("at_install", kAtInstall, 0);
      int at_uninstall = e->Choice("at_uninstall", kAtUninstall, 0);
      // Action codes of the installer: write/keep 1, nothing/delete 2, write/delete 3,
      // delete/keep 4, delete/delete 5, write-if-missing/keep 6, write-if-missing/delete 7.
      static constexpr int kActions[4][2] = {{3, 1}, {7, 6}, {5, 4}, {2, 0}};
      int action = kActions[at_install][at_uninstall];
      if (action == 0) e->Error("at_install", "this registry entry does nothing: `at_install = \"nothing\"` with `at_uninstall = \"keep\"`");
      if ((name + data).find_first_of("\r\n") != std::string::npos) e->Error("data", "registry names and data must be on one line");
      lines += CsvField(key) + "," + CsvField(name) + "," + std::to_string(type) + "," + CsvField(data) + "," +
               std::to_string(action) + "\r\n";
      Note(21, *e, "key");
    }
    s_.registry_entries = Utf8ToUtf16(lines);
  }

  void ReadPath() {
    Section& p = T("path");
    const std::string folder = p.Text("folder");
    // One entry of a ";"-separated list: a ";" would make it two.
    if (folder.find_first_of(";\"\r\n") != std::string::npos || folder.find('\0') != std::string::npos)
      p.Error("folder", "`folder` must be one folder, without \";\", quotes or line breaks");
    s_.AddToPathSubfolder = Utf8ToUtf16(WindowsPath(folder));
    Note(66, p, "folder");
  }

  void ReadDocuments(const char* table, int item, std::vector<std::string>& out) {
    Section& d = T(table);
    std::vector<std::string> files = d.TextList("files");
    if (files.size() > format::kMaxLicenseTexts) {
      d.Error("files", std::string("[") + table + "] lists " + std::to_string(files.size()) + " files; at most 20 are allowed");
      files.resize(format::kMaxLicenseTexts);
    }
    for (const std::string& f : files) {
      std::string bytes;
      if (!r_.LoadFile(d.Line("files"), f, bytes)) continue;
      if (IsRtf(bytes)) {
        out.push_back(bytes);
        continue;
      }
      std::u16string text;
      if (!DecodeTextFile(bytes, text)) {
        d.Error("files", Quoted(f) + " is neither UTF-8 text nor RTF (save it as UTF-8)");
        continue;
      }
      out.push_back(Utf16ToUtf8(text));
    }
    Note(item, d, "files");
  }

  void ReadBatches() {
    struct Batch {
      const char* name;
      std::string format::Batches::*text;
    };
    static constexpr Batch kBatches[] = {{"pre_install", &format::Batches::pre_install},
                                         {"post_install", &format::Batches::post_install},
                                         {"install_exit", &format::Batches::install_exit},
                                         {"before_uninstall", &format::Batches::UninstallBatch1},
                                         {"after_uninstall", &format::Batches::UninstallBatch2},
                                         {"upgrade", &format::Batches::upgrade},
                                         {"reinstall", &format::Batches::reinstall}};
    for (const Batch& b : kBatches) {
      Section& sec = T((std::string("batches.") + b.name).c_str());
      std::string cp1252;
      if (sec.Has("commands") && sec.Has("file")) sec.Error("file", "give either `commands` or `file`, not both");
      if (sec.Has("file")) {
        std::string bytes;
        std::u16string text;
        if (r_.LoadFile(sec.Line("file"), sec.Text("file"), bytes)) {
          if (DecodeTextFile(bytes, text)) cp1252 = ToCp1252(sec, "file", text);
          else cp1252 = bytes;  // an 8-bit batch file is taken as code page 1252
        }
      } else {
        cp1252 = ToCp1252(sec, "commands", sec.Wide("commands"));
      }
      s_.batches.*b.text = cp1252;
    }
  }

  std::string ToCp1252(Section& sec, std::string_view key, const std::u16string& text) {
    bool exact = true;
    std::string out = format::Cp1252FromUtf16(text, &exact);
    if (!exact)
      sec.Error(key, "the batch has characters that Windows code page 1252 cannot hold (batches are 8-bit "
                     "Windows text; use %variables% for paths with other characters)");
    return out;
  }

  void ReadFinishAndNotify() {
    Section& f = T("finish");
    s_.addresses.launch_program = f.Wide("launch");
    s_.addresses.open_document = f.Wide("open_document");
    s_.addresses.open_document_2 = f.Wide("open_web_page");
    Section& n = T("notify");
    s_.addresses.blocking_query_url = n.Address("blocking_query");
    s_.settings.blocking_status = int32_t(n.Integer("block_when_status", 0, 0, 599));
    if (s_.settings.blocking_status != 0 && s_.settings.blocking_status < 100)
      n.Error("block_when_status", "`block_when_status` must be an HTTP status from 100 to 599 (or 0: never block)");
    if (s_.settings.blocking_status != 0 && s_.addresses.blocking_query_url.empty())
      n.Error("block_when_status", "`block_when_status` needs a `blocking_query` address to ask");
    s_.addresses.start_notify_url = n.Address("on_start");
    s_.addresses.new_install_notify_url = n.Address("on_new_install");
    s_.addresses.upgrade_notify_url = n.Address("on_upgrade");
    s_.addresses.downgrade_notify_url = n.Address("on_downgrade");
    s_.addresses.reinstall_notify_url = n.Address("on_reinstall");
    s_.addresses.NotifyURL = n.Address("on_uninstall");
    s_.addresses.cancel_notify_url = n.Address("on_cancel");
    s_.addresses.problem_report_url = n.Address("problem_reports");
  }

  void ReadAssociations() {
    for (Section* a : r_.TableArray("association")) {
      format::FileAssociation e;
      std::string ext = a->Text("extension");
      if (ext.empty() || ext == ".") {
        r_.Error(a->line(), "a file association needs an `extension`, like \".txt\"");
        continue;
      }
      if (ext[0] != '.') ext = "." + ext;
      if (ext.find_first_of("\\/ ,") != std::string::npos || !OneLineRecordField(ext))
        a->Error("extension", "`extension` must be one extension, like \".txt\"");
      e.extension = EightBit(ext);
      const std::string program_id = a->Text("program_id");
      // The identifier names one key below HKEY_CLASSES_ROOT and goes into the uninstall data.
      if (program_id == "!" || program_id.find('\\') != std::string::npos || !OneLineRecordField(program_id))
        a->Error("program_id", "`program_id` must be one file type name, like \"Vendor.Document\"");
      e.program_id = EightBit(program_id);
      const std::string description = a->Text("description");
      if (!OneLineRecordField(description)) a->Error("description", "`description` must be on one line");
      e.description = EightBit(description);
      std::vector<std::string> verbs = a->TextList("verbs");
      if (!a->Has("verbs")) verbs = {"open"};
      if (verbs.empty() || verbs.size() > 8) a->Error("verbs", "`verbs` must list 1 to 8 verbs");
      std::string joined;
      for (const std::string& v : verbs) {
        if (v.empty() || v.find_first_of(", \t\\") != std::string::npos || !OneLineRecordField(v))
          a->Error("verbs", "a verb must be one word, like \"open\"");
        joined += (joined.empty() ? "" : ",") + v;
      }
      e.verbs = EightBit(joined);
      const std::string label = a->Text("label");
      if (!OneLineRecordField(label)) a->Error("label", "`label` must be on one line");
      e.verb_label = EightBit(label);
      e.command = a->Wide("command");
      if (e.command.empty()) a->Error("command", "a file association needs a `command`, like '\"%InstallDir%\\app.exe\" \"%1\"'");
      e.icon = a->Wide("icon");
      if (!OneLineRecordField(a->Text("icon"))) a->Error("icon", "`icon` must be one path on one line, like '%InstallDir%\\app.exe,1'");
      if (a->Has("language")) {
        std::string lang = a->Text("language");
        auto it = language_names_.find(Lower(lang));
        if (it == language_names_.end()) a->Error("language", "`language` names a language the project does not list: \"" + lang + "\"");
        else e.language = it->second;
      }
      bool default_verb = a->Bool("default_verb", false), open_with = a->Bool("open_with_only", false);
      if (default_verb && open_with) a->Error("open_with_only", "`open_with_only` and `default_verb` exclude each other");
      e.kind = open_with ? 2 : default_verb ? 1 : 0;
      Note(70, *a, "extension");
      s_.associations.push_back(std::move(e));
    }
    if (s_.associations.size() > format::kMaxAssociations) r_.Error(0, "more than 1000 file associations");
  }

  void ReadFirewall() {
    std::string lines;
    for (Section* f : r_.TableArray("firewall")) {
      std::string target;
      int flags = 0;
      if (f->Has("port") == f->Has("program")) {
        r_.Error(f->line(), "a firewall exception needs either a `port` or a `program`");
        continue;
      }
      if (f->Has("port")) {
        target = std::to_string(f->Integer("port", 0, 1, 65535));
        std::vector<std::string> protocols = f->TextList("protocols");
        if (!f->Has("protocols")) protocols = {"tcp"};
        for (const std::string& p : protocols) {
          int v = FindWord(kProtocols, p);
          if (v < 0) f->Error("protocols", "`protocols` may list tcp and udp, not \"" + p + "\"");
          else flags |= v;
        }
        if (flags == 0) f->Error("protocols", "`protocols` must list tcp, udp or both");
      } else {
        target = WindowsPath(f->Text("program"));
        if (target.empty()) f->Error("program", "`program` must not be empty");
        if (f->Has("protocols")) f->Error("protocols", "`protocols` applies to a `port` only");
      }
      std::string name = f->Text("name");
      bool keep = f->Bool("keep", false);
      if ((target + name).find_first_of(";\r\n") != std::string::npos)
        f->Error("name", "a firewall exception's program and name must not contain \";\" or line breaks");
      lines += target + ";" + name + ";" + std::to_string(flags) + ";" + (keep ? "1" : "0") + "\r\n";
      Note(66, *f, "name");
    }
    s_.firewall_exceptions = Utf8ToUtf16(lines);
  }

  void ReadClosePrograms() {
    for (Section* c : r_.TableArray("close_program")) {
      format::AutoCloseEntry e;
      e.window_class = c->Wide("window_class", {}, 0xFFFF / 2);
      e.window_title = c->Wide("window_title", {}, 0xFFFF / 2);
      e.program_name = c->Wide("name", {}, 0xFFFF / 2);
      e.action = uint8_t(c->Choice("action", kCloseActions, 0));
      e.flags = uint8_t(c->Choice("when", kCloseWhen, 3));
      if (e.window_class.empty() && e.window_title.empty())
        r_.Error(c->line(), "a program to close needs a `window_class` or a `window_title`: with neither, every window "
                            "on the computer would match");
      if (e.program_name.empty()) e.program_name = e.window_title.empty() ? e.window_class : e.window_title;
      Note(75, *c, "window_class");
      s_.AutoClose.push_back(std::move(e));
    }
    if (s_.AutoClose.size() > format::kMaxAutoClose) r_.Error(0, "more than 1000 programs to close");
  }

  void ReadDeletions() {
    for (Section* d : r_.TableArray("delete")) {
      format::FileDeletion e;
      std::string pattern = d->Text("files");
      if (pattern.empty()) {
        r_.Error(d->line(), "a [[delete]] entry needs `files`: a file name or pattern, like '%InstallDir%\\cache\\*.tmp'");
        continue;
      }
      e.pattern = EightBit(WindowsPath(pattern));
      e.flags = uint8_t(d->Choice("when", kDeleteWhen, 8));
      e.comparison_kind = uint8_t(d->Choice("condition", kDeleteConditions, 0));
      if (e.comparison_kind == 1) {
        if (auto date = d->DateValue("value")) {
          char text[16];
          std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->year, date->month, date->day);
          e.comparison_value = text;
        }
      } else {
        e.comparison_value = d->Text("value");
        if (!IsAscii(e.comparison_value)) d->Error("value", "`value` must be a version of plain digits and dots");
      }
      if (e.comparison_kind != 0 && e.comparison_value.empty()) d->Error("condition", "this `condition` needs a `value`");
      Note(69, *d, "files");
      s_.conditional_deletions.push_back(std::move(e));
    }
    if (s_.conditional_deletions.size() > format::kMaxConditionalDeletions) r_.Error(0, "more than 1001 [[delete]] entries");
  }

  // Item 71 keeps each shortcut as: texts target, name, icon, arguments, start-in folder; options
  // desktop, Start menu, Startup folder; the extra folder; flags[0] bit 0 kept at uninstall, bit 1
  // target expanded, bit 2 made in portable installations; flags[1] the window state.
  void ReadShortcutList() {
    for (Section* c : r_.TableArray("shortcut")) {
      format::RegistrationEntry e;
      e.texts[0] = c->Wide("target");
      e.texts[1] = c->Wide("name");
      e.texts[2] = c->Wide("icon");
      e.texts[3] = c->Wide("arguments");
      e.texts[4] = c->Wide("start_in");
      e.options = {uint8_t(c->Bool("desktop", false)), uint8_t(c->Bool("start_menu", false)),
                   uint8_t(c->Bool("startup", false))};
      e.extra_text = c->Wide("folder");
      e.flags[0] = uint8_t((c->Bool("keep_at_uninstall", false) ? 1 : 0) | (c->Bool("expand_target", true) ? 2 : 0) |
                           (c->Bool("portable", false) ? 4 : 0));
      e.flags[1] = uint8_t(c->Choice("window", kWindow, 0));
      if (e.texts[0].empty()) r_.Error(c->line(), "a shortcut needs a `target`");
      if (!e.options[0] && !e.options[1] && !e.options[2] && e.extra_text.empty())
        r_.Error(c->line(), "this shortcut goes nowhere: set `desktop`, `start_menu` or `startup` to true, or give a `folder`");
      Note(71, *c, "target");
      s_.registrations.push_back(std::move(e));
    }
    if (s_.registrations.size() > format::kMaxRegistrations) r_.Error(0, "more than 1000 shortcuts");
  }

  void ReadPackage() {
    Section& k = T("package");
    PackageSettings& pk = p_.package;
    pk.compress = k.Choice("compression", kCompression, 1) == 1;
    if (pk.compress) s_.ProductFlags |= format::kFlagXzChunks;
    pk.xz_preset = uint32_t(k.Integer("xz_preset", 6, 0, 9));
    pk.chunk_size = uint32_t(k.Integer("chunk_size", 4 << 20, 4096, 1 << 30, "bytes"));
    s_.settings.integrity_mode = k.Choice("integrity", kIntegrity, 1);
    s_.archive_source = uint8_t(k.Choice("archive_source", kArchiveSource, 0));
    if (k.Has("cipher_key") && k.Has("cipher_key_file")) k.Error("cipher_key_file", "give either `cipher_key` or `cipher_key_file`, not both");
    std::vector<uint8_t> key;
    if (k.Has("cipher_key")) {
      if (ParseHexKey(k.Text("cipher_key"), key)) pk.cipher_key = key;
      else k.Error("cipher_key", "`cipher_key` must be 112 hexadecimal digits (a 448-bit key)");
    } else if (k.Has("cipher_key_file")) {
      std::string bytes;
      if (r_.LoadFile(k.Line("cipher_key_file"), k.Text("cipher_key_file"), bytes)) {
        std::string hex;
        for (char c : bytes)
          if (!std::isspace(uint8_t(c))) hex += c;
        if (bytes.size() == 56) pk.cipher_key = std::vector<uint8_t>(bytes.begin(), bytes.end());
        else if (ParseHexKey(hex, key)) pk.cipher_key = key;
        else k.Error("cipher_key_file", "`cipher_key_file` must hold 56 bytes, or 112 hexadecimal digits");
      }
    }
    if (const toml::node* d = k.Node("build_date"); d && d->is_string() && d->as_string()->get() == "today") {
      s_.build_date = Today();
    } else if (auto date = k.DateValue("build_date")) {
      if (date->year > 65535) k.Error("build_date", "`build_date` must be a year up to 65535");
      s_.build_date = {uint16_t(date->year), uint8_t(date->month), uint8_t(date->day)};
    }
  }

  // The signing step; the settings are checked here so that a problem names its line.
  void ReadSigning() {
    Section& t = T("signing");
    SigningSettings& g = p_.signing;
    if (std::string p12 = t.Text("pkcs12"); !p12.empty()) g.pkcs12 = r_.Resolve(p12).string();
    g.password_env = t.Text("password_env");
    g.timestamp = t.Text("timestamp");
    g.description = t.Text("description");
    g.url = t.Text("url");
    if (std::string tool = t.Text("osslsigncode"); !tool.empty())
      g.osslsigncode = tool.find('/') == std::string::npos ? tool : r_.Resolve(tool).string();
    if (const toml::node* c = t.Node("command"); c && c->is_string()) {
      std::string error;
      if (!SplitCommandWords(t.Text("command"), g.command, error)) t.Error("command", error);
    } else {
      g.command = t.TextList("command");
    }
    if (!t.present() || !env_.check_signing) return;
    if (!g.enabled()) r_.Error(t.line(), "[signing] needs `pkcs12` (signing with osslsigncode) or `command`");
    for (const auto& [key, message] : SigningProblems(g)) t.Error(key, message);
  }

  void ReadFiles();
  void ReadLanguages();
  void CheckScript();

  static std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    return s;
  }

  Reader& r_;
  const ProjectEnvironment& env_;
  Project& p_;
  SetupScript& s_;
  std::map<std::string, std::u16string> language_names_;  // lower-case file name or name -> name
};

// ---- Files ------------------------------------------------------------------------------------

void ProjectBuilder::ReadFiles() {
  for (Section* f : r_.TableArray("files")) {
    const std::string source = f->Text("source");
    const std::vector<std::string> excludes = f->TextList("exclude");
    const std::string folder = WindowsPath(f->Text("folder"));
    const std::string rename = f->Text("rename");
    // Words for the common cases; the installer's numbers (kind 0-12, overwrite 0-7) for the rest.
    auto word_or_number = [&](std::string_view key, std::span<const Word> words, int max) {
      const toml::node* n = f->Node(key);
      if (n && n->is_integer()) return int(f->Integer(key, 0, 0, max));
      return f->Choice(key, words, 0);
    };
    const int kind = word_or_number("kind", kKinds, 12);
    const int overwrite = word_or_number("overwrite", kOverwrite, 7);
    if ((kind == 2 || kind == 3) && folder.empty())
      f->Error("kind", "a file of kind " + std::to_string(kind) + " has no folder of its own; give it a `folder`");
    uint32_t flags = uint32_t(overwrite) << 2;
    if (f->Bool("permanent", false)) flags |= 1u << 5;
    const bool uninstall_folder = f->Bool("in_uninstall_folder", false);
    if (uninstall_folder) flags |= 1u << 6;

    // Options that apply to some kinds only.
    auto only = [&](std::string_view key, std::initializer_list<int> kinds, const char* names) {
      if (!f->Has(key) || std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) return;
      f->Error(key, Quoted(key) + " applies only to files of kind " + names);
    };
    const bool shortcut_kind = kind == 0 || kind == 5;
    if (f->Bool("desktop_shortcut", false)) flags |= 1u << 0;
    if (f->Bool("start_menu_shortcut", false)) flags |= 1u << 1;
    for (const char* key : {"desktop_shortcut", "start_menu_shortcut", "shortcut_name", "shortcut_icon",
                            "shortcut_arguments", "shortcut_start_in"})
      only(key, {0, 5}, "file and startup");
    only("version", {6, 7, 8, 9}, "system, com, typelib and if-newer");
    only("font_name", {4}, "font");
    only("applet_name", {12}, "applet");
    only("applet_class_id", {12}, "applet");
    only("applet_arguments", {12}, "applet");
    only("msi_ui_level", {11}, "msi");
    only("remove_at_uninstall", {11}, "msi");

    format::FileEntry proto;
    if (shortcut_kind) {
      proto.second_text = f->Text("shortcut_name");
      proto.icon_path = f->Wide("shortcut_icon");
      proto.arguments = f->Wide("shortcut_arguments");
      proto.start_in = f->Wide("shortcut_start_in");
    } else if (kind >= 6 && kind <= 9) {
      proto.second_text = f->Text("version");
    } else if (kind == 4) {
      proto.second_text = f->Text("font_name");
      if (proto.second_text.empty()) r_.Error(f->line(), "a font needs `font_name`: the name Windows lists it under, like \"Demo Sans (TrueType)\"");
    } else if (kind == 12) {
      proto.second_text = f->Text("applet_name");
      proto.arguments = f->Wide("applet_arguments");
      std::string id = f->Text("applet_class_id");
      bool guid = id.size() == 38 && id.front() == '{' && id.back() == '}';
      for (size_t i = 1; guid && i + 1 < id.size(); ++i)
        guid = (i == 9 || i == 14 || i == 19 || i == 24) ? id[i] == '-' : std::isxdigit(uint8_t(id[i])) != 0;
      if (!guid) r_.Error(f->Has("applet_class_id") ? f->Line("applet_class_id") : f->line(),
                          "an applet needs `applet_class_id`, a class identifier like \"{12345678-1234-1234-1234-123456789ABC}\"");
      proto.start_in = Utf8ToUtf16(id);
    } else if (kind == 11) {
      proto.msi_ui_level = f->Choice("msi_ui_level", kMsiUi, 3);
      if (f->Bool("remove_at_uninstall", true)) flags |= 1u << 31;
    }
    proto.kind = kind;
    proto.flags = flags;
    if (f->Has("attributes")) {
      proto.attributes = 0;
      for (const std::string& a : f->TextList("attributes")) {
        int v = FindWord(kAttributes, a);
        if (v < 0) f->Error("attributes", "`attributes` may list " + WordList(kAttributes) + ", not \"" + a + "\"");
        else proto.attributes |= uint32_t(v);
      }
    }
    enum { kTimeOfFile, kNoTime, kFixedTime } time_rule = kTimeOfFile;
    if (const toml::node* t = f->Node("time"); t && t->is_string() && (t->as_string()->get() == "none" || t->as_string()->get() == "file")) {
      time_rule = t->as_string()->get() == "none" ? kNoTime : kTimeOfFile;
    } else if (auto dt = f->DateTimeValue("time")) {
      time_rule = kFixedTime;
      proto.time = {dt->year, dt->month, dt->day, dt->hour, dt->minute, dt->second};
    }

    if (source.empty()) {
      r_.Error(f->line(), "a [[files]] entry needs `source`: a file, a folder or a pattern such as \"files/**\"");
      continue;
    }
    std::vector<SourceFile> found;
    std::string error;
    if (!FindSourceFiles(r_.base(), source, excludes, found, error)) {
      f->Error("source", error);
      continue;
    }
    if (found.empty()) {
      f->Error("source", "no file matches " + Quoted(source));
      continue;
    }
    if (!rename.empty() && (found.size() != 1 || rename.find_first_of("\\/") != std::string::npos)) {
      f->Error("rename", found.size() != 1 ? "`rename` needs a `source` that names one file; " + Quoted(source) + " names " +
                                                 std::to_string(found.size())
                                           : "`rename` must be a file name without folders (use `folder` for those)");
      continue;
    }
    for (const SourceFile& sf : found) {
      std::error_code ec;
      uintmax_t size = fs::file_size(sf.path, ec);
      if (ec || size > uintmax_t(format::kMaxFileSize)) {
        f->Error("source", ec ? "cannot read " + Quoted(sf.relative) : Quoted(sf.relative) + " is larger than an installer can carry (1,932,735,283 bytes)");
        continue;
      }
      std::string sub = sf.relative.find('/') == std::string::npos ? std::string()
                                                                    : WindowsPath(sf.relative.substr(0, sf.relative.rfind('/')));
      std::string target = rename.empty() ? JoinWindows({folder, sub}) : JoinWindows({folder, sub, rename});
      if (rename.empty() && !target.empty()) target += '\\';
      if (uninstall_folder && !target.empty()) {
        f->Error("in_uninstall_folder", "`in_uninstall_folder` puts files straight into the uninstall folder; it cannot be "
                                        "combined with `folder`, `rename` or files in sub-folders");
        break;
      }
      PackedFile pf;
      pf.source = sf.path;
      pf.entry = proto;
      std::string file_name = sf.relative.substr(sf.relative.rfind('/') + 1);
      pf.entry.name = format::EncodeEntryName(file_name);
      pf.entry.target_folder = Utf8ToUtf16(target);
      pf.entry.size = int32_t(size);
      if (time_rule == kTimeOfFile) pf.entry.time = FileModificationTime(sf.path);
      else if (time_rule == kNoTime) pf.entry.time = {0, 0, 0, -1, 0, 0};
      p_.files.push_back(std::move(pf));
    }
  }
}

// ---- Languages --------------------------------------------------------------------------------

void ProjectBuilder::ReadLanguages() {
  Section& top = T("");
  const int list_line = top.Line("languages");
  std::vector<std::string> listed = top.TextList("languages");
  if (!top.Has("languages")) listed = {"English"};
  if (listed.empty()) top.Error("languages", "`languages` must list at least one language");
  if (listed.size() > format::kMaxLanguages) top.Error("languages", "at most 200 languages");

  // The shipped language files, by lower-case file name.
  std::map<std::string, fs::path> shipped;
  std::error_code ec;
  if (!env_.language_folder.empty() && fs::is_directory(env_.language_folder, ec)) {
    for (const auto& e : fs::directory_iterator(env_.language_folder, ec))
      if (e.path().extension() == ".txt") shipped[Lower(e.path().stem().string())] = e.path();
  }
  auto load_shipped = [&](const std::string& ref, LanguageFile& out) {
    auto it = shipped.find(Lower(ref));
    return it != shipped.end() && ReadLanguageFile(it->second, it->second.string(), out, r_.diagnostics());
  };

  struct Language {
    std::string ref;
    LanguageFile file;
    int line;
  };
  std::vector<Language> languages;
  for (const std::string& entry : listed) {
    Language lang{entry, {}, list_line};
    bool own_file = entry.find_first_of("/\\") != std::string::npos || Lower(entry).ends_with(".txt");
    if (own_file) {
      lang.ref = fs::path(entry).stem().string();
      LanguageFile own;
      std::error_code missing;
      if (!fs::is_regular_file(r_.Resolve(entry), missing)) {
        r_.Error(list_line, "missing file " + Quoted(entry));
        continue;
      }
      if (!ReadLanguageFile(r_.Resolve(entry), entry, own, r_.diagnostics())) continue;
      load_shipped(lang.ref, lang.file);  // a shipped language of the same name fills the gaps
      lang.file.path = own.path;
      if (!own.name.empty()) lang.file.name = own.name, lang.file.name_line = own.name_line;
      for (auto& [n, t] : own.texts) lang.file.texts[n] = t;
      if (lang.file.name.empty()) lang.file.name = lang.ref;
    } else if (!load_shipped(entry, lang.file)) {
      if (shipped.empty()) {
        r_.Error(list_line, "language " + Quoted(entry) + " not found: the pack tool's language folder is missing "
                            "(set HALBERD_LANGUAGES to it), or name a language file of the project, like \"lang/" + entry + ".txt\"");
      } else {
        std::set<std::string, std::less<>> names;
        for (auto& [k, v] : shipped) names.insert(v.stem().string());
        std::string near;
        size_t best = 3;
        for (const std::string& n : names)
          if (size_t d = project::EditDistance(Lower(entry), Lower(n)); d < best) best = d, near = n;
        r_.Error(list_line, "unknown language " + Quoted(entry) + (near.empty() ? "" : " \u2014 did you mean " + Quoted(near) + "?") +
                                " (the pack tool has " + [&] {
                                  std::string l;
                                  for (const std::string& n : names) l += (l.empty() ? "" : ", ") + n;
                                  return l;
                                }() + ")");
      }
      continue;
    }
    if (lang.file.name.empty()) lang.file.name = lang.ref;
    bool duplicate = false;
    for (const Language& other : languages)
      duplicate |= Lower(other.ref) == Lower(lang.ref) || other.file.name == lang.file.name;
    if (duplicate) {
      r_.Error(list_line, "language " + Quoted(entry) + " is listed twice");
      continue;
    }
    languages.push_back(std::move(lang));
  }

  // Texts a project-supplied file leaves out come from English.
  LanguageFile english;
  bool have_english = false;
  for (const Language& l : languages)
    if (Lower(l.ref) == "english") english = l.file, have_english = true;
  if (!have_english) {
    Diagnostics quiet;
    auto it = shipped.find("english");
    have_english = it != shipped.end() && ReadLanguageFile(it->second, "", english, quiet);
  }
  for (Language& l : languages) {
    std::string missing;
    for (const EngineText& t : EngineTexts()) {
      if (t.empty_by_default || l.file.texts.count(t.number)) continue;
      missing += (missing.empty() ? "" : ", ") + std::to_string(t.number);
      if (have_english && english.texts.count(t.number)) l.file.texts[t.number] = english.texts[t.number];
    }
    if (!missing.empty())
      r_.diagnostics().Warning(l.file.path, 0, "no text " + missing + (have_english ? "; the English texts are used" : ""));
  }
  for (const Language& l : languages) {
    language_names_[Lower(l.ref)] = Utf8ToUtf16(l.file.name);
    language_names_[Lower(l.file.name)] = Utf8ToUtf16(l.file.name);
  }

  // The project's own texts: [texts.English] 0 = "...".
  Section& texts = T("texts");
  for (const std::string& name : texts.Keys()) {
    if (!texts.Node(name)->is_table()) {
      texts.Error(name, "[texts] holds one table per language, like [texts.English] with `0 = \"...\"` in it");
      continue;
    }
    Section& sec = T(("texts." + name).c_str());
    Language* target = nullptr;
    for (Language& l : languages)
      if (Lower(l.ref) == Lower(name) || Lower(l.file.name) == Lower(name)) target = &l;
    if (!target) r_.Error(sec.line(), "[texts." + name + "] names a language the project does not list in `languages`");
    for (const std::string& k : sec.Keys()) {
      std::string text = sec.Text(k);
      int n = -1;
      if (!k.empty() && k.size() <= 4 && k.find_first_not_of("0123456789") == std::string::npos) n = std::atoi(k.c_str());
      if (n < 0 || n > kMaxTextNumber) sec.Error(k, "in [texts." + name + "], " + Quoted(k) + " is not a text number (0 to 9999)");
      else if (target) target->file.texts[n] = {format::NormaliseLineBreaks(Utf8ToUtf16(text)), sec.Line(k), true};
    }
  }

  // Placeholders the installer fills in must be there, exactly.
  for (const Language& l : languages) {
    for (const auto& [n, t] : l.file.texts) {
      const EngineText* e = FindEngineText(n);
      if (!e || e->placeholders.empty() || t.text.empty()) continue;
      std::string found = Placeholders(t.text);
      if (found == e->placeholders) continue;
      std::string message = "text " + std::to_string(n) + " (" + l.file.name + ") must contain " + std::string(e->placeholders) +
                            ", in this order, and no other %-sequence (write %% for a percent sign); it has " +
                            (found.empty() ? std::string("none") : found);
      if (t.in_project) r_.Error(t.line, message);
      else r_.diagnostics().Error(l.file.path, t.line, message);
    }
  }

  // The table: every number up to the highest one given, in every language.
  int rows = 0;
  for (const EngineText& t : EngineTexts()) rows = std::max(rows, t.number + 1);
  for (const Language& l : languages)
    if (!l.file.texts.empty()) rows = std::max(rows, l.file.texts.rbegin()->first + 1);
  s_.languages.names.clear();
  s_.languages.rows.assign(size_t(rows), std::vector<std::u16string>(languages.size()));
  for (size_t i = 0; i < languages.size(); ++i) {
    s_.languages.names.push_back(Utf8ToUtf16(languages[i].file.name));
    for (const auto& [n, t] : languages[i].file.texts) {
      if (t.text.find(u'\0') != std::u16string::npos) r_.Error(t.line, "text " + std::to_string(n) + " contains a zero character");
      s_.languages.rows[size_t(n)][i] = t.text;
    }
  }
  if (languages.empty()) {  // keep the table valid; the errors above already refuse the project
    s_.languages.names = {u"English"};
    s_.languages.rows.assign(size_t(rows), std::vector<std::u16string>(1));
  }
}

// ---- The final check --------------------------------------------------------------------------

void ProjectBuilder::CheckScript() {
  std::string problem = format::SetupScriptProblem(s_);
  if (problem.empty()) return;
  int item = 0;
  std::string what = problem;
  if (std::sscanf(problem.c_str(), "item %d:", &item) == 1) what = problem.substr(problem.find(':') + 2);
  std::string option;
  int line = 0;
  if (r_.ItemSource(item, option, line)) r_.Error(line, Quoted(option) + ": " + what);
  else r_.Error(0, "the installer would refuse this project: " + problem);
}

}  // namespace

namespace {

bool ReadDocument(std::string_view text, const std::string& shown_path, const fs::path& base_folder, bool show_lines,
                  const ProjectEnvironment& env, Project& project, Diagnostics& diag) {
  project = Project{};
  toml::parse_result parsed = toml::parse(text, shown_path);
  if (parsed.failed()) {
    const toml::parse_error& e = parsed.error();
    diag.Error(shown_path, show_lines ? int(e.source().begin.line) : 0, std::string(e.description()));
    return false;
  }
  Reader reader(diag, shown_path, base_folder, show_lines);
  reader.SetRoot(&parsed.table());
  ProjectBuilder(reader, env, project).Read();
  return !diag.HasErrors();
}

// A TOML basic string.
std::string TomlString(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (uint8_t(c) < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04X", unsigned(uint8_t(c)));
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

bool ReadProjectText(std::string_view text, const std::string& shown_path, const fs::path& base_folder,
                     const ProjectEnvironment& env, Project& project, Diagnostics& diag) {
  return ReadDocument(text, shown_path, base_folder, true, env, project, diag);
}

bool ReadProjectFile(const fs::path& path, const ProjectEnvironment& env, Project& project, Diagnostics& diag) {
  std::ifstream in(path, std::ios::binary);
  std::string shown = path.string();
  if (!in) {
    diag.Error(shown, 0, "cannot open the project file");
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::path base = path.has_parent_path() ? path.parent_path() : fs::path(".");
  return ReadProjectText(text, shown, base, env, project, diag);
}

bool BuildImpliedProject(const ImpliedProject& o, const ProjectEnvironment& env, Project& project, Diagnostics& diag) {
  static const char* const kIntegrityWords[] = {"none", "crc", "signature"};
  std::string doc = "[product]\nname = " + TomlString(o.name) + "\nversion = " + TomlString(o.version) +
                    "\npublisher = " + TomlString(o.publisher) + "\ninstall_folder = " + TomlString(o.install_folder) +
                    "\n[uninstall]\nkeep_installation_data = " + (o.keep_uninstaller_data ? "true" : "false") +
                    "\n[package]\ncompression = " + (o.package.compress ? "\"xz\"" : "\"none\"") +
                    "\nxz_preset = " + std::to_string(o.package.xz_preset) +
                    "\nchunk_size = " + std::to_string(o.package.chunk_size) +
                    "\nintegrity = \"" + kIntegrityWords[std::clamp(o.integrity, 0, 2)] + "\"" +
                    "\narchive_source = " + (o.archive_source == 1 ? "\"file\"" : "\"section\"") + "\n";
  if (o.package.cipher_key) {
    std::string hex;
    for (uint8_t b : *o.package.cipher_key) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", b);
      hex += two;
    }
    doc += "cipher_key = \"" + hex + "\"\n";
  }
  doc += "[[files]]\nsource = " + TomlString(o.files_dir) + "\n";
  return ReadDocument(doc, "command line", fs::current_path(), false, env, project, diag);
}

}  // namespace halberd::pack
