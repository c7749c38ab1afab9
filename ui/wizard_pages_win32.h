// The modal wizard pages: Language, Greeting, License and Readme, EnterPassword, ChooseDir,
// StartMenu and Summary. Each call shows one page through the common runner and returns the id
// of the button that ended it (1001 forward, 1003 cancel) or -1 when the page could not be
// shown; the values the user chose come back through the reference arguments.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/wizard_layout.h"

namespace halberd::ui {

// `names` in script order; `index` in: preselected, out: chosen. `select` makes a language
// current while the selection moves (the page then re-reads its texts).
INT_PTR ShowLanguagePage(int32_t style, const std::vector<std::wstring>& names, size_t& index,
                         void (*select)(size_t index));
// Styles 1-3 (style 0 is a message box, the caller's). `link` is the link control's text
// (GreetingLinkText), `address` what a click opens.
INT_PTR ShowGreetingPage(int32_t style, const std::wstring& text, const std::wstring& link, const std::wstring& address,
                         void (*link_clicked)());

// A licence or readme text: RTF bytes (from "{\rtf") or a plain text.
struct Document {
  bool rtf = false;
  std::string rtf_bytes;
  std::wstring text;
};
INT_PTR ShowDocumentPage(Page page, int32_t style, const Document& document, bool read_to_end);

INT_PTR ShowPasswordPage(const std::wstring& password);

// `needed`: bytes the installation needs; `space_lines`: show the two disk-space lines.
INT_PTR ShowFolderPage(int32_t style, std::wstring& folder, bool space_lines, uint64_t needed);
// `programs`: the Start menu's programs folder the browser starts from.
INT_PTR ShowStartMenuPage(int32_t style, std::wstring& folder, const std::wstring& programs);

// `shown`: the boxes that apply; `checked` in: their initial states, out: as left by the user
// (a hidden box is off).
INT_PTR ShowSummaryPage(int32_t style, const SummaryChoices& shown, SummaryChoices& checked);

}  // namespace halberd::ui
