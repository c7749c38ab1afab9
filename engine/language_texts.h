// Texts of the current language, fetched by number with the language tokens replaced. Before the
// language table is loaded (and for a number outside it, or a row without the current language)
// a text is empty, so callers supply a built-in fallback where the text matters ("Error" for the
// error caption, for example).
//
// The language tokens, replaced in every text taken from the table, case ignored, all
// occurrences, in this order:
//   <product>      the display name
//   <description>  the product description
//   <os>           the Windows folder
//   <lbdate>       the build date of the installation data in the user's short date format;
//                  empty when the build date is unknown (month 0)
// Each token's pass scans the text as the previous passes left it, so a display name that holds
// "<os>" gets the Windows folder; the text a pass inserts is not scanned again by that pass.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format/setup_script.h"

namespace halberd::engine {

struct LanguageTokens {
  std::u16string product;
  std::u16string description;
  std::u16string windows_folder;
  std::u16string build_date;
};

// Every occurrence of `find` in `text`, left to right and not overlapping, replaced by
// `replacement`; with `ignore_case`, ASCII letters match either case. An empty `find` matches
// nothing.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find, std::u16string_view replacement,
                          bool ignore_case);

std::u16string ReplaceLanguageTokens(std::u16string_view text, const LanguageTokens& tokens);

// The table of the run, rows[n][language]; it stays owned by the caller for the whole run. This
// form sets the texts alone (no language names, tokens kept as they are).
void SetLanguageTable(const std::vector<std::vector<std::u16string>>* rows, int current_language);
void SetLanguageTokens(const LanguageTokens& tokens);
void SetCurrentLanguage(int language);
int CurrentLanguage();

// Text n of the current language, tokens replaced.
std::u16string LanguageText16(int n);
std::wstring LanguageText(int n);

// Loads the run's language table (kept by reference for the whole run): the default language
// becomes current and its name the `Language` setting; the script's dialog caption gets its tokens
// replaced, and a non-empty text 114 replaces it; text 0 becomes the window title. The captions and
// the language name go to the product settings.
void LoadLanguageTable(const format::LanguageTable& table, const LanguageTokens& tokens,
                       std::u16string_view script_caption);

// The language page's choice: language `index` becomes current, with the same effects on the
// `Language` setting, the dialog caption and the window title. False, and nothing changed, when
// the index is outside the loaded table.
bool SelectLanguage(size_t index);

// Whether the date exists in the Gregorian calendar (years 1601-30827, the range Windows dates
// take); month 0, the unknown build date, is not a date.
bool IsCalendarDate(const format::BuildDate& date);

// Windows only (language_texts_win32.cpp).
// The date in the user's short date format; empty when the month is 0 or the date is not one.
std::u16string ShortDateText(const format::BuildDate& date);
// The token values of this run: the display name and description of the product settings, the
// Windows folder (no trailing backslash except at a drive root) and the script's build date.
LanguageTokens RunLanguageTokens(const format::SetupScript& script);
// Text n in the system ANSI code page, characters the code page lacks as "?".
std::string LanguageTextA(int n);
std::string ToAnsiCodePage(std::u16string_view text);

}  // namespace halberd::engine
