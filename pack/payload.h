// The product's files as the installer receives them: a deterministic list of file entries and
// the archive of xz chunks that carries the extraction stream (entry, contents, entry, ...).
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/format/byte_io.h"
#include "foundation/format/file_entry.h"

namespace halberd::pack {

struct PackedFile {
  std::filesystem::path source;
  format::FileEntry entry;
};

// A file's modification time (UTC) as the six numbers of a file entry; no time when unreadable.
std::array<int32_t, 6> FileModificationTime(const std::filesystem::path& path);

// Every regular file below `root`, in a stable order (by relative path, byte-wise), each as a
// kind-0 entry whose target folder is its relative folder ("bin\tools\") and whose time is the
// file's modification time (UTC). Fails on unreadable entries and files over the size limit.
bool CollectFiles(const std::filesystem::path& root, std::vector<PackedFile>& files, std::string& error);

struct ArchiveOptions {
  uint32_t chunk_size = 4u << 20;
  bool compress = true;
  uint32_t xz_preset = 6;
  const uint8_t* cipher_key = nullptr;  // 56 bytes, or nullptr
  unsigned threads = 0;                 // chunks compressed at once; 0: one per hardware thread
};

struct Archive {
  format::Bytes bytes;               // the chunks, as stored in the installation data
  std::vector<int32_t> file_sizes;   // file-size table, in archive order
  uint64_t stream_size = 0;          // unpacked extraction stream
  uint32_t chunk_count = 0;
};

// Reads the files piece by piece (the unpacked stream is never held whole) and packs chunks, on
// `threads` cores; the bytes do not depend on the number of threads.
bool BuildArchive(const std::vector<PackedFile>& files, const ArchiveOptions& options, Archive& archive,
                  std::string& error);

}  // namespace halberd::pack
