// Unpacking with workers ahead: the sink gets the same bytes, progress the same calls and a
// damaged archive the same code as in one thread, whatever the damage and wherever it lies; a
// failed read of the source is reported as such, with one thread and with workers.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/format/setup_data.h"
#include "foundation/format/xz_encode.h"

using namespace halberd;
using namespace halberd::format;

namespace {

// A source like the program file: no bytes in place, every read a copy.
class CopyingSource : public ArchiveSource {
 public:
  explicit CopyingSource(const Bytes& b) : memory_(b.data(), b.size()) {}
  uint64_t size() const override { return memory_.size(); }
  bool Read(uint64_t offset, uint8_t* buffer, size_t n) override { return memory_.Read(offset, buffer, n); }

 private:
  MemoryArchiveSource memory_;
};

Bytes Piece(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = uint8_t(i % 97 < 60 ? 'a' + rng() % 8 : rng());
  return b;
}

struct Archive {
  SetupHeader header;
  Bytes bytes;
  std::vector<size_t> chunk_at;  // where each chunk's head starts
};

Archive MakeArchive(const std::vector<size_t>& sizes, const Bytes& key = {}) {
  Archive a;
  a.header.enciphered = !key.empty();
  if (a.header.enciphered) std::copy(key.begin(), key.end(), a.header.cipher_key.begin());
  uint32_t seed = 1;
  for (size_t size : sizes) {
    Bytes plain = Piece(size, seed++), xz;
    XzOptions o;
    o.preset = 1;
    EXPECT_TRUE(XzEncode(plain.data(), plain.size(), o, xz));
    if (a.header.enciphered) xz = EncipherBlock(xz.data(), xz.size(), key.data());
    a.chunk_at.push_back(a.bytes.size());
    ByteWriter w;
    w.I32(int32_t(xz.size()));
    w.U32(Crc32(xz.data(), xz.size()));
    w.Raw(xz);
    a.bytes.insert(a.bytes.end(), w.bytes().begin(), w.bytes().end());
  }
  a.header.archive_size = int32_t(a.bytes.size());
  return a;
}

// Changes stored bytes of chunk i and mends its CRC, so the xz data itself is what fails.
void DamageXz(Archive& a, size_t i) {
  size_t at = a.chunk_at[i];
  uint32_t n = LoadU32(a.bytes.data() + at);
  for (size_t k = n / 2; k < n / 2 + 16; ++k) a.bytes[at + 8 + k] ^= 0x5A;
  StoreU32(a.bytes.data() + at + 4, Crc32(a.bytes.data() + at + 8, n));
}

// A program file whose reads fail from a position on: every read that reaches `fail_from` fails.
class FailingSource : public ArchiveSource {
 public:
  FailingSource(const Bytes& b, uint64_t fail_from) : memory_(b.data(), b.size()), fail_from_(fail_from) {}
  uint64_t size() const override { return memory_.size(); }
  bool Read(uint64_t offset, uint8_t* buffer, size_t n) override {
    return offset + n <= fail_from_ && memory_.Read(offset, buffer, n);
  }

 private:
  MemoryArchiveSource memory_;
  uint64_t fail_from_;
};

struct Outcome {
  ArchiveResult result;
  Bytes output;
  std::vector<uint64_t> progress;
  bool operator==(const Outcome&) const = default;
};

Outcome UnpackFrom(const Archive& a, ArchiveSource& source, unsigned threads, size_t sink_limit = SIZE_MAX) {
  Outcome o;
  ArchiveProgress progress;
  progress.on_chunk = [&](uint64_t consumed, uint64_t) { o.progress.push_back(consumed); };
  o.result = UnpackArchive(a.header, true, source, [&](const uint8_t* p, size_t n) {
    if (o.output.size() + n > sink_limit) return false;  // a full disk
    o.output.insert(o.output.end(), p, p + n);
    return true;
  }, progress, threads);
  return o;
}

Outcome UnpackWith(const Archive& a, unsigned threads, bool in_place, size_t sink_limit = SIZE_MAX) {
  MemoryArchiveSource memory(a.bytes.data(), a.bytes.size());
  CopyingSource copying(a.bytes);
  return UnpackFrom(a, in_place ? static_cast<ArchiveSource&>(memory) : copying, threads, sink_limit);
}

}  // namespace

