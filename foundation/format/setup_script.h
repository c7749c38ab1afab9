// The setup script: the product's settings, texts, pictures, batches, lists and the language
// table, as one binary stream read once from front to back. Nothing in it is addressed by name or
// offset: each reader takes the next item. The installer reads it (ReadScriptHead, then
// ReadScriptBody); the pack tool writes it (WriteSetupScript). Unpacking the block, its CRC and
// the product settings that are derived from these values (defaults that depend on the display
// name, token replacement in texts) are the engine's; this file holds the byte format only.
//
// Primitive kinds (little-endian, read and written by byte_io.h):
//   u8 u16 u32 i32 u64   1, 2, 4, 4, 8 bytes
//   double               8 bytes, IEEE 754 binary64
//   string               length L, then L bytes. L < 255: one byte; else 255 followed by a u16
//                        when the u16's low byte is not 255, else by 255 and a u32. L above
//                        0x40000000 is refused
//   short                u8 length, then that many bytes
//   string16             u16 length, then that many bytes
//   blob                 i32 length (negative is refused), then that many bytes
//   z                    8-bit characters and a zero byte
//   wz                   UTF-16LE characters and a zero character
// Encodings of the texts (docs/installation-data.md has the full table):
//   - names, folders, captions, versions, addresses and the other texts in string, short and
//     string16 items, and the registry entries (blob, item 21), are UTF-16LE; their lengths count
//     bytes, and a stray odd byte at the end of such a text is dropped;
//   - the seven batch texts (item 56) are 8-bit texts in code page 1252, kept as bytes;
//   - the end mark of the programs-to-close list (item 75) is the 8-bit text "~~THE~END~~" in a
//     string16 item (11 bytes), compared byte for byte before an entry's texts are converted; a
//     UTF-16LE text always has an even length, so no entry can be mistaken for it;
//   - data rather than text (the sound, pictures, icons, licence and readme documents) is kept
//     as bytes; a licence or readme document is RTF when it begins with "{\rtf" (after an
//     optional UTF-8 byte-order mark), otherwise a plain UTF-8 text;
//   - z-strings are 8-bit texts: a leading "|" marks UTF-8, otherwise the system code page.
//
// Items, in stream order (member of SetupScript; check and corrupt code):
//   1  u64       ProductFlags                    silent mode rewrites it (SilentModeFlags)
//   2  u8        run_mode                        1 automatic, 2 not automatic unless silent
//   3  string    TaskbarText
//   4  string    DisplayTitle
//   5  double    TitleSize
//   6  u32       progress_page_value
//   -- ReadScriptHead ends here; the engine creates the background window, checks the CRC --
//   7  u16       dwell_time (ms per status line)   <= 9999 (19)
//   8  u8        ShortcutMode
//   9  24 bytes  uninstaller_file_info
//   10 string    Publisher
//   11 string    DisplayName
//   12 string    product_description
//   13 u8        Bitness
//   14 u8        shared_base_folder
//   15 string    SharedPath
//   16 string    portable_shared_subfolder
//   17 string    ProductStartMenu
//   18 string    DisplayVersion
//   19 string    default_install_folder
//   20 string    ProductRegistry
//   21 blob      registry_entries (UTF-16LE lines)
//   22 string    registry_merge
//   23 string    app_paths_program
//   24 u32       BitmapSize                      0-100 (39)
//   25 u32       StretchMode
//   26 i32       UninstallFonts
//   27 i32       UninstallShared
//   28 string16  greeting_link
//   29 u32 n     license_texts: n blobs          n <= 20 (24)
//   30 u32 n     readme_texts: n blobs           n <= 20 (26)
//   31 string    UninstallSubdir
//   32 short     uninstaller_file_name
//   33 string    uninstall_key_name
//   34 string16  earlier_install_location
//   35 string16  DialogFont
//   36 u32       DialogZoom
//   37 string    dialog_caption
//   38 u32       BannerFG
//   39 u8        title_drawing_option
//   40 u32       TitleColor
//   41 u8        TitleShadow
//   42 u8        TitlePosition
//   43 string16  TitleFont
//   44 u32       TopColor
//   45 u32       BottomColor
//   46 u32 L     background_picture: L bytes, then i32 BitmapTPI; when L is 0 the item is the
//                four bytes of L alone
//   47 u8        CopyrightPos; when not 0: u32 CopyrightColor, double CopyrightSize,
//                string CopyrightText, string CopyrightFont
//   48 u32 x2    DialogBG, DialogFG              only if ProductFlags bit 4
//   49 u32 x3    ButtonBG, ButtonFG, ButtonBorder  only if ProductFlags2 bit 25
//   50 u32 x2    second_colours                  only if ProductFlags2 bit 24
//   51 u32 x2    third_colours                   only if ProductFlags2 bit 26
//   52 string x3 master_product                  only if ProductFlags bit 16
//   53 string    opening_sound (WAV bytes)
//   54 string    DesktopFolder
//   55 blob      desktop_folder_icon (bytes)
//   56 string x7 batches (code page 1252): pre-install, post-install, install-exit,
//                UninstallBatch1, UninstallBatch2, upgrade, reinstall
//   57 20 bytes  minimum_windows_version
//   58 u32       excluded_windows_mask
//   59 u8        archive_source (0: the archive is read from the mapped section)
//   60 string x13 end_of_run and notification addresses, NotifyURL, greeting_text (see struct)
//   61 z         upgrade_confirm_minimum
//   62 short     NoDowngradeBelow
//   63 4 bytes   build_date: u16 year, u8 month (0: unknown), u8 day
//   64 4 bytes   reserved
//   65 string    password
//   66 string x3 upgrade_minimum_version, firewall_exceptions, AddToPathSubfolder
//   67 12 x i32  settings (FixedSettings)
//   68 blob      uninstaller_icon                only if ProductFlags bit 2
//   69 list      conditional_deletions: z pattern, u8, z value, u8; ends with the z-string
//                "~~THE END~~"                   the 1002nd entry fails (38)
//   70 u32 n     associations: u32 kind, z x5, string command, wz language, string icon
//                                                n <= 1000 (36)
//   71 u32 n     registrations: string x5, u8 x3, string, u8 x2   n <= 1000 (48)
//   72           further_commands: string x2 (commands), then wz x2 (their texts)
//   73 u32 n     uninstall_values: short name, u8 type, string data   n <= 1000 (37)
//   74 string16  SupportOffer; then blob product_icon
//   75 list      AutoClose: string16 x3, u8 action, u8 flags; ends with the string16 holding
//                the 8-bit text "~~THE~END~~"    the 1001st entry fails (41)
//   76 u8 L      number of languages             1-200 (30)
//   77 u32 T     number of texts                 1-10000 (31)
//   78 wz x L    language names
//   79 wz x T*L  texts, text by text, each text in every language (line breaks -> CR LF)
//   80 u32       end marker 0xD3E82B97           equal (32)
//
// Failures. A read that runs past the end of the script, a string length above 0x40000000 and a
// negative blob length all give 32, the code of the end marker: the stream cannot be followed
// any further, so the script "ends early". A value that was read whole and fails its item's
// check gives that item's code. Bytes after the end marker are not read.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format/byte_io.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/script_records.h"

