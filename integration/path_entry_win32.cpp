// Reads the machine's PATH with its real size and type, applies the portable text change and
// writes it back with the same type, then tells running programs that the environment changed.
#include "integration/path_entry.h"

#include <windows.h>

#include <string>

#include "engine/running_log.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "foundation/tl_registry.h"

namespace halberd::integration {

namespace {

constexpr wchar_t kEnvironmentKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr wchar_t kPathValue[] = L"Path";

// The value's text: every code unit it holds, without the terminating zeros.
std::u16string TextOfValue(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

bool UpdatePath(PathChange change, const std::wstring& install_folder, std::u16string_view add_to_path_setting) {
  RegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kEnvironmentKey, reg_open::kOpenOnly, KEY_QUERY_VALUE | KEY_SET_VALUE) ==
      reg_opened::kFailed)
    return false;
  DWORD type = 0;
  std::string bytes;
  if (!key.ReadRaw(kPathValue, type, bytes)) return false;
  // Only a text value is a PATH we can edit; REG_SZ stays REG_SZ so that a "%" in it keeps its
  // literal meaning, REG_EXPAND_SZ stays expandable.
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  const std::u16string path = TextOfValue(bytes);
  if (path.empty()) return false;

  const std::u16string folder =
      PathEntryFolder(std::u16string(install_folder.begin(), install_folder.end()), add_to_path_setting);
  const std::wstring folder_w(folder.begin(), folder.end());
  std::optional<std::u16string> changed;
  if (change == PathChange::kAdd) {
    if (!FolderExists(folder_w)) {
      engine::LogWide(L"Couldn't add \"" + folder_w + L"\" to the PATH because it does not exist.\r\n");
      return false;
    }
    changed = PathWithFolder(path, folder);
  } else {
    changed = PathWithoutFolder(path, folder);
  }
  if (!changed) return false;

  if (!key.WriteRaw(kPathValue, type, changed->c_str(), (changed->size() + 1) * sizeof(char16_t))) {
    const DWORD error = GetLastError();
    engine::LogWide(L"Failed to update the PATH: " + SystemErrorText(error) + L"\r\n");
    return false;
  }
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG,
                      5000, &result);
  return true;
}

}  // namespace halberd::integration
