// unpack_memory: what unpacking an installer's archive costs in memory and time, measured natively
// with the installer's own unpack code (UnpackArchive, its worker threads and buffers) over the
// archive read from the program file as the installer reads it (no mapping; each chunk copied).
// The output is thrown away, optionally at the pace of a slow disk, which lets unpacked chunks
// pile up in the workers' buffers as they do in front of a slow target.
//
//   unpack_memory INSTALLER [--threads N] [--write-mb-per-s N]
//
// Prints one line of name=value pairs:
//   chunks            the archive's chunks
//   x86_chunks        those the pack tool gave the x86 branch filter
//   largest_dict      the largest xz dictionary among them, in bytes
//   decoder_memory    liblzma's memory for one decoder of that chunk (dictionary and state)
//   peak_memory       the process's peak resident memory during the unpack, above what it held
//                     before (the kernel's high-water mark, reset first)
//   seconds           wall time of the unpack
//   unpacked          bytes of the extraction stream
#include <fcntl.h>
#include <lzma.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "foundation/format/pe_image.h"
#include "foundation/format/setup_data.h"

using namespace halberd;
using format::Bytes;

namespace {

// The archive read with pread from the installer's file, as the installer reads its program file.
class FileSource : public format::ArchiveSource {
 public:
  FileSource(int fd, uint64_t start, uint64_t size) : fd_(fd), start_(start), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* buffer, size_t n) override {
    if (offset > size_ || n > size_ - offset) return false;
    return ReadAt(fd_, start_ + offset, buffer, n);
  }
  static bool ReadAt(int fd, uint64_t at, uint8_t* buffer, size_t n) {
    while (n > 0) {
      ssize_t got = pread(fd, buffer, n, off_t(at));
      if (got <= 0) return false;
      buffer += got;
      at += uint64_t(got);
      n -= size_t(got);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t start_;
  uint64_t size_;
};

// A field of /proc/self/status in bytes (VmRSS, VmHWM).
uint64_t StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtoull(line.c_str() + std::strlen(field) + 1, nullptr, 10) * 1024;
  return 0;
}

// The decoder memory of one xz chunk, from its block header's filter chain (0 when unreadable).
uint64_t ChunkDecoderMemory(const uint8_t* xz, size_t n, uint32_t& dict, bool& x86) {
  if (n < LZMA_STREAM_HEADER_SIZE + 1) return 0;
  lzma_stream_flags flags;
  if (lzma_stream_header_decode(&flags, xz) != LZMA_OK) return 0;
  const uint8_t* block_header = xz + LZMA_STREAM_HEADER_SIZE;
  lzma_filter filters[LZMA_FILTERS_MAX + 1];
  lzma_block block{};
  block.version = 0;
  block.check = flags.check;
  block.filters = filters;
  block.header_size = lzma_block_header_size_decode(block_header[0]);
  if (n < LZMA_STREAM_HEADER_SIZE + block.header_size) return 0;
  if (lzma_block_header_decode(&block, nullptr, block_header) != LZMA_OK) return 0;
  uint64_t memory = lzma_raw_decoder_memusage(filters);
  for (int i = 0; filters[i].id != LZMA_VLI_UNKNOWN; ++i) {
    if (filters[i].id == LZMA_FILTER_X86) x86 = true;
    if (filters[i].id == LZMA_FILTER_LZMA2)
      dict = std::max(dict, static_cast<const lzma_options_lzma*>(filters[i].options)->dict_size);
    free(filters[i].options);
  }
  return memory;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: unpack_memory INSTALLER [--threads N] [--write-mb-per-s N]\n");
    return 2;
  }
  unsigned threads = 3;  // the installer's most
  double write_mb_per_s = 0;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--threads") threads = unsigned(std::atoi(argv[i + 1]));
    else if (a == "--write-mb-per-s") write_mb_per_s = std::atof(argv[i + 1]);
  }
  int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  Bytes head(format::kPeHeaderReadSize);
  ssize_t got = pread(fd, head.data(), head.size(), 0);
  format::PeLayout layout;
  format::PeSection section;
  bool found = false;
  if (got <= 0 || format::LocateSetupSection(head.data(), size_t(got), layout, section, found) != 0 || !found) {
    std::fprintf(stderr, "unpack_memory: no installation data section in %s\n", argv[1]);
    return 1;
  }
  // The header, its file-size table, a cipher key and the script block, in memory as the
  // installer holds them; the archive stays in the file.
  uint8_t fixed[44];
  if (!FileSource::ReadAt(fd, section.raw_position, fixed, sizeof fixed)) return 1;
  uint64_t header_size = 44 + 4 * uint64_t(format::LoadU32(fixed + 32)) + 56 + format::LoadU32(fixed + 16);
  Bytes start(std::min<uint64_t>(header_size, section.raw_size));
  if (!FileSource::ReadAt(fd, section.raw_position, start.data(), start.size())) return 1;
  format::SetupHeader h;
  if (int code = format::ParseSetupHeader(start.data(), start.size(), h); code != 0) {
    std::fprintf(stderr, "unpack_memory: the installation data header is damaged (%d)\n", code);
    return 1;
  }
  FileSource source(fd, uint64_t(section.raw_position) + h.archive_offset, uint64_t(h.archive_size));

  // A walk over the chunk heads: their count and the largest decoder any of them needs.
  size_t chunks = 0;
  size_t x86_chunks = 0;
  uint32_t largest_dict = 0;
  uint64_t decoder_memory = 0;
  bool xz_chunks = false;
  for (uint64_t at = 0; at + 8 <= uint64_t(h.archive_size);) {
    uint8_t chunk_head[8];
    if (!source.Read(at, chunk_head, 8)) return 1;
    uint64_t stored = format::LoadU32(chunk_head);
    uint8_t start_bytes[LZMA_STREAM_HEADER_SIZE + LZMA_BLOCK_HEADER_SIZE_MAX];
    size_t n = size_t(std::min<uint64_t>(stored, sizeof start_bytes));
    if (!h.enciphered && source.Read(at + 8, start_bytes, n)) {
      xz_chunks = xz_chunks || (n >= 6 && std::memcmp(start_bytes, "\xFD" "7zXZ", 6) == 0);
      bool x86 = false;
      decoder_memory = std::max(decoder_memory, ChunkDecoderMemory(start_bytes, n, largest_dict, x86));
      x86_chunks += x86;
    }
    at += 8 + stored;
    ++chunks;
  }

  uint64_t unpacked = 0;
  const auto begin = std::chrono::steady_clock::now();
  auto sink = [&](const uint8_t*, size_t n) {
    unpacked += n;
    if (write_mb_per_s > 0) {
      // Sleeps until the disk of that pace would have taken the bytes so far.
      auto due = begin + std::chrono::duration<double>(double(unpacked) / (write_mb_per_s * 1e6));
      std::this_thread::sleep_until(due);
    }
    return true;
  };
  uint64_t before = StatusBytes("VmRSS:");
  { std::ofstream("/proc/self/clear_refs") << "5"; }  // resets the high-water mark to the current size
  format::ArchiveResult result = format::UnpackArchive(h, xz_chunks, source, sink, {}, threads);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  uint64_t peak = StatusBytes("VmHWM:");
  close(fd);
  if (!result.ok()) {
    std::fprintf(stderr, "unpack_memory: the archive did not unpack (outcome %d, code %d)\n", int(result.outcome),
                 result.corrupt_code);
    return 1;
  }
  std::printf("chunks=%zu x86_chunks=%zu largest_dict=%u decoder_memory=%llu peak_memory=%llu seconds=%.2f unpacked=%llu\n", chunks, x86_chunks,
              largest_dict, (unsigned long long)decoder_memory, (unsigned long long)(peak > before ? peak - before : 0),
              seconds, (unsigned long long)unpacked);
  return 0;
}
