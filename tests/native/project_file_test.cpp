// The project file: a project that sets every item of the setup script, read back through the
// installer's own reader and compared setting by setting; the defaults of an empty project; the
// files a project names; the refusals, each with its line and reason; and the first form of the
// command line as a small implied project.
#include "pack/project_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "foundation/format/product_flags.h"
#include "foundation/format/setup_script.h"
#include "foundation/text_convert.h"
#include "pack/payload.h"

using namespace halberd;
using namespace halberd::pack;
using format::SetupScript;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t B1(int n) { return uint64_t(1) << n; }
constexpr uint32_t B2(int n) { return uint32_t(1) << n; }

// A folder with the files a project names: payload files, pictures, sound, icon, documents.
class ProjectFolder {
 public:
  ProjectFolder() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("halberd-project-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  ~ProjectFolder() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const fs::path& dir() const { return dir_; }

  void Write(const std::string& rel, const std::string& bytes) {
    fs::path p = dir_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }

  static std::string Bmp() { return "BM" + std::string(52, '\x01'); }
  static std::string Wav() { return std::string("RIFF\x10\0\0\0WAVEfmt ", 16) + std::string(8, '\x02'); }
  static std::string Icon() {  // one 4-byte image right after the directory
    std::string d("\0\0\1\0\1\0", 6);
    d += std::string("\x10\x10\0\0\1\0\x20\0", 8) + std::string("\4\0\0\0", 4) + std::string("\x16\0\0\0", 4);
    return d + "IMG!";
  }

 private:
  fs::path dir_;
};

ProjectEnvironment Environment() { return {fs::path(HALBERD_SOURCE_DIR) / "pack" / "languages"}; }

bool Read(const ProjectFolder& folder, const std::string& text, Project& project, Diagnostics& diag) {
  return ReadProjectText(text, "product.toml", folder.dir(), Environment(), project, diag);
}

std::string AllMessages(const Diagnostics& diag) {
  std::string out;
  for (const Diagnostic& d : diag.list()) out += FormatDiagnostic(d) + "\n";
  return out;
}

SetupScript WriteAndReadBack(const SetupScript& s) {
  format::ByteWriter w;
  std::string problem;
  EXPECT_TRUE(format::WriteSetupScript(s, w, &problem)) << problem;
  format::ByteReader r(w.bytes());
  SetupScript back;
  back.ProductFlags2 = s.ProductFlags2;
  EXPECT_EQ(format::ReadScriptHead(r, false, back), 0);
  EXPECT_EQ(format::ReadScriptBody(r, back), 0);
  EXPECT_TRUE(r.at_end());
  return back;
}

// A UTF-16LE text file with its byte-order mark.
std::string Utf16File(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) out += char(c & 0xFF), out += char(c >> 8);
  return out;
}

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s += char(x);
  return s;
}

// ---- Every item -------------------------------------------------------------------------------

using Check = std::function<void(const Project&, const SetupScript&)>;
struct Row {
  std::string table;  // "[install]", "" for the top level, "[[association]]" for a list entry
  std::string toml;
  Check check;
};

Check Flag1(int bit, bool set) {
  return [=](const Project&, const SetupScript& s) { EXPECT_EQ(((s.ProductFlags >> bit) & 1) != 0, set) << "ProductFlags bit " << bit; };
}
Check Flag2(int bit, bool set) {
  return [=](const Project&, const SetupScript& s) { EXPECT_EQ(((s.ProductFlags2 >> bit) & 1) != 0, set) << "ProductFlags2 bit " << bit; };
}
#define IS(field, ...) [](const Project&, const SetupScript& s) { EXPECT_EQ(s.field, (__VA_ARGS__)) << #field; }
#define PACKAGE(field, ...) [](const Project& p, const SetupScript&) { EXPECT_EQ(p.package.field, (__VA_ARGS__)) << #field; }

