// The registry section's lines: fields, shapes, action codes, value data, failure texts and the
// App Paths lines (see registry_lines.h).
#include "integration/registry_lines.h"

#include <iterator>
#include <limits>

#include "foundation/registry_paths.h"
#include "foundation/text_convert.h"

namespace halberd::integration {

namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trimmed(std::u16string_view s) {
  while (!s.empty() && IsBlankChar(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankChar(s.back())) s.remove_suffix(1);
  return s;
}

// A whole decimal number with an optional minus sign, blanks around it allowed. The magnitude
// must not exceed `max_magnitude` (negative numbers: `max_negative`).
std::optional<uint64_t> ReadWholeNumber(std::u16string_view text, uint64_t max_magnitude, uint64_t max_negative) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    const uint64_t digit = uint64_t(c - u'0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (negative) {
    if (value > max_negative) return std::nullopt;
    return uint64_t(0) - value;
  }
  if (value > max_magnitude) return std::nullopt;
  return value;
}

std::optional<int> ReadSmallNumber(std::u16string_view text) {
  std::optional<uint64_t> v = ReadWholeNumber(text, 0x7FFFFFFF, 0);
  if (!v) return std::nullopt;
  return int(*v);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::string LittleEndian(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += char(uint8_t(value >> (8 * i)));
  return out;
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += char(uint8_t(c));
    out += char(uint8_t(c >> 8));
  }
  out += std::string(2, '\0');
  return out;
}

// Whether `key` (root notation) lies at or below `base` (a key below the root), case ignored.
bool IsAtOrBelow(std::u16string_view key, std::u16string_view base) {
  while (!key.empty() && key.back() == u'\\') key.remove_suffix(1);
  while (!base.empty() && base.back() == u'\\') base.remove_suffix(1);
  if (base.empty() || !RegistryNameStartsWith(key, base)) return false;
  return key.size() == base.size() || key[base.size()] == u'\\';
}

}  // namespace

std::vector<std::u16string> SplitRegistryLine(std::u16string_view line) {
  std::vector<std::u16string> fields;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    std::u16string field;
    if (i < n && line[i] == u'"') {
      ++i;
      while (i < n) {
        if (line[i] == u'"') {
          if (i + 1 < n && line[i + 1] == u'"') {
            field += u'"';
            i += 2;
            continue;
          }
          ++i;  // the closing quote; what follows up to the comma is taken as it is
          break;
        }
        field += line[i++];
      }
    }
    while (i < n && line[i] != u',') field += line[i++];
    fields.push_back(std::move(field));
    if (i >= n) break;
    ++i;  // the comma
  }
  return fields;
}

std::u16string JoinRegistryLine(const std::vector<std::u16string>& fields) {
  std::u16string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += u',';
    const std::u16string& f = fields[i];
    const bool quote = f.find_first_of(u",\"") != std::u16string::npos ||
                       (!f.empty() && (IsBlankChar(f.front()) || IsBlankChar(f.back())));
    if (!quote) {
      line += f;
      continue;
    }
    line += u'"';
    for (char16_t c : f) {
      if (c == u'"') line += u'"';
      line += c;
    }
    line += u'"';
  }
  return line;
}

RegistryAction ActionOf(int code) {
  RegistryAction a;
  switch (code) {
    case 1: a.write_at_install = true; break;
    case 2: a.delete_at_uninstall = true; break;
    case 3: a.write_at_install = a.delete_at_uninstall = true; break;
    case 4: a.delete_at_install = true; break;
    case 5: a.delete_at_install = a.delete_at_uninstall = true; break;
    case 6: a.write_at_install = a.keep_existing = true; break;
    case 7: a.write_at_install = a.keep_existing = a.delete_at_uninstall = true; break;
    default: break;
  }
  return a;
}

RegistryLine ParseRegistryLine(std::u16string_view line) {
  RegistryLine r;
  if (Trimmed(line).empty()) return r;
  std::vector<std::u16string> f = SplitRegistryLine(line);
  if (f.size() == 1) {
    r.shape = RegistryLineShape::kKey;
    r.key = std::u16string(Trimmed(f[0]));
    if (r.key.empty()) r.shape = RegistryLineShape::kBlank;
    return r;
  }
  r.shape = RegistryLineShape::kIllegal;
  if (f.size() != 5) return r;
  std::optional<int> type = ReadSmallNumber(f[2]);
  std::optional<int> action = ReadSmallNumber(f[4]);
  if (!action) return r;
  // Delete-only actions ignore the type; a line that writes needs one.
  if (!type && (ActionOf(*action).write_at_install || !Trimmed(f[2]).empty())) return r;
  r.shape = RegistryLineShape::kValue;
  r.key = std::move(f[0]);
  r.value_name = std::move(f[1]);
  r.type = type ? uint32_t(*type) : 0;
  r.data = std::move(f[3]);
  r.action = *action;
  return r;
}

