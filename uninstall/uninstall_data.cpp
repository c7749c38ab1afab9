#include "uninstall/uninstall_data.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "foundation/path_rules.h"
#include "foundation/text_convert.h"

namespace halberd::uninstall {

namespace {

enum class Section {
  kBody,
  kStrings,
  kAutoClose,
  kAssociations,
  kFirewall,
  kInf,
  kMsi,
  kRegistry,
  kConditionalDelete,
};

struct Header {
  std::string_view name;
  Section section;
};

// In the order the sections are written.
constexpr Header kHeaders[] = {
    {"[Strings]", Section::kStrings},
    {"[AutoClose]", Section::kAutoClose},
    {"[Associations]", Section::kAssociations},
    {"[Firewall]", Section::kFirewall},
    {"[INF]", Section::kInf},
    {"[MSI]", Section::kMsi},
    {"[Registry2]", Section::kRegistry},
    {"[ConditionalDelete]", Section::kConditionalDelete},
};

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kAssociationSeparator = "~!~";
// Put in front of a [Strings] text line that would otherwise read as an id line or a header.
constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlankChar(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankChar(s.back())) s.remove_suffix(1);
  return s;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Calls `f` with each line of `text`, without its end. Lines end at CR LF, a lone LF or a lone
// CR; nothing after the last line end is an empty line. The views point into `text`.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      f(text.substr(start));
      return;
    }
    f(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

// `text` up to the end of its last line that is not blank: trailing blank lines carry nothing.
std::string_view WithoutTrailingBlankLines(std::string_view text) {
  size_t end = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (!Trim(line).empty()) end = size_t(line.data() - text.data()) + line.size();
  });
  return text.substr(0, end);
}

const Header* HeaderOf(std::string_view trimmed) {
  for (const Header& h : kHeaders) {
    if (trimmed == h.name) return &h;
  }
  return nullptr;
}

// "~" and decimal digits: a [Strings] id line. `id` gets the number, or -1 when it is above any
// id (so "~99999999999" is an id line of an ignored id, not a text line).
bool IsIdLine(std::string_view trimmed, int& id) {
  if (trimmed.size() < 2 || trimmed[0] != '~') return false;
  int64_t value = 0;
  for (char c : trimmed.substr(1)) {
    if (c < '0' || c > '9') return false;
    if (value <= kMaxTextId) value = value * 10 + (c - '0');
  }
  id = value <= kMaxTextId ? int(value) : -1;
  return true;
}

// A decimal number from 0 to `max`, blanks around it allowed.
bool ParseSmallNumber(std::string_view field, int max, int& out) {
  field = Trim(field);
  if (field.empty()) return false;
  int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > max) return false;
  }
  out = int(value);
  return true;
}

// A decimal int with an optional minus sign, blanks around it allowed.
bool ParseInt(std::string_view field, int& out) {
  field = Trim(field);
  bool negative = !field.empty() && field[0] == '-';
  if (negative) field.remove_prefix(1);
  if (field.empty()) return false;
  int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = int(value);
  return true;
}

bool IsAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

std::string AsciiBytes(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// A line of a list section as the reader gives it back, or nothing when it would not come back.
bool WritableListLine(std::string_view trimmed) {
  return !trimmed.empty() && !HasLineBreak(trimmed) && !HeaderOf(trimmed);
}

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kLineEnd;
}

void AppendSection(std::string& out, std::string_view header, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  out += kLineEnd;
  out += kLineEnd;
  AppendLine(out, header);
  for (const std::string& line : lines) AppendLine(out, line);
}

