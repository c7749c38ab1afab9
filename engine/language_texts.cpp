#include "engine/language_texts.h"

namespace halberd::engine {

namespace {
const std::vector<std::vector<std::u16string>>* g_rows = nullptr;
int g_language = 0;
}  // namespace

void SetLanguageTable(const std::vector<std::vector<std::u16string>>* rows, int current_language) {
  g_rows = rows;
  g_language = current_language;
}

void SetCurrentLanguage(int language) { g_language = language; }

std::wstring LanguageText(int n) {
  if (!g_rows || n < 0 || size_t(n) >= g_rows->size()) return {};
  const auto& row = (*g_rows)[size_t(n)];
  if (g_language < 0 || size_t(g_language) >= row.size()) return {};
  const std::u16string& t = row[size_t(g_language)];
  return std::wstring(t.begin(), t.end());
}

}  // namespace halberd::engine
