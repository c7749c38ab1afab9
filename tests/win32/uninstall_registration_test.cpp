// The uninstall registration written to the real registry (Wine): the Uninstall key lands in the
// 32-bit view with the value types of its table, an additional value named with a key path is
// written there and gets its [Registry2] line, and `UninstallString` reads back.
#include "integration/uninstall_registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/product_settings.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halberd Tests Registration";
constexpr wchar_t kElsewhere[] = L"Software\\Halberd Tests\\Registration";

// Type and bytes of a value in the 32-bit view; type REG_NONE when missing.
DWORD ValueType32(const wchar_t* key_path, const wchar_t* name, std::string* bytes = nullptr) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return REG_NONE;
  DWORD type = REG_NONE, size = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS && bytes) {
    bytes->resize(size);
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes->data()), &size);
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? type : REG_NONE;
}

std::wstring WideValue(const wchar_t* key_path, const wchar_t* name) {
  std::string bytes;
  if (ValueType32(key_path, name, &bytes) != REG_SZ) return L"<not a text>";
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace

TEST(UninstallRegistrationWin32, KeyInThe32BitViewWithItsValueTypes) {
  engine::ProductSettings& s = engine::Settings();
  s = engine::ProductSettings();
  s.DisplayName = u"Registration Test";
  s.DisplayVersion = u"4.10";
  s.Session = 0x0123456789ABCDEFull;
  format::SetupScript& script = engine::Script();
  script = format::SetupScript();
  script.uninstall_values = {{u"HelpLink", format::kUninstallValueText, u"https://example.com/help"},
                             {u"\\HKLM\\Software\\Halberd Tests\\Registration\\Extra", format::kUninstallValueNumber, u"42"}};
  RegistrationFacts facts;
  facts.key_name = u"Halberd Tests Registration";
  facts.uninstaller_path = u"C:\\Registration Test\\uninstall.exe";
  facts.uninstall_folder = u"C:\\Registration Test";
  facts.install_folder = u"C:\\Registration Test";
  facts.installer_path = u"C:\\setup.exe";
  facts.installed_bytes = 2048;

  EXPECT_TRUE(RegisterUninstall(facts));
  EXPECT_EQ(WideValue(kKey, L"UninstallString"), L"\"C:\\Registration Test\\uninstall.exe\" /u:\"Halberd Tests Registration\"");
  EXPECT_EQ(WideValue(kKey, L"QuietUninstallString"),
            L"\"C:\\Registration Test\\uninstall.exe\" /a /u:\"Halberd Tests Registration\"");
  EXPECT_EQ(ValueType32(kKey, L"DisplayVersion"), DWORD(REG_SZ));
  EXPECT_EQ(ValueType32(kKey, L"VersionMajor"), DWORD(REG_DWORD));
  EXPECT_EQ(ValueType32(kKey, L"EstimatedSize"), DWORD(REG_DWORD));
  EXPECT_EQ(ValueType32(kKey, L"Session"), DWORD(REG_QWORD));
  EXPECT_EQ(ValueType32(kKey, L"Publisher"), DWORD(REG_NONE));  // empty deletes
  EXPECT_EQ(WideValue(kKey, L"HelpLink"), L"https://example.com/help");
  EXPECT_EQ(WideValue(kKey, L"InstallLocation"), L"C:\\Registration Test");
  const std::wstring date = WideValue(kKey, L"InstallDate");
  EXPECT_EQ(date.size(), 6u) << std::string(date.begin(), date.end());
  EXPECT_EQ(date.find_first_not_of(L"0123456789"), std::wstring::npos);
  // The value elsewhere, and the line that has the uninstaller delete it.
  std::string extra;
  EXPECT_EQ(ValueType32(kElsewhere, L"Extra", &extra), DWORD(REG_QWORD));
  EXPECT_EQ(extra, std::string("\x2A\0\0\0\0\0\0\0", 8));
  EXPECT_NE(script.registry_entries.find(u"\\HKLM\\Software\\Halberd Tests\\Registration,Extra,0,,2\r\n"),
            std::u16string::npos);
  EXPECT_TRUE(engine::FailureText().empty()) << std::string(engine::FailureText().begin(), engine::FailureText().end());

  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halberd Tests");
}
