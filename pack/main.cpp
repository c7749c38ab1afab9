// halberd-pack: packs a product described by a project file (or by the first form of the command
// line) into a Windows installer. Reading the project is project_file.cpp's; packing the files is
// payload.cpp's; assembling the installer is installer_writer.cpp's.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/format/setup_data.h"
#include "foundation/format/setup_script.h"
#include "pack/installer_writer.h"
#include "pack/language_files.h"
#include "pack/pack_options.h"
#include "pack/payload.h"
#include "pack/project_file.h"
#include "pack/signing.h"
#include "pack/source_date_epoch.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using namespace halberd;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "halberd-pack: error: %s\n", message.c_str());
  return 1;
}

fs::path SelfPath(const char* argv0) {
#ifdef _WIN32
  wchar_t buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return fs::path(buf);
#else
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return p;
#endif
  return fs::absolute(argv0);
}

// The stub of the same build: beside the tool, in the installed layout (bin/ and share/halberd/),
// or in the build tree.
std::string FindStub(const fs::path& self) {
  if (const char* env = std::getenv("HALBERD_STUB")) return env;
  fs::path dir = self.parent_path();
  for (const fs::path& candidate : {dir / "halberd-setup.exe", dir / ".." / "share" / "halberd" / "halberd-setup.exe",
                                    dir / ".." / ".." / "win32" / "bin" / "halberd-setup.exe"}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
  }
  return {};
}

bool ReadProject(const pack::PackOptions& o, const pack::ProjectEnvironment& env, pack::Project& project,
                 pack::Diagnostics& diag) {
  if (!o.project.empty()) return pack::ReadProjectFile(o.project, env, project, diag);
  pack::ImpliedProject implied;
  implied.files_dir = o.files_dir;
  implied.name = o.display_name;
  implied.version = o.version;
  implied.publisher = o.publisher;
  implied.install_folder = o.install_folder;
  implied.package = {o.chunk_size, o.compress, o.xz_preset, o.cipher_key};
  implied.integrity = int(o.integrity);
  implied.archive_source = int(o.archive_source);
  implied.keep_uninstaller_data = !o.strip_uninstaller;
  return pack::BuildImpliedProject(implied, env, project, diag);
}

// The --sign-* options replace the project's signing options they name; --no-sign drops signing.
bool ApplySigningOptions(const pack::PackOptions& o, pack::SigningSettings& s, std::string& error) {
  if (o.no_sign) {
    s = {};
    return true;
  }
  if (!o.sign_pkcs12.empty()) {
    s.pkcs12 = o.sign_pkcs12;
    s.command.clear();
  }
  if (!o.sign_command.empty()) {
    if (!pack::SplitCommandWords(o.sign_command, s.command, error)) return false;
    s.pkcs12.clear();
  }
  if (!o.sign_password_env.empty()) s.password_env = o.sign_password_env;
  if (!o.sign_timestamp.empty()) s.timestamp = o.sign_timestamp;
  const bool from_command_line = !o.sign_pkcs12.empty() || !o.sign_command.empty() || !o.sign_password_env.empty() ||
                                 !o.sign_timestamp.empty();
  if (!from_command_line) return true;  // the project's settings were checked where they were read
  if (!s.enabled()) {
    error = "--sign-password-env and --sign-timestamp need --sign-pkcs12 or --sign-command (or a [signing] table)";
    return false;
  }
  auto problems = pack::SigningProblems(s);
  if (problems.empty()) return true;
  const std::string& key = problems.front().first;
  std::string option = key == "password_env" ? " (--sign-password-env)" : key == "osslsigncode" ? "" : " (--sign-" + key + ")";
  error = "signing" + option + ": " + problems.front().second;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("halberd-pack %s (installation data %s)\n", HALBERD_PACK_VERSION, format::kDataFormatVersion);
    return 0;
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(pack::PackUsage().c_str(), args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  bool epoch_valid = true;
  pack::SourceDateEpoch(&epoch_valid);
  if (!epoch_valid) return Fail("SOURCE_DATE_EPOCH must be a number of seconds since 1970");
  pack::PackOptions options;
  std::string error;
  if (!pack::ParsePackOptions(args, options, error)) return Fail(error + "\n\n" + pack::PackUsage());
  const fs::path self = SelfPath(argv[0]);
  if (options.stub.empty()) options.stub = FindStub(self);
  if (options.stub.empty()) return Fail("no installer stub found: give --stub or set HALBERD_STUB");
  format::Bytes stub;
  if (!pack::ReadWholeFile(options.stub, stub, error)) return Fail("stub: " + error);
  std::error_code ec;
  if (options.project.empty() && !fs::is_directory(options.files_dir, ec))
    return Fail("\"" + options.files_dir + "\" is not a folder");

  pack::ProjectEnvironment env{pack::FindLanguageFolder(self)};
  env.check_signing = options.sign_pkcs12.empty() && options.sign_command.empty() && options.sign_password_env.empty() &&
                      options.sign_timestamp.empty() && !options.no_sign;
  pack::Project project;
  pack::Diagnostics diag;
  bool ok = ReadProject(options, env, project, diag);
  for (const pack::Diagnostic& d : diag.Sorted()) std::fprintf(stderr, "%s\n", pack::FormatDiagnostic(d).c_str());
  if (!ok) return Fail("no installer written");
  if (!ApplySigningOptions(options, project.signing, error)) return Fail(error + "; no installer written");

  pack::ArchiveOptions archive_options;
  archive_options.chunk_size = project.package.chunk_size;
  archive_options.compress = project.package.compress;
  archive_options.xz_preset = project.package.xz_preset;
  if (project.package.cipher_key) archive_options.cipher_key = project.package.cipher_key->data();
  pack::Archive archive;
  if (!pack::BuildArchive(project.files, archive_options, archive, error)) return Fail(error);

  pack::InstallationData data;
  data.flags2 = project.script.ProductFlags2;
  format::ByteWriter script;
  if (!format::WriteSetupScript(project.script, script, &error)) return Fail("setup script: " + error);
  data.script = std::move(script.bytes());
  data.file_sizes = archive.file_sizes;
  data.archive = std::move(archive.bytes);
  if (project.package.cipher_key) data.cipher_key = *project.package.cipher_key;
  data.archive_in_file = project.script.archive_source != 0;
  data.xz_preset = project.package.xz_preset;

  format::Bytes installer;
  if (!pack::BuildInstaller(stub, data, installer, error)) return Fail(error);
  pack::FinishStep sign;
  if (project.signing.enabled())
    sign = [&](const fs::path& temp, std::string& why) {
      return pack::SignInstaller(project.signing, temp, data.archive_in_file, why);
    };
  if (!pack::WriteFileAtomically(options.output, installer, error, sign)) return Fail(error + "; no installer written");
  std::printf("halberd-pack: wrote %s: %zu files, %llu bytes unpacked, %u chunks, %zu bytes\n",
              options.output.c_str(), project.files.size(), static_cast<unsigned long long>(archive.stream_size),
              archive.chunk_count, static_cast<size_t>(fs::file_size(options.output, ec)));
  return 0;
}
