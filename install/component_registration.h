// The second steps of the files that need one, as far as they are decisions and texts: the marks
// and items of the shared-file list and the `SharedFiles` value, the `ProductFonts` value, the fonts
// key, the regsvr32 command, the log and failure lines of COM servers, type libraries, drivers and
// installer packages, and the keys of a control-panel applet. Portable; the calls into Windows are
// component_registration_win32.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/program_command.h"
#include "install/installed_files.h"

namespace halberd::install {

// The one-character mark after a shared file's path, which tells the uninstaller what to do when
// the file is no longer shared: a blank keeps it (every kind-6 file, and a permanent kind-1, 7 or
// 8 file), "^" unregisters a COM server (kind 7), the byte 0xA9 unregisters a type library (kind
// 8); 0 for none.
inline constexpr char kMarkNeverDelete = ' ';
inline constexpr char kMarkComServer = '^';
inline constexpr char kMarkTypeLibrary = '\xA9';
char SharedFileMark(int kind, bool permanent);

// One item of `SharedFiles`: the path in the uninstall text encoding, its mark, in double quotes.
std::string SharedFileItemText(std::u16string_view path, char mark);

// The `SharedFiles` value as one run builds it: it starts as the earlier installation's value;
// an item already in it is not counted again (a reinstallation holds its count once).
class SharedFilesValue {
 public:
  explicit SharedFilesValue(std::string earlier = {}) : text_(std::move(earlier)) {}
  bool Contains(std::string_view item) const { return text_.find(item) != std::string::npos; }
  void Append(std::string_view item);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The installed-fonts list as stored in `ProductFonts`: for each font a double quote, the display
// name (UTF-8), "\" \"", the file name (uninstall text encoding) and "\" ".
std::string ProductFontsValue(const std::vector<FontRequest>& fonts);

// The fonts key below HKLM: Windows NT's, or the older systems'.
std::u16string FontsKeyPath(bool windows_nt);

// A font file's value data: its name (the file lives in the fonts folder).
std::u16string FontFileName(std::u16string_view path);

// "regsvr32.exe /s \"<path>\"", started from the system folder by its full path.
ProgramStart ComRegistrationStart(std::u16string_view system_folder, std::u16string_view path);

// The driver step's result line after "Installing driver \"<path>\"...": success with and
// without the stored location, or the failure with the system's text (0xE000022F has a text of
// its own when the system gives none).
inline constexpr uint32_t kErrorNoDriverSignature = 0xE000022F;
std::u16string DriverResultLine(bool ok, uint32_t error, std::u16string_view system_text,
                                std::u16string_view final_location);

// An installer package's log line: "Installing MSI package \"<path>\"..." and its end, "OK\r\n"
// or "FAILED code <code>: <text>\r\n".
std::u16string PackageLogLine(std::u16string_view path, uint32_t code, std::u16string_view system_text);
// A package's result counts as installed: success, also when a restart is needed to finish.
bool PackageInstalled(uint32_t code);

// A control-panel applet's keys, all below HKLM, in the order they are written. The two keys named
// by the class identifier are recorded for removal; the command is the applet's path in double
// quotes, then a blank and the arguments when there are any.
struct AppletKey {
  std::u16string path;   // below HKLM
  std::u16string value;  // the default value
  bool recorded = false;
};
std::vector<AppletKey> AppletKeys(std::u16string_view class_id, std::u16string_view name, std::u16string_view path,
                                  std::u16string_view arguments);
// What ends the run for an applet entry: 78 (no name even from the version information), 79 (no
// class identifier, or one with a backslash); 0 when it can be registered.
int AppletProblem(std::u16string_view name, std::u16string_view class_id);

// The progress page's status for a second step: text 77 with "<file>" replaced.
std::u16string RegisteringStatus(std::u16string_view text77, std::u16string_view file);

}  // namespace halberd::install
