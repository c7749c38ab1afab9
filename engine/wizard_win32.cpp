// The wizard as the install run calls it (see the header).
#include "engine/wizard.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include "engine/exit_routine.h"
#include "engine/language_texts.h"
#include "engine/messages.h"
#include "engine/product_settings.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/message_pump.h"
#include "ui/background_window_win32.h"
#include "ui/look_win32.h"
#include "ui/page_runner_win32.h"
#include "ui/progress_page_win32.h"
#include "ui/wizard_pages_win32.h"

namespace halberd::engine {

namespace {

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring CurrentDialogCaption() { return ToWide(Settings().dialog_caption); }

int PageMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
  return ShowMessage(text, caption, flags);
}

bool PagesShown() { return !Run().silent; }
bool Asking() { return !Run().silent && !Run().automatic; }

// -1 (no page could be shown) counts as cancel.
void CancelUnlessForward(INT_PTR result) {
  if (result != ui::kIdForward) CancelRun(exit_code::kCancelled);
}

void SelectLanguageFromPage(size_t index) {
  SelectLanguage(index);
  ui::SetBackgroundTitle(LanguageText(text::kWindowTitle).c_str());
}

// Status and position reach the progress page; the engine's own windows are kept answering, and
// a confirmed Cancel ends the run here, on the engine's thread.
DWORD g_last_status = 0;
void OnProgress(ProgressChange change) {
  if (change == ProgressChange::kStatus) {
    g_last_status = GetTickCount();
    ui::SetProgressStatus(StatusText());
  } else if (change == ProgressChange::kPosition) {
    ui::SetProgressPosition(Progress());
  }
  PumpPendingMessages();
  // Not in the middle of a piece of work (a pulse): a half-written file would stay behind.
  if (change != ProgressChange::kPulse && ui::ProgressCancelConfirmed()) CancelRun(exit_code::kCancelled);
}

ui::Document DocumentOf(std::string_view bytes) {
  ui::Document document;
  if (format::DocumentIsRtf(bytes)) {
    document.rtf = true;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    document.rtf_bytes = std::string(bytes);
  } else {
    document.text = ToWide(ReplaceLanguageTokens(format::DocumentPlainText(bytes), RunLanguageTokens(Script())));
  }
  return document;
}

void ShowDocuments(ui::Page page, const std::vector<std::string>& texts, int further, int32_t style, bool read_to_end) {
  std::vector<ui::Document> documents;
  for (const std::string& bytes : texts)
    if (!bytes.empty()) documents.push_back(DocumentOf(bytes));
  std::wstring extra = LanguageText(further);
  if (!extra.empty()) documents.push_back({false, {}, extra});
  for (const ui::Document& document : documents)
    CancelUnlessForward(ui::ShowDocumentPage(page, style, document, read_to_end));
}

}  // namespace

void PrepareWizard() {
  ui::PageEnvironment environment;
  environment.text = &LanguageText;
  environment.dialog_caption = &CurrentDialogCaption;
  environment.message = &PageMessage;
  environment.icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  ui::SetPageEnvironment(environment);
  if (!PagesShown()) return;
  // The common controls (progress bar, link) by name from the system folder only, so that the
  // manifest's version 6 is the one loaded.
  if (HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    if (init) init(&controls);
  }
  // The folder picker needs OLE on this thread.
  if (SUCCEEDED(OleInitialize(nullptr))) AtExitRun([] { OleUninitialize(); });
  SetProgressListener(&OnProgress);
}

void RunLanguagePage() {
  const format::LanguageTable& table = Script().languages;
  if (!Asking() || table.names.size() < 2) return;
  std::vector<std::wstring> names;
  for (const std::u16string& name : table.names) names.push_back(ToWide(name));
  wchar_t locale_name[LOCALE_NAME_MAX_LENGTH] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNATIVELANGNAME, locale_name, LOCALE_NAME_MAX_LENGTH);
  std::wstring locale(locale_name);
  size_t index = ui::PreselectedLanguage(table.names, std::u16string(locale.begin(), locale.end()));
  CancelUnlessForward(ui::ShowLanguagePage(Script().settings.language_style, names, index, &SelectLanguageFromPage));
  SelectLanguageFromPage(index);
}

