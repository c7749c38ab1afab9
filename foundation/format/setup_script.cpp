// Reading and writing of the setup script; the item table is in setup_script.h. The reader and
// the writer walk the items in the same order, item by item, so that a change to one is easy to
// mirror in the other; the round-trip tests hold them together.
#include "foundation/format/setup_script.h"

#include <limits>
#include <utility>

#include "foundation/format/corrupt_codes.h"
#include "foundation/text_convert.h"

namespace halberd::format {

namespace {

// Reads items and remembers the first failure: once a read has failed, every later read fails
// at once without touching its target, so the item code between two checks can read plainly
// and the next check (or the end) reports the failure with code 32.
class ItemReader {
 public:
  explicit ItemReader(ByteReader& in) : in_(in) {}

  bool ok() const { return ok_; }
  size_t remaining() const { return in_.remaining(); }

  bool U8(uint8_t& v) { return ok_ = ok_ && in_.ReadU8(v); }
  bool U16(uint16_t& v) { return ok_ = ok_ && in_.ReadU16(v); }
  bool U32(uint32_t& v) { return ok_ = ok_ && in_.ReadU32(v); }
  bool I32(int32_t& v) { return ok_ = ok_ && in_.ReadI32(v); }
  bool U64(uint64_t& v) { return ok_ = ok_ && in_.ReadU64(v); }
  bool Double(double& v) { return ok_ = ok_ && in_.ReadDouble(v); }
  template <size_t N>
  bool Raw(std::array<uint8_t, N>& v) {
    if (!(ok_ = ok_ && in_.remaining() >= N)) return false;
    for (size_t i = 0; i < N; ++i) in_.ReadU8(v[i]);
    return true;
  }
  bool Bytes(size_t n, std::string& v) { return ok_ = ok_ && in_.ReadBytes(n, v); }
  bool Data(std::string& v) { return ok_ = ok_ && in_.ReadString(v); }  // string item, bytes
  bool Blob(std::string& v) { return ok_ = ok_ && in_.ReadBlob(v); }
  bool Data16(std::string& v) { return ok_ = ok_ && in_.ReadString16(v); }  // string16 item, bytes
  bool Z(std::string& v) { return ok_ = ok_ && in_.ReadZString(v); }
  bool WZ(std::u16string& v) { return ok_ = ok_ && in_.ReadWZString(v); }
  // UTF-16LE texts in the length-prefixed kinds.
  bool Text(std::u16string& v) { return Wide(v, ok_ && in_.ReadString(raw_)); }
  bool ShortText(std::u16string& v) { return Wide(v, ok_ && in_.ReadShortString(raw_)); }
  bool Text16(std::u16string& v) { return Wide(v, ok_ && in_.ReadString16(raw_)); }
  bool BlobText(std::u16string& v) { return Wide(v, ok_ && in_.ReadBlob(raw_)); }

 private:
  bool Wide(std::u16string& v, bool read) {
    if (!(ok_ = read)) return false;
    v = ByteReader::Utf16FromBytes(raw_);
    return true;
  }

