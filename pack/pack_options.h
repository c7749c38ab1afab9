// The pack tool's command line: a project file and the installer to write, or the first form (a
// folder of files and the few settings it needs, which imply a small project).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halberd::pack {

enum class IntegrityMode { kNone = 0, kCrc = 1, kSignature = 2 };
enum class ArchiveSourceKind { kSection = 0, kFile = 1 };

struct PackOptions {
  std::string project;          // project file (product.toml); empty: the first form below
  std::string files_dir;        // the product's files, installed below the installation folder
  std::string output;           // installer to write
  std::string stub;             // installer stub (halberd-setup.exe); empty: found beside the tool
  std::string display_name;
  std::string version;
  std::string publisher;
  std::string install_folder;   // default installation folder; empty: the display name
  uint32_t chunk_size = 4u << 20;
  uint32_t xz_preset = 6;
  bool compress = true;
  std::optional<std::vector<uint8_t>> cipher_key;  // 56 bytes: encipher instead of scrambling
  IntegrityMode integrity = IntegrityMode::kCrc;
  ArchiveSourceKind archive_source = ArchiveSourceKind::kSection;
  bool strip_uninstaller = true;  // uninstaller copy without the installation data
  // Signing, in both forms; these replace the project's [signing] options they name.
  std::string sign_pkcs12;
  std::string sign_password_env;
  std::string sign_timestamp;
  std::string sign_command;       // one text, split into words (no shell)
  bool no_sign = false;           // leave the installer unsigned whatever the project says
};

// Parses argv; on failure returns false with a message naming the argument and the reason.
bool ParsePackOptions(const std::vector<std::string>& args, PackOptions& options, std::string& error);

std::string PackUsage();

}  // namespace halberd::pack
