// Position of the progress bar (0-100) and the status line above it. The progress page shows them
// once it exists.
#pragma once
#include <string>

namespace halberd::engine {
void SetProgress(int percent);
int Progress();
void SetStatusText(const std::wstring& text);
const std::wstring& StatusText();
}  // namespace halberd::engine
