// Texts of the current language, fetched by number. Before the language table is loaded (and
// for a number outside it) a text is empty, so callers supply a built-in fallback where the text
// matters.
#pragma once
#include <string>
#include <vector>

namespace halberd::engine {

// rows[n][language]; the table stays owned by the caller for the whole run.
void SetLanguageTable(const std::vector<std::vector<std::u16string>>* rows, int current_language);
void SetCurrentLanguage(int language);
std::wstring LanguageText(int n);

}  // namespace halberd::engine
