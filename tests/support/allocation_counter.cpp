// Kept in a file of its own: a compiler that sees these bodies next to code
// that calls operator new wrongly reports new/free mismatches.
#include "tests/support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace quillprobe::testing_support {

long AllocationCount() { return allocations.load(); }

}  // namespace quillprobe::testing_support
