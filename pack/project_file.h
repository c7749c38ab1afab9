// The project file: one TOML file in which a publisher describes a product (its files, settings,
// texts, pictures, lists and languages) for the pack tool. docs/project-format.md is the
// publisher's description of every option; this reader turns a project into the complete setup
// script, the list of files to pack and the packing settings, or reports every problem with the
// file and line it concerns. A project that the installer would refuse is refused here.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "foundation/format/setup_script.h"
#include "pack/diagnostics.h"
#include "pack/payload.h"
#include "pack/signing.h"

namespace halberd::pack {

// How the archive is stored (the [package] table).
struct PackageSettings {
  uint32_t chunk_size = 4u << 20;
  bool compress = true;
  uint32_t xz_preset = 6;
  std::optional<std::vector<uint8_t>> cipher_key;  // 56 bytes
};

struct Project {
  format::SetupScript script;      // every item, ProductFlags2 included
  std::vector<PackedFile> files;   // in archive order
  PackageSettings package;
  SigningSettings signing;         // the [signing] table; not enabled() when absent
};

// What the reader needs besides the project: the tool's language folder.
struct ProjectEnvironment {
  std::filesystem::path language_folder;
  // False when the command line replaces the [signing] table's settings (--sign-*, --no-sign):
  // the table is then read but not checked, so a missing password does not stop a --no-sign build.
  bool check_signing = true;
};

// Reads a project file. Relative paths in it are taken from the project file's folder. Returns
// false when there is any error (all of them are in `diag`); warnings alone do not fail.
bool ReadProjectFile(const std::filesystem::path& path, const ProjectEnvironment& env, Project& project,
                     Diagnostics& diag);

// The same for a project given as text; `shown_path` names it in messages and `base_folder`
// anchors its relative paths.
bool ReadProjectText(std::string_view text, const std::string& shown_path, const std::filesystem::path& base_folder,
                     const ProjectEnvironment& env, Project& project, Diagnostics& diag);

// The project the first form of the command line implies (--files DIR --name NAME and friends):
// the files of DIR below the installation folder, with every other setting at its default.
struct ImpliedProject {
  std::string files_dir;
  std::string name;
  std::string version;
  std::string publisher;
  std::string install_folder;
  PackageSettings package;
  int integrity = 1;          // 0 none, 1 CRC, 2 signature
  int archive_source = 0;     // 0 section, 1 file
  bool keep_uninstaller_data = false;
};
bool BuildImpliedProject(const ImpliedProject& implied, const ProjectEnvironment& env, Project& project,
                         Diagnostics& diag);

}  // namespace halberd::pack
