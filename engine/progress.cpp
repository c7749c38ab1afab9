#include "engine/progress.h"

namespace halberd::engine {
namespace {
int g_percent = 0;
}
void SetProgress(int percent) { g_percent = percent; }
int Progress() { return g_percent; }
}  // namespace halberd::engine
