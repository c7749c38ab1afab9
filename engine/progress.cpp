#include "engine/progress.h"

namespace halberd::engine {
namespace {
int g_percent = 0;
std::wstring g_status;
ProgressListener g_listener = nullptr;
}  // namespace
void SetProgress(int percent) {
  g_percent = percent;
  if (g_listener) g_listener(ProgressChange::kPosition);
}
int Progress() { return g_percent; }
void ProgressPulse() {
  if (g_listener) g_listener(ProgressChange::kPulse);
}
void SetStatusText(const std::wstring& text) {
  g_status = text;
  if (g_listener) g_listener(ProgressChange::kStatus);
}
void SetProgressListener(ProgressListener listener) { g_listener = listener; }
const std::wstring& StatusText() { return g_status; }
}  // namespace halberd::engine
