// The lists the file loop fills for the steps after it: the shared files to count, the COM files
// and type libraries to register, the fonts, driver information files, installer packages and
// control-panel applets for their second steps, the shortcuts to make, and the files written
// directly (taken out of pending restart operations after the loop). They live for the whole run.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halberd::install {

struct ShortcutRequest {
  std::u16string target;     // the file's path
  std::u16string name;       // the entry's second text
  std::u16string icon_path;
  std::u16string arguments;
  std::u16string start_in;
  bool desktop = false;
  bool start_menu = false;
  bool startup = false;      // kind 5
  bool keep_at_uninstall = false;
};

struct SharedFileRequest {   // kinds 1, 6, 7, 8
  std::u16string path;
  char mark = 0;             // SharedFileMark (component_registration.h)
};

struct FontRequest {
  std::u16string display_name;
  std::u16string file_name;
};

struct PackageRequest {      // kind 11
  std::u16string path;
  int ui_level = 0;
  bool record_for_removal = false;
};

struct AppletRequest {       // kind 12
  std::u16string path;
  std::u16string name;
  std::u16string arguments;
  std::u16string class_id;
};

struct InstalledFiles {
  std::vector<SharedFileRequest> shared_files;
  std::vector<std::u16string> com_files;
  std::vector<std::u16string> type_libraries;
  std::vector<FontRequest> fonts;
  std::vector<std::u16string> driver_files;
  std::vector<PackageRequest> packages;
  std::vector<AppletRequest> applets;
  std::vector<ShortcutRequest> shortcuts;
  std::vector<std::u16string> written;  // written directly (not pending a restart)
};

// The run's lists.
InstalledFiles& RunFiles();

}  // namespace halberd::install
