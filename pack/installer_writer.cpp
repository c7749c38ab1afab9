#include "pack/installer_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/format/crc32.h"
#include "foundation/format/pe_image.h"
#include "foundation/format/setup_cipher.h"
#include "foundation/format/setup_data.h"
#include "foundation/format/xz_encode.h"

namespace halberd::pack {

namespace fs = std::filesystem;
using namespace halberd::format;

bool BuildSectionData(const InstallationData& d, Bytes& section, size_t& archive_offset, std::string& error) {
  const bool enciphered = d.cipher_key.size() == kCipherKeySize;
  if (!d.cipher_key.empty() && !enciphered) {
    error = "the cipher key must be 56 bytes";
    return false;
  }
  Bytes block;
  XzOptions xo;
  xo.preset = d.xz_preset;
  if (!XzEncode(d.script.data(), d.script.size(), xo, block)) {
    error = "cannot compress the setup script";
    return false;
  }
  const uint32_t script_key = Crc32(d.script.data(), d.script.size());
  if (enciphered)
    block = EncipherBlock(block.data(), block.size(), d.cipher_key.data());
  else
    XorScramble(block.data(), block.size(), script_key);
  if (block.size() >= size_t(kMaxScriptSize)) {
    error = "the setup script is too large";
    return false;
  }

  ByteWriter w;
  w.U32(kSetupMagic);
  char version[kVersionFieldSize] = {};
  std::memcpy(version, kDataFormatVersion, sizeof kDataFormatVersion);
  w.Raw(version, kVersionFieldSize);
  w.U32(enciphered ? (d.flags2 | kFlags2Enciphered) : (d.flags2 & ~kFlags2Enciphered));
  w.I32(int32_t(block.size()));
  w.U32(script_key);
  w.U32(0);  // image CRC: known only once the section is in place
  const size_t total_at = w.size();
  w.I32(0);
  w.I32(int32_t(d.file_sizes.size()));
  w.I32(int32_t(d.archive.size()));
  w.U32(Crc32(d.archive.data(), d.archive.size()));
  for (int32_t s : d.file_sizes) w.I32(s);
  if (enciphered) w.Raw(d.cipher_key.data(), kCipherKeySize);
  w.Raw(block);
  archive_offset = w.size();
  uint64_t total = uint64_t(archive_offset) + d.archive.size();
  if (total > 0x7FFFFFFFu) {
    error = "the installation data is larger than 2 GiB";
    return false;
  }
  w.Raw(d.archive);
  section = std::move(w.bytes());
  StoreU32(section.data() + total_at, uint32_t(total));
  return true;
}

bool BuildInstaller(const Bytes& stub, const InstallationData& d, Bytes& out, std::string& error) {
  Bytes section;
  size_t archive_offset = 0;
  if (!BuildSectionData(d, section, archive_offset, error)) return false;
  out = stub;
  PeSection added;
  // An archive read from the file must reach exactly to the end of the file: the section then
  // maps the header and the script only, and the file is not padded after the archive.
  uint32_t mapped = uint32_t(d.archive_in_file ? archive_offset : section.size());
  if (!AppendSection(out, kSetupSectionName, section, mapped, added, error, d.archive_in_file)) {
    if (d.archive_in_file) error += " (the archive is too small to be read from the file; use the section)";
    return false;
  }

  PeLayout layout;
  PeSection found;
  bool present = false;
  int code = LocateSetupSection(out.data(), std::min(out.size(), kPeHeaderReadSize), layout, found, present);
  if (code != 0 || !present) {
    error = "the stub's PE header is not one the installer accepts (code " + std::to_string(code) + ")";
    return false;
  }
  uint32_t image_crc = 0;
  if (!ImageCrc(out.data(), added.raw_position, layout, image_crc)) {
    error = "the stub's PE header is too short";
    return false;
  }
  StoreU32(out.data() + added.raw_position + 24, image_crc);
  StoreU32(out.data() + layout.optional_header_offset + 64, PeChecksum(out, layout.optional_header_offset + 64));
  return true;
}

bool ReadWholeFile(const std::string& path, Bytes& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open \"" + path + "\"";
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string& error, const FinishStep& finish) {
  fs::path target(path);
  fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device rd;
  fs::path temp = folder / (target.filename().string() + ".tmp" + std::to_string(rd() % 1000000));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create \"" + temp.string() + "\"";
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      error = "cannot write \"" + temp.string() + "\" (disk full?)";
      return false;
    }
  }
  std::error_code ec;
  if (finish && !finish(temp, error)) {
    fs::remove(temp, ec);
    return false;
  }
  fs::permissions(temp, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec, ec);
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    error = "cannot replace \"" + path + "\": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace halberd::pack
