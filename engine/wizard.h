// The wizard as the install run calls it: each step shows its page under the page's own
// condition (silent runs show none, automatic runs none that asks), and reacts to the answer:
// a cancelled page ends the run with exit code 12 (Windows only).
#pragma once
#include <string>

namespace halberd::engine {

// After the background window: the pages' texts, captions, prompts and the common controls.
void PrepareWizard();
void RunLanguagePage();
// The greeting, the password and the licence and readme pages, in this order.
void RunGreetingPage();
void RunPasswordPage();
void RunDocumentPages();
// The Start-menu folder page; `folder` is updated when the user goes on.
void RunStartMenuPage(std::u16string& folder);
// The progress page from the start of the installation to its end (after the minimum time).
void OpenProgressPage();
void CloseProgressPage();
// The summary page; true when the user asked to see the install log.
bool RunSummaryPage();

}  // namespace halberd::engine
