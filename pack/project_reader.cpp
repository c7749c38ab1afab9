#include "pack/project_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "foundation/text_convert.h"

namespace halberd::pack::project {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view s) { return "`" + std::string(s) + "`"; }

int NodeLine(const toml::node* n, int fallback) {
  if (!n) return fallback;
  int line = int(n->source().begin.line);
  return line > 0 ? line : fallback;
}

// The known name nearest to `key`, when it is near enough to be a typing slip.
std::string Nearest(std::string_view key, const std::set<std::string, std::less<>>& known) {
  size_t limit = key.size() >= 12 ? 3 : key.size() >= 5 ? 2 : 1;
  std::string best;
  size_t best_distance = limit + 1;
  for (const std::string& k : known) {
    size_t d = EditDistance(key, k);
    if (d < best_distance) best = k, best_distance = d;
  }
  return best;
}

bool DaysInMonthOk(int year, int month, int day) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

bool ParseDigits(std::string_view s, size_t& pos, size_t n, int& value) {
  if (pos + n > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < n; ++i) {
    char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += n;
  return true;
}

bool ParseDateText(std::string_view s, size_t& pos, Section::Date& d) {
  return ParseDigits(s, pos, 4, d.year) && pos < s.size() && s[pos++] == '-' && ParseDigits(s, pos, 2, d.month) &&
         pos < s.size() && s[pos++] == '-' && ParseDigits(s, pos, 2, d.day);
}

// "1024", "4 MiB", "10 MB": a count of bytes.
bool ParseByteSize(std::string_view s, int64_t& out) {
  size_t i = 0;
  int64_t n = 0;
  if (s.empty() || s[0] < '0' || s[0] > '9') return false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (n > (INT64_MAX - 9) / 10) return false;
    n = n * 10 + (s[i++] - '0');
  }
  while (i < s.size() && s[i] == ' ') ++i;
  std::string unit(s.substr(i));
  std::transform(unit.begin(), unit.end(), unit.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
  static const std::pair<const char*, int64_t> kUnits[] = {
      {"", 1}, {"b", 1}, {"bytes", 1}, {"kb", 1000}, {"kib", 1024}, {"mb", 1000000}, {"mib", 1 << 20},
      {"gb", 1000000000}, {"gib", int64_t(1) << 30}};
  for (const auto& [name, factor] : kUnits) {
    if (unit != name) continue;
    if (n > INT64_MAX / factor) return false;
    out = n * factor;
    return true;
  }
  return false;
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// ---- Reader -----------------------------------------------------------------------------------

fs::path Reader::Resolve(std::string_view relative) const {
  fs::path p(std::u8string(relative.begin(), relative.end()));
  return p.is_absolute() ? p : base_ / p;
}

bool Reader::LoadFile(int line, std::string_view relative, std::string& bytes) {
  bytes.clear();
  fs::path p = Resolve(relative);
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) {
    Error(line, "missing file " + Quoted(relative));
    return false;
  }
  std::ifstream in(p, std::ios::binary);
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in || in.bad()) {
    Error(line, "cannot read " + Quoted(relative));
    return false;
  }
  return true;
}

Section& Reader::Table(const std::string& dotted) {
  if (auto it = by_name_.find(dotted); it != by_name_.end()) return *it->second;
  if (dotted.empty()) {
    Section& root = sections_.emplace_back(*this, root_, "", 1);
    by_name_[""] = &root;
    return root;
  }
  size_t dot = dotted.rfind('.');
  Section& parent = Table(dot == std::string::npos ? std::string() : dotted.substr(0, dot));
  std::string last = dot == std::string::npos ? dotted : dotted.substr(dot + 1);
  const toml::node* node = parent.Node(last);
  const toml::table* table = nullptr;
  if (node && node->is_table()) table = node->as_table();
  else if (node) parent.TypeError(last, "a table, written [" + dotted + "]");
  Section& s = sections_.emplace_back(*this, table, dotted, NodeLine(node, parent.line()));
  by_name_[dotted] = &s;
  return s;
}

