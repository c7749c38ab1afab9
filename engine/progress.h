// Position of the progress bar (0-100) and the status line above it. The progress page shows them
// once it exists.
#pragma once
#include <string>

namespace halberd::engine {
void SetProgress(int percent);
int Progress();
void SetStatusText(const std::wstring& text);
const std::wstring& StatusText();
// Told of every change (the progress page shows it); nullptr: nobody.
using ProgressListener = void (*)(bool status_changed);
void SetProgressListener(ProgressListener listener);
}  // namespace halberd::engine
