// The opening sound of the setup script, played once the platform checks have passed (Windows
// only). Nothing is played in automatic mode or when the script carries no sound; an invalid sound
// plays nothing rather than the system's default sound.
#pragma once

namespace halberd::engine {

void PlayOpeningSound();

}  // namespace halberd::engine
