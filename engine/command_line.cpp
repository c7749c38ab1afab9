#include "engine/command_line.h"

#include <algorithm>

namespace halberd::engine {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Option letters are plain ASCII; folding only those keeps the match independent of the locale.
wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  size_t i = 0;
  for (; prefix[i] != 0; ++i) {
    if (i >= text.size() || FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

bool EqualsNoCase(const std::wstring& text, const wchar_t* word) {
  return StartsWithNoCase(text, word) && text.size() == std::char_traits<wchar_t>::length(word);
}

std::wstring WithoutEnclosingQuotes(const std::wstring& text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

void DropTrailingQuote(std::wstring& text) {
  if (!text.empty() && text.back() == L'"') text.pop_back();
}

void BackquotesToQuotes(std::wstring& text) { std::replace(text.begin(), text.end(), L'`', L'"'); }

// "X:\" keeps its backslash: without it the folder would name the current folder of drive X.
bool IsDriveRoot(const std::wstring& folder) {
  if (folder.size() != 3 || folder[1] != L':' || folder[2] != L'\\') return false;
  wchar_t letter = FoldAscii(folder[0]);
  return letter >= L'a' && letter <= L'z';
}

std::wstring FolderOverride(const std::wstring& value) {
  std::wstring folder = WithoutEnclosingQuotes(value);
  if (!folder.empty() && folder.back() == L'\\' && !IsDriveRoot(folder)) folder.pop_back();
  return folder;
}

// Backquotes stand for double quotes and each pair of tildes for a line break. The substitutions
// are made before the conversion to the ANSI code page: in a double-byte code page the bytes of
// "`" and "~" also occur as second bytes of other characters, which must not be touched.
std::string BatchCommands(std::wstring value, const AnsiConverter& to_ansi) {
  DropTrailingQuote(value);
  BackquotesToQuotes(value);
  std::wstring lines;
  lines.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == L'~' && i + 1 < value.size() && value[i + 1] == L'~') {
      lines += L"\r\n";
      ++i;
    } else {
      lines += value[i];
    }
  }
  if (to_ansi) return to_ansi(lines);
  std::string ascii;
  for (wchar_t c : lines) ascii += (unsigned(c) < 0x80) ? char(c) : '?';
  return ascii;
}

bool IsOption(const std::wstring& atom) { return atom[0] == L'/' || atom[0] == L'-'; }

enum class AtomResult { kTaken, kIllegal };

// Applies one atom without its leading "/" or "-". The table order matters: first match wins.
AtomResult TakeOption(const std::wstring& option, const AnsiConverter& to_ansi, CommandLine& out) {
  if (EqualsNoCase(option, L"a")) {
    out.automatic = true;
  } else if (StartsWithNoCase(option, L"d:")) {
    out.install_folder_override = FolderOverride(option.substr(2));
  } else if (StartsWithNoCase(option, L"n:")) {
    out.display_name = WithoutEnclosingQuotes(option.substr(2));
  } else if (StartsWithNoCase(option, L"u")) {
    out.uninstall = true;
    if (option.size() > 1 && option[1] == L':') {
      out.uninstall_product = WithoutEnclosingQuotes(option.substr(2));
    }
  } else if (StartsWithNoCase(option, L"r:\"")) {
    std::wstring command = option.substr(3);
    DropTrailingQuote(command);
    BackquotesToQuotes(command);
    out.launch_after = command;
  } else if (StartsWithNoCase(option, L"b1:\"") || StartsWithNoCase(option, L"b2:\"") ||
             StartsWithNoCase(option, L"b3:\"")) {
    out.extra_batch[option[1] - L'1'] = BatchCommands(option.substr(4), to_ansi);
  } else if (EqualsNoCase(option, L"silent")) {
    out.silent = true;
    out.automatic = true;
  } else if (EqualsNoCase(option, L"min")) {
    out.minimized = true;
  } else if (!option.empty()) {
    return AtomResult::kIllegal;
  }
  return AtomResult::kTaken;
}

}  // namespace

std::vector<std::wstring> SplitAtoms(const std::wstring& command_line) {
  std::vector<std::wstring> atoms;
  const size_t n = command_line.size();
  size_t i = 0;
  while (true) {
    while (i < n && IsBlank(command_line[i])) ++i;
    if (i >= n) break;
    std::wstring atom;
    while (i < n && !IsBlank(command_line[i])) {
      if (command_line[i] != L'"') {
        atom += command_line[i++];
        continue;
      }
      atom += L'"';
      ++i;
      while (i < n) {
        if (command_line[i] == L'"') {
          if (i + 1 < n && command_line[i + 1] == L'"') {
            atom += L'"';
            i += 2;
            continue;
          }
          atom += L'"';
          ++i;
          break;
        }
        atom += command_line[i++];
      }
    }
    atoms.push_back(std::move(atom));
  }
  if (!atoms.empty()) atoms.erase(atoms.begin());
  return atoms;
}

bool ParseCommandLine(const std::wstring& command_line, const AnsiConverter& to_ansi,
                      CommandLine& out) {
  out = CommandLine{};
  std::vector<std::wstring> atoms = SplitAtoms(command_line);
  if (atoms.size() > kMaxExaminedAtoms) atoms.resize(kMaxExaminedAtoms);

  std::wstring error;
  for (const std::wstring& atom : atoms) {
    if (!IsOption(atom)) {
      error = L"Unexpected command-line parameter:\r\n" + atom;
      break;
    }
    if (TakeOption(atom.substr(1), to_ansi, out) == AtomResult::kIllegal) {
      error = L"Illegal command-line atom:\r\n" + atom;
      break;
    }
  }
  if (error.empty() && out.uninstall && out.uninstall_product.empty()) {
    error = L"/u requires Product Name";
  }
  if (error.empty()) return true;

  // A caller that asked for silence gets none of the usage box, wherever /silent stood.
  bool silent = std::any_of(atoms.begin(), atoms.end(), [](const std::wstring& atom) {
    return IsOption(atom) && EqualsNoCase(atom.substr(1), L"silent");
  });
  out = CommandLine{};
  out.silent = silent;
  out.automatic = silent;
  out.error = std::move(error);
  return false;
}

std::wstring UsageText(const std::wstring& error_line, const std::wstring& program_file_name) {
  std::wstring text;
  text += error_line + L"\r\n";
  text += L"\r\n";
  text += L"Usage:\r\n";
  text += program_file_name +
          L" [/a] [/b1:\"commands\"] [/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"]"
          L" [/n:\"name\"] [/u:\"name\"] [/r:\"program\"] [/silent]\r\n";
  text += L"\r\n";
  text += L"/a                  \tAutomatic mode.\r\n";
  text += L"/d:\"dir\"        \tOverride installation path.\r\n";
  text += L"/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n";
  text += L"/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n";
  text += L"/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n";
  text += L"/n:\"name\"\tOverride product name.\r\n";
  text += L"/u:\"name\"\tUninstall product by name.\r\n";
  text += L"/r:\"program\"\tRun the specified program after a successful installation.\r\n";
  text += L"/silent\tDisplay no user interface.";
  return text;
}

}  // namespace halberd::engine
