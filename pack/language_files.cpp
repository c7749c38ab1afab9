#include "pack/language_files.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "foundation/text_convert.h"
#include "pack/text_checks.h"

namespace halberd::pack {

namespace fs = std::filesystem;

namespace {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool ParseNumber(std::string_view s, int& n) {
  if (s.empty() || s.size() > 4) return false;
  n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return true;
}

// Escapes: \n line break, \r, \t, \\ backslash. Returns false with the bad escape.
bool Unescape(std::string_view s, std::string& out, std::string& bad) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    char c = i + 1 < s.size() ? s[i + 1] : '\0';
    switch (c) {
      case 'n': out += "\r\n"; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default:
        bad = std::string("\\") + (c ? std::string(1, c) : std::string());
        return false;
    }
    ++i;
  }
  return true;
}

// A physical line continues on the next when it ends with an odd number of backslashes.
bool EndsWithContinuation(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && s[s.size() - 1 - n] == '\\') ++n;
  return n % 2 == 1;
}

}  // namespace

std::span<const EngineText> EngineTexts() { return text::kEngineTexts; }

const EngineText* FindEngineText(int number) {
  auto it = std::lower_bound(std::begin(text::kEngineTexts), std::end(text::kEngineTexts), number,
                             [](const EngineText& t, int n) { return t.number < n; });
  return it != std::end(text::kEngineTexts) && it->number == number ? &*it : nullptr;
}

std::string Placeholders(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') continue;
    if (i + 1 < text.size() && text[i + 1] == u'%') {
      ++i;
      continue;
    }
    // Flags, width, precision and length, then the conversion letter; kept as written so that
    // "%5s" or "%ls" does not pass for "%s".
    size_t j = i + 1;
    while (j < text.size() && text[j] < 0x80 && std::string_view("-+ #0123456789.*$hlLqjztI").find(char(text[j])) !=
                                                   std::string_view::npos)
      ++j;
    std::string spec = "%";
    for (size_t k = i + 1; k <= j && k < text.size(); ++k) spec += text[k] < 0x80 ? char(text[k]) : '?';
    out += spec;
    i = j;
  }
  return out;
}

void ParseLanguageFile(std::string_view content, const std::string& path, LanguageFile& out, Diagnostics& diag) {
  out.path = path;
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  if (!IsValidUtf8(content)) {
    diag.Error(path, 0, "the file is not UTF-8 text");
    return;
  }
  std::vector<std::string_view> lines;
  for (size_t start = 0; start <= content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    const int line_number = int(i) + 1;
    std::string_view first = Trim(lines[i]);
    if (first.empty() || first[0] == '#') continue;
    std::string logical(lines[i]);
    while (EndsWithContinuation(logical) && i + 1 < lines.size()) {
      logical.pop_back();
      logical += Trim(lines[++i]);
    }
    std::string_view entry = Trim(logical);
    size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      diag.Error(path, line_number, "expected `NUMBER = text` or `language = NAME`, not `" + std::string(entry) + "`");
      continue;
    }
    std::string_view key = Trim(entry.substr(0, eq));
    std::string_view value = Trim(entry.substr(eq + 1));
    std::string text, bad;
    if (!Unescape(value, text, bad)) {
      diag.Error(path, line_number, "unknown escape `" + bad + "`: use \\n for a line break, \\t for a tab and \\\\ for a backslash");
      continue;
    }
    if (key == "language") {
      if (text.empty()) diag.Error(path, line_number, "the language name is empty");
      else if (!out.name.empty()) diag.Error(path, line_number, "the language name is given twice (first on line " + std::to_string(out.name_line) + ")");
      else out.name = text, out.name_line = line_number;
      continue;
    }
    int number = 0;
    if (!ParseNumber(key, number)) {
      diag.Error(path, line_number, "`" + std::string(key) + "` is not a text number (0 to " + std::to_string(kMaxTextNumber) + ") or `language`");
      continue;
    }
    auto [it, added] = out.texts.try_emplace(number, LanguageText{Utf8ToUtf16(text), line_number});
    if (!added)
      diag.Error(path, line_number, "text " + std::to_string(number) + " is given twice (first on line " + std::to_string(it->second.line) + ")");
  }
}

bool ReadLanguageFile(const fs::path& file, const std::string& shown_path, LanguageFile& out, Diagnostics& diag) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    diag.Error(shown_path, 0, "missing language file");
    return false;
  }
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    diag.Error(shown_path, 0, "cannot read the language file");
    return false;
  }
  ParseLanguageFile(content, shown_path, out, diag);
  return true;
}

fs::path FindLanguageFolder(const fs::path& tool_path) {
  std::error_code ec;
  if (const char* env = std::getenv("HALBERD_LANGUAGES"); env && *env) return fs::path(env);
  fs::path dir = tool_path.parent_path();
  for (const fs::path& candidate : {dir / "languages", dir / ".." / "share" / "halberd" / "languages",
                                    dir / ".." / ".." / ".." / "pack" / "languages"}) {
    if (fs::is_directory(candidate, ec)) return candidate.lexically_normal();
  }
  return {};
}

}  // namespace halberd::pack
