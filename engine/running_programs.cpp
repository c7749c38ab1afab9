#include "engine/running_programs.h"

namespace halberd::engine {

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
  if (part.empty()) return true;
  for (size_t at = 0; at + part.size() <= text.size(); ++at)
    if (EqualNoCase(text.substr(at, part.size()), part)) return true;
  return false;
}

}  // namespace

bool WindowPatternMatches(std::u16string_view pattern, std::u16string_view text) {
  if (pattern.empty()) return true;
  if (pattern.front() == u'*') return ContainsNoCase(text, pattern.substr(1));
  return EqualNoCase(pattern, text);
}

const format::AutoCloseEntry* FindCloseEntry(const std::vector<format::AutoCloseEntry>& entries,
                                             std::u16string_view window_class, std::u16string_view window_title) {
  for (const format::AutoCloseEntry& e : entries) {
    if (!(e.flags & kCloseWhileInstalling)) continue;
    if (WindowPatternMatches(e.window_class, window_class) && WindowPatternMatches(e.window_title, window_title))
      return &e;
  }
  return nullptr;
}

std::vector<format::AutoCloseEntry> EntriesForUninstall(const std::vector<format::AutoCloseEntry>& entries) {
  std::vector<format::AutoCloseEntry> kept;
  for (const format::AutoCloseEntry& e : entries)
    if (e.flags & kCloseWhileUninstalling) kept.push_back(e);
  return kept;
}

}  // namespace halberd::engine
