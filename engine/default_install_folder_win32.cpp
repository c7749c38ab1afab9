#include "engine/default_install_folder.h"

#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "foundation/special_folders.h"
#include "variables/path_variables.h"

namespace halberd::engine {

namespace {
std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
}  // namespace

void SetDefaultInstallFolder() {
  RunState& run = Run();
  const format::SetupScript& script = Script();
  DefaultInstallFolderInputs in;
  in.script_folder = script.default_install_folder;
  in.display_name = ToU16(run.display_name);
  in.windows_folder = ToU16(halberd::WindowsFolder());
  in.bitness = script.Bitness;
  in.command_line_folder = ToU16(run.install_folder_override);
  in.program_files = [](bool sixty_four_bit) {
    return ToU16(sixty_four_bit ? ProgramFilesFolder(4) : ProgramFiles32Folder());
  };
  in.expand = [](std::u16string& text) {
    std::wstring wide = ToWide(text);
    variables::ExpandPathVariables(wide);
    text = ToU16(wide);
  };
  run.install_folder = ToWide(DefaultInstallFolder(in));
}

}  // namespace halberd::engine