  ByteReader& in_;
  bool ok_ = true;
  std::string raw_;
};

// Reads a u32 count and that many blobs (items 29, 30).
int ReadBlobList(ItemReader& r, uint32_t max, int code, std::vector<std::string>& list) {
  uint32_t n = 0;
  if (!r.U32(n)) return corrupt::kScriptEnd;
  if (n > max) return code;
  list.assign(n, std::string());
  for (std::string& blob : list) r.Blob(blob);
  return r.ok() ? corrupt::kNone : corrupt::kScriptEnd;
}

int ReadLanguageTable(ItemReader& r, LanguageTable& table) {
  uint8_t language_count = 0;
  uint32_t text_count = 0;
  if (!r.U8(language_count)) return corrupt::kScriptEnd;                            // 76
  if (language_count < 1 || language_count > kMaxLanguages) return corrupt::kScriptLanguageCount;
  if (!r.U32(text_count)) return corrupt::kScriptEnd;                               // 77
  if (text_count < 1 || text_count > kMaxTexts) return corrupt::kScriptTextCount;
  // Every name and text takes at least its two-byte terminator, and the end marker follows: a
  // table the rest of the script cannot hold is refused before any of it is allocated.
  uint64_t least = 2 * uint64_t(language_count) * (1 + uint64_t(text_count)) + 4;
  if (r.remaining() < least) return corrupt::kScriptEnd;

  table.names.assign(language_count, std::u16string());                              // 78
  for (std::u16string& name : table.names) r.WZ(name);
  table.rows.assign(text_count, std::vector<std::u16string>(language_count));        // 79
  for (size_t t = 0; t < table.rows.size() && r.ok(); ++t) {
    for (std::u16string& text : table.rows[t]) {
      if (r.WZ(text) && text.find_first_of(u"\r\n") != std::u16string::npos) text = NormaliseLineBreaks(text);
    }
  }
  return r.ok() ? corrupt::kNone : corrupt::kScriptEnd;
}

// Writes items, or with no output only checks them. Every call that can meet a value the readers
// would not take back unchanged names its item, and the first such value is recorded.
class ItemWriter {
 public:
  explicit ItemWriter(ByteWriter* out) : out_(out) {}

  const std::string& problem() const { return problem_; }
  void Check(int item, bool good, const char* what) {
    if (!good && problem_.empty()) problem_ = "item " + std::to_string(item) + ": " + what;
  }

  void U8(uint8_t v) { if (out_) out_->U8(v); }
  void U16(uint16_t v) { if (out_) out_->U16(v); }
  void U32(uint32_t v) { if (out_) out_->U32(v); }
  void I32(int32_t v) { if (out_) out_->I32(v); }
  void U64(uint64_t v) { if (out_) out_->U64(v); }
  void Double(double v) { if (out_) out_->Double(v); }
  template <size_t N>
  void Raw(const std::array<uint8_t, N>& v) { if (out_) out_->Raw(v.data(), N); }
  void Bytes(const std::string& v) { if (out_) out_->Raw(v); }
  void Data(int item, const std::string& v) {
    Check(item, v.size() <= kMaxStringLength, "data longer than 0x40000000 bytes");
    if (out_) out_->String(v);
  }
  void Blob(int item, const std::string& v) {
    Check(item, v.size() <= size_t(std::numeric_limits<int32_t>::max()), "data longer than 2^31-1 bytes");
    if (out_) out_->Blob(v);
  }
  void Z(int item, const std::string& v) {
    Check(item, v.find('\0') == std::string::npos, "a zero byte inside an 8-bit text");
    if (out_) out_->ZString(v);
  }
  void WZ(int item, const std::u16string& v) {
    Check(item, v.find(u'\0') == std::u16string::npos, "a zero character inside a text");
    if (out_) out_->WZString(v);
  }
  void Text(int item, const std::u16string& v) {
    Check(item, v.size() <= kMaxStringLength / 2, "text longer than 0x40000000 bytes");
    if (out_) out_->WideString(v);
  }
  void ShortText(int item, const std::u16string& v) {
    Check(item, v.size() <= 0xFF / 2, "text longer than 127 characters");
    if (out_) out_->ShortString(ByteWriter::BytesFromUtf16(v));
  }
  void Text16(int item, const std::u16string& v) {
    Check(item, v.size() <= 0xFFFF / 2, "text longer than 32767 characters");
    if (out_) out_->String16(ByteWriter::BytesFromUtf16(v));
  }
  void Data16(const std::string& v) {  // only the fixed end mark of item 75
    if (out_) out_->String16(v);
  }
  void BlobText(int item, const std::u16string& v) {
    Check(item, v.size() <= size_t(std::numeric_limits<int32_t>::max()) / 2, "text longer than 2^31-1 bytes");
    if (out_) out_->Blob(ByteWriter::BytesFromUtf16(v));
  }

