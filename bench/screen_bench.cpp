// Decoding a 1280x720 layered image with alpha, beside the floor of inflating its blocks and
// copying the bytes into place; and presenting a whole 1280x720 frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "files/zstream.h"
#include "platform/headless/headless.h"
#include "render/screen.h"
#include "render/trn.h"

namespace {

using namespace orba;

constexpr int kW = 1280, kH = 720;

// A picture with smooth areas and noise, as pictures are.
TTarnFrameList Picture() {
  TTarnFrameList list(0);
  TTarnFrame& f = list.AddFrame();
  f.Surface.SetSize(kW, kH, 24);
  std::mt19937 gen(7);
  for (int y = 0; y < kH; ++y) {
    uint8_t* row = f.Surface.ScanLine(y);
    for (int x = 0; x < kW * 3; ++x) row[x] = static_cast<uint8_t>((x / 3 + y) / 4 + (gen() & 7));
  }
  f.Surface.CreateAlpha();
  for (int y = 0; y < kH; ++y) std::memset(f.Surface.Alpha()->ScanLine(y), y < kH / 2 ? 255 : y & 0xFF, kW);
  return list;
}

struct Encoded {
  std::vector<uint8_t> file;
  std::vector<std::vector<uint8_t>> blocks;  // the same pixel and alpha data as zlib streams
  size_t rawBytes = 0;
  Encoded() {
    TTarnFrameList list = Picture();
    TKvMemoryStream s;
    list.SaveToStream(s, 0, 70);
    file = s.TakeBytes();
    const TDIBSurface& surface = list[0].Surface;
    for (const TDIBSurface* plane : {&surface, surface.Alpha()}) {
      std::vector<uint8_t> raw(plane->Bits(), plane->Bits() + static_cast<size_t>(plane->Pitch()) * plane->Height());
      rawBytes += raw.size();
      blocks.push_back(Deflate(raw));
    }
  }
};

Encoded& Shared() {
  static Encoded e;
  return e;
}

void BM_DecodeLayeredImage1280x720(benchmark::State& state) {
  Encoded& e = Shared();
  for (auto _ : state) {
    TKvViewStream s(e.file);
    TTarnFrameList list(0);
    list.LoadFromStream(s);
    benchmark::DoNotOptimize(list[0].Surface.Bits());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(e.rawBytes));
}
BENCHMARK(BM_DecodeLayeredImage1280x720)->Unit(benchmark::kMillisecond);

void BM_InflateAndCopyFloor(benchmark::State& state) {
  Encoded& e = Shared();
  std::vector<uint8_t> target(e.rawBytes);
  for (auto _ : state) {
    size_t at = 0;
    for (const auto& block : e.blocks) {
      TKvMemoryStream out;
      InflateTo(block, out);
      std::memcpy(target.data() + at, out.Bytes().data(), out.Bytes().size());
      at += out.Bytes().size();
    }
    benchmark::DoNotOptimize(target.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(e.rawBytes));
}
BENCHMARK(BM_InflateAndCopyFloor)->Unit(benchmark::kMillisecond);

void BM_PresentFullFrame1280x720(benchmark::State& state) {
  TScreenManager screen({}, 32, kW, kH, kW, kH);
  platform::headless::CapturePresenter presenter;
  TClipList dirty, back;
  for (auto _ : state) {
    dirty.Add({0, 0, kW, kH});
    screen.Present(presenter, 0, 0, dirty, back);
  }
  state.SetBytesProcessed(state.iterations() * kW * kH * 4);
}
BENCHMARK(BM_PresentFullFrame1280x720)->Unit(benchmark::kMicrosecond);

}  // namespace