// One [Strings] entry: the id line, then the text line by line. Trailing blank lines are not
// written (the reader drops them); a line that would read as an id line or a header gets a
// zero-width space in front.
void AppendText(std::string& out, int id, std::u16string_view text) {
  AppendLine(out, "~" + std::to_string(id));
  const std::string utf8 = Utf16ToUtf8(text);
  std::string_view kept = WithoutTrailingBlankLines(utf8);
  if (kept.empty()) {
    AppendLine(out, "");
    return;
  }
  ForEachLine(kept, [&](std::string_view line) {
    int ignored;
    std::string_view trimmed = Trim(line);
    if (IsIdLine(trimmed, ignored) || HeaderOf(trimmed)) out += kZeroWidthSpace;
    AppendLine(out, line);
  });
}

bool IsKnownTextId(int id) {
  return std::find(kUninstallTextIds.begin(), kUninstallTextIds.end(), id) != kUninstallTextIds.end();
}

char16_t UpperChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: upper and lower case in pairs
    bool even_upper = (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (even_upper && (c & 1)) return char16_t(c - 1);
    if (odd_upper && !(c & 1)) return char16_t(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return char16_t(c - 0x20);  // Greek
  if (c == 0x3C2) return 0x3A3;                                           // final sigma
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return char16_t(c - 0x25);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return char16_t(c - 0x3F);
  if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
  return c;
}

// Reader state for a [Strings] text being gathered: where its first line begins in the file.
// Its lines are not held one by one (a file of empty lines would cost more than its own size).
struct PendingText {
  bool active = false;
  int id = 0;
  bool has_lines = false;
  size_t begin = 0;
};

void FinishText(std::string_view bytes, size_t end, PendingText& pending, UninstallData& data) {
  if (!pending.active) return;
  std::string utf8;
  if (pending.has_lines) {
    bool first = true;
    ForEachLine(WithoutTrailingBlankLines(bytes.substr(pending.begin, end - pending.begin)), [&](std::string_view line) {
      if (!first) utf8 += kLineEnd;
      first = false;
      utf8 += line;
    });
  }
  std::u16string text = Utf8ToUtf16(utf8);
  if (pending.id == kCaptionTextId) {
    data.caption = std::move(text);
  } else if (text.empty()) {
    data.texts.erase(pending.id);  // an id without a text reads as empty
  } else {
    data.texts[pending.id] = std::move(text);
  }
  pending = PendingText{};
}

// An [Associations] line: split at the first three separators (the icon keeps any further one),
// each part trimmed. False for a line without extension, program id and verb.
bool ReadAssociationLine(std::string_view line, AssociationLine& out) {
  std::string_view parts[4];
  std::string_view rest = line;
  int k = 0;
  for (; k < 3; ++k) {
    size_t at = rest.find(kAssociationSeparator);
    if (at == std::string_view::npos) break;
    parts[k] = rest.substr(0, at);
    rest.remove_prefix(at + kAssociationSeparator.size());
  }
  parts[k] = rest;
  for (std::string_view& p : parts) p = Trim(p);
  if (parts[0].empty() && parts[1].empty() && parts[2].empty()) return false;
  out = {std::string(parts[0]), std::string(parts[1]), std::string(parts[2]), std::string(parts[3])};
  return true;
}

// The [Associations] line of `a` (its fields trimmed), or nothing when the line would not read
// back as these four fields: a field holding the separator or a line break, a first field ending
// in a part of it ("x~!"), or no extension, program id and verb (the reader drops such a line).
std::optional<std::string> AssociationText(const AssociationLine& a) {
  AssociationLine trimmed{std::string(Trim(a.extension)), std::string(Trim(a.program_id)),
                          std::string(Trim(a.verb)), std::string(Trim(a.icon))};
  std::string line = trimmed.extension;
  for (const std::string* f : {&trimmed.program_id, &trimmed.verb, &trimmed.icon}) {
    line.append(kAssociationSeparator).append(*f);
  }
  AssociationLine back;
  if (HasLineBreak(line) || !ReadAssociationLine(line, back) || !(back == trimmed)) return std::nullopt;
  return line;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Texts

std::string EncodeUninstallText(std::u16string_view text) {
  if (IsAscii(text) && !(text.size() && text[0] == u'|')) return AsciiBytes(text);
  return "|" + Utf16ToUtf8(text);
}

std::u16string DecodeUninstallText(std::string_view stored, const CodePage& code_page) {
  if (IsMarkedUtf8(stored)) return Utf8ToUtf16(stored.substr(1));
  if (code_page.decode) return code_page.decode(stored);
  // No code page given: only ASCII is known.
  std::u16string out;
  out.reserve(stored.size());
  for (char c : stored) out.push_back(uint8_t(c) < 0x80 ? char16_t(c) : char16_t(0xFFFD));
  return out;
}

std::u16string UninstallDataPath(std::u16string_view uninstall_folder) {
  return JoinPath(uninstall_folder, kUninstallDataName);
}

std::u16string UpperCaseForCompare(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = UpperChar(c);
  return out;
}

RemovalRecord ReadRemovalRecord(std::string_view line, const CodePage& code_page) {
  if (line.empty()) return {RemovalKind::kFile, {}};
  std::string_view rest = line.substr(1);
  switch (line[0]) {
    case '~': return {RemovalKind::kFolder, DecodeUninstallText(rest, code_page)};
    case '!': return {RemovalKind::kRegistryValue, Utf8ToUtf16(rest)};
    case '^': return {RemovalKind::kRegistryKey, DecodeUninstallText(rest, code_page)};
    case '*': return {RemovalKind::kRegistryKey64, DecodeUninstallText(rest, code_page)};
    default: return {RemovalKind::kFile, DecodeUninstallText(line, code_page)};
  }
}

// ---------------------------------------------------------------------------------------------
// Recording

bool UninstallData::RecordRemoval(std::u16string_view text, RemovalKind kind, const CodePage& code_page) {
  if (text.find_first_of(u"\r\n", 0) != std::u16string_view::npos) return false;
  if (text.find(u'\0') != std::u16string_view::npos) return false;
  if (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) return false;

  std::string stored;
  bool may_have_bar = true;  // a leading "|" of `stored` is the marker, not text
  char prefix = 0;
  switch (kind) {
    case RemovalKind::kFile:
      stored = EncodeUninstallText(text);
      // Without the bar the line would read as another kind, a header, or lose its blanks.
      if (!stored.empty() && std::string_view("~!^*[ \t").find(stored[0]) != std::string_view::npos) {
        stored = "|" + Utf16ToUtf8(text);
      }
      break;
    case RemovalKind::kFolder:
      prefix = '~';
      stored = EncodeUninstallText(text);
      break;
    case RemovalKind::kRegistryValue:
      prefix = '!';
      stored = Utf16ToUtf8(text);
      may_have_bar = false;
      break;
    case RemovalKind::kRegistryKey:
    case RemovalKind::kRegistryKey64: {
      prefix = kind == RemovalKind::kRegistryKey ? '^' : '*';
      bool held = false;
      if (code_page.encode && code_page.decode) {
        stored = code_page.encode(text);
        held = !IsMarkedUtf8(stored) && code_page.decode(stored) == text;
      } else if (IsAscii(text)) {
        stored = AsciiBytes(text);
        held = !IsMarkedUtf8(stored);
      }
      if (!held) stored = "|" + Utf16ToUtf8(text);
      break;
    }
    default:
      return false;
  }
  size_t text_bytes = stored.size() - ((may_have_bar && IsMarkedUtf8(stored)) ? 1 : 0);
  if (text_bytes < 4) return false;

  if (kind == RemovalKind::kFolder) {
    std::u16string key = UpperCaseForCompare(text);
    while (!key.empty() && key.back() == u'\\') key.pop_back();
    if (!folders_.insert(std::move(key)).second) return false;
  }
  records_.push_back(prefix ? prefix + stored : stored);
  return true;
}

void UninstallData::ClearRecords() {
  records_.clear();
  folders_.clear();
}

bool UninstallData::operator==(const UninstallData& o) const {
  return records_ == o.records_ && texts == o.texts && caption == o.caption && close_list == o.close_list &&
         associations == o.associations && firewall == o.firewall && drivers == o.drivers &&
         packages == o.packages && registry == o.registry && conditional_deletions == o.conditional_deletions;
}

void UninstallData::TakeTexts(const std::function<std::u16string(int)>& text_of) {
  for (int id : kUninstallTextIds) {
    std::u16string text = text_of(id);
    if (text.empty()) {
      texts.erase(id);
    } else {
      texts[id] = std::move(text);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Section lines

std::string PackageLine(std::u16string_view path, int option) {
  return "\"" + EncodeUninstallText(path) + "\"," + std::to_string(option);
}

bool ReadPackageLine(std::string_view line, std::string& encoded_path, int& option) {
  line = Trim(line);
  size_t comma;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    if (close == std::string_view::npos) return false;
    encoded_path.assign(line.substr(1, close - 1));
    std::string_view after = Trim(line.substr(close + 1));
    if (after.empty() || after[0] != ',') return false;
    comma = size_t(after.data() - line.data());
  } else {
    comma = line.rfind(',');
    if (comma == std::string_view::npos) return false;
    encoded_path.assign(Trim(line.substr(0, comma)));
  }
  return ParseInt(line.substr(comma + 1), option);
}

std::string JoinCsvLine(const std::vector<std::string>& fields) {
  if (fields.size() == 1 && fields[0].empty()) return "\"\"";
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    const std::string& f = fields[i];
    bool quote = f.find_first_of(",\"\t\r\n;|") != std::string::npos ||
                 (!f.empty() && (f.front() == ' ' || f.front() == '\'' || f.front() == '#' || f.back() == ' '));
    if (!quote) {
      line += f;
      continue;
    }
    line += '"';
    for (char c : f) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return line;
}

std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> fields;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    std::string field;
    if (i < n && line[i] == '"') {
      ++i;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;  // the closing quote; what follows up to the comma is taken as it is
          break;
        }
        field += line[i++];
      }
    }
    while (i < n && line[i] != ',') field += line[i++];
    fields.push_back(std::move(field));
    if (i >= n) break;
    ++i;  // the comma
  }
  return fields;
}

