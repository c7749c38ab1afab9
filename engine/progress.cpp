#include "engine/progress.h"

namespace halberd::engine {
namespace {
int g_percent = 0;
std::wstring g_status;
}
void SetProgress(int percent) { g_percent = percent; }
int Progress() { return g_percent; }
void SetStatusText(const std::wstring& text) { g_status = text; }
const std::wstring& StatusText() { return g_status; }
}  // namespace halberd::engine
