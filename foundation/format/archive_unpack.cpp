// Unpacking the archive's chunks into the extraction stream, in one thread or with workers that
// unpack the next chunks ahead. The source is read on the calling thread only (a file source
// moves one file pointer), and every code a chunk gives is handed back when the sink reaches
// that chunk, so the order of codes and output is the same as in one thread.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/format/setup_data.h"

namespace halberd::format {

namespace {

// One chunk as read from the source: checked length and CRC, the stored bytes in place or copied.
struct StoredChunk {
  ArchiveResult failure;  // a damaged head or length (61-63) or a failed read: nothing after it is read
  const uint8_t* data = nullptr;
  size_t size = 0;
  Bytes copy;           // the stored bytes when they are not available in place
  bool deciphered = false;
  uint64_t end_at = 0;  // archive bytes consumed once this chunk is done
};

class ChunkReader {
 public:
  ChunkReader(const SetupHeader& h, ArchiveSource& source) : h_(h), source_(source) {}
  bool done() const { return at_ >= uint64_t(h_.archive_size); }

  void Next(StoredChunk& c) {
    const uint64_t total = uint64_t(h_.archive_size);
    uint8_t head[8];
    if (total - at_ < 8) return Fail(c, ArchiveResult::Corrupt(corrupt::kChunkOverrun));
    if (!source_.Read(at_, head, 8)) return Fail(c, ArchiveResult::ReadFailed(at_, 8));
    int32_t stored = int32_t(LoadU32(head));
    uint32_t crc = LoadU32(head + 4);
    at_ += 8;
    if (stored <= 0) return Fail(c, ArchiveResult::Corrupt(corrupt::kChunkLength));
    if (uint64_t(stored) > total - at_) return Fail(c, ArchiveResult::Corrupt(corrupt::kChunkOverrun));
    // Enciphered chunks are deciphered in place, so they always need their own copy.
    c.data = h_.enciphered ? nullptr : source_.View(at_, size_t(stored));
    if (!c.data) {
      c.copy.resize(size_t(stored));
      if (!source_.Read(at_, c.copy.data(), c.copy.size())) return Fail(c, ArchiveResult::ReadFailed(at_, c.copy.size()));
      c.data = c.copy.data();
    }
    c.size = size_t(stored);
    if (Crc32(c.data, c.size) != crc) return Fail(c, ArchiveResult::Corrupt(corrupt::kChunkCrc));
    at_ += uint64_t(stored);
    c.end_at = at_;
  }

 private:
  void Fail(StoredChunk& c, ArchiveResult failure) {
    c.failure = failure;
    at_ = uint64_t(h_.archive_size);  // nothing after a damaged head is read
  }
  const SetupHeader& h_;
  ArchiveSource& source_;
  uint64_t at_ = 0;
};

// Deciphers when the archive is enciphered. The CRC held, so a block that breaks the cipher's
// length rules was packed wrongly.
bool Decipher(const SetupHeader& h, StoredChunk& c) {
  if (!h.enciphered || c.deciphered) return true;
  if (!DecipherBlock(c.copy, h.cipher_key.data())) return false;
  c.deciphered = true;
  c.data = c.copy.data();
  c.size = c.copy.size();
  return true;
}

// Deciphers and unpacks one chunk straight into the sink.
ArchiveResult UnpackToSink(const SetupHeader& h, bool xz_chunks, StoredChunk& c, const OutputSink& sink) {
  if (!Decipher(h, c)) return ArchiveResult::Corrupt(corrupt::kChunkUnpack);
  if (xz_chunks) {
    XzStatus status = XzDecodeTo(c.data, c.size, sink);
    if (status == XzStatus::kSinkFailed) return ArchiveResult::SinkFailed();
    if (status != XzStatus::kOk) return ArchiveResult::Corrupt(corrupt::kChunkUnpack);
  } else if (c.size > 0 && !sink(c.data, c.size)) {
    return ArchiveResult::SinkFailed();
  }
  return {};
}

// Reads, unpacks and writes the chunks `reader` has not given yet, one after another.
ArchiveResult UnpackRemainingChunks(const SetupHeader& h, bool xz_chunks, ChunkReader& reader,
                                    const OutputSink& sink, const ArchiveProgress& progress) {
  while (!reader.done()) {
    StoredChunk c;
    reader.Next(c);
    if (!c.failure.ok()) return c.failure;
    ArchiveResult result = UnpackToSink(h, xz_chunks, c, sink);
    if (!result.ok()) return result;
    if (progress.on_chunk) progress.on_chunk(c.end_at, uint64_t(h.archive_size));
  }
  return {};
}

ArchiveResult UnpackInOneThread(const SetupHeader& h, bool xz_chunks, ArchiveSource& source, const OutputSink& sink,
                      const ArchiveProgress& progress) {
  ChunkReader reader(h, source);
  return UnpackRemainingChunks(h, xz_chunks, reader, sink, progress);
}

class ParallelUnpacker {
 public:
  ParallelUnpacker(const SetupHeader& h, bool xz_chunks, unsigned threads)
      : h_(h), xz_chunks_(xz_chunks), max_in_flight_(size_t(threads) + 1) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~ParallelUnpacker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  ArchiveResult Run(ArchiveSource& source, const OutputSink& sink, const ArchiveProgress& progress) {
    ChunkReader reader(h_, source);
    bool reading = true;
    for (;;) {
      // Read ahead while there is room; a damaged head is queued too and reported in its turn.
      while (reading && !reader.done() && InFlight() < max_in_flight_) {
        auto job = std::make_unique<Job>();
        reader.Next(job->chunk);
        if (!job->chunk.failure.ok()) {
          job->result = job->chunk.failure;
          job->done = true;
          reading = false;
        }
        Queue(std::move(job));
      }
      std::unique_ptr<Job> job = NextFinished();
      if (!job) return {};
      if (job->too_large) {
        // Unpacking it here, straight into the sink, keeps memory bounded; later chunks follow
        // it in this thread too.
        job->output.clear();
        StopWorkers();
        ArchiveResult result = UnpackToSink(h_, xz_chunks_, job->chunk, sink);
        if (!result.ok()) return result;
        if (progress.on_chunk) progress.on_chunk(job->chunk.end_at, uint64_t(h_.archive_size));
        return RestInThisThread(reader, reading, sink, progress);
      }
      if (!WriteOutput(*job, sink)) return ArchiveResult::SinkFailed();
      if (!job->result.ok()) return job->result;
      if (progress.on_chunk) progress.on_chunk(job->chunk.end_at, uint64_t(h_.archive_size));
    }
  }