// ---------------------------------------------------------------------------------------------
// Writing

std::string WriteUninstallData(const UninstallData& data) {
  std::string out;
  for (const std::string& record : data.records()) AppendLine(out, record);

  out += kLineEnd;
  out += kLineEnd;
  AppendLine(out, "[Strings]");
  static const std::u16string kNoText;
  for (int id : kUninstallTextIds) {
    auto it = data.texts.find(id);
    AppendText(out, id, it == data.texts.end() ? kNoText : it->second);
  }
  // Texts of further ids (read from a file that had them) are written again as read.
  for (const auto& [id, text] : data.texts) {
    if (id >= kMinTextId && id <= kMaxTextId && id != kCaptionTextId && !IsKnownTextId(id) && !text.empty()) {
      AppendText(out, id, text);
    }
  }
  AppendText(out, kCaptionTextId, data.caption);

  std::vector<std::string> lines;
  for (const CloseEntry& e : data.close_list) {
    if (e.method < 0 || e.method > 255) continue;
    std::vector<std::string> fields = {Utf16ToUtf8(e.window_class), Utf16ToUtf8(e.window_title),
                                       Utf16ToUtf8(e.program_name), std::to_string(e.method)};
    if (std::any_of(fields.begin(), fields.end(), [](const std::string& f) { return HasLineBreak(f); })) continue;
    lines.push_back(JoinCsvLine(fields));
  }
  AppendSection(out, "[AutoClose]", lines);

  lines.clear();
  for (const AssociationLine& a : data.associations) {
    if (std::optional<std::string> line = AssociationText(a)) lines.push_back(std::move(*line));
  }
  AppendSection(out, "[Associations]", lines);

  auto list_lines = [](const std::vector<std::string>& source) {
    std::vector<std::string> kept;
    for (const std::string& line : source) {
      std::string_view trimmed = Trim(line);
      if (WritableListLine(trimmed)) kept.emplace_back(trimmed);
    }
    return kept;
  };
  AppendSection(out, "[Firewall]", list_lines(data.firewall));
  AppendSection(out, "[INF]", list_lines(data.drivers));
  AppendSection(out, "[MSI]", list_lines(data.packages));

  lines.clear();
  ForEachLine(data.registry, [&](std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (WritableListLine(trimmed)) lines.emplace_back(trimmed);
  });
  AppendSection(out, "[Registry2]", lines);

  lines.clear();
  for (const ConditionalDeletion& d : data.conditional_deletions) {
    if (!(d.flags & kDeleteAtUninstall)) continue;
    if (d.comparison_kind < 0 || d.comparison_kind > 255 || d.flags < 0 || d.flags > 255) continue;
    if (HasLineBreak(d.pattern) || HasLineBreak(d.comparison_value)) continue;
    lines.push_back(JoinCsvLine(
        {d.pattern, std::to_string(d.comparison_kind), d.comparison_value, std::to_string(d.flags)}));
  }
  AppendSection(out, "[ConditionalDelete]", lines);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Reading

UninstallData LoadUninstallData(std::string_view bytes) {
  UninstallData data;
  Section section = Section::kBody;
  PendingText pending;

  ForEachLine(bytes, [&](std::string_view line) {
    const size_t at = size_t(line.data() - bytes.data());
    std::string_view trimmed = Trim(line);
    if (const Header* header = HeaderOf(trimmed)) {
      FinishText(bytes, at, pending, data);
      section = header->section;
      return;
    }
    if (section == Section::kStrings) {
      int id;
      if (IsIdLine(trimmed, id)) {
        FinishText(bytes, at, pending, data);
        // An id outside 1-1000 starts a text that is ignored.
        pending.active = id >= kMinTextId && id <= kMaxTextId;
        pending.id = id;
      } else if (pending.active && !pending.has_lines) {
        pending.has_lines = true;
        pending.begin = at;
      }
      return;
    }
    if (trimmed.empty()) return;

    switch (section) {
      case Section::kBody:
        data.records_.emplace_back(trimmed);
        break;
      case Section::kAutoClose: {
        std::vector<std::string> f = SplitCsvLine(trimmed);
        int method;
        if (f.size() == 4 && ParseSmallNumber(f[3], 255, method)) {
          data.close_list.push_back({Utf8ToUtf16(f[0]), Utf8ToUtf16(f[1]), Utf8ToUtf16(f[2]), method});
        }
        break;
      }
      case Section::kAssociations: {
        AssociationLine a;
        // Kept only when it can be written again unchanged (see AssociationText).
        if (ReadAssociationLine(trimmed, a) && AssociationText(a)) data.associations.push_back(std::move(a));
        break;
      }
      case Section::kFirewall:
        data.firewall.emplace_back(trimmed);
        break;
      case Section::kInf:
        data.drivers.emplace_back(trimmed);
        break;
      case Section::kMsi:
        data.packages.emplace_back(trimmed);
        break;
      case Section::kRegistry:
        if (!data.registry.empty()) data.registry += kLineEnd;
        data.registry += trimmed;
        break;
      case Section::kConditionalDelete: {
        std::vector<std::string> f = SplitCsvLine(trimmed);
        ConditionalDeletion d;
        if (f.size() == 4 && ParseSmallNumber(f[1], 255, d.comparison_kind) && ParseSmallNumber(f[3], 255, d.flags) &&
            (d.flags & kDeleteAtUninstall)) {
          d.pattern = std::move(f[0]);
          d.comparison_value = std::move(f[2]);
          data.conditional_deletions.push_back(std::move(d));
        }
        break;
      }
      case Section::kStrings:
        break;
    }
  });
  FinishText(bytes, bytes.size(), pending, data);
  return data;
}

}  // namespace halberd::uninstall
