// The floor under every later figure: one empty tick of the main loop on the headless
// platform, beside a plain virtual call as the reference.
#include <benchmark/benchmark.h>

#include <cstring>

#include "media/orbalib.h"
#include "platform/headless/headless.h"
#include "shell/core_subsystems.h"
#include "shell/view.h"

namespace {

using namespace orba;

void BM_EmptyTick(benchmark::State& state) {
  platform::headless::HeadlessPlatform headless;
  auto media = CreateNullMediaLibrary();
  TCoreSubsystems subsystems(*media);
  TFormView view(headless.platform, subsystems, TViewOptions{{}, "/nonexistent/", ""});
  view.FormCreate();
  std::vector<platform::InputEvent> events;
  for (auto _ : state) {
    events.clear();
    headless.input.Poll(events);
    bool done;
    view.ApplicationEventsIdle(done);
    benchmark::DoNotOptimize(done);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["frame_bytes"] = TCoreSubsystems::kDefaultWidth * TCoreSubsystems::kDefaultHeight * 4;
}
BENCHMARK(BM_EmptyTick);

// Reference: copying the 640x480 frame once, which the headless presenter does every tick.
void BM_FrameCopyReference(benchmark::State& state) {
  std::vector<uint32_t> a(640 * 480, 1), b(640 * 480);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameCopyReference);

}  // namespace