TEST(ArchiveUnpack, WorkersGiveWhatOneThreadGives) {
  const std::vector<size_t> sizes = {70000, 1, 150000, 30000, 90000, 5000, 120000, 64000, 10};
  Bytes key(kCipherKeySize);
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 7 + 1);
  struct Case {
    const char* name;
    std::function<void(Archive&)> damage;
    int code;  // 0: intact
  };
  const Case cases[] = {
      {"intact", [](Archive&) {}, 0},
      {"xz damage in the first chunk", [](Archive& a) { DamageXz(a, 0); }, corrupt::kChunkUnpack},
      {"xz damage in the middle", [](Archive& a) { DamageXz(a, 4); }, corrupt::kChunkUnpack},
      {"xz damage in the last chunk", [](Archive& a) { DamageXz(a, 8); }, corrupt::kChunkUnpack},
      // The later damage is read ahead first; the earlier one is still the one reported.
      {"xz damage before a zero length", [](Archive& a) { DamageXz(a, 3); StoreU32(a.bytes.data() + a.chunk_at[4], 0); },
       corrupt::kChunkUnpack},
      {"xz damage before a bad CRC", [](Archive& a) { DamageXz(a, 2); a.bytes[a.chunk_at[5] + 20] ^= 1; },
       corrupt::kChunkUnpack},
      {"bad CRC before xz damage", [](Archive& a) { a.bytes[a.chunk_at[2] + 20] ^= 1; DamageXz(a, 5); },
       corrupt::kChunkCrc},
      {"chunk past the end", [](Archive& a) { StoreU32(a.bytes.data() + a.chunk_at[6], 0x7FFFFFF0); },
       corrupt::kChunkOverrun},
      {"archive ends inside a head", [](Archive& a) { a.header.archive_size = int32_t(a.chunk_at[7] + 5); },
       corrupt::kChunkOverrun},
  };
  for (bool enciphered : {false, true}) {
    for (const Case& c : cases) {
      Archive a = MakeArchive(sizes, enciphered ? key : Bytes{});
      c.damage(a);
      for (bool in_place : {true, false}) {
        Outcome one = UnpackWith(a, 1, in_place);
        EXPECT_TRUE(one.result == (c.code ? ArchiveResult::Corrupt(c.code) : ArchiveResult{})) << c.name;
        for (unsigned threads : {2u, 3u, 8u}) {
          Outcome many = UnpackWith(a, threads, in_place);
          EXPECT_TRUE(many.result == one.result) << c.name << ", " << threads << " threads";
          EXPECT_TRUE(many.output == one.output) << c.name << ", " << threads << " threads";
          EXPECT_EQ(many.progress, one.progress) << c.name << ", " << threads << " threads";
        }
      }
    }
  }
}

TEST(ArchiveUnpack, AFullSinkStopsAtTheSameByte) {
  Archive a = MakeArchive({70000, 150000, 30000, 90000, 120000});
  for (size_t limit : {size_t(0), size_t(100000), size_t(300000)}) {
    Outcome one = UnpackWith(a, 1, true, limit);
    Outcome many = UnpackWith(a, 3, true, limit);
    EXPECT_EQ(one.result.outcome, ArchiveOutcome::kSinkFailed);
    EXPECT_EQ(many.result.outcome, ArchiveOutcome::kSinkFailed) << limit;
    EXPECT_EQ(many.progress, one.progress) << limit;
    // One thread hands the sink 16 KiB pieces, the workers a chunk at a time: the bytes taken
    // are the same up to the chunk that did not fit.
    ASSERT_LE(many.output.size(), one.output.size());
    EXPECT_TRUE(std::equal(many.output.begin(), many.output.end(), one.output.begin())) << limit;
  }
}