const std::vector<Row>& EveryItem() {
  static const std::vector<Row> rows = {
      {"", R"(languages = ["English", "German", "lang/Klingon.txt"])",
       IS(languages.names, std::vector<std::u16string>{u"English", u"Deutsch", u"tlhIngan Hol"})},
      {"[product]", R"(name = "Fixture Product")", IS(DisplayName, u"Fixture Product")},
      {"[product]", R"(version = "2.5.1")", IS(DisplayVersion, u"2.5.1")},
      {"[product]", R"(publisher = "Fixture Ltd")", IS(Publisher, u"Fixture Ltd")},
      {"[product]", R"(description = "Fixture description")", IS(product_description, u"Fixture description")},
      {"[product]", R"(install_folder = '%ProgramsDir%/Fixture\')", IS(default_install_folder, u"%ProgramsDir%\\Fixture")},
      {"[product]", R"(icon = "art/app.ico")", IS(product_icon, ProjectFolder::Icon())},

      {"[install]", "ask_for_folder = false", Flag1(7, false)},
      {"[install]", "confirm_folder = true", Flag1(31, true)},
      {"[install]", "ask_for_start_menu_folder = false", Flag1(34, false)},
      {"[install]", "allow_network_folder = false", Flag1(37, true)},
      {"[install]", "allow_removable_drive = false", Flag1(55, true)},
      {"[install]", "allow_non_ascii_folder = false", Flag2(16, true)},
      {"[install]", "single_instance = true", Flag1(8, true)},
      {"[install]", "restore_point = true", Flag2(1, true)},
      {"[install]", "always_write_log = true", Flag1(6, true)},
      {"[install]", "detailed_log = true", Flag1(20, true)},
      {"[install]", "show_file_names = false", Flag1(49, true)},
      {"[install]", "errors_in_automatic_mode = true", Flag1(35, true)},
      {"[install]", "restart_question_in_automatic_mode = true", Flag1(41, true)},
      {"[install]", "restart_marker = true", Flag1(53, true)},
      {"[install]", "loosen_folder_security = true", Flag1(50, true)},
      {"[install]", "replace_locked_files = true", Flag1(11, true)},
      {"[install]", "clear_read_only = true", Flag1(19, true)},
      {"[install]", R"(automatic = "always")", IS(run_mode, 1)},
      {"[install]", "status_line_time = 9999", IS(dwell_time, 9999)},
      {"[install]", "extra_disk_space = 5000000000", IS(settings.ExtraDiskSpace(), 5000000000ull)},

      {"[requirements]", R"(bitness = "64-bit")", IS(Bitness, 1)},
      {"[requirements]", R"(minimum_windows = "6.1.7601")",
       IS(minimum_windows_version, std::array<uint8_t, 20>{6, 0, 0, 0, 1, 0, 0, 0, 0xB1, 0x1D, 0, 0})},
      {"[requirements]", R"(excluded_windows = ["xp", "server-2019"])", IS(excluded_windows_mask, 256u | 131072u)},
      {"[requirements]", R"(master_product = { uninstall_key = "MasterKey", name = "Master", minimum_version = "3.0" })",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags & format::kFlagMasterProduct);
         EXPECT_EQ(s.master_product, (format::MasterProduct{u"MasterKey", u"Master", u"3.0"}));
       }},

      {"[upgrade]", "uninstall_first = true", Flag1(0, true)},
      {"[upgrade]", "compare_versions = false", Flag1(36, false)},
      {"[upgrade]", "confirm_install_type = false", Flag1(28, true)},
      {"[upgrade]", "confirm_over_install = true", Flag1(44, true)},
      {"[upgrade]", "remove_earlier_location = true", Flag2(13, true)},
      {"[upgrade]", R"(earlier_location = 'HKLM\Software\Fixture\Path')", IS(earlier_install_location, u"HKLM\\Software\\Fixture\\Path")},
      {"[upgrade]", R"(uninstall_first_below = "2.0")", IS(upgrade_minimum_version, u"2.0")},
      {"[upgrade]", R"(confirm_over_install_below = "2.4")", IS(upgrade_confirm_minimum, "2.4")},
      {"[upgrade]", R"(no_downgrade_below = "1.5")", IS(NoDowngradeBelow, u"1.5")},

      {"[pages]", "greeting = false", Flag1(43, true)},
      {"[pages]", "greeting_in_automatic_mode = true", Flag1(3, true)},
      {"[pages]", "completion_message = false", Flag1(22, true)},
      {"[pages]", "offer_log = true", Flag1(57, true)},
      {"[pages]", R"(language_style = "plain")", IS(settings.language_style, 0)},
      {"[pages]", R"(greeting_style = "banner")", IS(settings.greeting_style, 2)},
      {"[pages]", R"(licence_style = "panel")", IS(settings.license_style, 3)},
      {"[pages]", R"(readme_style = "plain")", IS(settings.readme_style, 0)},
      {"[pages]", R"(folder_style = "banner")", IS(settings.folder_style, 2)},
      {"[pages]", R"(start_menu_style = "panel")", IS(settings.start_menu_style, 3)},
      {"[pages]", R"(progress_style = "picture")", IS(settings.ProgressStyle, 1)},
      {"[pages]", R"(summary_style = "plain")", IS(settings.summary_style, 0)},
      {"[pages]", "progress_horizontal = \"right\"\nprogress_vertical = \"bottom\"", IS(progress_page_value, 2u | 16u)},
      {"[pages]", R"(greeting_link = "https://example.com/greet")", IS(greeting_link, u"https://example.com/greet")},
      {"[pages]", R"(greeting_text = "Hello there")", IS(addresses.greeting_text, u"Hello there")},
      {"[pages]", R"(password = "s3cret")", IS(password, u"s3cret")},

      {"[look]", "background_window = false", Flag1(29, true)},
      {"[look]", "full_screen = false", Flag1(40, false)},
      {"[look]", R"(taskbar_text = "Fixture Taskbar")", IS(TaskbarText, u"Fixture Taskbar")},
      {"[look]", R"(title = "Fixture Title")", IS(DisplayTitle, u"Fixture Title")},
      {"[look]", "title_size = 1.5", IS(TitleSize, 1.5)},
      {"[look]", R"(title_colour = "#102030")", IS(TitleColor, 0x302010u)},
      {"[look]", "title_shadow = 3", IS(TitleShadow, 3)},
      {"[look]", R"(title_position = "bottom-centre")", IS(TitlePosition, 5)},
      {"[look]", R"(title_font = "Georgia Bold")", IS(TitleFont, u"Georgia Bold")},
      {"[look]", "title_fallback = false", IS(title_drawing_option, 1)},
      {"[look]", R"(top_colour = "#ABC")", IS(TopColor, 0xCCBBAAu)},
      {"[look]", R"(bottom_colour = "none")", IS(BottomColor, format::kColourUnset)},
      {"[look]", R"(picture = "art/back.bmp")",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.background_picture, ProjectFolder::Bmp());
         EXPECT_TRUE(s.ProductFlags & B1(15)) << "the picture is kept for the uninstaller";
       }},
      {"[look]", "picture_size = 60", IS(BitmapSize, 60u)},
      {"[look]", R"(picture_fit = "tile")", IS(StretchMode, 3u)},
      {"[look]", "picture_transparent_index = 7", IS(BitmapTPI, 7)},
      {"[look]", R"(copyright = "© Fixture")", IS(CopyrightText, u"\u00A9 Fixture")},
      {"[look]", R"(copyright_position = "top-right")", IS(CopyrightPos, 3)},
      {"[look]", R"(copyright_colour = "#010203")", IS(CopyrightColor, 0x030201u)},
      {"[look]", "copyright_size = 0.75", IS(CopyrightSize, 0.75)},
      {"[look]", R"(copyright_font = "Verdana")", IS(CopyrightFont, u"Verdana")},
      {"[look]", R"(dialog_font = "Tahoma")", IS(DialogFont, u"Tahoma")},
      {"[look]", "dialog_zoom = 125", IS(DialogZoom, 125u)},
      {"[look]", R"(dialog_caption = "Fixture Wizard")", IS(dialog_caption, u"Fixture Wizard")},
      {"[look]", R"(banner_text = "#FF0000")", IS(BannerFG, 0x0000FFu)},
      {"[look]", "dialog_background = \"#FFFFFF\"\ndialog_text = \"#000080\"",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags & format::kFlagDialogColours);
         EXPECT_EQ(s.DialogBG, 0xFFFFFFu);
         EXPECT_EQ(s.DialogFG, 0x800000u);
       }},
      {"[look]", "button_face = \"#EEEEEE\"\nbutton_text = \"#111111\"\nbutton_border = \"#222222\"",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags2 & format::kFlags2ButtonColours);
         EXPECT_EQ(std::make_tuple(s.ButtonBG, s.ButtonFG, s.ButtonBorder), std::make_tuple(0xEEEEEEu, 0x111111u, 0x222222u));
       }},
      {"[look]", "edit_background = \"#333333\"\nedit_text = \"#444444\"",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags2 & format::kFlags2SecondColours);
         EXPECT_EQ(s.second_colours, (format::ColourPair{0x333333, 0x444444}));
       }},
      {"[look]", "list_background = \"#555555\"\nlist_text = \"#666666\"",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags2 & format::kFlags2ThirdColours);
         EXPECT_EQ(s.third_colours, (format::ColourPair{0x555555, 0x666666}));
       }},
      {"[look]", R"(opening_sound = "art/chime.wav")", IS(opening_sound, ProjectFolder::Wav())},

      {"[shortcuts]", "all_users = true", IS(ShortcutMode, 1)},
      {"[shortcuts]", R"(start_menu_folder = 'Fixture\Tools')", IS(ProductStartMenu, u"Fixture\\Tools")},
      {"[shortcuts]", R"(desktop_folder = "Fixture Desk")", IS(DesktopFolder, u"Fixture Desk")},
      {"[shortcuts]", R"(desktop_folder_icon = "art/app.ico")", IS(desktop_folder_icon, ProjectFolder::Icon())},
      {"[shortcuts]", "desktop_folder_named_after_product = true", Flag1(58, true)},
      {"[shortcuts]", "uninstall_in_start_menu = true", Flag1(1, true)},
      {"[shortcuts]", "uninstall_on_desktop = true", Flag1(33, true)},
      {"[shortcuts]", "uninstall_in_uninstall_folder = true", Flag1(38, true)},
      {"[shortcuts]", "uninstall_in_install_folder = true", Flag2(21, true)},
      {"[shortcuts]", "log_in_start_menu = true", Flag1(59, true)},
      {"[shortcuts]", R"(root_shortcut = { name = "Run Fixture", command = '"%InstallDir%\app.exe" /portable' })",
       IS(further_commands[0], (format::FurtherCommand{u"\"%InstallDir%\\app.exe\" /portable", u"Run Fixture"}))},
      {"[shortcuts]", R"(taskbar_pin = { name = "Fixture", program = '%InstallDir%\app.exe' })",
       IS(further_commands[1], (format::FurtherCommand{u"%InstallDir%\\app.exe", u"Fixture"}))},

      {"[uninstall]", R"(icon = "art/app.ico")",
       [](const Project&, const SetupScript& s) {
         EXPECT_TRUE(s.ProductFlags & B1(2)) << "an uninstaller is made by default";
         EXPECT_EQ(s.uninstaller_icon, ProjectFolder::Icon());
       }},
      {"[uninstall]", "automatic = true", Flag1(9, true)},
      {"[uninstall]", "delete_install_folder = true", Flag1(10, true)},
      {"[uninstall]", "restart_windows = true", Flag1(45, true)},
      {"[uninstall]", "keep_log = true", Flag1(54, true)},
      {"[uninstall]", "close_progress_first = true", Flag1(51, true)},
      {"[uninstall]", "completion_message = true", Flag2(18, true)},
      {"[uninstall]", "keep_installation_data = true", Flag2(5, false)},
      {"[uninstall]", R"(folder = 'uninst')", IS(UninstallSubdir, u"uninst")},
      {"[uninstall]", R"(file_name = "remove.exe")", IS(uninstaller_file_name, u"remove.exe")},
      {"[uninstall]", R"(key_name = "FixtureKey")", IS(uninstall_key_name, u"FixtureKey")},
      {"[uninstall]", R"(fonts = "ask")", IS(UninstallFonts, 1)},
      {"[uninstall]", R"(shared_files = "keep")", IS(UninstallShared, 0)},
      {"[uninstall]", R"(support_offer = "https://example.com/support")", IS(SupportOffer, u"https://example.com/support")},
      {"[uninstall]", "file_time = 2026-01-02T03:04:05",
       IS(uninstaller_file_info, std::array<uint8_t, 24>{0xEA, 7, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0})},
      {"[[uninstall.value]]", "name = \"HelpLink\"\ndata = \"https://example.com/help\"", nullptr},
      {"[[uninstall.value]]", "name = \"NoModify\"\ntype = \"number\"\ndata = 1",
       IS(uninstall_values, std::vector<format::UninstallValue>{{u"HelpLink", 1, u"https://example.com/help"}, {u"NoModify", 4, u"1"}})},

      {"[portable]", "create_uninstaller = false", Flag1(56, true)},
      {"[portable]", "only_portable_shortcuts = true", Flag2(11, true)},
      {"[portable]", "write_registry = false", Flag2(15, true)},
      {"[portable]", "make_associations = false", Flag2(17, true)},
      {"[portable]", "add_firewall_exceptions = false", Flag2(19, true)},

      {"[shared]", R"(base = "app-data")", IS(shared_base_folder, 1)},
      {"[shared]", R"(folder = 'Fixture Shared')", IS(SharedPath, u"Fixture Shared")},
      {"[shared]", R"(portable_folder = 'shared')", IS(portable_shared_subfolder, u"shared")},
      {"[shared]", "loosen_folder_security = true", Flag1(62, true)},

      {"[registry]", R"(product_key = 'Fixture\Product')", IS(ProductRegistry, u"Fixture\\Product")},
      {"[registry]", R"(view = "64-bit")", Flag1(32, true)},
      {"[registry]", R"(merge_file = "art/merge.reg")", IS(registry_merge, u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\F\u00FC]\r\n")},
      {"[registry]", R"(app_path = 'bin\app.exe')", IS(app_paths_program, u"bin\\app.exe")},
      {"[[registry.entry]]", R"(key = 'HKLM\Software\Fixture')", nullptr},
      {"[[registry.entry]]", "key = 'HKCU\\Software\\Fixture'\nname = \"Path, with comma\"\ndata = '%InstallDir%'", nullptr},
      {"[[registry.entry]]",
       "key = 'HKEY_LOCAL_MACHINE\\Software\\Fixture'\nname = \"Bytes\"\ntype = \"binary\"\ndata = \"0A 0B ff\"\n"
       "at_install = \"write-if-missing\"\nat_uninstall = \"keep\"",
       nullptr},
      {"[[registry.entry]]", "key = 'HKAU\\Fixture'\nname = \"Old\"\nat_install = \"delete\"\nat_uninstall = \"keep\"",
       IS(registry_entries, u"\\HKLM\\Software\\Fixture\r\n"
                            u"\\HKCU\\Software\\Fixture,\"Path, with comma\",1,%InstallDir%,3\r\n"
                            u"\\HKLM\\Software\\Fixture,Bytes,3,0A 0B ff,6\r\n"
                            u"\\HKAU\\Fixture,Old,1,,4\r\n")},

      {"[path]", "add = true", Flag1(12, true)},
      {"[path]", R"(folder = 'bin')", IS(AddToPathSubfolder, u"bin")},

      {"[licence]", R"(files = ["art/eula.rtf", "art/eula.txt"])",
       IS(license_texts, std::vector<std::string>{"{\\rtf1 EULA}", "EULA \xC3\xBC"})},
      {"[licence]", "save_copies = true", Flag1(47, true)},
      {"[readme]", R"(files = ["art/readme-utf16.txt"])", IS(readme_texts, std::vector<std::string>{"Read \xC3\xA9"})},
      {"[readme]", "save_copies = true", Flag1(46, true)},

      {"[batches.pre_install]", "commands = \"echo pre \u00FC\"\nhidden = false\nlog_output = true",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.pre_install, "echo pre \xFC") << "code page 1252";
         EXPECT_FALSE(s.ProductFlags & B1(23));
         EXPECT_TRUE(s.ProductFlags2 & B2(6));
       }},
      {"[batches.post_install]", "file = \"art/post.cmd\"\nhidden = false\nlog_output = true",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.post_install, "@echo off\r\necho post\r\n");
         EXPECT_FALSE(s.ProductFlags & B1(24));
         EXPECT_TRUE(s.ProductFlags2 & B2(7));
       }},
      {"[batches.install_exit]", "commands = \"echo exit\"\nhidden = false",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.install_exit, "echo exit");
         EXPECT_FALSE(s.ProductFlags & B1(25));
       }},
      {"[batches.before_uninstall]", "commands = \"echo u1\"\nhidden = false",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.UninstallBatch1, "echo u1");
         EXPECT_FALSE(s.ProductFlags & B1(26));
       }},
      {"[batches.after_uninstall]", "commands = \"echo u2\"\nhidden = false",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.UninstallBatch2, "echo u2");
         EXPECT_FALSE(s.ProductFlags & B1(27));
       }},
      {"[batches.upgrade]", "commands = \"echo up\"\nhidden = false\nlog_output = true",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.upgrade, "echo up");
         EXPECT_FALSE(s.ProductFlags & B1(60));
         EXPECT_TRUE(s.ProductFlags2 & B2(8));
       }},
      {"[batches.reinstall]", "commands = \"echo re\"\nhidden = false\nlog_output = true\nonly_same_version = true",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.batches.reinstall, "echo re");
         EXPECT_FALSE(s.ProductFlags & B1(61));
         EXPECT_EQ(s.ProductFlags2 & (B2(9) | B2(0)), B2(9) | B2(0));
       }},

      {"[finish]", R"(launch = '%InstallDir%\app.exe')", IS(addresses.launch_program, u"%InstallDir%\\app.exe")},
      {"[finish]", R"(open_document = 'readme.txt')", IS(addresses.open_document, u"readme.txt")},
      {"[finish]", R"(open_web_page = "https://example.com/")", IS(addresses.open_document_2, u"https://example.com/")},
      {"[finish]", "launch_directly = true", Flag2(20, true)},

      {"[notify]", "blocking_query = \"https://example.com/block\"\nblock_when_status = 403",
       [](const Project&, const SetupScript& s) {
         EXPECT_EQ(s.addresses.blocking_query_url, u"https://example.com/block");
         EXPECT_EQ(s.settings.blocking_status, 403);
       }},
      {"[notify]", R"(on_start = "http://example.com/start")", IS(addresses.start_notify_url, u"http://example.com/start")},
      {"[notify]", R"(on_new_install = "http://example.com/new")", IS(addresses.new_install_notify_url, u"http://example.com/new")},
      {"[notify]", R"(on_upgrade = "http://example.com/up")", IS(addresses.upgrade_notify_url, u"http://example.com/up")},
      {"[notify]", R"(on_downgrade = "http://example.com/down")", IS(addresses.downgrade_notify_url, u"http://example.com/down")},
      {"[notify]", R"(on_reinstall = "http://example.com/re")", IS(addresses.reinstall_notify_url, u"http://example.com/re")},
      {"[notify]", R"(on_uninstall = "http://example.com/un")", IS(addresses.NotifyURL, u"http://example.com/un")},
      {"[notify]", R"(on_cancel = "http://example.com/cancel")", IS(addresses.cancel_notify_url, u"http://example.com/cancel")},
      {"[notify]", R"(problem_reports = "https://example.com/problems")", IS(addresses.problem_report_url, u"https://example.com/problems")},

      {"[[association]]",
       "extension = \"fxt\"\nprogram_id = \"Fixture.Doc\"\ndescription = \"Fixture document\"\nverbs = [\"open\", \"print\"]\n"
       "label = \"&Open\"\ncommand = '\"%InstallDir%\\app.exe\" \"%1\"'\nicon = '%InstallDir%\\app.ico'\nlanguage = \"German\"\n"
       "default_verb = true",
       nullptr},
      {"[[association]]", "extension = \".fx2\"\nprogram_id = \"Fixt\u00FCre\"\ncommand = 'x.exe'\nopen_with_only = true",
       IS(associations, std::vector<format::FileAssociation>{
                            {1, ".fxt", "Fixture.Doc", "Fixture document", "open,print", "&Open",
                             u"\"%InstallDir%\\app.exe\" \"%1\"", u"Deutsch", u"%InstallDir%\\app.ico"},
                            {2, ".fx2", "|Fixt\xC3\xBCre", "", "open", "", u"x.exe", u"", u""}})},

      {"[[firewall]]", "port = 8080\nprotocols = [\"tcp\", \"udp\"]\nname = \"Fixture server\"\nkeep = true", nullptr},
      {"[[firewall]]", R"(program = 'bin\server.exe')",
       IS(firewall_exceptions, u"8080;Fixture server;3;1\r\nbin\\server.exe;;0;0\r\n")},

      {"[[close_program]]",
       "window_class = \"FixtureWnd\"\nwindow_title = \"*Fixture\"\nname = \"Fixture App\"\naction = \"end-process\"\n"
       "when = \"uninstall\"",
       IS(AutoClose, std::vector<format::AutoCloseEntry>{{u"FixtureWnd", u"*Fixture", u"Fixture App", 3, 2}})},

      {"[[delete]]", "files = '%InstallDir%\\cache\\*.tmp'\nwhen = \"both\"\ncondition = \"older-than\"\nvalue = 2025-06-30", nullptr},
      {"[[delete]]", "files = '%InstallDir%/old.dll'\ncondition = \"version-below\"\nvalue = \"2.0\"",
       IS(conditional_deletions, std::vector<format::FileDeletion>{{"%InstallDir%\\cache\\*.tmp", 1, "2025-06-30", 12},
                                                                   {"%InstallDir%\\old.dll", 2, "2.0", 8}})},

      {"[[shortcut]]",
       "target = '%InstallDir%\\app.exe'\nname = \"Fixture\"\nicon = '%InstallDir%\\app.ico'\narguments = \"/x\"\n"
       "start_in = '%InstallDir%'\ndesktop = true\nstart_menu = true\nstartup = true\nfolder = '%AppDataDir%\\Fixture'\n"
       "keep_at_uninstall = true\nexpand_target = false\nportable = true\nwindow = \"maximized\"",
       [](const Project&, const SetupScript& s) {
         ASSERT_EQ(s.registrations.size(), 1u);
         const format::RegistrationEntry& e = s.registrations[0];
         EXPECT_EQ(e.texts, (std::array<std::u16string, 5>{u"%InstallDir%\\app.exe", u"Fixture", u"%InstallDir%\\app.ico",
                                                           u"/x", u"%InstallDir%"}));
         EXPECT_EQ(e.options, (std::array<uint8_t, 3>{1, 1, 1}));
         EXPECT_EQ(e.extra_text, u"%AppDataDir%\\Fixture");
         EXPECT_EQ(e.flags, (std::array<uint8_t, 2>{1 | 4, 2})) << "kept and portable, not expanded; maximized";
       }},

      {"[package]", "build_date = 2026-12-10", IS(build_date, (format::BuildDate{2026, 12, 10}))},
      {"[package]", R"(integrity = "signature")", IS(settings.integrity_mode, 2)},
      {"[package]", R"(archive_source = "file")", IS(archive_source, 1)},
      {"[package]", R"(compression = "none")",
       [](const Project& p, const SetupScript& s) {
         EXPECT_FALSE(p.package.compress);
         EXPECT_FALSE(s.ProductFlags & format::kFlagXzChunks);
       }},
      {"[package]", R"(chunk_size = "64 KiB")", PACKAGE(chunk_size, 65536u)},
      {"[package]", "xz_preset = 1", PACKAGE(xz_preset, 1u)},
      {"[package]", R"(cipher_key_file = "art/key.txt")", PACKAGE(cipher_key, std::vector<uint8_t>(56, 0xA5))},

      {"[texts.English]", R"(42 = "Fixture done")", IS(languages.rows[42][0], u"Fixture done")},
      {"[texts.Deutsch]", "43 = \"Fertig\\nmit Fixture\"", IS(languages.rows[43][1], u"Fertig\r\nmit Fixture")},
  };
  return rows;
}

void WriteFixtureFiles(ProjectFolder& f) {
  f.Write("art/app.ico", ProjectFolder::Icon());
  f.Write("art/back.bmp", ProjectFolder::Bmp());
  f.Write("art/chime.wav", ProjectFolder::Wav());
  f.Write("art/merge.reg", Utf16File(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\F\u00FC]\r\n"));
  f.Write("art/eula.rtf", "{\\rtf1 EULA}");
  f.Write("art/eula.txt", "\xEF\xBB\xBF" "EULA \xC3\xBC");
  f.Write("art/readme-utf16.txt", Bytes({0xFF, 0xFE, 'R', 0, 'e', 0, 'a', 0, 'd', 0, ' ', 0, 0xE9, 0}));
  f.Write("art/post.cmd", "@echo off\r\necho post\r\n");
  std::string hex;
  for (int i = 0; i < 56; ++i) hex += "a5";
  f.Write("art/key.txt", hex + "\n");
  f.Write("lang/Klingon.txt", "language = tlhIngan Hol\n0 = <product> jommey\n42 = <product> Qapla'\n");
}

std::string Assemble(const std::vector<Row>& rows) {
  std::vector<std::string> order;
  std::map<std::string, std::string> tables;
  std::string arrays;
  for (const Row& r : rows) {
    if (r.table.rfind("[[", 0) == 0) {  // each entry of a list is its own table
      arrays += r.table + "\n" + r.toml + "\n\n";
      continue;
    }
    if (!tables.count(r.table)) order.push_back(r.table);
    tables[r.table] += r.toml + "\n";
  }
  std::string text;
  for (const std::string& t : order) text += (t.empty() ? "" : t + "\n") + tables[t] + "\n";
  return text + arrays;
}

TEST(ProjectFile, EveryItemReadsBackThroughTheInstallersReader) {
  ProjectFolder folder;
  WriteFixtureFiles(folder);
  const std::string text = Assemble(EveryItem());
  Project project;
  Diagnostics diag;
  ASSERT_TRUE(Read(folder, text, project, diag)) << AllMessages(diag) << "\n" << text;
  // The only message: the project's own language file lacks most texts and borrows English ones.
  ASSERT_EQ(diag.list().size(), 1u) << AllMessages(diag);
  EXPECT_EQ(diag.list()[0].severity, Diagnostic::Severity::kWarning);
  EXPECT_NE(diag.list()[0].message.find("the English texts are used"), std::string::npos);

  const SetupScript back = WriteAndReadBack(project.script);
  EXPECT_TRUE(back == project.script) << "the installer reads back exactly what was packed";
  for (const Row& row : EveryItem()) {
    SCOPED_TRACE(row.table + " " + row.toml);
    if (row.check) row.check(project, back);
  }
  // The language table: the project's own language borrows the English text where it has none.
  EXPECT_EQ(back.languages.rows[0][2], u"<product> jommey");
  EXPECT_EQ(back.languages.rows[1][2], back.languages.rows[1][0]);
  EXPECT_EQ(back.languages.rows[42][2], u"<product> Qapla'");
  for (size_t lang = 0; lang < 3; ++lang) EXPECT_NE(back.languages.rows[13][lang].find(u"%d"), std::u16string::npos);
}

TEST(ProjectFile, AProjectWithOnlyANameHasTheDocumentedDefaults) {
  ProjectFolder folder;
  Project project;
  Diagnostics diag;
  ASSERT_TRUE(Read(folder, "[product]\nname = \"Plain\"\n", project, diag)) << AllMessages(diag);
  EXPECT_TRUE(diag.list().empty()) << AllMessages(diag);
  const SetupScript s = WriteAndReadBack(project.script);
  // An uninstaller, xz chunks, the folder and Start-menu pages, versions compared, full screen,
  // hidden batches; the uninstaller without the installation data.
  const uint64_t expected = B1(2) | B1(5) | B1(7) | B1(23) | B1(24) | B1(25) | B1(26) | B1(27) | B1(34) | B1(36) |
                            B1(40) | B1(60) | B1(61);
  EXPECT_EQ(s.ProductFlags, expected);
  EXPECT_EQ(s.ProductFlags2, B2(5));
  EXPECT_EQ(s.TaskbarText, u"Plain");
  EXPECT_EQ(s.DisplayTitle, u"Plain");
  EXPECT_EQ(s.uninstaller_file_name, u"uninstall.exe");
  EXPECT_EQ(s.settings.integrity_mode, 1);
  EXPECT_EQ(s.settings.ProgressStyle, 2);
  EXPECT_EQ(s.settings.greeting_style, 1);
  EXPECT_EQ(s.languages.names, std::vector<std::u16string>{u"English"});
  EXPECT_EQ(s.languages.rows[0][0], u"<product> Setup");
  EXPECT_EQ(s.languages.rows[21][0], u"Error");
  EXPECT_TRUE(project.files.empty());
  EXPECT_EQ(project.package.chunk_size, 4u << 20);
  EXPECT_FALSE(project.package.cipher_key);
}

// ---- Files ------------------------------------------------------------------------------------

struct FileExpectation {
  std::string name;
  std::u16string target;
  int kind;
  uint32_t flags;
};

struct FilesCase {
  const char* what;
  const char* toml;
  std::vector<FileExpectation> files;
};

TEST(ProjectFile, FilesBecomeEntriesWithTheirTargetFolderKindAndFlags) {
  const std::vector<FilesCase> cases = {
      {"a folder keeps its tree", "source = \"payload\"",
       {{"a.txt", u"", 0, 0}, {"b.dat", u"bin\\", 0, 0}, {"c.dll", u"bin\\sub\\", 0, 0}}},
      {"a glob keeps the tree below its base, with a target folder", "source = \"payload/**/*.d*\"\nfolder = '%CommonDir%\\Fix'",
       {{"b.dat", u"%CommonDir%\\Fix\\bin\\", 0, 0}, {"c.dll", u"%CommonDir%\\Fix\\bin\\sub\\", 0, 0}}},
      {"exclusions are relative to the base", "source = \"payload\"\nexclude = [\"bin/sub/*\", \"*.txt\"]", {{"b.dat", u"bin\\", 0, 0}}},
      {"one file renamed in place", "source = \"payload/a.txt\"\nrename = \"readme.txt\"", {{"a.txt", u"readme.txt", 0, 0}}},
      {"one file renamed into a folder", "source = \"payload/a.txt\"\nfolder = 'doc'\nrename = \"r.txt\"", {{"a.txt", u"doc\\r.txt", 0, 0}}},
      {"kind, overwrite rule and flags as words",
       "source = \"payload/bin/b.dat\"\nkind = \"startup\"\noverwrite = \"if-newer\"\npermanent = true\n"
       "desktop_shortcut = true\nstart_menu_shortcut = true",
       {{"b.dat", u"", 5, 0x1 | 0x2 | (4u << 2) | 0x20}}},
      {"the uninstall folder", "source = \"payload/a.txt\"\nin_uninstall_folder = true\noverwrite = \"if-missing\"",
       {{"a.txt", u"", 0, 0x40 | (3u << 2)}}},
      {"an installer package is removed at uninstall by default", "source = \"payload/bin/b.dat\"\nkind = \"msi\"\noverwrite = \"never\"",
       {{"b.dat", u"", 11, 0x80000000u | (1u << 2)}}},
      {"a folder whose name holds a bracket is taken as written", "source = \"odd[1]\"", {{"n.txt", u"", 0, 0}}},
      {"overwrite only existing files", "source = \"payload/a.txt\"\nkind = \"shared\"\noverwrite = \"if-exists\"",
       {{"a.txt", u"", 1, 2u << 2}}},
      {"kind and overwrite as the installer's numbers", "source = \"payload/a.txt\"\nkind = 3\nfolder = 'kept'\noverwrite = 7",
       {{"a.txt", u"kept\\", 3, 7u << 2}}},
      {"a COM server by its longer word", "source = \"payload/bin/sub/c.dll\"\nkind = \"com-server\"", {{"c.dll", u"", 7, 0}}},
      {"a type library by its longer word", "source = \"payload/a.txt\"\nkind = \"type-library\"\npermanent = true",
       {{"a.txt", u"", 8, 0x20}}},
      {"a driver information file", "source = \"payload/a.txt\"\nkind = \"driver\"", {{"a.txt", u"", 10, 0}}},
  };
  ProjectFolder folder;
  folder.Write("payload/a.txt", "A");
  folder.Write("payload/bin/b.dat", "BB");
  folder.Write("payload/bin/sub/c.dll", "CCC");
  folder.Write("odd[1]/n.txt", "N");
  for (const FilesCase& c : cases) {
    SCOPED_TRACE(c.what);
    Project project;
    Diagnostics diag;
    ASSERT_TRUE(Read(folder, std::string("[product]\nname = \"F\"\n[[files]]\n") + c.toml + "\n", project, diag)) << AllMessages(diag);
    ASSERT_EQ(project.files.size(), c.files.size());
    for (size_t i = 0; i < c.files.size(); ++i) {
      const format::FileEntry& e = project.files[i].entry;
      EXPECT_EQ(e.name, c.files[i].name);
      EXPECT_EQ(e.target_folder, c.files[i].target);
      EXPECT_EQ(e.kind, c.files[i].kind);
      EXPECT_EQ(e.flags, c.files[i].flags);
      EXPECT_EQ(e.size, int32_t(fs::file_size(project.files[i].source)));
    }
  }
}

TEST(ProjectFile, KindTextsAttributesAndTimeGoIntoTheEntry) {
  ProjectFolder folder;
  folder.Write("f/font.ttf", "font");
  folder.Write("f/panel.cpl", "cpl");
  folder.Write("f/app.exe", "exe");
  const char* text = R"toml([product]
name = "F"
[[files]]
source = "f/font.ttf"
kind = "font"
font_name = "Fixture Sans (TrueType)"
time = "none"
[[files]]
source = "f/panel.cpl"
kind = "applet"
applet_name = "Fixture Panel"
applet_class_id = "{12345678-1234-1234-1234-123456789ABC}"
applet_arguments = "/p"
attributes = ["read-only", "hidden"]
[[files]]
source = "f/app.exe"
shortcut_name = "Fixture"
shortcut_icon = 'app.ico'
shortcut_arguments = "/go"
shortcut_start_in = '%InstallDir%'
time = 2020-05-06T07:08:09
attributes = []
)toml";
  Project project;
  Diagnostics diag;
  ASSERT_TRUE(Read(folder, text, project, diag)) << AllMessages(diag);
  ASSERT_EQ(project.files.size(), 3u);
  const format::FileEntry& font = project.files[0].entry;
  EXPECT_EQ(font.second_text, "Fixture Sans (TrueType)");
  EXPECT_EQ(font.time, (std::array<int32_t, 6>{0, 0, 0, -1, 0, 0}));
  EXPECT_EQ(font.attributes, format::kNoAttributes);
  const format::FileEntry& applet = project.files[1].entry;
  EXPECT_EQ(applet.second_text, "Fixture Panel");
  EXPECT_EQ(applet.arguments, u"/p");
  EXPECT_EQ(applet.start_in, u"{12345678-1234-1234-1234-123456789ABC}");
  EXPECT_EQ(applet.attributes, 0x3u);
  const format::FileEntry& app = project.files[2].entry;
  EXPECT_EQ(app.second_text, "Fixture");
  EXPECT_EQ(app.icon_path, u"app.ico");
  EXPECT_EQ(app.arguments, u"/go");
  EXPECT_EQ(app.start_in, u"%InstallDir%");
  EXPECT_EQ(app.time, (std::array<int32_t, 6>{2020, 5, 6, 7, 8, 9}));
  EXPECT_EQ(app.attributes, 0u) << "an empty list clears every attribute";
}

// ---- Refusals ---------------------------------------------------------------------------------

struct RefusalCase {
  const char* what;
  const char* toml;  // the product's name follows it
  int line;          // in `toml`
  const char* reason;
};

TEST(ProjectFile, ProblemsAreReportedWithTheirLineAndReason) {
  const std::vector<RefusalCase> cases = {
      {"unknown option", "[install]\nask_for_foldr = true", 2, "unknown option `ask_for_foldr` \u2014 did you mean `ask_for_folder`?"},
      {"option in the wrong table", "[look]\nalways_write_log = true", 2, "unknown option `always_write_log` in [look]: it belongs in [install]"},
      {"unknown table", "[instal]\nx = 1", 1, "unknown table or option `instal` \u2014 did you mean `install`?"},
      {"missing file", "[[files]]\nsource = \"bin/app.exe\"", 2, "missing file `bin/app.exe`"},
      {"pattern without matches", "[[files]]\nsource = \"art/*.exe\"", 2, "no file matches `art/*.exe`"},
      {"bad glob", "[[files]]\nsource = \"art/[ab\"", 2, "bad pattern `art/[ab`: \"[\" without \"]\""},
      {"glob star inside a name", "[[files]]\nsource = \"a**/x\"", 2, "\"**\" must stand alone"},
      {"dwell time above 9999", "[install]\nstatus_line_time = 10000", 2, "`status_line_time` must be 0 to 9999 milliseconds, not 10000"},
      {"picture size above 100", "[look]\npicture_size = 101", 2, "`picture_size` must be 0 to 100 percent, not 101"},
      {"bad colour", "[look]\ntitle_colour = \"#12345\"", 2, "`title_colour` must be a colour like \"#1E90FF\""},
      {"colour by name", "[look]\ntop_colour = \"red\"", 2, "`top_colour` must be a colour"},
      {"too many licence texts",
       "[licence]\nfiles = [\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\"]",
       2, "[licence] lists 21 files; at most 20 are allowed"},
      {"duplicate language", "languages = [\"English\", \"German\", \"english\"]", 1, "language `english` is listed twice"},
      {"unknown language", "languages = [\"Germn\"]", 1, "unknown language `Germn` \u2014 did you mean `German`?"},
      {"missing language file", "languages = [\"English\", \"lang/Elvish.txt\"]", 1, "missing file `lang/Elvish.txt`"},
      {"word with a slip", "[[files]]\nsource = \"art/x.txt\"\nkind = \"fnt\"", 3, "not \"fnt\" \u2014 did you mean \"font\"?"},
      {"version as a number", "[upgrade]\nno_downgrade_below = 1.5", 2, "`no_downgrade_below` must be a text in quotes (write \"1.0\", not 1.0)"},
      {"yes/no as a word", "[install]\nask_for_folder = \"yes\"", 2, "`ask_for_folder` must be true or false"},
      {"placeholder of a translated text", "[texts.English]\n13 = \"Broken: %s\"", 2, "text 13 (English) must contain %d"},
      {"texts of an unlisted language", "[texts.Klingon]\n0 = \"x\"", 1, "[texts.Klingon] names a language the project does not list"},
      {"text number out of range", "[texts.English]\n10000 = \"x\"", 2, "`10000` is not a text number"},
      {"registry key without a root", "[[registry.entry]]\nkey = 'Software\\Fixture'", 2, "`key` must be a registry key beginning with HKLM\\"},
      {"registry entry that does nothing", "[[registry.entry]]\nkey = 'HKCU\\X'\nname = \"v\"\nat_install = \"nothing\"\nat_uninstall = \"keep\"",
       4, "this registry entry does nothing"},
      {"binary data that is not hexadecimal", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"binary\"\ndata = \"0A 0\"", 4, "pairs of hexadecimal digits"},
      {"registry key with an unknown root", "[[registry.entry]]\nkey = 'HKXX\\Software\\Fixture'\nname = \"v\"", 2,
       "`key` must be a registry key beginning with HKLM\\"},
      {"dword too large", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"dword\"\nvalue = 4294967296", 4,
       "`value` does not fit its type: a dword must be a whole number from -2147483648 to 4294967295"},
      {"dword as a text that is no number", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"dword\"\nvalue = \"4k\"", 4,
       "`value` does not fit its type: a dword must be"},
      {"qword out of 64 bits", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"qword\"\nvalue = \"18446744073709551616\"", 4,
       "`value` does not fit its type: a qword must be a whole number of at most 64 bits"},
      {"dword as true", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"dword\"\nvalue = true", 4, "`value` must be a whole number"},
      {"byte above 255", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"binary\"\nvalue = [1, 256]", 4,
       "`value` of a binary value must list bytes, whole numbers from 0 to 255"},
      {"binary as one number", "[[registry.entry]]\nkey = 'HKCU\\X'\ntype = \"binary\"\nvalue = 10", 4,
       "`value` of a binary value must be hexadecimal pairs"},
      {"value and data both", "[[registry.entry]]\nkey = 'HKCU\\X'\nvalue = \"a\"\ndata = \"b\"", 3,
       "give the value's data once: `value` or `data`, not both"},
      {"a program to close that matches every window", "[[close_program]]\naction = \"end-process\"", 1, "every window"},
      {"applet without class id", "[[files]]\nsource = \"art/x.txt\"\nkind = \"applet\"", 1, "`applet_class_id`"},
      {"font without name", "[[files]]\nsource = \"art/x.txt\"\nkind = \"font\"", 1, "a font needs `font_name`"},
      {"option of another kind", "[[files]]\nsource = \"art/x.txt\"\nfont_name = \"X\"", 3, "`font_name` applies only to files of kind font"},
      {"kind without a folder of its own", "[[files]]\nsource = \"art/x.txt\"\nkind = 2", 3, "give it a `folder`"},
      {"overwrite number out of range", "[[files]]\nsource = \"art/x.txt\"\noverwrite = 8", 3, "`overwrite` must be 0 to 7"},
      {"kind number out of range", "[[files]]\nsource = \"art/x.txt\"\nkind = 13", 3, "`kind` must be 0 to 12"},
      {"rename with many files", "[[files]]\nsource = \"art/*\"\nrename = \"y.txt\"", 3, "`rename` needs a `source` that names one file"},
      {"batch outside code page 1252", "[batches.pre_install]\ncommands = \"echo \u65E5\u672C\"", 2, "code page 1252"},
      {"picture that is no bitmap", "[look]\npicture = \"art/x.txt\"", 2, "`art/x.txt` is not a Windows bitmap"},
      {"address without http", "[notify]\non_start = \"example.com\"", 2, "must be a web address beginning with http://"},
      {"firewall port out of range", "[[firewall]]\nport = 70000", 2, "`port` must be 1 to 65535, not 70000"},
      {"file type name naming a subkey", "[[association]]\nextension = \".abc\"\nprogram_id = 'Acme\\Doc'\ncommand = 'x.exe'", 3,
       "`program_id` must be one file type name"},
      {"file type name of a bare \"!\"", "[[association]]\nextension = \".abc\"\nprogram_id = \"!\"\ncommand = 'x.exe'", 3,
       "`program_id` must be one file type name"},
      {"verb holding the uninstall line separator", "[[association]]\nextension = \".abc\"\nverbs = [\"op~!~en\"]\ncommand = 'x.exe'", 3,
       "a verb must be one word"},
      {"verb naming a subkey", "[[association]]\nextension = \".abc\"\nverbs = ['open\\x']\ncommand = 'x.exe'", 3,
       "a verb must be one word"},
      {"description on two lines", "[[association]]\nextension = \".abc\"\ndescription = \"A\\nB\"\ncommand = 'x.exe'", 3,
       "`description` must be on one line"},
      {"icon holding the uninstall line separator", "[[association]]\nextension = \".abc\"\ncommand = 'x.exe'\nicon = 'a~!~b.ico'", 4,
       "`icon` must be one path on one line"},
      {"PATH folder that is two entries", "[path]\nadd = true\nfolder = 'bin;tools'", 3, "`folder` must be one folder"},
      {"signing with neither certificate nor command", "[signing]\ndescription = \"x\"", 1, "[signing] needs `pkcs12`"},
      {"missing certificate", "[signing]\npkcs12 = \"keys/none.p12\"", 2, "cannot find the PKCS#12 file"},
      {"password variable not set", "[signing]\npkcs12 = \"art/x.txt\"\npassword_env = \"HALBERD_TEST_UNSET_PASSWORD\"", 3,
       "HALBERD_TEST_UNSET_PASSWORD (the certificate's password) is not set"},
      {"password in the project", "[signing]\npkcs12 = \"art/x.txt\"\npassword_env = \"secret pass\"", 3,
       "`password_env` names an environment variable"},
      {"certificate and command", "[signing]\npkcs12 = \"art/x.txt\"\ncommand = [\"/bin/true\", \"{in}\"]", 3, "not both"},
      {"command without the installer", "[signing]\ncommand = [\"/bin/true\"]", 2, "name the installer to sign as {in}"},
      {"command not found", "[signing]\ncommand = \"no-such-signer {in}\"", 2, "\"no-such-signer\" is not found"},
      {"timestamp that is no address", "[signing]\npkcs12 = \"art/x.txt\"\ntimestamp = \"timestamp.example.com\"", 3,
       "`timestamp` must be a web address"},
      {"TOML syntax", "[install\nx = 1", 1, ""},
  };
  ProjectFolder folder;
  folder.Write("art/x.txt", "x");
  folder.Write("art/y.txt", "y");
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    Project project;
    Diagnostics diag;
    const std::string text = std::string(c.toml) + "\n\n[product]\nname = \"Refused\"\n";
    EXPECT_FALSE(Read(folder, text, project, diag)) << text;
    bool found = false;
    for (const Diagnostic& d : diag.list())
      found |= d.severity == Diagnostic::Severity::kError && d.file == "product.toml" && d.line == c.line &&
               d.message.find(c.reason) != std::string::npos;
    EXPECT_TRUE(found) << "expected line " << c.line << ": " << c.reason << "\ngot:\n" << AllMessages(diag);
  }
}

// Typed registry values as people write them become the installer's five-field lines.
TEST(ProjectFile, RegistryValuesAreWrittenAsPeopleWriteThem) {
  ProjectFolder folder;
  Project project;
  Diagnostics diag;
  const std::string text =
      "[product]\nname = \"R\"\n"
      "[[registry.entry]]\nkey = 'HKLM\\Software\\R'\nname = \"Count\"\ntype = \"dword\"\nvalue = 42\n"
      "[[registry.entry]]\nkey = 'HKLM\\Software\\R'\nname = \"Mask\"\ntype = \"dword\"\nvalue = -1\n"
      "[[registry.entry]]\nkey = 'HKLM\\Software\\R'\nname = \"Big\"\ntype = \"qword\"\nvalue = \"18446744073709551615\"\n"
      "[[registry.entry]]\nkey = 'HKLM\\Software\\R'\nname = \"Bytes\"\ntype = \"binary\"\nvalue = [10, 11, 255]\n"
      "[[registry.entry]]\nkey = 'HKLM\\Software\\R'\nname = \"Home\"\ntype = \"string\"\nvalue = '%InstallDir%'\n"
      "[[registry.entry]]\nkey = 'HKCU\\Software\\R'\nname = \"Raw\"\ntype = \"expand-string\"\nvalue = '%PATH%'\n"
      "[[registry.entry]]\nkey = 'HKAU\\R'\nname = \"Port\"\nvalue = 8080\nat_uninstall = \"keep\"\n";
  ASSERT_TRUE(Read(folder, text, project, diag)) << AllMessages(diag);
  EXPECT_EQ(Utf16ToUtf8(project.script.registry_entries),
            "\\HKLM\\Software\\R,Count,4,42,3\r\n"
            "\\HKLM\\Software\\R,Mask,4,-1,3\r\n"
            "\\HKLM\\Software\\R,Big,11,18446744073709551615,3\r\n"
            "\\HKLM\\Software\\R,Bytes,3,0A 0B FF,3\r\n"
            "\\HKLM\\Software\\R,Home,1,%InstallDir%,3\r\n"
            "\\HKCU\\Software\\R,Raw,2,%PATH%,3\r\n"
            "\\HKAU\\R,Port,1,8080,1\r\n");
}

TEST(ProjectFile, AValueTheInstallerWouldRefuseIsReportedAtItsOption) {
  // A limit that only the script writer knows (a link of more than 32767 characters) is mapped
  // back to the option that set it.
  ProjectFolder folder;
  Project project;
  Diagnostics diag;
  const std::string text =
      "[product]\nname = \"R\"\n[pages]\ngreeting_link = \"https://example.com/" + std::string(33000, 'x') + "\"\n";
  EXPECT_FALSE(Read(folder, text, project, diag));
  ASSERT_EQ(diag.list().size(), 1u) << AllMessages(diag);
  EXPECT_EQ(diag.list()[0].line, 4);
  EXPECT_EQ(diag.list()[0].message, "`pages.greeting_link`: text longer than 32767 characters");
}

// The example at the end of docs/project-format.md is a project the pack tool accepts as it is.
TEST(ProjectFile, TheDocumentedExampleIsAValidProject) {
  std::ifstream in(fs::path(HALBERD_SOURCE_DIR) / "docs" / "project-format.md");
  const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t section = doc.find("## A complete example");
  ASSERT_NE(section, std::string::npos);
  const size_t begin = doc.find("```toml\n", section) + 8;
  const size_t end = doc.find("```", begin);
  ASSERT_LT(begin, end);
  ProjectFolder folder;
  folder.Write("art/draw.ico", ProjectFolder::Icon());
  folder.Write("art/background.bmp", ProjectFolder::Bmp());
  folder.Write("docs/licence.rtf", "{\\rtf1 licence}");
  folder.Write("build/release/AcmeDraw.exe", "exe");
  folder.Write("build/release/help/draw.chm", "chm");
  folder.Write("build/release/AcmeDraw.pdb", "pdb");
  folder.Write("fonts/AcmeSans.ttf", "ttf");
  Project project;
  Diagnostics diag;
  ASSERT_TRUE(Read(folder, doc.substr(begin, end - begin), project, diag)) << AllMessages(diag);
  EXPECT_TRUE(diag.list().empty()) << AllMessages(diag);
  ASSERT_EQ(project.files.size(), 3u);
  EXPECT_EQ(project.files[0].entry.target_folder, u"help\\");
  EXPECT_EQ(project.files[1].entry.flags & 3u, 3u);
  EXPECT_EQ(project.files[2].entry.kind, 4);
}

// ---- The first form of the command line ------------------------------------------------------

TEST(ProjectFile, TheFirstFormPacksTheSameFilesAsBefore) {
  ProjectFolder folder;
  folder.Write("p/z.txt", "z");
  folder.Write("p/a/b/c.bin", std::string(300, 'c'));
  folder.Write("p/a/\xC3\xA4.txt", "umlaut");
  ImpliedProject implied;
  implied.files_dir = (folder.dir() / "p").string();
  implied.name = "Implied \"quoted\" \\ name";
  implied.version = "1.2";
  implied.package.compress = false;
  implied.package.cipher_key = std::vector<uint8_t>(56, 7);
  implied.integrity = 2;
  implied.archive_source = 1;
  Project project;
  Diagnostics diag;
  ASSERT_TRUE(BuildImpliedProject(implied, Environment(), project, diag)) << AllMessages(diag);
  std::vector<PackedFile> before;
  std::string error;
  ASSERT_TRUE(CollectFiles(folder.dir() / "p", before, error)) << error;
  ASSERT_EQ(project.files.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(project.files[i].entry.name, before[i].entry.name);
    EXPECT_EQ(project.files[i].entry.target_folder, before[i].entry.target_folder);
    EXPECT_EQ(project.files[i].entry.time, before[i].entry.time);
    EXPECT_EQ(project.files[i].entry.size, before[i].entry.size);
  }
  EXPECT_EQ(project.script.DisplayName, u"Implied \"quoted\" \\ name");
  EXPECT_EQ(project.script.DisplayVersion, u"1.2");
  EXPECT_EQ(project.script.settings.integrity_mode, 2);
  EXPECT_EQ(project.script.archive_source, 1);
  EXPECT_FALSE(project.script.ProductFlags & format::kFlagXzChunks);
  EXPECT_EQ(project.package.cipher_key, std::vector<uint8_t>(56, 7));
}

}  // namespace