std::vector<std::u16string> SplitSectionLines(std::u16string_view section) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= section.size(); ++i) {
    if (i < section.size() && section[i] != u'\r' && section[i] != u'\n') continue;
    lines.emplace_back(section.substr(start, i - start));
    if (i + 1 < section.size() && section[i] == u'\r' && section[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::optional<RegistryValueData> BuildValueData(uint32_t type, std::u16string_view text) {
  RegistryValueData v;
  v.type = type;
  switch (type) {
    case kTypeText:
    case kTypeExpandText:
      v.bytes = Utf16Bytes(text);
      return v;
    case kTypeBinary: {
      std::u16string hex;
      for (char16_t c : text)
        if (c != u' ') hex += c;
      if (hex.size() % 2) return std::nullopt;
      for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        v.bytes += char(uint8_t(hi * 16 + lo));
      }
      return v;
    }
    case kTypeNumber: {
      std::optional<uint64_t> n = ReadWholeNumber(text, 0xFFFFFFFFull, 0x80000000ull);
      if (!n) return std::nullopt;
      v.bytes = LittleEndian(*n, 4);
      return v;
    }
    case kTypeNumber64: {
      std::optional<uint64_t> n = ReadWholeNumber(text, std::numeric_limits<uint64_t>::max(), 0x8000000000000000ull);
      if (!n) return std::nullopt;
      v.bytes = LittleEndian(*n, 8);
      return v;
    }
    default:
      return v;
  }
}

std::u16string IllegalEntryText(std::u16string_view line) {
  return u"Illegal registry entry: " + std::u16string(line) + u"\r\n";
}

std::u16string KeyFailureLine(std::u16string_view key, std::u16string_view error_text) {
  return u"Failed to create registry key: " + std::u16string(key) + u"\r\n" + std::u16string(error_text) + u"\r\n";
}

std::u16string ValueFailureLine(std::u16string_view value_name, std::u16string_view error_text) {
  return u"Failed to create registry value \"" + std::u16string(value_name) + u"\": " + std::u16string(error_text) +
         u"\r\n";
}

std::u16string ProductKeyFailureText(std::u16string_view product_registry, uint32_t error,
                                     std::u16string_view error_text) {
  return u"Error creating registry keys at \\Software\\" + std::u16string(product_registry) + u"\r\nCode " +
         Utf8ToUtf16(std::to_string(error)) + u": " + std::u16string(error_text) + u"\r\n\r\n";
}

bool KeyTakesOpenSecurity(std::u16string_view key, std::u16string_view product_registry) {
  if (Trimmed(product_registry).empty()) return false;
  const std::u16string product(Trimmed(product_registry));
  // "\HKAU\" keys are already below Software of each user.
  if (std::optional<std::u16string_view> below = StripAllUsersPrefix(key)) return IsAtOrBelow(*below, product);
  std::optional<RegistryKeyPath> parsed = ParseKeyPath(key);
  if (!parsed) return false;
  if (parsed->root != RegistryRoot::kLocalMachine && parsed->root != RegistryRoot::kCurrentUser) return false;
  return IsAtOrBelow(parsed->subkey, u"Software\\" + product);
}

std::u16string AppPathsKeyOf(std::u16string_view program_path) {
  size_t slash = program_path.find_last_of(u"\\/");
  std::u16string_view name = slash == std::u16string_view::npos ? program_path : program_path.substr(slash + 1);
  return kAppPathsKey + std::u16string(name);
}

std::vector<std::u16string> AppPathsUndoLines(std::u16string_view key, bool default_written, bool path_written) {
  std::vector<std::u16string> lines;
  const std::u16string k(key);
  if (default_written) lines.push_back(JoinRegistryLine({k, u"", u"", u"", u"2"}));
  if (path_written) lines.push_back(JoinRegistryLine({k, u"Path", u"", u"", u"2"}));
  if (default_written && path_written) lines.push_back(JoinRegistryLine({k}));
  return lines;
}

void AppendSectionLines(std::u16string& section, const std::vector<std::u16string>& lines) {
  if (lines.empty()) return;
  if (!section.empty() && section.back() != u'\n' && section.back() != u'\r') section += u"\r\n";
  for (const std::u16string& line : lines) section += line + u"\r\n";
}

RegistryUndo UndoOfRegistry2Line(std::string_view line) {
  RegistryUndo u;
  std::vector<std::u16string> f = SplitRegistryLine(Utf8ToUtf16(line));
  std::u16string key;
  if (f.size() == 1) {
    key = std::u16string(Trimmed(f[0]));
    size_t backslashes = 0;
    for (char16_t c : key) backslashes += c == u'\\';
    if (backslashes < 2) return u;
    u.kind = RegistryUndo::Kind::kDeleteKeyIfEmpty;
  } else if (f.size() == 5) {
    std::optional<int> action = ReadSmallNumber(f[4]);
    if (!action || !ActionOf(*action).delete_at_uninstall) return u;
    key = f[0];
    u.kind = RegistryUndo::Kind::kDeleteValue;
    u.value_name = f[1];
  } else {
    return u;
  }
  if (std::optional<std::u16string_view> below = StripAllUsersPrefix(key)) {
    u.all_users = true;
    key = std::u16string(*below);
  }
  u.default_view = !u.all_users && IsAtOrBelow(key, std::u16string_view(kAppPathsKey).substr(0, std::size(kAppPathsKey) - 2));
  u.key = std::move(key);
  return u;
}

std::vector<std::u16string> ProductKeyParents(std::u16string_view product_registry, size_t limit) {
  std::vector<std::u16string> parents;
  std::u16string_view p = product_registry;
  while (!p.empty() && (p.back() == u'\\' || IsBlankChar(p.back()))) p.remove_suffix(1);
  while (!p.empty() && (p.front() == u'\\' || IsBlankChar(p.front()))) p.remove_prefix(1);
  while (parents.size() < limit) {
    size_t slash = p.find_last_of(u'\\');
    if (slash == std::u16string_view::npos) break;
    p = p.substr(0, slash);
    while (!p.empty() && p.back() == u'\\') p.remove_suffix(1);
    if (p.empty()) break;
    parents.emplace_back(p);
  }
  return parents;
}

}  // namespace halberd::integration