std::vector<Section*> Reader::TableArray(const std::string& dotted) {
  size_t dot = dotted.rfind('.');
  Section& parent = Table(dot == std::string::npos ? std::string() : dotted.substr(0, dot));
  std::string last = dot == std::string::npos ? dotted : dotted.substr(dot + 1);
  const toml::node* node = parent.Node(last);
  std::vector<Section*> out;
  if (!node) return out;
  if (node->is_table()) {  // [files] written for [[files]]: one entry
    out.push_back(&sections_.emplace_back(*this, node->as_table(), dotted, NodeLine(node, parent.line())));
    return out;
  }
  const toml::array* array = node->as_array();
  if (!array || !array->is_array_of_tables()) {
    parent.TypeError(last, "a list of tables, each written [[" + dotted + "]]");
    return out;
  }
  for (const toml::node& element : *array)
    out.push_back(&sections_.emplace_back(*this, element.as_table(), dotted, NodeLine(&element, parent.line())));
  return out;
}

bool Reader::ItemSource(int item, std::string& option, int& line) const {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  option = it->second.first;
  line = it->second.second;
  return true;
}

void Reader::ReportUnknownOptions() {
  std::map<std::string, std::set<std::string>, std::less<>> where_known;
  for (const Section& s : sections_)
    for (const std::string& k : s.known_) where_known[k].insert(s.Where());
  for (const Section& s : sections_) {
    if (!s.table_) continue;
    for (auto&& [key, node] : *s.table_) {
      std::string_view name = key.str();
      if (s.known_.count(name)) continue;
      int line = NodeLine(&node, s.line_);
      std::string what = s.name_.empty() ? "unknown table or option " : "unknown option ";
      std::string near = Nearest(name, s.known_);
      if (!near.empty()) {
        Error(line, what + Quoted(name) + " \u2014 did you mean " + Quoted(near) + "?");
      } else if (auto it = where_known.find(name); it != where_known.end()) {
        Error(line, what + Quoted(name) + " in " + s.Where() + ": it belongs in " + *it->second.begin());
      } else {
        Error(line, what + Quoted(name) + " in " + s.Where());
      }
    }
  }
}

// ---- Section ----------------------------------------------------------------------------------

std::string Section::Where() const { return name_.empty() ? "the top level" : "[" + name_ + "]"; }

const toml::node* Section::Node(std::string_view key) {
  known_.insert(std::string(key));
  return table_ ? table_->get(key) : nullptr;
}

int Section::Line(std::string_view key) { return NodeLine(table_ ? table_->get(key) : nullptr, line_); }

void Section::TypeError(std::string_view key, std::string_view expected) {
  r_.Error(Line(key), Quoted(key) + " must be " + std::string(expected));
}

std::vector<std::string> Section::Keys() const {
  std::vector<std::pair<toml::source_position, std::string>> keys;
  if (table_)
    for (auto&& [key, node] : *table_) keys.emplace_back(key.source().begin, std::string(key.str()));
  std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
    return a.first.line != b.first.line ? a.first.line < b.first.line : a.first.column < b.first.column;
  });
  std::vector<std::string> out;
  for (auto& k : keys) out.push_back(std::move(k.second));
  return out;
}

bool Section::Bool(std::string_view key, bool def) {
  const toml::node* n = Node(key);
  if (!n) return def;
  if (n->is_boolean()) return n->as_boolean()->get();
  TypeError(key, "true or false");
  return def;
}

std::string Section::Text(std::string_view key, std::string_view def, size_t max_chars) {
  const toml::node* n = Node(key);
  if (!n) return std::string(def);
  if (!n->is_string()) {
    TypeError(key, n->is_floating_point() || n->is_integer() ? "a text in quotes (write \"1.0\", not 1.0)"
                                                               : "a text in quotes");
    return std::string(def);
  }
  std::string s(n->as_string()->get());
  if (s.find('\0') != std::string::npos) {
    Error(key, Quoted(key) + " must not contain a zero character");
    return std::string(def);
  }
  if (max_chars < 0x1FFFFFFF && Utf8ToUtf16(s).size() > max_chars) {
    Error(key, Quoted(key) + " is too long: at most " + std::to_string(max_chars) + " characters");
    return std::string(def);
  }
  return s;
}

