// The floor under every later figure: one tick of the main loop on the headless platform
// with a script that only waits, beside copying a frame as the reference.
#include <benchmark/benchmark.h>

#include <cstring>

#include <filesystem>

#include "media/orbalib.h"
#include "platform/headless/headless.h"
#include "shell/core_subsystems.h"
#include "shell/view.h"
#include "support/project_fixture.h"

namespace {

using namespace orba;

void BM_EmptyTick(benchmark::State& state) {
  // A project whose script waits: the tick itself is what is measured.
  auto dir = std::filesystem::temp_directory_path() / "orba-bench-tick";
  std::filesystem::create_directories(dir);
  testing_support::WriteWaitProject(dir);
  platform::headless::HeadlessPlatform headless;
  auto media = CreateNullMediaLibrary();
  TCoreSubsystems subsystems(*media, &headless.platform);
  TFormView view(headless.platform, subsystems, TViewOptions{{dir.string()}, "/nonexistent/", ""});
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
  view.FormClose();
  std::filesystem::remove_all(dir);
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
