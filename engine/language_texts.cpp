#include "engine/language_texts.h"

#include "engine/product_settings.h"
#include "foundation/format/text_numbers.h"

namespace halberd::engine {

namespace {

const std::vector<std::vector<std::u16string>>* g_rows = nullptr;
const std::vector<std::u16string>* g_names = nullptr;
int g_language = 0;
LanguageTokens g_tokens;
std::u16string g_script_caption;  // the script's dialog caption, tokens replaced

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

bool MatchesAt(std::u16string_view text, size_t at, std::u16string_view find, bool ignore_case) {
  if (text.size() - at < find.size()) return false;
  for (size_t k = 0; k < find.size(); ++k) {
    char16_t a = text[at + k], b = find[k];
    if (ignore_case ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
  }
  return true;
}

// The captions that follow from the current language.
void SettleCaptions() {
  ProductSettings& settings = Settings();
  if (g_names && size_t(g_language) < g_names->size()) settings.Language = (*g_names)[size_t(g_language)];
  std::u16string override_caption = LanguageText16(text::kDialogCaptionOverride);
  settings.dialog_caption = override_caption.empty() ? g_script_caption : override_caption;
  settings.window_title = LanguageText16(text::kWindowTitle);
}

}  // namespace

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find, std::u16string_view replacement,
                          bool ignore_case) {
  if (find.empty()) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (MatchesAt(text, i, find, ignore_case)) {
      out += replacement;
      i += find.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::u16string ReplaceLanguageTokens(std::u16string_view text, const LanguageTokens& tokens) {
  if (text.find(u'<') == std::u16string_view::npos) return std::u16string(text);
  std::u16string out = ReplaceAll(text, u"<product>", tokens.product, true);
  out = ReplaceAll(out, u"<description>", tokens.description, true);
  out = ReplaceAll(out, u"<os>", tokens.windows_folder, true);
  return ReplaceAll(out, u"<lbdate>", tokens.build_date, true);
}

bool IsCalendarDate(const format::BuildDate& date) {
  static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.year < 1601 || date.year > 30827 || date.month < 1 || date.month > 12 || date.day < 1) return false;
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  return date.day <= kDays[date.month - 1] + ((date.month == 2 && leap) ? 1 : 0);
}

void SetLanguageTable(const std::vector<std::vector<std::u16string>>* rows, int current_language) {
  g_rows = rows;
  g_names = nullptr;
  g_language = current_language;
}

void SetLanguageTokens(const LanguageTokens& tokens) { g_tokens = tokens; }

void SetCurrentLanguage(int language) { g_language = language; }

int CurrentLanguage() { return g_language; }

std::u16string LanguageText16(int n) {
  if (!g_rows || n < 0 || size_t(n) >= g_rows->size()) return {};
  const auto& row = (*g_rows)[size_t(n)];
  if (g_language < 0 || size_t(g_language) >= row.size()) return {};
  return ReplaceLanguageTokens(row[size_t(g_language)], g_tokens);
}

std::wstring LanguageText(int n) {
  std::u16string t = LanguageText16(n);
  return std::wstring(t.begin(), t.end());
}

void LoadLanguageTable(const format::LanguageTable& table, const LanguageTokens& tokens,
                       std::u16string_view script_caption) {
  g_rows = &table.rows;
  g_names = &table.names;
  g_language = int(table.DefaultLanguage());
  g_tokens = tokens;
  g_script_caption = ReplaceLanguageTokens(script_caption, tokens);
  SettleCaptions();
}

bool SelectLanguage(size_t index) {
  if (!g_names || index >= g_names->size()) return false;
  g_language = int(index);
  SettleCaptions();
  return true;
}

}  // namespace halberd::engine