namespace halberd::format {

constexpr uint32_t kScriptEndMarker = 0xD3E82B97;
// A colour above 0xFFFFFF is unset: the system colour applies.
constexpr uint32_t kColourUnset = 0xFFFFFFFF;
constexpr char kDeletionListEnd[] = "~~THE END~~";
constexpr char kAutoCloseListEnd[] = "~~THE~END~~";  // 8-bit, in a string16 item

constexpr uint16_t kMaxDwellTime = 9999;
constexpr uint32_t kMaxBitmapSize = 100;
constexpr uint32_t kMaxLicenseTexts = 20;
constexpr uint32_t kMaxReadmeTexts = 20;
constexpr size_t kMaxConditionalDeletions = 1001;
constexpr uint32_t kMaxAssociations = 1000;
constexpr uint32_t kMaxRegistrations = 1000;
constexpr uint32_t kMaxUninstallValues = 1000;
constexpr size_t kMaxAutoClose = 1000;
constexpr unsigned kMaxLanguages = 200;
constexpr uint32_t kMaxTexts = 10000;

// ProductFlags as silent mode leaves them: no folder question or folder confirmation, no
// completion message, no install-type confirmation, no background window, no Start-menu
// question, no error boxes, no greeting page, and so on.
uint64_t SilentModeFlags(uint64_t flags);

// Code page 1252, the encoding of the batch texts. Characters the code page lacks become "?",
// and `exact` (when given) tells whether every character was kept. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, both ways, so every byte string converts to UTF-16 and back unchanged.
std::string Cp1252FromUtf16(std::u16string_view text, bool* exact = nullptr);
std::u16string Utf16FromCp1252(std::string_view text);

// Licence and readme documents (items 29, 30): RTF when the bytes begin with "{\rtf", optionally
// after a UTF-8 byte-order mark; otherwise a plain UTF-8 text, which DocumentPlainText converts
// (the byte-order mark dropped).
bool DocumentIsRtf(std::string_view document);
std::u16string DocumentPlainText(std::string_view document);

// Lone LF, lone CR and the pair LF CR each become CR LF; CR LF stays.
std::u16string NormaliseLineBreaks(std::u16string_view text);

struct BuildDate {  // item 63
  uint16_t year = 0;
  uint8_t month = 0;  // 0: unknown
  uint8_t day = 0;
  bool operator==(const BuildDate&) const = default;
};

struct ColourPair {  // items 50, 51
  uint32_t background = kColourUnset;
  uint32_t text = kColourUnset;
  bool operator==(const ColourPair&) const = default;
};

struct MasterProduct {  // item 52: a product that must be installed first
  std::u16string uninstall_key_name;
  std::u16string display_name;
  std::u16string minimum_version;
  bool operator==(const MasterProduct&) const = default;
};

// Item 56: batch texts, 8-bit in code page 1252 (Cp1252FromUtf16 and Utf16FromCp1252 convert).
struct Batches {
  std::string pre_install;
  std::string post_install;
  std::string install_exit;
  std::string UninstallBatch1;
  std::string UninstallBatch2;
  std::string upgrade;
  std::string reinstall;
  bool operator==(const Batches&) const = default;
};

struct EndOfRunAddresses {  // item 60, in stream order
  std::u16string launch_program;    // summary-page choice: program to start
  std::u16string open_document;     // summary-page choice: document to open
  std::u16string open_document_2;   // summary-page choice: second document or web page
  std::u16string blocking_query_url;
  std::u16string start_notify_url;
  std::u16string new_install_notify_url;
  std::u16string upgrade_notify_url;
  std::u16string downgrade_notify_url;
  std::u16string reinstall_notify_url;
  std::u16string NotifyURL;
  std::u16string greeting_text;
  std::u16string cancel_notify_url;
  std::u16string problem_report_url;
  bool operator==(const EndOfRunAddresses&) const = default;
};

// Item 67. A page style picks one of four dialog layouts (0, 1, 3, anything else).
struct FixedSettings {
  int32_t extra_disk_space_low = 0;
  int32_t extra_disk_space_high = 0;
  int32_t greeting_style = 0;
  int32_t language_style = 0;
  int32_t license_style = 0;
  int32_t readme_style = 0;
  int32_t folder_style = 0;
  int32_t start_menu_style = 0;
  int32_t ProgressStyle = 2;
  int32_t summary_style = 0;
  int32_t integrity_mode = 0;   // 1: CRC of the program image, 2: signature, other: none
  int32_t blocking_status = 0;  // 0: no blocking query

