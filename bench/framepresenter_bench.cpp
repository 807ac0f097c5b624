// What the shell's frame keeper adds to a presentation: a whole 640x480 frame recorded and
// handed on, with and without the frame-time overlay (compare with BM_FrameCopyReference).
#include <benchmark/benchmark.h>

#include <vector>

#include "shell/framepresenter.h"
#include "shell/frametimes.h"

namespace {

using namespace orba;

struct NullPresenter : platform::IPresenter {
  void Present(const platform::Frame& frame, int, int) override { benchmark::DoNotOptimize(frame.pixels); }
  void PresentPieces(const platform::Frame& frame, int, int, const std::vector<platform::PresentPiece>&) override {
    benchmark::DoNotOptimize(frame.pixels);
  }
};

void BM_FramePresenterWholeFrame(benchmark::State& state) {
  const bool overlay = state.range(0) != 0;
  std::vector<uint32_t> pixels(640 * 480, 0x336699);
  const platform::Frame frame{pixels.data(), 640, 480, 640};
  TFramePresenter frames;
  TFrameTimes times;
  for (int i = 0; i < TFrameTimes::kFrames; ++i) times.Add({1.0 + i % 5, 2.0, 0.5, i * 16.0});
  NullPresenter target;
  for (auto _ : state) {
    frames.Present(frame, 0, 22);
    if (overlay)
      frames.Flush(target, [&](uint32_t* p, int w, int h, platform::PresentPiece& r) { times.Draw(p, w, h, r); });
    else
      frames.Flush(target);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FramePresenterWholeFrame)->Arg(0)->Arg(1);

}  // namespace
