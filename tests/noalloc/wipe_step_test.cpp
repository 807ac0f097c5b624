// A transition's Step runs once a tick for every screen change, so it must not allocate: every
// table, mask and blurred copy is made when the effect is created or initialised. This binary
// replaces the global allocation functions with ones that count while a step runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "render/wipe.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* Allocate(std::size_t n, std::size_t align = 0) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  if (n == 0) n = 1;
  void* p = align ? std::aligned_alloc(align, (n + align - 1) / align * align) : std::malloc(n);
  if (!p) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return Allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return Allocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace orba {
namespace {

// Every effect at every depth and in both directions, after Init: not one allocation in any
// step from the first to the one that finishes.
TEST(WipeStep, NeverAllocates) {
  // The counter sees the library's allocations: sizing a surface counts.
  counting = true;
  TDIBX probe;
  probe.SetSize(8, 8, 32);
  counting = false;
  ASSERT_GT(allocations.exchange(0), 0);

  constexpr int kW = 96, kH = 72, kDuration = 12;
  for (int format : {32, 24, 16, 15})
    for (int kind = 1; kind <= 38; ++kind)
      for (bool reverse : {false, true}) {
        TDIBX from, to, target;
        for (TDIBX* s : {&from, &to, &target}) s->SetSize(kW, kH, format);
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x) {
            from.SetPixel(x, y, static_cast<uint32_t>(from.ColorToPixel(x * 2 << 8 | y * 3)));
            to.SetPixel(x, y, static_cast<uint32_t>(to.ColorToPixel(0xFF0000 - (x << 16) + y)));
          }
        TWipeStart start;
        start.kind = kind;
        start.duration = kDuration;
        start.reverse = reverse;
        auto wipe = StartWipe(start, target, from, to);
        ASSERT_TRUE(wipe) << kind;
        counting = true;
        for (int32_t t = 0; t <= kDuration; ++t) {
          wipe->Elapsed = t;
          wipe->Step();
        }
        counting = false;
        EXPECT_EQ(allocations.exchange(0), 0) << WipeKindName(kind) << " format " << format
                                               << (reverse ? " reverse" : "");
      }
}

}  // namespace
}  // namespace orba
