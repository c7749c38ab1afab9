#include "pack/pack_options.h"

#include <cstdlib>

namespace halberd::pack {

std::string PackUsage() {
  return "Usage: halberd-pack PROJECT.toml -o OUTPUT [--stub FILE] [signing options]\n"
         "       halberd-pack --files DIR --name NAME -o OUTPUT [options]\n"
         "       halberd-pack --version   (the tool's version and its installation data version)\n"
         "\n"
         "Packs a product into a Windows installer. The project file describes everything the\n"
         "installer does (docs/project-format.md); the second form packs the files below DIR\n"
         "with every other setting at its default.\n"
         "\n"
         "  -o, --output FILE      installer to write (replaced only when packing succeeds)\n"
         "  --stub FILE            installer stub (default: halberd-setup.exe of this build)\n"
         "\n"
         "Signing (either form; replaces the project's [signing] options):\n"
         "  --sign-pkcs12 FILE     sign with osslsigncode, with this certificate and key\n"
         "  --sign-password-env NAME  environment variable holding the PKCS#12 password\n"
         "  --sign-timestamp URL   timestamp server (RFC 3161)\n"
         "  --sign-command TEXT    sign with this command instead; {in} is the installer,\n"
         "                         {out} where the signed copy goes (without it: in place)\n"
         "  --no-sign              write the installer unsigned\n"
         "\n"
         "Second form only:\n"
         "  --files DIR            folder whose files (and sub-folders) are installed\n"
         "  --name NAME            product display name\n"
         "  --version TEXT         product version (DisplayVersion)\n"
         "  --publisher TEXT       publisher\n"
         "  --install-folder PATH  default installation folder (default: the name, in Program Files)\n"
         "  --chunk-size BYTES     unpacked size of one archive chunk (default 4194304)\n"
         "  --preset 0-9           xz compression preset (default 6)\n"
         "  --store                store the chunks without compression\n"
         "  --cipher-key HEX       encipher the data with this 448-bit Blowfish key (112 hex digits)\n"
         "  --integrity MODE       none, crc (default) or signature (Authenticode, sign afterwards)\n"
         "  --archive-source WHERE section (default: read in place from the mapped section)\n"
         "                         or file (read from the program file; for very large products)\n"
         "  --keep-uninstaller-data  the uninstaller copy keeps the installation data\n";
}

namespace {
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return value <= max;
}

bool ParseHexKey(const std::string& text, std::vector<uint8_t>& key) {
  if (text.size() != 112) return false;
  key.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    key.push_back(uint8_t(hi * 16 + lo));
  }
  return true;
}
}  // namespace

bool ParsePackOptions(const std::vector<std::string>& args, PackOptions& o, std::string& error) {
  std::string second_form;  // the first option that only the second form takes
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    uint64_t n;
    if (a == "--files") { if (!value(o.files_dir)) return false; }
    else if (a == "--name") { if (!value(o.display_name)) return false; }
    else if (a == "-o" || a == "--output") { if (!value(o.output)) return false; }
    else if (a == "--version") { if (!value(o.version)) return false; }
    else if (a == "--publisher") { if (!value(o.publisher)) return false; }
    else if (a == "--install-folder") { if (!value(o.install_folder)) return false; }
    else if (a == "--stub") { if (!value(o.stub)) return false; }
    else if (a == "--chunk-size") {
      if (!value(v)) return false;
      if (!ParseNumber(v, 1u << 30, n) || n < 4096) {
        error = "--chunk-size must be a number of bytes from 4096 to 1073741824, not \"" + v + "\"";
        return false;
      }
      o.chunk_size = uint32_t(n);
    } else if (a == "--preset") {
      if (!value(v)) return false;
      if (!ParseNumber(v, 9, n)) {
        error = "--preset must be 0 to 9, not \"" + v + "\"";
        return false;
      }
      o.xz_preset = uint32_t(n);
    } else if (a == "--store") {
      o.compress = false;
    } else if (a == "--cipher-key") {
      if (!value(v)) return false;
      std::vector<uint8_t> key;
      if (!ParseHexKey(v, key)) {
        error = "--cipher-key must be 112 hexadecimal digits (a 448-bit key)";
        return false;
      }
      o.cipher_key = key;
    } else if (a == "--integrity") {
      if (!value(v)) return false;
      if (v == "none") o.integrity = IntegrityMode::kNone;
      else if (v == "crc") o.integrity = IntegrityMode::kCrc;
      else if (v == "signature") o.integrity = IntegrityMode::kSignature;
      else {
        error = "--integrity must be none, crc or signature, not \"" + v + "\"";
        return false;
      }
    } else if (a == "--archive-source") {
      if (!value(v)) return false;
      if (v == "section") o.archive_source = ArchiveSourceKind::kSection;
      else if (v == "file") o.archive_source = ArchiveSourceKind::kFile;
      else {
        error = "--archive-source must be section or file, not \"" + v + "\"";
        return false;
      }
    } else if (a == "--sign-pkcs12") { if (!value(o.sign_pkcs12)) return false; }
    else if (a == "--sign-password-env") { if (!value(o.sign_password_env)) return false; }
    else if (a == "--sign-timestamp") { if (!value(o.sign_timestamp)) return false; }
    else if (a == "--sign-command") { if (!value(o.sign_command)) return false; }
    else if (a == "--no-sign") {
      o.no_sign = true;
    } else if (a == "--keep-uninstaller-data") {
      o.strip_uninstaller = false;
    } else if (!a.empty() && a[0] != '-' && o.project.empty()) {
      o.project = a;
    } else {
      error = "unknown argument \"" + a + "\"";
      return false;
    }
    const bool either_form = a == o.project || a == "-o" || a == "--output" || a == "--stub" || a.rfind("--sign-", 0) == 0 ||
                             a == "--no-sign";
    if (!either_form && second_form.empty()) second_form = a;
  }
  if (o.no_sign && !(o.sign_pkcs12.empty() && o.sign_command.empty()))
    error = "--no-sign and a --sign- option contradict each other";
  else if (!o.project.empty() && !second_form.empty())
    error = second_form + " belongs to the second form; with a project file, set it in the project";
  else if (o.output.empty()) error = "-o is required";
  else if (!o.project.empty()) return true;
  else if (o.files_dir.empty()) error = "--files is required (or give a project file)";
  else if (o.display_name.empty()) error = "--name is required";
  return error.empty();
}

}  // namespace halberd::pack
