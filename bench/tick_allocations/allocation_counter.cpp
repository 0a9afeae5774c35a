#include "tick_allocations/allocation_counter.h"

#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace calvera::bench {
namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<bool> tracing{false};

void* Allocate(std::size_t size, std::size_t alignment) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (tracing.exchange(false)) {
    // backtrace_symbols_fd writes without allocating; tracing is off meanwhile so that
    // whatever backtrace itself needs is not traced.
    void* frames[32];
    const int depth = backtrace(frames, 32);
    static const char kHeader[] = "--- allocation\n";
    static_cast<void>(write(STDERR_FILENO, kHeader, sizeof kHeader - 1));
    backtrace_symbols_fd(frames, depth, STDERR_FILENO);
    tracing.store(true);
  }
  if (size == 0)
    size = 1;
  void* const memory =
      alignment > alignof(std::max_align_t)
          ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
          : std::malloc(size);
  return memory;
}

}  // namespace

std::uint64_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

void SetAllocationTracing(bool on) {
  if (on) {
    // The first backtrace loads the unwinder, which allocates: do that now.
    void* frame[1];
    static_cast<void>(backtrace(frame, 1));
  }
  tracing.store(on);
}

}  // namespace calvera::bench

using calvera::bench::Allocate;

void* operator new(std::size_t size) {
  if (void* memory = Allocate(size, 0))
    return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (void* memory = Allocate(size, static_cast<std::size_t>(alignment)))
    return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
  std::free(memory);
}
