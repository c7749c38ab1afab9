// Position of the progress bar (0-100). The progress page shows it once it exists.
#pragma once

namespace halberd::engine {
void SetProgress(int percent);
int Progress();
}  // namespace halberd::engine
