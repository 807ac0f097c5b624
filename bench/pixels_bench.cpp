// The back buffer's hot paths at 1280 x 720, 32 and 16 bits, each beside its reference: the
// opaque copy beside memcpy of the same bytes, the blends and the add beside pixman's OVER
// (solid or a8 mask) and ADD; then stretch and rotate-and-zoom.
//   build/orba_bench --benchmark_filter=Pixels
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>

#include "render/dibx.h"

namespace {

using orba::TDIBX;
using orba::TRect;

constexpr int32_t kW = 1280, kH = 720;

struct Scene {
  TDIBX src, dst, mask;
  explicit Scene(int32_t format) {
    src.SetSize(kW, kH, format);
    dst.SetSize(kW, kH, format);
    mask.SetSize(kW, kH, 8);
    std::mt19937 rng(1);
    for (int32_t y = 0; y < kH; ++y) {
      for (int32_t i = 0; i < src.Pitch(); ++i) {
        src.Image().ScanLine(y)[i] = static_cast<uint8_t>(rng());
        dst.Image().ScanLine(y)[i] = static_cast<uint8_t>(rng());
      }
      for (int32_t x = 0; x < kW; ++x) mask.Image().ScanLine(y)[x] = static_cast<uint8_t>(rng());
    }
  }
};

pixman_format_code_t PixmanFormat(int32_t format) {
  return format == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
}

pixman_image_t* Wrap(TDIBX& s, pixman_format_code_t f) {
  return pixman_image_create_bits(f, s.Width(), s.Height(), reinterpret_cast<uint32_t*>(s.Image().Bits()),
                                  s.Pitch());
}

void SetBytes(benchmark::State& state, const Scene& s) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.dst.Pitch()) * kH);
}

// ---- ours ----

void Pixels_Copy(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.Draw(0, 0, false, false, false, TRect{0, 0, kW, kH}, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_Memcpy(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  size_t bytes = static_cast<size_t>(s.dst.Pitch()) * kH;
  for (auto _ : state) {
    std::memcpy(s.dst.Image().Bits(), s.src.Image().Bits(), bytes);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_Blend(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.DrawBlend(0, 0, 128, false, false, false, TRect{0, 0, kW, kH}, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_AlphaMask(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.DrawMasked(0, 0, s.mask, false, false, TRect{0, 0, kW, kH}, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_Add(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.DrawAdd(0, 0, 256, false, false, TRect{0, 0, kW, kH}, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_AddScaled(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.DrawAdd(0, 0, 200, false, false, TRect{0, 0, kW, kH}, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_Stretch(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.StretchDraw(TRect{0, 0, kW, kH}, TRect{0, 0, kW / 2, kH / 2}, 255, false, false, false, s.src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

void Pixels_RotateZoom(benchmark::State& state) {
  Scene s(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    s.dst.DrawRotate(kW / 2, kH / 2, 255, false, false, false, 20, kH / 4, kW / 4, TRect{0, 0, kW / 2, kH / 2}, s.src,
                     400, 400);
    benchmark::ClobberMemory();
  }
  SetBytes(state, s);
}

// ---- pixman ----

void Pixman_OverSolid(benchmark::State& state) {
  int32_t format = static_cast<int32_t>(state.range(0));
  Scene s(format);
  pixman_image_t* src = Wrap(s.src, PixmanFormat(format));
  pixman_image_t* dst = Wrap(s.dst, PixmanFormat(format));
  pixman_color_t half = {0, 0, 0, 0x8080};
  pixman_image_t* mask = pixman_image_create_solid_fill(&half);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  SetBytes(state, s);
}

void Pixman_OverA8(benchmark::State& state) {
  int32_t format = static_cast<int32_t>(state.range(0));
  Scene s(format);
  pixman_image_t* src = Wrap(s.src, PixmanFormat(format));
  pixman_image_t* dst = Wrap(s.dst, PixmanFormat(format));
  pixman_image_t* mask = Wrap(s.mask, PIXMAN_a8);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  SetBytes(state, s);
}

void Pixman_Add(benchmark::State& state) {
  int32_t format = static_cast<int32_t>(state.range(0));
  Scene s(format);
  pixman_image_t* src = Wrap(s.src, PixmanFormat(format));
  pixman_image_t* dst = Wrap(s.dst, PixmanFormat(format));
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  SetBytes(state, s);
}

void Pixman_AddSolid(benchmark::State& state) {
  int32_t format = static_cast<int32_t>(state.range(0));
  Scene s(format);
  pixman_image_t* src = Wrap(s.src, PixmanFormat(format));
  pixman_image_t* dst = Wrap(s.dst, PixmanFormat(format));
  pixman_color_t amount = {0, 0, 0, 0xC8C8};
  pixman_image_t* mask = pixman_image_create_solid_fill(&amount);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_ADD, src, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  SetBytes(state, s);
}

}  // namespace

#define PIXEL_BENCH(fn) BENCHMARK(fn)->Arg(32)->Arg(16)->Unit(benchmark::kMicrosecond)
PIXEL_BENCH(Pixels_Copy);
PIXEL_BENCH(Pixels_Memcpy);
PIXEL_BENCH(Pixels_Blend);
PIXEL_BENCH(Pixman_OverSolid);
PIXEL_BENCH(Pixels_AlphaMask);
PIXEL_BENCH(Pixman_OverA8);
PIXEL_BENCH(Pixels_Add);
PIXEL_BENCH(Pixman_Add);
PIXEL_BENCH(Pixels_AddScaled);
PIXEL_BENCH(Pixman_AddSolid);
PIXEL_BENCH(Pixels_Stretch);
PIXEL_BENCH(Pixels_RotateZoom);
