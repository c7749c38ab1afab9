#include "pack/chunk_compressor.h"

#include <algorithm>

#include "foundation/format/crc32.h"
#include "foundation/format/setup_cipher.h"
#include "foundation/format/xz_encode.h"
#include "pack/payload.h"

namespace halberd::pack {

using format::Bytes;

namespace {

// Program files whose share of a chunk is at least half are worth trying with the x86 filter.
bool MostlyMachineCode(const ChunkContent& c) { return c.machine_code_bytes * 2 >= c.unpacked.size(); }

// The branch filter helps real machine code (calls to one function from many places become one
// absolute address) and hurts data that only looks like it; a fast trial on a sample decides.
bool X86FilterPays(const Bytes& unpacked) {
  constexpr size_t kSample = 512 * 1024;
  size_t n = std::min(unpacked.size(), kSample);
  const uint8_t* sample = unpacked.data() + (unpacked.size() - n) / 2;
  format::XzOptions plain;
  plain.preset = 1;
  format::XzOptions x86 = plain;
  x86.x86_filter = true;
  Bytes a, b;
  if (!format::XzEncode(sample, n, plain, a) || !format::XzEncode(sample, n, x86, b)) return false;
  return b.size() * 100 <= a.size() * 99;  // at least 1 % smaller
}

}  // namespace

Bytes StoreChunk(const ChunkContent& chunk, const ArchiveOptions& o) {
  Bytes stored;
  if (o.compress) {
    format::XzOptions xo;
    xo.preset = o.xz_preset;
    xo.x86_filter = MostlyMachineCode(chunk) && X86FilterPays(chunk.unpacked);
    format::XzEncode(chunk.unpacked.data(), chunk.unpacked.size(), xo, stored);
  } else {
    stored = chunk.unpacked;
  }
  if (o.cipher_key) stored = format::EncipherBlock(stored.data(), stored.size(), o.cipher_key);
  format::ByteWriter out;
  out.I32(int32_t(stored.size()));
  out.U32(format::Crc32(stored.data(), stored.size()));
  out.Raw(stored);
  return std::move(out.bytes());
}

unsigned PackThreads(unsigned requested) {
  if (requested) return requested;
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

ChunkCompressor::ChunkCompressor(const ArchiveOptions& options, Bytes& archive, unsigned threads)
    : options_(options), archive_(archive) {
  unsigned n = PackThreads(threads);
  // Two chunks per thread keep every core busy while the next files are read.
  max_in_flight_ = size_t(n) * 2;
  if (n > 1)
    for (unsigned i = 0; i < n; ++i) workers_.emplace_back([this] { Work(); });
}

ChunkCompressor::~ChunkCompressor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ChunkCompressor::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return closing_ || handed_out_ < jobs_.size(); });
    if (handed_out_ == jobs_.size()) return;  // closing, nothing left
    Job* job = jobs_[handed_out_++].get();
    lock.unlock();
    Bytes stored = StoreChunk(job->content, options_);
    lock.lock();
    job->stored = std::move(stored);
    job->content.unpacked = Bytes();
    job->done = true;
    job_done_.notify_all();
  }
}

void ChunkCompressor::AppendFinishedFront(std::unique_lock<std::mutex>& lock, bool wait_for_all) {
  while (!jobs_.empty() && (wait_for_all || jobs_.size() >= max_in_flight_)) {
    job_done_.wait(lock, [this] { return jobs_.front()->done; });
    std::unique_ptr<Job> job = std::move(jobs_.front());
    jobs_.pop_front();
    --handed_out_;
    archive_.insert(archive_.end(), job->stored.begin(), job->stored.end());
  }
}

void ChunkCompressor::Add(ChunkContent chunk) {
  if (workers_.empty()) {
    Bytes stored = StoreChunk(chunk, options_);
    archive_.insert(archive_.end(), stored.begin(), stored.end());
    return;
  }
  auto job = std::make_unique<Job>();
  job->content = std::move(chunk);
  std::unique_lock<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
  work_ready_.notify_one();
  AppendFinishedFront(lock, false);
}

void ChunkCompressor::Finish() {
  if (workers_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  AppendFinishedFront(lock, true);
}

}  // namespace halberd::pack
