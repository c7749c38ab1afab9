// halberd-pack: packs a product's files into a Windows installer.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/installer_writer.h"
#include "pack/pack_options.h"
#include "pack/payload.h"
#include "pack/script_builder.h"

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

// The stub of the same build: beside the tool (an installed layout), or in the build tree.
std::string FindStub(const char* argv0) {
  if (const char* env = std::getenv("HALBERD_STUB")) return env;
  fs::path dir = SelfPath(argv0).parent_path();
  for (const fs::path& candidate : {dir / "halberd-setup.exe", dir / ".." / ".." / "win32" / "bin" / "halberd-setup.exe"}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(pack::PackUsage().c_str(), args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  pack::PackOptions options;
  std::string error;
  if (!pack::ParsePackOptions(args, options, error)) return Fail(error + "\n\n" + pack::PackUsage());
  if (options.stub.empty()) options.stub = FindStub(argv[0]);
  if (options.stub.empty()) return Fail("no installer stub found: give --stub or set HALBERD_STUB");

  format::Bytes stub;
  if (!pack::ReadWholeFile(options.stub, stub, error)) return Fail("stub: " + error);

  std::vector<pack::PackedFile> files;
  if (!pack::CollectFiles(options.files_dir, files, error)) return Fail(error);

  pack::ArchiveOptions archive_options;
  archive_options.chunk_size = options.chunk_size;
  archive_options.compress = options.compress;
  archive_options.xz_preset = options.xz_preset;
  if (options.cipher_key) archive_options.cipher_key = options.cipher_key->data();
  pack::Archive archive;
  if (!pack::BuildArchive(files, archive_options, archive, error)) return Fail(error);

  pack::InstallationData data;
  data.flags2 = options.strip_uninstaller ? (1u << 5) : 0;
  if (!pack::BuildSetupScript(options, data.script, error)) return Fail("setup script: " + error);
  data.file_sizes = archive.file_sizes;
  data.archive = std::move(archive.bytes);
  if (options.cipher_key) data.cipher_key = *options.cipher_key;
  data.archive_in_file = options.archive_source == pack::ArchiveSourceKind::kFile;
  data.xz_preset = options.xz_preset;

  format::Bytes installer;
  if (!pack::BuildInstaller(stub, data, installer, error)) return Fail(error);
  if (!pack::WriteFileAtomically(options.output, installer, error)) return Fail(error);
  std::printf("halberd-pack: wrote %s: %zu files, %llu bytes unpacked, %u chunks, %zu bytes\n",
              options.output.c_str(), files.size(), static_cast<unsigned long long>(archive.stream_size),
              archive.chunk_count, installer.size());
  return 0;
}
