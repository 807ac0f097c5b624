// The test binary's operator new and delete, over malloc and free, counting allocations while
// asked to. Kept in a file of its own so the compiler never sees them inlined beside the
// library's allocations.
#include "media/counting_alloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting{false};
std::atomic<int> allocations{0};
}  // namespace

namespace orba::testing_support {
void CountAllocations(bool on) {
  if (on) allocations = 0;
  counting = on;
}
int Allocations() { return allocations; }
}  // namespace orba::testing_support

void* operator new(size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
