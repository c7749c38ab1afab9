// Writing the uninstall registration: the Uninstall key with its values in their order, the
// script's additional values, the read-back of `UninstallString` and the install-path value.
#include <windows.h>

#include "engine/corrupt_installer.h"
#include "engine/earlier_installation.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_registry.h"
#include "integration/uninstall_registration.h"
#include "uninstall/uninstall_data.h"
#include "variables/path_variables.h"

namespace halberd::integration {

namespace {

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string Ansi(std::u16string_view text) {
  static const uninstall::CodePage code_page = uninstall::SystemCodePage();
  return code_page.encode(text);
}

// Writes or deletes one value of the open key; false with the system error set.
bool WriteKeyValue(RegistryKey& key, const KeyValue& v) {
  const std::wstring name = W(v.name);
  switch (v.type) {
    case ValueType::kDelete:
      return key.DeleteValue(name) != reg_result::kFailed;
    case ValueType::kWideText:
      return key.WriteText(name, W(v.text));
    case ValueType::kExpandText:
      return key.WriteText(name, W(v.text), reg_write::kExpandable);
    case ValueType::kAnsiText:
      return key.WriteTextA(Ansi(v.name), Ansi(v.text));
    case ValueType::kDword:
      return key.WriteNumber(name, uint32_t(v.number));
    case ValueType::kQword:
      return key.WriteNumber64(name, v.number);
  }
  return false;
}

// Remembers the first failure of the phase as its error text.
void NoteFailure(std::wstring& phase_error, DWORD error) {
  if (phase_error.empty()) phase_error = SystemErrorText(error);
  if (phase_error.empty()) phase_error = L"Code " + std::to_wstring(error);
}

// The script's additional values: in the Uninstall key, or elsewhere with a [Registry2] line so
// that the uninstaller deletes them.
void WriteAdditionalValues(RegistryKey& key) {
  format::SetupScript& script = engine::Script();
  for (const format::UninstallValue& entry : script.uninstall_values) {
    std::wstring text = W(entry.data);
    variables::ExpandPathVariables(text);
    std::optional<AdditionalValue> value =
        ParseAdditionalValue(entry, std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
    if (!value) engine::CorruptInstaller(format::corrupt::kUninstallValueType);
    bool ok;
    if (value->key_path.empty()) {
      ok = WriteKeyValue(key, value->value);
    } else {
      RegistryKey elsewhere;
      ok = elsewhere.OpenKeyPath(W(value->key_path), reg_open::kDefaultSecurity) != reg_opened::kFailed &&
           WriteKeyValue(elsewhere, value->value);
      if (ok) AppendRegistryLine(script.registry_entries, Registry2DeleteLine(value->key_path, value->value.name));
    }
    if (!ok) {
      DWORD error = GetLastError();
      engine::AppendFailureText(L"Failed to save data in registry key \"" + W(entry.name) + L"\": " +
                                SystemErrorText(error) + L"\r\n");
    }
  }
}

// The installation folder into the registry value the script names for it (HKLM\... or HKCU\...).
void WriteInstallPathValue(const std::wstring& install_folder) {
  std::optional<engine::RegistryValueLocation> location =
      engine::ParseRegistryLocation(engine::Script().earlier_install_location);
  if (!location) return;
  RegistryKey key;
  if (key.OpenKey(location->current_user ? RegistryRoot::kCurrentUser : RegistryRoot::kLocalMachine,
                  W(location->key), reg_open::kDefaultSecurity) == reg_opened::kFailed)
    return;
  key.WriteText(W(location->value), install_folder);
}

std::wstring Trimmed(std::wstring text) {
  const wchar_t* blanks = L" \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool RegisterUninstall(const RegistrationFacts& facts) {
  std::wstring phase_error;
  const std::wstring uninstall_string = W(UninstallCommand(facts.uninstaller_path, facts.key_name));
  bool read_back = false;
  {
    RegistryKey key;
    // Default security: the key names the program an administrator's uninstall runs.
    if (key.OpenKey(RegistryRoot::kLocalMachine, W(UninstallKeyPath(facts.key_name)), reg_open::kDefaultSecurity,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY) == reg_opened::kFailed) {
      NoteFailure(phase_error, GetLastError());
    } else {
      for (const KeyValue& v : UninstallKeyValues(engine::Settings(), engine::Script(), facts)) {
        // Only the command line's failure makes the registration fail; the uninstaller copes
        // without any other single value.
        if (!WriteKeyValue(key, v) && v.name == u"UninstallString") NoteFailure(phase_error, GetLastError());
      }
      WriteAdditionalValues(key);
      SYSTEMTIME today;
      GetLocalTime(&today);
      for (const KeyValue& v : ClosingKeyValues(facts.install_folder, today.wYear, today.wMonth, today.wDay))
        WriteKeyValue(key, v);
      read_back = key.ReadText(L"UninstallString") == uninstall_string;
    }
  }
  WriteInstallPathValue(W(facts.install_folder));
  const bool registered = read_back && phase_error.empty();
  if (!registered) {
    std::wstring reason = Trimmed(phase_error);
    if (!reason.empty()) engine::AppendFailureText(L"System error: " + reason + L"\r\n\r\n");
    engine::AppendFailureText(
        L"Unable to save the uninstall information to the registry.  Uninstall will not work properly.\r\n\r\n");
  }
  return registered;
}

}  // namespace halberd::integration
