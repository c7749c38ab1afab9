// Position of the progress bar (0-100) and the status line above it. The progress page shows them
// once it exists.
#pragma once
#include <string>

namespace halberd::engine {
void SetProgress(int percent);
int Progress();
void SetStatusText(const std::wstring& text);
const std::wstring& StatusText();
// Between two steps of a long piece of work (a big file's blocks): the listener answers the
// engine thread's own windows without the bar moving.
void ProgressPulse();
// Told of every change (the progress page shows it); nullptr: nobody.
enum class ProgressChange { kPosition, kStatus, kPulse };
using ProgressListener = void (*)(ProgressChange change);
void SetProgressListener(ProgressListener listener);
}  // namespace halberd::engine