  uint64_t ExtraDiskSpace() const {
    return uint64_t(uint32_t(extra_disk_space_low)) | (uint64_t(uint32_t(extra_disk_space_high)) << 32);
  }
  bool operator==(const FixedSettings&) const = default;
};

struct FileDeletion {  // item 69: a conditional deletion, kept with the uninstall data
  std::string pattern;
  uint8_t comparison_kind = 0;
  std::string comparison_value;
  uint8_t flags = 0;
  bool operator==(const FileDeletion&) const = default;
};

struct FileAssociation {  // item 70
  uint32_t kind = 0;
  std::string extension;
  std::string program_id;
  std::string description;
  std::string verbs;
  std::string verb_label;
  std::u16string command;
  std::u16string language;  // the entry applies when empty or equal to the run's language
  std::u16string icon;
  bool operator==(const FileAssociation&) const = default;
};

// Item 71: an entry of the registration list that file extraction extends. The meaning of each
// field belongs to the step that consumes the list; the codec keeps them by position.
struct RegistrationEntry {
  std::array<std::u16string, 5> texts;
  std::array<uint8_t, 3> options{};
  std::u16string extra_text;
  std::array<uint8_t, 2> flags{};
  bool operator==(const RegistrationEntry&) const = default;
};

struct FurtherCommand {  // item 72
  std::u16string command;
  std::u16string text;
  bool operator==(const FurtherCommand&) const = default;
};

// Item 73: a value saved with the uninstall registration. A name with a backslash names a key
// and a value. Types other than these are refused when the value is saved (corrupt code 200).
constexpr uint8_t kUninstallValueText = 1;
constexpr uint8_t kUninstallValueExpandText = 2;
constexpr uint8_t kUninstallValueNumber = 4;
struct UninstallValue {
  std::u16string name;
  uint8_t type = kUninstallValueText;
  std::u16string data;
  bool operator==(const UninstallValue&) const = default;
};

struct AutoCloseEntry {  // item 75: a running program to close
  std::u16string window_class;
  std::u16string window_title;
  std::u16string program_name;
  uint8_t action = 0;
  uint8_t flags = 0;
  bool operator==(const AutoCloseEntry&) const = default;
};

// Items 76-79: T rows of L texts.
struct LanguageTable {
  std::vector<std::u16string> names;
  std::vector<std::vector<std::u16string>> rows;  // rows[text][language]