TEST(ArchiveUnpack, ChunksTooLargeToHoldGoOnInOneThread) {
  // A large chunk first, then small ones after a large one in the middle.
  for (std::vector<size_t> sizes : {std::vector<size_t>{kMaxBufferedChunk + 1, 50000, 40000},
                                    std::vector<size_t>{50000, 60000, 70000, kMaxBufferedChunk + 5000, 30000, 20000}}) {
    Archive a = MakeArchive(sizes);
    Outcome one = UnpackWith(a, 1, false);
    ASSERT_TRUE(one.result.ok());
    Outcome many = UnpackWith(a, 3, false);
    EXPECT_TRUE(many == one);
    DamageXz(a, sizes.size() - 1);
    EXPECT_TRUE(UnpackWith(a, 3, false) == UnpackWith(a, 1, false));
  }
}

// A read of the program file that fails while the chunks are walked is its own failure, not a
// corrupt code: it names the read that failed, and what came before it reached the sink, with
// one thread and with workers.
TEST(ArchiveUnpack, AFailedReadIsReportedWithItsPositionAndSize) {
  const std::vector<size_t> sizes = {70000, 150000, 30000, 90000};
  Bytes key(kCipherKeySize);
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 7 + 1);
  for (bool enciphered : {false, true}) {
    const Archive a = MakeArchive(sizes, enciphered ? key : Bytes{});
    const Outcome intact = UnpackWith(a, 1, false);
    ASSERT_TRUE(intact.result.ok());
    for (size_t chunk = 0; chunk < sizes.size(); ++chunk) {
      const uint64_t head = a.chunk_at[chunk];
      const size_t stored = LoadU32(a.bytes.data() + head);
      struct Where { const char* name; uint64_t fail_from; ArchiveResult expected; };
      for (Where w : {Where{"head", head + 3, ArchiveResult::ReadFailed(head, 8)},
                      Where{"body", head + 8 + stored - 1, ArchiveResult::ReadFailed(head + 8, stored)}}) {
        for (unsigned threads : {1u, 3u}) {
          SCOPED_TRACE(std::string(enciphered ? "enciphered, " : "") + "chunk " + std::to_string(chunk) + " " +
                       w.name + ", " + std::to_string(threads) + " threads");
          FailingSource source(a.bytes, w.fail_from);
          Outcome o = UnpackFrom(a, source, threads);
          EXPECT_EQ(o.result.outcome, ArchiveOutcome::kSourceReadFailed);
          EXPECT_EQ(o.result.corrupt_code, 0);
          EXPECT_EQ(o.result.read_offset, w.expected.read_offset);
          EXPECT_EQ(o.result.read_size, w.expected.read_size);
          // The chunks before the failed read were all delivered, in order.
          EXPECT_EQ(o.progress, std::vector<uint64_t>(intact.progress.begin(), intact.progress.begin() + chunk));
          ASSERT_LE(o.output.size(), intact.output.size());
          EXPECT_TRUE(std::equal(o.output.begin(), o.output.end(), intact.output.begin()));
        }
      }
    }
    // The check of the whole archive reads it in pieces too.
    FailingSource source(a.bytes, a.bytes.size() - 1);
    ArchiveResult verified = VerifyArchive(a.header, source);
    EXPECT_EQ(verified.outcome, ArchiveOutcome::kSourceReadFailed);
    EXPECT_EQ(verified.read_offset + verified.read_size, a.bytes.size());
  }
}

TEST(ArchiveUnpack, ReadFailureMessage) {
  EXPECT_EQ(ArchiveReadFailureMessage(8, 4096 + 1234), "Error code 2: failed to read archive data\r\nsize=8 pos=5330");
  EXPECT_EQ(ArchiveReadFailureMessage(65536, 0), "Error code 2: failed to read archive data\r\nsize=65536 pos=0");
}
