// Packing on several cores: the archive is the same byte for byte as with one thread, unpacks to
// the extraction stream, and chunks of program files take the x86 filter only where it pays.
#include "pack/chunk_compressor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/format/file_entry.h"
#include "foundation/format/setup_data.h"
#include "pack/payload.h"

namespace fs = std::filesystem;
using namespace halberd;
using namespace halberd::format;

namespace {

// Calls from many places to a few functions: the relative targets all differ, the absolute ones
// repeat, which is what the x86 filter turns into matches.
std::string MachineCode(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s = "MZ";
  const uint32_t functions[] = {0x1000, 0x2400, 0x5310, 0x9000, 0xA0C0, 0xC004};
  while (s.size() < size) {
    uint32_t target = functions[rng() % 6];
    int32_t rel = int32_t(target - uint32_t(s.size() + 5));
    s += char(0xE8);
    for (int i = 0; i < 4; ++i) s += char((uint32_t(rel) >> (8 * i)) & 0xFF);
    s += "\x8B\x45\x08\x89\xC1";
  }
  s.resize(size);
  return s;
}

std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

struct Product {
  fs::path dir;
  std::vector<pack::PackedFile> files;
  Bytes stream;
};

Product MakeProduct() {
  Product p;
  // A folder of its own: the tests of this file run as parallel processes, and one would empty a
  // shared folder while another reads it.
  p.dir = fs::temp_directory_path() / ("halberd-chunk-compressor-" + std::to_string(std::random_device()()));
  fs::remove_all(p.dir);
  fs::create_directories(p.dir / "bin");
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "entry " + std::to_string(i * 7919 % 5000) + " of the list\r\n";
  std::ofstream(p.dir / "bin" / "tool.exe", std::ios::binary) << MachineCode(400000, 1);
  std::ofstream(p.dir / "bin" / "noise.dll", std::ios::binary) << "MZ" << Noise(200000, 2);
  std::ofstream(p.dir / "readme.txt", std::ios::binary) << text;
  std::ofstream(p.dir / "media.bin", std::ios::binary) << Noise(150000, 3);
  std::string error;
  EXPECT_TRUE(pack::CollectFiles(p.dir, p.files, error)) << error;
  for (const auto& f : p.files) {
    ByteWriter w;
    WriteFileEntryHead(f.entry, w);
    p.stream.insert(p.stream.end(), w.bytes().begin(), w.bytes().end());
    std::ifstream in(f.source, std::ios::binary);
    p.stream.insert(p.stream.end(), std::istreambuf_iterator<char>(in), {});
  }
  return p;
}

pack::Archive Pack(const Product& p, unsigned threads, const uint8_t* key = nullptr) {
  pack::ArchiveOptions o;
  o.chunk_size = 64 * 1024;
  o.threads = threads;
  o.cipher_key = key;
  pack::Archive a;
  std::string error;
  EXPECT_TRUE(pack::BuildArchive(p.files, o, a, error)) << error;
  return a;
}

// The stored chunks, each as its xz bytes.
std::vector<Bytes> Chunks(const Bytes& archive) {
  std::vector<Bytes> chunks;
  for (size_t at = 0; at + 8 <= archive.size();) {
    size_t n = LoadU32(archive.data() + at);
    chunks.emplace_back(archive.begin() + long(at + 8), archive.begin() + long(at + 8 + n));
    at += 8 + n;
  }
  return chunks;
}

// The block header of a one-block xz stream follows the 12-byte stream header: size, flags (low
// two bits: filter count - 1; 0x40 and 0x80: a compressed and an uncompressed size follow as
// variable-length numbers), then the first filter's id (0x04: x86).
bool UsesX86Filter(const Bytes& xz) {
  if (xz.size() < 16) return false;
  uint8_t flags = xz[13];
  size_t at = 14;
  for (int field = 0; field < ((flags & 0x40) ? 1 : 0) + ((flags & 0x80) ? 1 : 0); ++field)
    while (at < xz.size() && (xz[at++] & 0x80)) {
    }
  return (flags & 3) == 1 && at < xz.size() && xz[at] == 0x04;
}

}  // namespace

TEST(ChunkCompressor, ManyThreadsGiveTheSameBytesAsOne) {
  Product p = MakeProduct();
  Bytes key(kCipherKeySize, 0x5A);
  for (const uint8_t* cipher : {static_cast<const uint8_t*>(nullptr), static_cast<const uint8_t*>(key.data())}) {
    pack::Archive one = Pack(p, 1, cipher);
    ASSERT_GT(one.chunk_count, 10u);
    for (unsigned threads : {2u, 3u, 8u}) {
      pack::Archive many = Pack(p, threads, cipher);
      EXPECT_EQ(many.bytes, one.bytes) << threads << " threads";
      EXPECT_EQ(many.file_sizes, one.file_sizes);
      EXPECT_EQ(many.chunk_count, one.chunk_count);
    }
  }
}

TEST(ChunkCompressor, ArchiveUnpacksToTheStreamWithFiltersChosenByContent) {
  Product p = MakeProduct();
  pack::Archive a = Pack(p, 4);
  SetupHeader h;
  h.archive_size = int32_t(a.bytes.size());
  MemoryArchiveSource source(a.bytes.data(), a.bytes.size());
  Bytes out;
  ASSERT_TRUE(UnpackArchive(h, true, source, [&](const uint8_t* d, size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  }).ok());
  EXPECT_EQ(out, p.stream);

  // Archive order: bin/noise.dll, bin/tool.exe, media.bin, readme.txt. The real machine code takes
  // the filter; PE files of noise, plain data and text do not.
  std::vector<Bytes> chunks = Chunks(a.bytes);
  size_t stream_at = 0;
  std::vector<std::pair<size_t, bool>> at_and_x86;
  for (const Bytes& c : chunks) {
    at_and_x86.emplace_back(stream_at, UsesX86Filter(c));
    stream_at += 64 * 1024;
  }
  auto position_of = [&](const char* needle) {
    std::string s(p.stream.begin(), p.stream.end());
    return s.find(needle);
  };
  size_t tool = position_of("tool.exe"), media = position_of("media.bin");
  int code_chunks = 0;
  for (auto [at, x86] : at_and_x86) {
    bool inside_tool = at > tool + 1000 && at + 64 * 1024 < media;
    if (inside_tool) {
      EXPECT_TRUE(x86) << "chunk at " << at;
      ++code_chunks;
    } else if (at + 64 * 1024 < tool || at > media) {
      EXPECT_FALSE(x86) << "chunk at " << at;
    }
  }
  EXPECT_GE(code_chunks, 3);
}
