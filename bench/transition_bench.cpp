// One step of every transition at 1280x720 and 32 bits, each at a changing point of its
// course so the masked effects redraw every time; beside one constant alpha blend of the same
// size, the reference the masked effects are held to.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>

#include "files/vrmanager.h"
#include "render/trn.h"
#include "render/wipe.h"

namespace {

using namespace orba;

constexpr int kW = 1280, kH = 720;
constexpr int32_t kDuration = 997;  // prime, so steps land all over the course

// A picture with smooth areas and noise, as pictures are.
void Paint(TDIBX& s, int seed) {
  s.SetSize(kW, kH, 32);
  std::mt19937 gen(static_cast<unsigned>(seed));
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      s.SetPixel(x, y, ((x + seed * 40) / 5 & 0xFF) << 16 | ((y + x) / 7 & 0xFF) << 8 | ((gen() & 0x3F) + seed * 60));
}

// The rule image wipe (kind 19) is measured with a rule as it is used: a diagonal ramp of
// grey, written to a folder of its own and read through the virtual files.
struct RuleFolder {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("orba-bench-rule-" + std::to_string(getpid()));
  RuleFolder() {
    std::filesystem::create_directories(path);
    TTarnFrameList list;
    TTarnFrame& f = list.AddFrame();
    f.Surface.SetSize(kW, kH, 24);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        auto v = static_cast<uint8_t>((x + y) * 255 / (kW + kH));
        f.Surface.SetPixel(x, y, f.Surface.RGBToPixel(v, v, v));
      }
    list.SaveToFile((path / "rule.trn").string());
    VrFileManager().SetBaseFolder(path.string());
  }
  ~RuleFolder() { std::filesystem::remove_all(path); }
};

struct Pictures {
  TDIBX from, to, target;
  RuleFolder rule;
  Pictures() {
    Paint(from, 1);
    Paint(to, 2);
    target.SetSize(kW, kH, 32);
  }
};

Pictures& Shared() {
  static Pictures p;
  return p;
}

TWipeStart Start(int kind) {
  TWipeStart start;
  start.kind = kind;
  start.duration = kDuration;
  if (kind == 19) start.maskFile = "rule.trn";
  return start;
}

void BM_Transition(benchmark::State& state) {
  Pictures& p = Shared();
  const int kind = static_cast<int>(state.range(0));
  std::unique_ptr<TCustomWipe> wipe = StartWipe(Start(kind), p.target, p.from, p.to);
  int32_t t = 0;
  for (auto _ : state) {
    wipe->Elapsed = t;
    benchmark::DoNotOptimize(wipe->Step());
    t = (t + 37) % kDuration;
  }
  state.SetLabel(WipeKindName(kind));
}
BENCHMARK(BM_Transition)->DenseRange(1, 38)->Unit(benchmark::kMicrosecond);

// The reference: the new picture blended over the old one at a constant alpha.
void BM_TransitionReferenceBlend(benchmark::State& state) {
  Pictures& p = Shared();
  for (auto _ : state) p.target.DrawBlend(0, 0, 100, false, false, false, TRect{0, 0, kW, kH}, p.to);
}
BENCHMARK(BM_TransitionReferenceBlend)->Unit(benchmark::kMicrosecond);

}  // namespace
