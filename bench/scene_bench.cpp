// Composing the screen from components, beside the blits it is made of: a 1280x720 scene of
// 30 layers repainted whole against the same rectangles drawn straight into a surface; ten
// stacked full-screen opaque layers against one full-screen copy; the pixels a one-layer move
// repaints; and a property read and write by code.
#include <benchmark/benchmark.h>

#include <vector>

#include "components/baselist.h"
#include "components/box.h"
#include "components/propaccess.h"
#include "values/params.h"

namespace {

using namespace orba;

constexpr int kW = 1280, kH = 720;

struct Layer {
  TRect rect;
  int32_t colour, alpha;
};

// A full-screen opaque background, a dozen blended layers of about a third of the screen,
// boxes, a message-window panel and small buttons: 30 layers. Boxes with alpha stand in for
// pictures.
std::vector<Layer> SceneLayers() {
  std::vector<Layer> layers{{Bounds(0, 0, kW, kH), 0x402010, 255}};
  for (int i = 0; i < 12; ++i)
    layers.push_back({Bounds(40 * i, 20 * i, 740, 415), 0x102030 * (i + 1), 96 + 8 * i});
  for (int i = 0; i < 6; ++i) layers.push_back({Bounds(100 + 150 * i, 60, 120, 90), 0x00A0F0, 255});
  layers.push_back({Bounds(50, 480, 1180, 200), 0x202020, 200});
  for (int i = 0; i < 10; ++i) layers.push_back({Bounds(80 + 110 * i, 640, 100, 32), 0x30C030, 255});
  return layers;
}

// What a presentation does after each frame: both pages' dirty lists emptied.
void Presented(TOrbaBaseList& list) {
  list.Current().Dirty().Clear();
  list.Back().Dirty().Clear();
}

void Build(TOrbaBaseList& list, const std::vector<Layer>& layers) {
  list.SetSize(kW, kH, 32);
  int priority = 0;
  for (const Layer& l : layers) {
    auto& b = static_cast<TOrbaBox&>(*list.CreateByCode(2));
    b.SetParent(&list.Current());
    b.SetBounds(l.rect.Left, l.rect.Top, l.rect.Width(), l.rect.Height());
    b.SetColor(l.colour);
    b.Alpha = l.alpha;
    b.SetPriority(priority++);
  }
  list.Paint();
  Presented(list);
}

void BM_SceneFullRepaint(benchmark::State& state) {
  TOrbaBaseList list;
  Build(list, SceneLayers());
  for (auto _ : state) {
    Presented(list);
    list.Current().InvalidateAll();
    list.Paint();
  }
}
BENCHMARK(BM_SceneFullRepaint)->Unit(benchmark::kMicrosecond);

// The reference: the same rectangles drawn straight into a surface of the same format.
void BM_SceneDirectBlits(benchmark::State& state) {
  const std::vector<Layer> layers = SceneLayers();
  TDIBX surface;
  surface.SetSize(kW, kH, 32);
  for (auto _ : state)
    for (const Layer& l : layers) FillByAlpha(surface, l.rect, l.colour, l.alpha);
}
BENCHMARK(BM_SceneDirectBlits)->Unit(benchmark::kMicrosecond);

// Ten full-screen opaque layers stacked, as scripts that never free old backgrounds leave
// them: with occlusion (argument 1) the ones below the top are not drawn.
void BM_SceneStackedOpaque(benchmark::State& state) {
  std::vector<Layer> layers;
  for (int i = 0; i < 10; ++i) layers.push_back({Bounds(0, 0, kW, kH), 0x101010 * i, 255});
  TOrbaBaseList list;
  Build(list, layers);
  for (auto _ : state) {
    Presented(list);
    list.Current().InvalidateAll();
    list.Paint(state.range(0) != 0);
  }
}
BENCHMARK(BM_SceneStackedOpaque)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The reference: one full-screen copy.
void BM_SceneFullScreenCopy(benchmark::State& state) {
  TDIBX src, dst;
  src.SetSize(kW, kH, 32);
  dst.SetSize(kW, kH, 32);
  for (auto _ : state) dst.Draw(0, 0, false, false, false, Bounds(0, 0, kW, kH), src);
}
BENCHMARK(BM_SceneFullScreenCopy)->Unit(benchmark::kMicrosecond);

// One button of the 30-layer scene moved by 8 pixels and the frame painted; the counter is
// the pixels of the dirty rectangles after the clip list's merging.
void BM_SceneMoveOneLayer(benchmark::State& state) {
  TOrbaBaseList list;
  Build(list, SceneLayers());
  auto* button = list.Current().Children().back();
  int64_t pixels = 0, frames = 0;
  int step = 8;
  for (auto _ : state) {
    Presented(list);
    button->SetLeft(button->Left + step);
    step = -step;
    for (const TRect& r : list.Current().Dirty().Rects()) pixels += int64_t{r.Width()} * r.Height();
    ++frames;
    list.Paint();
  }
  state.counters["pixels_drawn"] = static_cast<double>(pixels) / static_cast<double>(frames);
  state.counters["button_pixels"] = button->Width * button->Height;
}
BENCHMARK(BM_SceneMoveOneLayer)->Unit(benchmark::kMicrosecond);

void BM_PropGetByCode(benchmark::State& state) {
  TOrbaBaseList list;
  TOrbaObject& box = *list.CreateByCode(2);
  int32_t code = PR_LEFT;
  for (auto _ : state) {
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(PropInt(box, code));
  }
}
BENCHMARK(BM_PropGetByCode);

void BM_PropSetByCode(benchmark::State& state) {
  TOrbaBaseList list;
  TOrbaObject& box = *list.CreateByCode(2);  // on no page: nothing to repaint
  int32_t code = PR_ALPHA, v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(code);
    SetPropInt(box, code, ++v & 255);
  }
}
BENCHMARK(BM_PropSetByCode);

// As the property commands do it: into and from a script variable.
void BM_PropGetIntoVariable(benchmark::State& state) {
  TOrbaBaseList list;
  TOrbaObject& box = *list.CreateByCode(2);
  TParamInt v;
  for (auto _ : state) GetPropByCode(box, PR_LEFT, v);
}
BENCHMARK(BM_PropGetIntoVariable);

void BM_PropSetFromVariable(benchmark::State& state) {
  TOrbaBaseList list;
  TOrbaObject& box = *list.CreateByCode(2);
  TParamInt v;
  for (auto _ : state) {
    v.SetInt(v.AsInt() + 1);
    SetPropByCode(box, PR_ALPHA, v);
  }
}
BENCHMARK(BM_PropSetFromVariable);

}  // namespace