 private:
  ByteWriter* out_;
  std::string problem_;
};

void EmitScript(const SetupScript& s, ItemWriter& w) {
  w.U64(s.ProductFlags);                                              // 1
  w.U8(s.run_mode);                                                   // 2
  w.Text(3, s.TaskbarText);
  w.Text(4, s.DisplayTitle);
  w.Double(s.TitleSize);                                              // 5
  w.U32(s.progress_page_value);                                       // 6

  w.Check(7, s.dwell_time <= kMaxDwellTime, "dwell time above 9999 ms");
  w.U16(s.dwell_time);
  w.U8(s.ShortcutMode);                                               // 8
  w.Raw(s.uninstaller_file_info);                                     // 9
  w.Text(10, s.Publisher);
  w.Text(11, s.DisplayName);
  w.Text(12, s.product_description);
  w.U8(s.Bitness);                                                    // 13
  w.U8(s.shared_base_folder);                                         // 14
  w.Text(15, s.SharedPath);
  w.Text(16, s.portable_shared_subfolder);
  w.Text(17, s.ProductStartMenu);
  w.Text(18, s.DisplayVersion);
  w.Text(19, s.default_install_folder);
  w.Text(20, s.ProductRegistry);
  w.BlobText(21, s.registry_entries);
  w.Text(22, s.registry_merge);
  w.Text(23, s.app_paths_program);
  w.Check(24, s.BitmapSize <= kMaxBitmapSize, "BitmapSize above 100");
  w.U32(s.BitmapSize);
  w.U32(s.StretchMode);                                               // 25
  w.I32(s.UninstallFonts);                                            // 26
  w.I32(s.UninstallShared);                                           // 27
  w.Text16(28, s.greeting_link);
  w.Check(29, s.license_texts.size() <= kMaxLicenseTexts, "more than 20 licence texts");
  w.U32(uint32_t(s.license_texts.size()));
  for (const std::string& blob : s.license_texts) w.Blob(29, blob);
  w.Check(30, s.readme_texts.size() <= kMaxReadmeTexts, "more than 20 readme texts");
  w.U32(uint32_t(s.readme_texts.size()));
  for (const std::string& blob : s.readme_texts) w.Blob(30, blob);
  w.Text(31, s.UninstallSubdir);
  w.ShortText(32, s.uninstaller_file_name);
  w.Text(33, s.uninstall_key_name);
  w.Text16(34, s.earlier_install_location);
  w.Text16(35, s.DialogFont);
  w.U32(s.DialogZoom);                                                // 36
  w.Text(37, s.dialog_caption);
  w.U32(s.BannerFG);                                                  // 38
  w.U8(s.title_drawing_option);                                       // 39
  w.U32(s.TitleColor);                                                // 40
  w.U8(s.TitleShadow);                                                // 41
  w.U8(s.TitlePosition);                                              // 42
  w.Text16(43, s.TitleFont);
  w.U32(s.TopColor);                                                  // 44
  w.U32(s.BottomColor);                                               // 45
  w.Check(46, s.background_picture.size() <= std::numeric_limits<uint32_t>::max(), "picture larger than 4 GB");
  w.U32(uint32_t(s.background_picture.size()));
  if (!s.background_picture.empty()) {
    w.Bytes(s.background_picture);
    w.I32(s.BitmapTPI);
  }
  w.U8(s.CopyrightPos);                                               // 47
  if (s.CopyrightPos != 0) {
    w.U32(s.CopyrightColor);
    w.Double(s.CopyrightSize);
    w.Text(47, s.CopyrightText);
    w.Text(47, s.CopyrightFont);
  }
  if (s.ProductFlags & kFlagDialogColours) {                          // 48
    w.U32(s.DialogBG);
    w.U32(s.DialogFG);
  }
  if (s.ProductFlags2 & kFlags2ButtonColours) {                       // 49
    w.U32(s.ButtonBG);
    w.U32(s.ButtonFG);
    w.U32(s.ButtonBorder);
  }
  if (s.ProductFlags2 & kFlags2SecondColours) {                       // 50
    w.U32(s.second_colours.background);
    w.U32(s.second_colours.text);
  }
  if (s.ProductFlags2 & kFlags2ThirdColours) {                        // 51
    w.U32(s.third_colours.background);
    w.U32(s.third_colours.text);
  }
  if (s.ProductFlags & kFlagMasterProduct) {
    w.Text(52, s.master_product.uninstall_key_name);
    w.Text(52, s.master_product.display_name);
    w.Text(52, s.master_product.minimum_version);
  }
  w.Data(53, s.opening_sound);
  w.Text(54, s.DesktopFolder);
  w.Blob(55, s.desktop_folder_icon);
  const Batches& b = s.batches;                                       // 56: code page 1252
  for (const std::string* batch : {&b.pre_install, &b.post_install, &b.install_exit, &b.UninstallBatch1,
                                   &b.UninstallBatch2, &b.upgrade, &b.reinstall})
    w.Data(56, *batch);
  w.Raw(s.minimum_windows_version);                                   // 57
  w.U32(s.excluded_windows_mask);                                     // 58
  w.U8(s.archive_source);                                             // 59
  const EndOfRunAddresses& a = s.addresses;
  for (const std::u16string* text : {&a.launch_program, &a.open_document, &a.open_document_2,
                                     &a.blocking_query_url, &a.start_notify_url, &a.new_install_notify_url,
                                     &a.upgrade_notify_url, &a.downgrade_notify_url, &a.reinstall_notify_url,
                                     &a.NotifyURL, &a.greeting_text, &a.cancel_notify_url, &a.problem_report_url})
    w.Text(60, *text);
  w.Z(61, s.upgrade_confirm_minimum);
  w.ShortText(62, s.NoDowngradeBelow);
  w.U16(s.build_date.year);                                           // 63
  w.U8(s.build_date.month);
  w.U8(s.build_date.day);
  w.Raw(s.reserved);                                                  // 64
  w.Text(65, s.password);
  w.Text(66, s.upgrade_minimum_version);
  w.Text(66, s.firewall_exceptions);
  w.Text(66, s.AddToPathSubfolder);
  const FixedSettings& f = s.settings;                                // 67
  for (int32_t v : {f.extra_disk_space_low, f.extra_disk_space_high, f.greeting_style, f.language_style,
                    f.license_style, f.readme_style, f.folder_style, f.start_menu_style, f.ProgressStyle,
                    f.summary_style, f.integrity_mode, f.blocking_status})
    w.I32(v);
  if (s.ProductFlags & kFlagUninstaller) w.Blob(68, s.uninstaller_icon);

  w.Check(69, s.conditional_deletions.size() <= kMaxConditionalDeletions, "more than 1001 conditional deletions");
  for (const FileDeletion& d : s.conditional_deletions) {
    w.Check(69, d.pattern != kDeletionListEnd, "a pattern equal to the end of the list");
    w.Z(69, d.pattern);
    w.U8(d.comparison_kind);
    w.Z(69, d.comparison_value);
    w.U8(d.flags);
  }
  w.Z(69, kDeletionListEnd);

  w.Check(70, s.associations.size() <= kMaxAssociations, "more than 1000 file associations");
  w.U32(uint32_t(s.associations.size()));
  for (const FileAssociation& e : s.associations) {
    w.U32(e.kind);
    for (const std::string* z : {&e.extension, &e.program_id, &e.description, &e.verbs, &e.verb_label}) w.Z(70, *z);
    w.Text(70, e.command);
    w.WZ(70, e.language);
    w.Text(70, e.icon);
  }

  w.Check(71, s.registrations.size() <= kMaxRegistrations, "more than 1000 registration entries");
  w.U32(uint32_t(s.registrations.size()));
  for (const RegistrationEntry& e : s.registrations) {
    for (const std::u16string& text : e.texts) w.Text(71, text);
    for (uint8_t option : e.options) w.U8(option);
    w.Text(71, e.extra_text);
    for (uint8_t flag : e.flags) w.U8(flag);
  }

  w.Text(72, s.further_commands[0].command);
  w.Text(72, s.further_commands[1].command);
  w.WZ(72, s.further_commands[0].text);
  w.WZ(72, s.further_commands[1].text);

  w.Check(73, s.uninstall_values.size() <= kMaxUninstallValues, "more than 1000 uninstall values");
  w.U32(uint32_t(s.uninstall_values.size()));
  for (const UninstallValue& v : s.uninstall_values) {
    w.ShortText(73, v.name);
    w.U8(v.type);
    w.Text(73, v.data);
  }

  w.Text16(74, s.SupportOffer);
  w.Blob(74, s.product_icon);

  // The end mark is 8-bit (11 bytes); a UTF-16LE window class always has an even length, so no
  // entry can be taken for the end of the list.
  w.Check(75, s.AutoClose.size() <= kMaxAutoClose, "more than 1000 programs to close");
  for (const AutoCloseEntry& e : s.AutoClose) {
    w.Text16(75, e.window_class);
    w.Text16(75, e.window_title);
    w.Text16(75, e.program_name);
    w.U8(e.action);
    w.U8(e.flags);
  }
  w.Data16(kAutoCloseListEnd);

  const LanguageTable& table = s.languages;
  w.Check(76, !table.names.empty() && table.names.size() <= kMaxLanguages, "not 1-200 languages");
  w.U8(uint8_t(table.names.size()));
  w.Check(77, !table.rows.empty() && table.rows.size() <= kMaxTexts, "not 1-10000 texts");
  w.U32(uint32_t(table.rows.size()));
  for (const std::u16string& name : table.names) w.WZ(78, name);
  for (const std::vector<std::u16string>& row : table.rows) {
    w.Check(79, row.size() == table.names.size(), "a text row without one text per language");
    for (const std::u16string& text : row) w.WZ(79, text);
  }
  w.U32(kScriptEndMarker);                                            // 80
}

}  // namespace

uint64_t SilentModeFlags(uint64_t flags) { return (flags & ~kSilentModeClears) | kSilentModeSets; }

namespace {
// Bytes 0x80-0x9F of code page 1252; the five undefined bytes keep their own number.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string Cp1252FromUtf16(std::u16string_view text, bool* exact) {
  std::string out;
  out.reserve(text.size());
  bool all = true;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += char(c);
      continue;
    }
    char mapped = 0;
    for (size_t k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) mapped = char(0x80 + k);
    }
    if (!mapped) {
      all = false;
      mapped = '?';
      // A surrogate pair is one character: one "?".
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    }
    out += mapped;
  }
  if (exact) *exact = all;
  return out;
}