  // The language named "English" (ASCII letters compared without case), else language 0.
  size_t DefaultLanguage() const;
  // Text n in the given language, or an empty text when either is outside the table.
  const std::u16string& Text(size_t language, int n) const;
  bool operator==(const LanguageTable&) const = default;
};

struct SetupScript {
  // Not in the script: the second flag word comes from the installation data header. The caller
  // sets it before ReadScriptBody; WriteSetupScript uses it to decide items 49-51.
  uint32_t ProductFlags2 = 0;

  uint64_t ProductFlags = 0;                       // 1
  uint8_t run_mode = 0;                            // 2
  std::u16string TaskbarText;                      // 3
  std::u16string DisplayTitle;                     // 4
  double TitleSize = 1.0;                          // 5
  uint32_t progress_page_value = 0;                // 6
  uint16_t dwell_time = 0;                         // 7
  uint8_t ShortcutMode = 0;                        // 8
  FileInfoRecord uninstaller_file_info{};          // 9
  std::u16string Publisher;                        // 10
  std::u16string DisplayName;                      // 11
  std::u16string product_description;              // 12
  uint8_t Bitness = 0;                             // 13
  uint8_t shared_base_folder = 0;                  // 14
  std::u16string SharedPath;                       // 15
  std::u16string portable_shared_subfolder;        // 16
  std::u16string ProductStartMenu;                 // 17
  std::u16string DisplayVersion;                   // 18
  std::u16string default_install_folder;           // 19
  std::u16string ProductRegistry;                  // 20
  std::u16string registry_entries;                 // 21
  std::u16string registry_merge;                   // 22
  std::u16string app_paths_program;                // 23
  uint32_t BitmapSize = 0;                         // 24
  uint32_t StretchMode = 2;                        // 25
  int32_t UninstallFonts = 0;                      // 26
  int32_t UninstallShared = 0;                     // 27
  std::u16string greeting_link;                    // 28
  std::vector<std::string> license_texts;          // 29
  std::vector<std::string> readme_texts;           // 30
  std::u16string UninstallSubdir;                  // 31
  std::u16string uninstaller_file_name;            // 32
  std::u16string uninstall_key_name;               // 33
  std::u16string earlier_install_location;         // 34: registry location of its path
  std::u16string DialogFont;                       // 35
  uint32_t DialogZoom = 100;                       // 36
  std::u16string dialog_caption;                   // 37
  uint32_t BannerFG = 0;                           // 38
  uint8_t title_drawing_option = 0;                // 39
  uint32_t TitleColor = 0xFFFEF7;                  // 40
  uint8_t TitleShadow = 1;                         // 41
  uint8_t TitlePosition = 0;                       // 42
  std::u16string TitleFont = u"Cambria Bold Italic, Times New Roman Bold Italic";  // 43
  uint32_t TopColor = 0;                           // 44
  uint32_t BottomColor = 0;                        // 45
  std::string background_picture;                  // 46: BMP data
  int32_t BitmapTPI = -1;                          // 46: -1 none
  uint8_t CopyrightPos = 0;                        // 47: 0 none, and nothing else stored
  uint32_t CopyrightColor = 0xFEFCEC;
  double CopyrightSize = 1.0;
  std::u16string CopyrightText;
  std::u16string CopyrightFont = u"Calibri Bold Italic, Verdana Bold Italic, Arial Bold Italic";
  uint32_t DialogBG = kColourUnset;                // 48
  uint32_t DialogFG = 0;
  uint32_t ButtonBG = kColourUnset;                // 49
  uint32_t ButtonFG = kColourUnset;
  uint32_t ButtonBorder = 0;
  ColourPair second_colours;                       // 50
  ColourPair third_colours;                        // 51
  MasterProduct master_product;                    // 52
  std::string opening_sound;                       // 53: WAV data
  std::u16string DesktopFolder;                    // 54
  std::string desktop_folder_icon;                 // 55
  Batches batches;                                 // 56
  MinimumWindowsRecord minimum_windows_version{};   // 57
  uint32_t excluded_windows_mask = 0;              // 58
  uint8_t archive_source = 0;                      // 59
  EndOfRunAddresses addresses;                     // 60
  std::string upgrade_confirm_minimum;             // 61
  std::u16string NoDowngradeBelow;                 // 62
  BuildDate build_date;                            // 63
  std::array<uint8_t, 4> reserved{};               // 64
  std::u16string password;                         // 65
  std::u16string upgrade_minimum_version;          // 66
  std::u16string firewall_exceptions;
  std::u16string AddToPathSubfolder;
  FixedSettings settings;                          // 67
  std::string uninstaller_icon;                    // 68
  std::vector<FileDeletion> conditional_deletions; // 69
  std::vector<FileAssociation> associations;       // 70
  std::vector<RegistrationEntry> registrations;    // 71
  std::array<FurtherCommand, 2> further_commands;  // 72
  std::vector<UninstallValue> uninstall_values;    // 73
  std::u16string SupportOffer;                     // 74
  std::string product_icon;
  std::vector<AutoCloseEntry> AutoClose;           // 75
  LanguageTable languages;                         // 76-79

