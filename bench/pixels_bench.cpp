// The back buffer's hot paths at 1280 x 720, 32 and 16 bits, each beside its reference: the
// opaque copy beside memcpy of the same bytes, the blends and the add beside pixman's OVER
// (solid or a8 mask) and ADD; then stretch and rotate-and-zoom, each beside pixman's
// nearest-neighbour transform of the same picture with the same matrix.
//   build/orba_bench --benchmark_filter=Pixels
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
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

// pixman's nearest-neighbour sampling through a transform that maps destination pixels to
// source pixels, SRC onto the whole destination as our opaque stretch and rotation copy.
void PixmanTransformed(benchmark::State& state, const pixman_transform_t& t, int32_t dstX, int32_t dstY,
                       int32_t width, int32_t height) {
  int32_t format = static_cast<int32_t>(state.range(0));
  Scene s(format);
  pixman_image_t* src = Wrap(s.src, PixmanFormat(format));
  pixman_image_t* dst = Wrap(s.dst, PixmanFormat(format));
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, dstX, dstY, width, height);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  SetBytes(state, s);
}

// The Stretch benchmark's scale: the top-left quarter of the source onto the whole destination.
void Pixman_StretchNearest(benchmark::State& state) {
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
  PixmanTransformed(state, t, 0, 0, kW, kH);
}

// The RotateZoom benchmark's matrix: 20/256 of a turn and 400/256 zoom about the quarter's
// centre, placed at the destination's centre, over the bounding box of the rotated quarter.
void Pixman_RotateZoomNearest(benchmark::State& state) {
  double theta = 20 * 2.0 * 3.14159265358979323846 / 256.0, zoom = 400 / 256.0;
  pixman_transform_t t;
  pixman_transform_init_translate(&t, pixman_double_to_fixed(-kW / 2.0), pixman_double_to_fixed(-kH / 2.0));
  pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(-theta)), pixman_double_to_fixed(std::sin(-theta)));
  pixman_transform_scale(&t, nullptr, pixman_double_to_fixed(1 / zoom), pixman_double_to_fixed(1 / zoom));
  pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(kW / 4.0), pixman_double_to_fixed(kH / 4.0));
  // Only the rotated quarter is drawn: outside it pixman reads the transparent edge, which SRC
  // would write, so the area is the quarter's bounding box as ours computes it.
  orba::TRect box = orba::RotatedBounds(kW / 2, kH / 2, 20, kW / 4, kH / 4, TRect{0, 0, kW / 2, kH / 2}, 400, 400)
                        .Intersect(TRect{0, 0, kW, kH});
  PixmanTransformed(state, t, box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top);
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
PIXEL_BENCH(Pixman_StretchNearest);
PIXEL_BENCH(Pixels_RotateZoom);
PIXEL_BENCH(Pixman_RotateZoomNearest);
