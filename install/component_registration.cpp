// Marks, list values, key paths and log lines of the shared files, fonts and component
// registrations (component_registration.h).
#include "install/component_registration.h"

#include <string>

#include "foundation/format/corrupt_codes.h"
#include "foundation/path_rules.h"
#include "foundation/text_convert.h"
#include "uninstall/uninstall_data.h"

namespace halberd::install {

namespace {

std::u16string Decimal(uint32_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

char SharedFileMark(int kind, bool permanent) {
  if (kind == 6 || (permanent && (kind == 1 || kind == 7 || kind == 8))) return kMarkNeverDelete;
  if (kind == 7) return kMarkComServer;
  if (kind == 8) return kMarkTypeLibrary;
  return 0;
}

std::string SharedFileItemText(std::u16string_view path, char mark) {
  std::string item = "\"" + uninstall::EncodeUninstallText(path);
  if (mark) item += mark;
  return item + "\"";
}

void SharedFilesValue::Append(std::string_view item) {
  if (!text_.empty()) text_ += ';';
  text_ += item;
}

std::string ProductFontsValue(const std::vector<FontRequest>& fonts) {
  std::string value;
  for (const FontRequest& font : fonts)
    value += "\"" + Utf16ToUtf8(font.display_name) + "\" \"" + uninstall::EncodeUninstallText(font.file_name) + "\" ";
  return value;
}

std::u16string FontsKeyPath(bool windows_nt) {
  return windows_nt ? u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
                    : u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
}

std::u16string FontFileName(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

ProgramStart ComRegistrationStart(std::u16string_view system_folder, std::u16string_view path) {
  ProgramStart start;
  start.application = JoinPath(system_folder, u"regsvr32.exe");
  start.command_line = u"\"" + start.application + u"\" /s \"" + std::u16string(path) + u"\"";
  return start;
}

std::u16string DriverResultLine(bool ok, uint32_t error, std::u16string_view system_text,
                                std::u16string_view final_location) {
  if (ok) {
    if (final_location.empty()) return u"OK, but resulting filepath is unknown\r\n";
    return u"OK\r\nFinal driver location: " + std::u16string(final_location) + u"\r\n";
  }
  std::u16string text(system_text);
  if (text.empty() && error == kErrorNoDriverSignature) text = u"The INF does not contain digital signature information.";
  return u"FAILED!  Code " + Decimal(error) + u": " + text + u"\r\n";
}

std::u16string PackageLogLine(std::u16string_view path, uint32_t code, std::u16string_view system_text) {
  std::u16string line = u"Installing MSI package \"" + std::u16string(path) + u"\"...";
  if (PackageInstalled(code)) return line + u"OK\r\n";
  return line + u"FAILED code " + Decimal(code) + u": " + std::u16string(system_text) + u"\r\n";
}

bool PackageInstalled(uint32_t code) {
  // ERROR_SUCCESS, ERROR_SUCCESS_REBOOT_INITIATED (1641), ERROR_SUCCESS_REBOOT_REQUIRED (3010):
  // with "REBOOT=R" the package is installed and waits for the next restart.
  return code == 0 || code == 1641 || code == 3010;
}

std::vector<AppletKey> AppletKeys(std::u16string_view class_id, std::u16string_view name, std::u16string_view path,
                                  std::u16string_view arguments) {
  const std::u16string clsid = u"Software\\Classes\\CLSID\\" + std::u16string(class_id);
  std::u16string command = u"\"" + std::u16string(path) + u"\"";
  if (!arguments.empty()) command += u" " + std::u16string(arguments);
  return {
      {clsid, std::u16string(name), true},
      {clsid + u"\\DefaultIcon", std::u16string(path), false},
      {clsid + u"\\Shell\\Open\\Command", command, false},
      {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + std::u16string(class_id),
       std::u16string(name), true},
  };
}

int AppletProblem(std::u16string_view name, std::u16string_view class_id) {
  if (name.empty()) return format::corrupt::kAppletName;
  // A backslash would put the keys below another key than the identifier's own.
  if (class_id.empty() || class_id.find(u'\\') != std::u16string_view::npos) return format::corrupt::kAppletClassId;
  return 0;
}

std::u16string RegisteringStatus(std::u16string_view text77, std::u16string_view file) {
  std::u16string status(text77);
  const std::u16string_view token = u"<file>";
  for (size_t at = status.find(token); at != std::u16string::npos; at = status.find(token, at + file.size()))
    status.replace(at, token.size(), file);
  return status;
}

}  // namespace halberd::install