  bool MonoColor() const { return TopColor == BottomColor; }
  bool operator==(const SetupScript&) const = default;
};

// Items 1-6, into a script reset to its defaults (ProductFlags2 is kept). With `silent`,
// ProductFlags are rewritten by SilentModeFlags. Returns 0 or 32. The script's CRC is checked
// after this; a caller reports a wrong CRC (25) before a failure here, since a damaged script
// explains both.
int ReadScriptHead(ByteReader& in, bool silent, SetupScript& script);

// Items 7-80, continuing from where ReadScriptHead stopped. script.ProductFlags2 must be set.
// Returns 0 or the corrupt code of the first failed check.
int ReadScriptBody(ByteReader& in, SetupScript& script);

// Why the script cannot be written so that the readers above take every written item back
// unchanged (a value out of its item's range, a text too long for its length field, a zero inside
// a z-string, an entry equal to its list's end mark, a language table that is not T rows of L
// texts); empty when it can be written. Values of items that the flags leave out (items 47-52,
// 68, the transparent index without a picture) are not written and read back as the defaults.
std::string SetupScriptProblem(const SetupScript& script);

// Appends items 1-80 (optional items exactly when ProductFlags and ProductFlags2 ask for them).
// Writes nothing and returns false, with the reason in `problem`, when SetupScriptProblem finds
// one. Texts are written as they are; the reader normalises the line breaks of language texts.
[[nodiscard]] bool WriteSetupScript(const SetupScript& script, ByteWriter& out, std::string* problem = nullptr);

// A script that installs a product with its defaults: one language "English" whose text 0 is the
// display name, xz-compressed archive chunks, the CRC integrity check, the archive in the section.
SetupScript MinimalSetupScript(const std::u16string& display_name);

}  // namespace halberd::format