std::u16string Utf16FromCp1252(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    uint8_t b = uint8_t(ch);
    out += (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
  }
  return out;
}

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
std::string_view WithoutBom(std::string_view document) {
  if (document.substr(0, kUtf8Bom.size()) == kUtf8Bom) document.remove_prefix(kUtf8Bom.size());
  return document;
}
}  // namespace

bool DocumentIsRtf(std::string_view document) { return WithoutBom(document).substr(0, 5) == "{\\rtf"; }

std::u16string DocumentPlainText(std::string_view document) { return Utf8ToUtf16(WithoutBom(document)); }

std::u16string NormaliseLineBreaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      out += c;
      continue;
    }
    // CR LF and LF CR are one break each; a lone CR or LF is one break.
    char16_t partner = c == u'\r' ? u'\n' : u'\r';
    if (i + 1 < text.size() && text[i + 1] == partner) ++i;
    out += u"\r\n";
  }
  return out;
}

size_t LanguageTable::DefaultLanguage() const {
  static constexpr std::u16string_view kEnglish = u"english";
  for (size_t i = 0; i < names.size(); ++i) {
    const std::u16string& name = names[i];
    if (name.size() != kEnglish.size()) continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k) {
      char16_t c = name[k];
      if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
      same = c == kEnglish[k];
    }
    if (same) return i;
  }
  return 0;
}