std::u16string Section::Wide(std::string_view key, std::u16string_view def, size_t max_chars) {
  if (!Has(key)) return std::u16string(def);
  return Utf8ToUtf16(Text(key, Utf16ToUtf8(def), max_chars));
}

std::vector<std::string> Section::TextList(std::string_view key) {
  const toml::node* n = Node(key);
  std::vector<std::string> out;
  if (!n) return out;
  if (n->is_string()) return {Text(key)};
  const toml::array* a = n->as_array();
  if (!a) {
    TypeError(key, "a list of texts, like [\"a\", \"b\"]");
    return out;
  }
  for (const toml::node& e : *a) {
    if (!e.is_string()) {
      r_.Error(NodeLine(&e, Line(key)), Quoted(key) + " must be a list of texts, like [\"a\", \"b\"]");
      continue;
    }
    std::string s(e.as_string()->get());
    if (s.find('\0') != std::string::npos) r_.Error(NodeLine(&e, Line(key)), Quoted(key) + " must not contain a zero character");
    else out.push_back(std::move(s));
  }
  return out;
}

int64_t Section::Integer(std::string_view key, int64_t def, int64_t min, int64_t max, std::string_view unit) {
  const toml::node* n = Node(key);
  if (!n) return def;
  int64_t v = 0;
  bool ok = false;
  std::string shown;
  if (n->is_integer()) {
    v = n->as_integer()->get();
    ok = true;
    shown = std::to_string(v);
  } else if (n->is_string() && unit == "bytes") {
    shown = n->as_string()->get();
    ok = ParseByteSize(shown, v);
    if (!ok) {
      Error(key, Quoted(key) + " must be a number of bytes, like 4194304 or \"4 MiB\", not \"" + shown + "\"");
      return def;
    }
  }
  std::string range = std::to_string(min) + " to " + std::to_string(max) + (unit.empty() ? "" : " " + std::string(unit));
  if (!ok) {
    TypeError(key, "a whole number from " + range);
    return def;
  }
  if (v < min || v > max) {
    Error(key, Quoted(key) + " must be " + range + ", not " + shown);
    return def;
  }
  return v;
}

double Section::Number(std::string_view key, double def, double min, double max) {
  const toml::node* n = Node(key);
  if (!n) return def;
  double v;
  if (n->is_floating_point()) v = n->as_floating_point()->get();
  else if (n->is_integer()) v = double(n->as_integer()->get());
  else {
    TypeError(key, "a number");
    return def;
  }
  if (!(v >= min && v <= max)) {  // also refuses nan
    char range[64];
    std::snprintf(range, sizeof range, "%g to %g", min, max);
    Error(key, Quoted(key) + " must be " + range);
    return def;
  }
  return v;
}

int Section::Choice(std::string_view key, std::span<const Word> words, int def) {
  const toml::node* n = Node(key);
  std::string list;
  for (const Word& w : words) list += (list.empty() ? "" : ", ") + std::string(w.word);
  if (!n) return def;
  if (!n->is_string()) {
    TypeError(key, "one of " + list);
    return def;
  }
  std::string_view v = n->as_string()->get();
  for (const Word& w : words)
    if (w.word == v) return w.value;
  std::set<std::string, std::less<>> known;
  for (const Word& w : words) known.insert(std::string(w.word));
  std::string near = Nearest(v, known);
  Error(key, Quoted(key) + " must be one of " + list + ", not \"" + std::string(v) + "\"" +
                 (near.empty() ? "" : " \u2014 did you mean \"" + near + "\"?"));
  return def;
}

