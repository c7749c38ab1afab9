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

// Every text number the installer and the uninstaller show, with the conversions the caller
// fills in. Numbers 29, 32, 36, 62 and 97 are not used.
constexpr EngineText kEngineTexts[] = {
    {0, "", false},       // window title, product title on the background
    {1, "", false},       // greeting
    {2, "", false},       // caption: an earlier installation was found
    {3, "", false},       // install type: reinstall, versions not compared
    {4, "", false},       // install type: same version
    {5, "", false},       // install type: upgrade
    {6, "", false},       // install type: downgrade
    {7, "", false},       // question after the install type
    {8, "", false},       // status: unpacking files
    {9, "", false},       // earlier version must be uninstalled first
    {10, "%s", false},    // uninstaller: failures (the list)
    {11, "", false},      // folder page prompt, folder browser title
    {12, "%s", false},    // master product missing (its name)
    {13, "%d", false},    // corrupt installer (the code)
    {14, "", false},      // folder not valid
    {15, "", false},      // uninstaller: completion caption
    {16, "%s", false},    // drive not available (the drive)
    {17, "", false},      // drive root refused
    {18, "%s", false},    // Program Files itself refused (the folder)
    {19, "%s%s", false},  // disk space question (needed, available)
    {20, "", false},      // caption of questions
    {21, "", false},      // caption of errors
    {22, "%s", false},    // confirm existing folder (the folder)
    {23, "%s", false},    // confirm new folder (the folder)
    {24, "", false},      // folder page title, caption of the confirmation
    {25, "", false},      // folder could not be created
    {26, "", false},      // status: completing
    {27, "", false},      // password label
    {28, "", false},      // cancel question
    {30, "", false},      // folder with characters outside ASCII
    {31, "", false},      // prefix of an item not installed
    {33, "", false},      // uninstall shortcut name
    {34, "", false},      // uninstaller: completion message
    {35, "", false},      // uninstaller: shared-file question caption
    {37, "", false},      // restart question
    {38, "%s", false},    // name of an unnamed shortcut (the file name)
    {39, "", false},      // progress heading, installing
    {40, "%s", false},    // problems, view the log? (the log path)
    {41, "", false},      // caption of 40
    {42, "", false},      // summary message
    {43, "", false},      // summary title, last line of the log
    {44, "", false},      // licence page title
    {45, "", false},      // agree button
    {46, "", false},      // disagree button
    {47, "", false},      // licence prompt
    {48, "", false},      // Next
    {49, "", false},      // Cancel
    {50, "", false},      // readme page title
    {51, "", false},      // readme prompt
    {52, "", false},      // Browse
    {53, "", false},      // uninstaller: confirmation
    {54, "", false},      // progress title, installing; status while installing
    {55, "", false},      // uninstaller: caption, progress title
    {56, "%s", false},    // uninstaller: font question (the font)
    {57, "", false},      // uninstaller: font question caption
    {58, "", false},      // uninstaller: prefix of a file not removed
    {59, "%s", false},    // uninstaller: shared-file question (the file)
    {60, "%s", false},    // Windows too old (the version)
    {61, "%s", false},    // Windows excluded (its name)
    {63, "", true},       // further licence text of the language
    {64, "", true},       // further readme text of the language
    {65, "", false},      // window caption of pages and messages
    {66, "", false},      // network folder refused
    {67, "", false},      // uninstaller status: fonts
    {68, "", false},      // uninstaller status: files
    {69, "", false},      // uninstaller status: registry
    {70, "", false},      // uninstaller status: associations
    {71, "", false},      // progress heading, uninstalling
    {72, "", false},      // over-installation question
    {73, "%s", false},    // folder not writable (the folder)
    {74, "", false},      // uninstaller: restart question
    {75, "", false},      // password page title
    {76, "", false},      // password prompt
    {77, "", false},      // status: registering <file>
    {78, "", false},      // status: registry entries
    {79, "", false},      // Yes
    {80, "", false},      // No
    {81, "%d", false},    // wrong bitness (32 or 64)
    {82, "", false},      // language page prompt
    {83, "", false},      // summary: show document
    {84, "", false},      // summary: start program
    {85, "", false},      // summary: view log
    {86, "", false},      // log shortcut name
    {87, "", false},      // summary: second document or web page
    {88, "", false},      // Start menu page prompt
    {89, "", false},      // Start menu page title
    {90, "", false},      // Install button
    {91, "", false},      // another installer running
    {92, "", false},      // space needed
    {93, "", false},      // space available
    {94, "", false},      // language page title
    {95, "", false},      // Finish button
    {96, "%s", false},    // drive refused (the drive)
    {98, "", false},      // installation cancelled
    {99, "%s", false},    // close a program (its name)
    {100, "", false},     // Retry
    {101, "", false},     // uninstallation cancelled
    {102, "", false},     // wrong password
    {103, "", false},     // greeting title
    {104, "", false},     // Continue
    {105, "", false},     // greeting link line with <a>
    {106, "%s", false},   // downgrade refused (the lowest version)
    {107, "%s", false},   // uninstaller: close a program (its name)
    {108, "", false},     // uninstaller status: installer packages
    {109, "", false},     // uninstaller: support offer
    {110, "", false},     // support button and caption
    {111, "", false},     // cancelled caption
    {112, "%s%s", false}, // master product too old (version, name)
    {113, "", false},     // status: preparing
    {114, "", true},      // page caption override
    {115, "", false},     // Yes to all
    {116, "", false},     // No to all
    {117, "", false},     // choose the folder again
};

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

std::span<const EngineText> EngineTexts() { return kEngineTexts; }

const EngineText* FindEngineText(int number) {
  auto it = std::lower_bound(std::begin(kEngineTexts), std::end(kEngineTexts), number,
                             [](const EngineText& t, int n) { return t.number < n; });
  return it != std::end(kEngineTexts) && it->number == number ? &*it : nullptr;
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
