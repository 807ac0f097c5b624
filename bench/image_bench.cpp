// Pictures: a hit in the picture cache, and the 30-layer scene built from picture components
// (opaque, alpha-plane and additive layers) beside the same pictures blitted straight into a
// surface.
#include <benchmark/benchmark.h>

#include <map>

#include "base/stream.h"
#include "components/baselist.h"
#include "components/image.h"
#include "render/trn.h"

namespace {

using namespace orba;

constexpr int kW = 1280, kH = 720;

struct PictureLayer {
  TRect rect;
  int32_t alpha;
  bool plane;
};

std::vector<uint8_t> Picture(int w, int h, bool plane, int salt) {
  TTarnFrameList list(0);
  TTarnFrame& f = list.AddFrame();
  f.Surface.SetSize(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f.Surface.SetPixel(x, y, static_cast<uint32_t>((x * 3 + y * 5 + salt) * 2654435761u) & 0xFFFFFF);
  if (plane) {
    f.Surface.CreateAlpha();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) f.Surface.Alpha()->ScanLine(y)[x] = static_cast<uint8_t>((x + y) & 0xFF);
  }
  TKvMemoryStream s;
  list.SaveToStream(s, 1);
  return s.Bytes();
}

// The layers of the box scene, as pictures: an opaque background, a dozen large layers taking
// turns with an alpha plane and added at 3/8 strength, opaque and keyed small ones.
std::vector<PictureLayer> SceneLayers() {
  std::vector<PictureLayer> layers{{Bounds(0, 0, kW, kH), 255, false}};
  for (int i = 0; i < 12; ++i) layers.push_back({Bounds(40 * i, 20 * i, 740, 415), i % 2 ? 256 + 96 : 255, i % 2 == 0});
  for (int i = 0; i < 6; ++i) layers.push_back({Bounds(100 + 150 * i, 60, 120, 90), 255, false});
  layers.push_back({Bounds(50, 480, 1180, 200), 200, false});
  for (int i = 0; i < 10; ++i) layers.push_back({Bounds(80 + 110 * i, 640, 100, 32), 255, true});
  return layers;
}

std::string NameOf(size_t i) { return "layer" + std::to_string(i) + ".trn"; }

// Every layer's picture served to the cache from memory.
struct Files {
  std::map<std::string, std::vector<uint8_t>> bytes;
  Files() {
    FreePictureCache();
    const auto layers = SceneLayers();
    for (size_t i = 0; i < layers.size(); ++i)
      bytes[NameOf(i)] = Picture(layers[i].rect.Width(), layers[i].rect.Height(), layers[i].plane, static_cast<int>(i));
    PictureCache().ScreenDepth = 32;
    PictureCache().Reader = [this](const std::string& name, std::vector<uint8_t>& out) {
      auto it = bytes.find(name);
      if (it == bytes.end()) return false;
      out = it->second;
      return true;
    };
  }
  ~Files() { FreePictureCache(); }
};

void BM_PictureCacheHit(benchmark::State& state) {
  Files files;
  TTarnCollection& cache = PictureCache();
  int holder = 0, user = 0;
  cache.Acquire(&holder, NameOf(1), false, false);
  for (auto _ : state) {
    TTarnItem& item = cache.Acquire(&user, NameOf(1), false, false);
    cache.Release(item, &user);
    benchmark::DoNotOptimize(&item);
  }
}
BENCHMARK(BM_PictureCacheHit);

void BM_SceneImagesFullRepaint(benchmark::State& state) {
  Files files;
  TOrbaBaseList list;
  list.SetSize(kW, kH, 32);
  const auto layers = SceneLayers();
  for (size_t i = 0; i < layers.size(); ++i) {
    auto& image = static_cast<TOrbaImages&>(*list.CreateByCode(8));
    image.SetParent(&list.Current());
    image.SetStr(PR_SOURCE, NameOf(i));
    image.SetLeft(layers[i].rect.Left);
    image.SetTop(layers[i].rect.Top);
    image.SetInt(PR_ALPHA, layers[i].alpha);
    image.SetPriority(static_cast<int32_t>(i));
  }
  for (auto _ : state) {
    list.Current().Dirty().Clear();
    list.Back().Dirty().Clear();
    list.Current().InvalidateAll();
    list.Paint();
  }
}
BENCHMARK(BM_SceneImagesFullRepaint)->Unit(benchmark::kMicrosecond);

// The reference: the same pictures drawn straight into a surface by the same alpha rule.
void BM_SceneImagesDirectBlits(benchmark::State& state) {
  Files files;
  const auto layers = SceneLayers();
  std::vector<TTarnItem*> items;
  int user = 0;
  for (size_t i = 0; i < layers.size(); ++i) items.push_back(&PictureCache().Acquire(&user, NameOf(i), false, false));
  TDIBX surface;
  surface.SetSize(kW, kH, 32);
  for (auto _ : state)
    for (size_t i = 0; i < layers.size(); ++i) {
      TTarnItemFrame& f = *items[i]->Frames[0];
      DrawByAlpha(surface, layers[i].rect, f.Surface, f.AlphaPlane.get(), layers[i].alpha, false, false);
    }
}
BENCHMARK(BM_SceneImagesDirectBlits)->Unit(benchmark::kMicrosecond);

}  // namespace
