// The allocation policy of the program: operator new asks the registered memory-release handler
// (std::set_new_handler) to free memory and tries again, at most 100 times per allocation and
// 50000 times in a process; when nothing more can be had, the fatal error "Out Of Memory" with the
// requested size and the words of the current stack ends the run (exit code -1, a message unless
// silent). A crash report made later in the process says that memory ran out before.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "crash/crash_report.h"
#include "foundation/fatal_error.h"

namespace halberd::crash {

namespace {
std::atomic<bool> g_ran_out{false};
std::atomic<long> g_release_requests{0};
constexpr int kRetriesPerAllocation = 100;
constexpr long kReleaseRequestsPerProcess = 50000;

[[noreturn]] __attribute__((noinline)) void OutOfMemory(size_t requested) {
  uint32_t words[kOutOfMemoryStackWords] = {};
  // The words from this frame on up: the callers' frames, always mapped.
  const volatile uint32_t* stack = static_cast<const volatile uint32_t*>(__builtin_frame_address(0));
  for (size_t i = 0; i < kOutOfMemoryStackWords; ++i) words[i] = stack[i];
  FatalError(OutOfMemoryMessage(requested, words, kOutOfMemoryStackWords));
}

void* Allocate(size_t size) {
  if (size == 0) size = 1;
  for (int retry = 0;; ++retry) {
    if (void* p = std::malloc(size)) return p;
    std::new_handler release = std::get_new_handler();
    if (!release || retry >= kRetriesPerAllocation || g_release_requests.fetch_add(1) >= kReleaseRequestsPerProcess)
      OutOfMemory(size);
    g_ran_out.store(true);
    release();
  }
}
}  // namespace

bool MemoryRanOutBefore() { return g_ran_out.load(); }

}  // namespace halberd::crash

void* operator new(std::size_t size) { return halberd::crash::Allocate(size); }
void* operator new[](std::size_t size) { return halberd::crash::Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