const std::u16string& LanguageTable::Text(size_t language, int n) const {
  static const std::u16string kEmpty;
  if (n < 0 || size_t(n) >= rows.size()) return kEmpty;
  const std::vector<std::u16string>& row = rows[size_t(n)];
  return language < row.size() ? row[language] : kEmpty;
}

int ReadScriptHead(ByteReader& in, bool silent, SetupScript& s) {
  uint32_t flags2 = s.ProductFlags2;
  s = SetupScript{};
  s.ProductFlags2 = flags2;
  ItemReader r(in);
  r.U64(s.ProductFlags);                                              // 1
  r.U8(s.run_mode);                                                   // 2
  r.Text(s.TaskbarText);                                              // 3
  r.Text(s.DisplayTitle);                                             // 4
  r.Double(s.TitleSize);                                              // 5
  r.U32(s.progress_page_value);                                       // 6
  if (!r.ok()) return corrupt::kScriptEnd;
  if (silent) s.ProductFlags = SilentModeFlags(s.ProductFlags);
  return corrupt::kNone;
}

int ReadScriptBody(ByteReader& in, SetupScript& s) {
  // Everything after the head starts from its default, so an item that the flags leave out
  // never keeps a value from an earlier read.
  SetupScript fresh;
  fresh.ProductFlags2 = s.ProductFlags2;
  fresh.ProductFlags = s.ProductFlags;
  fresh.run_mode = s.run_mode;
  fresh.TaskbarText = std::move(s.TaskbarText);
  fresh.DisplayTitle = std::move(s.DisplayTitle);
  fresh.TitleSize = s.TitleSize;
  fresh.progress_page_value = s.progress_page_value;
  s = std::move(fresh);

  ItemReader r(in);
  if (!r.U16(s.dwell_time)) return corrupt::kScriptEnd;               // 7
  if (s.dwell_time > kMaxDwellTime) return corrupt::kScriptDwellTime;
  r.U8(s.ShortcutMode);                                               // 8
  r.Raw(s.uninstaller_file_info);                                     // 9
  r.Text(s.Publisher);                                                // 10
  r.Text(s.DisplayName);                                              // 11
  r.Text(s.product_description);                                      // 12
  r.U8(s.Bitness);                                                    // 13
  r.U8(s.shared_base_folder);                                         // 14
  r.Text(s.SharedPath);                                               // 15
  r.Text(s.portable_shared_subfolder);                                // 16
  r.Text(s.ProductStartMenu);                                         // 17
  r.Text(s.DisplayVersion);                                           // 18
  r.Text(s.default_install_folder);                                   // 19
  r.Text(s.ProductRegistry);                                          // 20
  r.BlobText(s.registry_entries);                                     // 21
  r.Text(s.registry_merge);                                           // 22
  r.Text(s.app_paths_program);                                        // 23
  if (!r.U32(s.BitmapSize)) return corrupt::kScriptEnd;               // 24
  if (s.BitmapSize > kMaxBitmapSize) return corrupt::kScriptBitmapSize;
  r.U32(s.StretchMode);                                               // 25
  r.I32(s.UninstallFonts);                                            // 26
  r.I32(s.UninstallShared);                                           // 27
  r.Text16(s.greeting_link);                                          // 28
  if (int code = ReadBlobList(r, kMaxLicenseTexts, corrupt::kScriptLicenseCount, s.license_texts)) return code;
  if (int code = ReadBlobList(r, kMaxReadmeTexts, corrupt::kScriptReadmeCount, s.readme_texts)) return code;
  r.Text(s.UninstallSubdir);                                          // 31
  r.ShortText(s.uninstaller_file_name);                               // 32
  r.Text(s.uninstall_key_name);                                       // 33
  r.Text16(s.earlier_install_location);                               // 34
  r.Text16(s.DialogFont);                                             // 35
  r.U32(s.DialogZoom);                                                // 36
  r.Text(s.dialog_caption);                                           // 37
  r.U32(s.BannerFG);                                                  // 38
  r.U8(s.title_drawing_option);                                       // 39
  r.U32(s.TitleColor);                                                // 40
  r.U8(s.TitleShadow);                                                // 41
  r.U8(s.TitlePosition);                                              // 42
  r.Text16(s.TitleFont);                                              // 43
  r.U32(s.TopColor);                                                  // 44
  r.U32(s.BottomColor);                                               // 45
  uint32_t picture_size = 0;                                          // 46
  if (r.U32(picture_size) && picture_size > 0) {
    r.Bytes(picture_size, s.background_picture);
    r.I32(s.BitmapTPI);
  }
  if (r.U8(s.CopyrightPos) && s.CopyrightPos != 0) {                  // 47
    r.U32(s.CopyrightColor);
    r.Double(s.CopyrightSize);
    r.Text(s.CopyrightText);
    r.Text(s.CopyrightFont);
  }
  if (s.ProductFlags & kFlagDialogColours) {                          // 48
    r.U32(s.DialogBG);
    r.U32(s.DialogFG);
  }
  if (s.ProductFlags2 & kFlags2ButtonColours) {                       // 49
    r.U32(s.ButtonBG);
    r.U32(s.ButtonFG);
    r.U32(s.ButtonBorder);
  }
  if (s.ProductFlags2 & kFlags2SecondColours) {                       // 50
    r.U32(s.second_colours.background);
    r.U32(s.second_colours.text);
  }
  if (s.ProductFlags2 & kFlags2ThirdColours) {                        // 51
    r.U32(s.third_colours.background);
    r.U32(s.third_colours.text);
  }
  if (s.ProductFlags & kFlagMasterProduct) {                          // 52
    r.Text(s.master_product.uninstall_key_name);
    r.Text(s.master_product.display_name);
    r.Text(s.master_product.minimum_version);
  }
  r.Data(s.opening_sound);                                            // 53
  r.Text(s.DesktopFolder);                                            // 54
  r.Blob(s.desktop_folder_icon);                                      // 55
  Batches& b = s.batches;                                             // 56: code page 1252
  for (std::string* batch : {&b.pre_install, &b.post_install, &b.install_exit, &b.UninstallBatch1,
                             &b.UninstallBatch2, &b.upgrade, &b.reinstall})
    r.Data(*batch);
  r.Raw(s.minimum_windows_version);                                   // 57
  r.U32(s.excluded_windows_mask);                                     // 58
  r.U8(s.archive_source);                                             // 59
  EndOfRunAddresses& a = s.addresses;                                 // 60
  for (std::u16string* text : {&a.launch_program, &a.open_document, &a.open_document_2, &a.blocking_query_url,
                               &a.start_notify_url, &a.new_install_notify_url, &a.upgrade_notify_url,
                               &a.downgrade_notify_url, &a.reinstall_notify_url, &a.NotifyURL, &a.greeting_text,
                               &a.cancel_notify_url, &a.problem_report_url})
    r.Text(*text);
  r.Z(s.upgrade_confirm_minimum);                                     // 61
  r.ShortText(s.NoDowngradeBelow);                                    // 62
  r.U16(s.build_date.year);                                           // 63
  r.U8(s.build_date.month);
  r.U8(s.build_date.day);
  r.Raw(s.reserved);                                                  // 64
  r.Text(s.password);                                                 // 65
  r.Text(s.upgrade_minimum_version);                                  // 66
  r.Text(s.firewall_exceptions);
  r.Text(s.AddToPathSubfolder);
  FixedSettings& f = s.settings;                                      // 67
  for (int32_t* v : {&f.extra_disk_space_low, &f.extra_disk_space_high, &f.greeting_style, &f.language_style,
                     &f.license_style, &f.readme_style, &f.folder_style, &f.start_menu_style, &f.ProgressStyle,
                     &f.summary_style, &f.integrity_mode, &f.blocking_status})
    r.I32(*v);
  if (s.ProductFlags & kFlagUninstaller) r.Blob(s.uninstaller_icon);  // 68
  if (!r.ok()) return corrupt::kScriptEnd;

  // 69: the count is checked before an entry is added, so 1001 entries load and the 1002nd fails.
  for (;;) {
    FileDeletion d;
    if (!r.Z(d.pattern)) return corrupt::kScriptEnd;
    if (d.pattern == kDeletionListEnd) break;
    if (s.conditional_deletions.size() >= kMaxConditionalDeletions) return corrupt::kScriptDeletionCount;
    r.U8(d.comparison_kind);
    r.Z(d.comparison_value);
    if (!r.U8(d.flags)) return corrupt::kScriptEnd;
    s.conditional_deletions.push_back(std::move(d));
  }

  uint32_t n = 0;
  if (!r.U32(n)) return corrupt::kScriptEnd;                          // 70
  if (n > kMaxAssociations) return corrupt::kScriptAssociationCount;
  for (uint32_t i = 0; i < n; ++i) {
    FileAssociation e;
    r.U32(e.kind);
    for (std::string* z : {&e.extension, &e.program_id, &e.description, &e.verbs, &e.verb_label}) r.Z(*z);
    r.Text(e.command);
    r.WZ(e.language);
    if (!r.Text(e.icon)) return corrupt::kScriptEnd;
    s.associations.push_back(std::move(e));
  }

  if (!r.U32(n)) return corrupt::kScriptEnd;                          // 71
  if (n > kMaxRegistrations) return corrupt::kScriptRegistrationCount;
  for (uint32_t i = 0; i < n; ++i) {
    RegistrationEntry e;
    for (std::u16string& text : e.texts) r.Text(text);
    for (uint8_t& option : e.options) r.U8(option);
    r.Text(e.extra_text);
    for (uint8_t& flag : e.flags) r.U8(flag);
    if (!r.ok()) return corrupt::kScriptEnd;
    s.registrations.push_back(std::move(e));
  }

  r.Text(s.further_commands[0].command);                              // 72
  r.Text(s.further_commands[1].command);
  r.WZ(s.further_commands[0].text);
  r.WZ(s.further_commands[1].text);

  if (!r.U32(n)) return corrupt::kScriptEnd;                          // 73
  if (n > kMaxUninstallValues) return corrupt::kScriptUninstallValueCount;
  for (uint32_t i = 0; i < n; ++i) {
    UninstallValue v;
    r.ShortText(v.name);
    r.U8(v.type);
    if (!r.Text(v.data)) return corrupt::kScriptEnd;
    s.uninstall_values.push_back(std::move(v));
  }

  r.Text16(s.SupportOffer);                                           // 74
  r.Blob(s.product_icon);

  // 75: the end mark is compared as bytes, before the window class is taken as UTF-16LE.
  const std::string_view list_end(kAutoCloseListEnd);
  for (std::string raw;;) {
    AutoCloseEntry e;
    if (!r.Data16(raw)) return corrupt::kScriptEnd;
    if (raw == list_end) break;
    if (s.AutoClose.size() >= kMaxAutoClose) return corrupt::kScriptAutoCloseCount;
    e.window_class = ByteReader::Utf16FromBytes(raw);
    r.Text16(e.window_title);
    r.Text16(e.program_name);
    r.U8(e.action);
    if (!r.U8(e.flags)) return corrupt::kScriptEnd;
    s.AutoClose.push_back(std::move(e));
  }

  if (int code = ReadLanguageTable(r, s.languages)) return code;      // 76-79
  uint32_t marker = 0;
  if (!r.U32(marker) || marker != kScriptEndMarker) return corrupt::kScriptEnd;  // 80
  return corrupt::kNone;
}

