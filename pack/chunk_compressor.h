// Compresses the archive's chunks on all cores. Each chunk is an independent xz stream whose
// bytes depend only on its own contents and the options, and the stored chunks are appended in
// the order they were added, so the archive is byte-identical whatever the number of threads.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/format/byte_io.h"

namespace halberd::pack {

struct ArchiveOptions;

// The filters for one chunk. A chunk made mostly of program files (PE images) is tried with the
// x86 branch filter on a sample, which is kept when it pays; other chunks use LZMA2 alone.
struct ChunkContent {
  format::Bytes unpacked;
  size_t machine_code_bytes = 0;  // bytes of the chunk that belong to PE images
};

// One stored chunk: length, CRC-32 of the stored bytes, the bytes (compressed, enciphered).
format::Bytes StoreChunk(const ChunkContent& chunk, const ArchiveOptions& options);

class ChunkCompressor {
 public:
  // `threads` 0: one per hardware thread. The archive receives the stored chunks in order.
  ChunkCompressor(const ArchiveOptions& options, format::Bytes& archive, unsigned threads);
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // Queues a chunk; waits while too many are in flight, so memory stays bounded.
  void Add(ChunkContent chunk);
  // Waits for every queued chunk and appends the rest.
  void Finish();

 private:
  struct Job {
    ChunkContent content;
    format::Bytes stored;
    bool done = false;
  };
  void Work();
  void AppendFinishedFront(std::unique_lock<std::mutex>& lock, bool wait_for_all);

  const ArchiveOptions& options_;
  format::Bytes& archive_;
  size_t max_in_flight_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> jobs_;  // in archive order; the front is appended next
  size_t handed_out_ = 0;                  // jobs in `jobs_` already taken by a worker
  bool closing_ = false;
};

unsigned PackThreads(unsigned requested);

}  // namespace halberd::pack