 private:
  struct Job {
    StoredChunk chunk;
    // What the chunk unpacked to, up to its damage if any, in blocks of kBlock bytes: a growing
    // vector would hold up to twice the chunk.
    std::vector<Bytes> output;
    size_t output_size = 0;
    ArchiveResult result;
    bool too_large = false;
    bool taken = false;
    bool done = false;
  };

  static constexpr size_t kBlock = 1 << 20;

  static bool WriteOutput(const Job& job, const OutputSink& sink) {
    for (const Bytes& block : job.output)
      if (!block.empty() && !sink(block.data(), block.size())) return false;
    return true;
  }

  size_t InFlight() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
  }

  void Queue(std::unique_ptr<Job> job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    work_ready_.notify_one();
  }

  std::unique_ptr<Job> NextFinished() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (jobs_.empty()) return nullptr;
    job_done_.wait(lock, [this] { return jobs_.front()->done; });
    std::unique_ptr<Job> job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
  }

  // Waits for the chunks already handed out (their output is dropped), then ends the workers.
  void StopWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

  ArchiveResult RestInThisThread(ChunkReader& reader, bool reading, const OutputSink& sink,
                                 const ArchiveProgress& progress) {
    // Chunks read ahead come first, in order: those a worker finished as it left are used as they
    // are, the others are unpacked here.
    while (!jobs_.empty()) {
      std::unique_ptr<Job> job = std::move(jobs_.front());
      jobs_.pop_front();
      if (!job->chunk.failure.ok()) return job->chunk.failure;
      ArchiveResult result;
      if (job->done && !job->too_large) {
        if (!WriteOutput(*job, sink)) return ArchiveResult::SinkFailed();
        result = job->result;
      } else {
        result = UnpackToSink(h_, xz_chunks_, job->chunk, sink);
      }
      if (!result.ok()) return result;
      if (progress.on_chunk) progress.on_chunk(job->chunk.end_at, uint64_t(h_.archive_size));
    }
    return reading ? UnpackRemainingChunks(h_, xz_chunks_, reader, sink, progress) : ArchiveResult{};
  }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Job* job = nullptr;
      work_ready_.wait(lock, [&] {
        if (closing_) return true;
        for (auto& j : jobs_)
          if (!j->taken && !j->done) {
            job = j.get();
            return true;
          }
        return false;
      });
      if (!job) return;
      job->taken = true;
      lock.unlock();
      Unpack(*job);
      lock.lock();
      job->done = true;
      job_done_.notify_all();
    }
  }

  void Unpack(Job& job) {
    if (!Decipher(h_, job.chunk)) {
      job.result = ArchiveResult::Corrupt(corrupt::kChunkUnpack);
      return;
    }
    XzStatus status = XzDecodeTo(job.chunk.data, job.chunk.size, [&job](const uint8_t* p, size_t n) {
      if (job.output_size + n > kMaxBufferedChunk) return false;
      job.output_size += n;
      while (n > 0) {
        if (job.output.empty() || job.output.back().size() == kBlock) {
          job.output.emplace_back();
          job.output.back().reserve(kBlock);
        }
        Bytes& block = job.output.back();
        size_t take = std::min(n, kBlock - block.size());
        block.insert(block.end(), p, p + take);
        p += take;
        n -= take;
      }
      return true;
    });
    if (status == XzStatus::kSinkFailed) {
      job.too_large = true;
      job.output.clear();
      return;
    }
    if (status != XzStatus::kOk) job.result = ArchiveResult::Corrupt(corrupt::kChunkUnpack);
    job.chunk.copy = Bytes();  // the stored bytes are not needed any more

  }

  const SetupHeader& h_;
  const bool xz_chunks_;
  const size_t max_in_flight_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> jobs_;  // in archive order
  bool closing_ = false;
};

}  // namespace

ArchiveResult UnpackArchive(const SetupHeader& h, bool xz_chunks, ArchiveSource& source, const OutputSink& sink,
                            const ArchiveProgress& progress, unsigned threads) {
  // Stored chunks need no work that threads could share.
  if (threads <= 1 || !xz_chunks) return UnpackInOneThread(h, xz_chunks, source, sink, progress);
  ParallelUnpacker unpacker(h, xz_chunks, threads);
  return unpacker.Run(source, sink, progress);
}

}  // namespace halberd::format