std::string SetupScriptProblem(const SetupScript& script) {
  ItemWriter check(nullptr);
  EmitScript(script, check);
  return check.problem();
}

bool WriteSetupScript(const SetupScript& script, ByteWriter& out, std::string* problem) {
  std::string found = SetupScriptProblem(script);
  if (problem) *problem = found;
  if (!found.empty()) return false;
  ItemWriter writer(&out);
  EmitScript(script, writer);
  return true;
}

SetupScript MinimalSetupScript(const std::u16string& display_name) {
  SetupScript s;
  s.ProductFlags = kFlagXzChunks;
  s.TaskbarText = display_name;
  s.DisplayTitle = display_name;
  s.DisplayName = display_name;
  s.TopColor = 0x7F3F00;  // dark blue fading to black
  s.BottomColor = 0x000000;
  s.archive_source = 0;
  s.settings.greeting_style = 1;
  s.settings.language_style = 1;
  s.settings.license_style = 1;
  s.settings.readme_style = 1;
  s.settings.folder_style = 1;
  s.settings.start_menu_style = 1;
  s.settings.summary_style = 1;
  s.settings.integrity_mode = 1;
  s.languages.names = {u"English"};
  s.languages.rows = {{display_name}};
  return s;
}

}  // namespace halberd::format