uint32_t Section::Colour(std::string_view key, uint32_t def) {
  const toml::node* n = Node(key);
  if (!n) return def;
  std::string_view s = n->is_string() ? std::string_view(n->as_string()->get()) : std::string_view();
  if (s == "none") return 0xFFFFFFFF;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bool ok = s.size() == 7 || s.size() == 4;
  ok = ok && s[0] == '#';
  for (size_t i = 1; ok && i < s.size(); ++i) ok = hex(s[i]) >= 0;
  if (!ok) {
    Error(key, Quoted(key) + " must be a colour like \"#1E90FF\" (red, green, blue) or \"none\"" +
                   (n->is_string() ? ", not \"" + std::string(s) + "\"" : std::string()));
    return def;
  }
  int r, g, b;
  if (s.size() == 7) {
    r = hex(s[1]) * 16 + hex(s[2]), g = hex(s[3]) * 16 + hex(s[4]), b = hex(s[5]) * 16 + hex(s[6]);
  } else {
    r = hex(s[1]) * 17, g = hex(s[2]) * 17, b = hex(s[3]) * 17;
  }
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

std::u16string Section::Address(std::string_view key) {
  std::string s = Text(key);
  if (s.empty()) return {};
  std::string lower = s.substr(0, 8);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    Error(key, Quoted(key) + " must be a web address beginning with http:// or https://");
    return {};
  }
  if (s.find_first_of(" \t\r\n") != std::string::npos) {
    Error(key, Quoted(key) + " must be a web address without blanks (write %20 for a blank)");
    return {};
  }
  return Utf8ToUtf16(s);
}

std::optional<Section::Date> Section::DateValue(std::string_view key) {
  const toml::node* n = Node(key);
  if (!n) return std::nullopt;
  Date d{};
  bool ok = false;
  if (n->is_date()) {
    toml::date t = n->as_date()->get();
    d = {int(t.year), int(t.month), int(t.day)};
    ok = true;
  } else if (n->is_string()) {
    std::string_view s = n->as_string()->get();
    size_t pos = 0;
    ok = ParseDateText(s, pos, d) && pos == s.size();
  }
  if (!ok || d.year < 1 || !DaysInMonthOk(d.year, d.month, d.day)) {
    Error(key, Quoted(key) + " must be a date like 2026-12-10");
    return std::nullopt;
  }
  return d;
}

std::optional<Section::DateTime> Section::DateTimeValue(std::string_view key) {
  const toml::node* n = Node(key);
  if (!n) return std::nullopt;
  DateTime t{};
  bool ok = false;
  if (n->is_date_time()) {
    toml::date_time v = n->as_date_time()->get();
    t = {int(v.date.year), int(v.date.month), int(v.date.day), int(v.time.hour), int(v.time.minute), int(v.time.second)};
    ok = true;
  } else if (n->is_date()) {
    toml::date v = n->as_date()->get();
    t = {int(v.year), int(v.month), int(v.day), 0, 0, 0};
    ok = true;
  } else if (n->is_string()) {
    std::string_view s = n->as_string()->get();
    size_t pos = 0;
    Date d{};
    ok = ParseDateText(s, pos, d) && pos < s.size() && (s[pos] == ' ' || s[pos] == 'T') && ++pos &&
         ParseDigits(s, pos, 2, t.hour) && pos < s.size() && s[pos++] == ':' && ParseDigits(s, pos, 2, t.minute) &&
         pos < s.size() && s[pos++] == ':' && ParseDigits(s, pos, 2, t.second) && pos == s.size();
    t.year = d.year, t.month = d.month, t.day = d.day;
  }
  if (!ok || t.year < 1 || !DaysInMonthOk(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    Error(key, Quoted(key) + " must be a date and time like 2026-12-10 14:30:00");
    return std::nullopt;
  }
  return t;
}

Section* Section::SubTable(std::string_view key) {
  const toml::node* n = Node(key);
  if (!n) return nullptr;
  if (!n->is_table()) {
    TypeError(key, "a table, like { name = \"...\" }");
    return nullptr;
  }
  return &r_.sections_.emplace_back(r_, n->as_table(), name_ + "." + std::string(key), NodeLine(n, line_));
}

}  // namespace halberd::pack::project
