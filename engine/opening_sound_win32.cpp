#include "engine/opening_sound.h"

#include <windows.h>
#include <mmsystem.h>

#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "foundation/fs_redirection.h"
#include "foundation/system_library.h"

namespace halberd::engine {

void PlayOpeningSound() {
  const std::string& sound = Script().opening_sound;  // kept for the whole run, as playing needs
  if (Run().automatic || sound.empty()) return;
  using PlaySoundFn = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
  // The sound system loads its drivers on the first call, from the system folder.
  RedirectionOnScope redirection_on(ProcessFsRedirection());
  auto play = SystemFunction<PlaySoundFn>(L"winmm.dll", "PlaySoundW");
  if (play) play(reinterpret_cast<LPCWSTR>(sound.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

}  // namespace halberd::engine