void RunGreetingPage() {
  const RunState& run = Run();
  if (run.silent) return;
  bool forced = run.ProductFlags & format::kFlagGreetingWhenAutomatic;
  if (!forced && (run.automatic || (run.ProductFlags & format::kFlagNoGreeting))) return;
  const format::SetupScript& script = Script();
  std::wstring greeting = LanguageText(text::kGreeting);
  if (!script.addresses.greeting_text.empty())
    greeting += (greeting.empty() ? L"" : L"\r\n\r\n") + ToWide(script.addresses.greeting_text);
  int32_t style = script.settings.greeting_style;
  if (ui::PageLayout(style) == 0) {
    // The plain layout shows the greeting as a question box: "OK" goes on, text 49 declines.
    if (ShowMessage(greeting, LanguageText(text::kPageCaption), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) CancelRunQuietly();
    return;
  }
  std::wstring link = ToWide(ui::GreetingLinkText(LanguageText16(text::kGreetingLink), script.greeting_link));
  INT_PTR result = ui::ShowGreetingPage(style, greeting, link, ToWide(script.greeting_link), nullptr);
  if (result == -1) ShowMessage(L"Failed to create the dialog.", L"Fatal Error", MB_OK | MB_ICONERROR);
  if (result != ui::kIdForward) CancelRunQuietly();
}

void RunPasswordPage() {
  const std::u16string& password = Script().password;
  if (password.empty() || Run().silent) return;
  CancelUnlessForward(ui::ShowPasswordPage(ToWide(password)));
}

void RunDocumentPages() {
  if (!PagesShown()) return;
  const format::SetupScript& script = Script();
  // A product may require the licence to be read to the end (the pack tool's option); not yet in
  // the script, so Agree is enabled at once.
  ShowDocuments(ui::Page::kLicense, script.license_texts, text::kFurtherLicence, script.settings.license_style, false);
  ShowDocuments(ui::Page::kReadme, script.readme_texts, text::kFurtherReadme, script.settings.readme_style, false);
}

void RunStartMenuPage(std::u16string& folder) {
  std::wstring wide = ToWide(folder);
  wchar_t programs[MAX_PATH] = {};
  int which = Settings().ShortcutMode == 1 ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
  SHGetFolderPathW(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, programs);
  CancelUnlessForward(ui::ShowStartMenuPage(Script().settings.start_menu_style, wide, programs));
  folder.assign(wide.begin(), wide.end());
}

void OpenProgressPage() {
  if (!PagesShown()) return;
  const format::SetupScript& script = Script();
  ui::ProgressOptions options;
  options.style = script.settings.ProgressStyle;
  options.uninstalling = Run().uninstall;
  options.placement = script.progress_page_value;
  options.full_screen = (Run().ProductFlags & format::kFlagFullScreenBackground) != 0;
  ui::OpenProgressPage(options);
  ui::SetProgressStatus(StatusText());
  ui::SetProgressPosition(Progress());
}

void CloseProgressPage() {
  if (!ui::ProgressPageWindow()) return;
  // The last status line stays visible for the script's minimum time.
  uint16_t minimum = Script().dwell_time;
  if (!Run().automatic && minimum < 10000) {
    while (GetTickCount() - g_last_status < minimum) {
      PumpPendingMessages();
      Sleep(50);
    }
  }
  ui::CloseProgressPage();
}

bool RunSummaryPage() {
  RunState& run = Run();
  const format::EndOfRunAddresses& a = Script().addresses;
  ui::SummaryChoices shown;
  shown.start_program = !a.launch_program.empty();
  shown.show_document = !a.open_document.empty();
  shown.second_document = !a.open_document_2.empty();
  shown.view_log = (run.ProductFlags & format::kFlagOfferLog) && (run.ProductFlags & format::kFlagAlwaysWriteLog);
  ui::SummaryChoices checked{shown.start_program, shown.show_document, shown.second_document, false};
  INT_PTR result = ui::ShowSummaryPage(Script().settings.summary_style, shown, checked);
  if (result == -1) {
    ShowMessage(LanguageText(text::kInstallComplete), LanguageText(text::kInstallCompleteCaption), MB_OK | MB_ICONINFORMATION);
    return false;
  }
  run.end_start_program = checked.start_program;
  run.end_show_document = checked.show_document;
  run.end_second_document = checked.second_document;
  return checked.view_log;
}

}  // namespace halberd::engine
