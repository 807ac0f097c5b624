// The mouse step over a page of 2,000 controls: the hit test walks the tree every tick, so
// its cost is what a busy screen pays for the pointer. Half the controls hang in hidden
// groups (skipped whole), the rest are visible boxes the pointer misses, the worst case.
#include <benchmark/benchmark.h>

#include "components/baselist.h"

namespace {

using namespace orba;

void BM_MouseStep2000Controls(benchmark::State& state) {
  TOrbaBaseList list;
  list.SetSize(640, 480, 32);
  auto make = [&](TOrbaControl* parent, int i) {
    auto* c = list.CreateByCode(2)->AsControl();
    c->SetParent(parent);
    c->SetBounds(i % 600, (i / 600) * 4, 4, 4);
    c->Handler(THandler::MouseMove) = "move.rss";
    return c;
  };
  // 10 hidden groups of 99 children each, then visible boxes up to 2,000 controls.
  int count = 0;
  for (int g = 0; g < 10; ++g) {
    TOrbaControl* group = make(&list.Current(), count++);
    group->SetBounds(0, 0, 640, 480);
    group->SetVisible(false);
    for (int i = 0; i < 99; ++i) make(group, count++);
  }
  while (count < 2000) make(&list.Current(), count++);
  TBaseInput& in = list.Input(0);
  int x = 0;
  for (auto _ : state) {
    // The pointer moves every tick; the queue is emptied as the script would.
    in.SetMouse(639 - (x++ & 1), 479);
    list.InputStep(16);
    list.Events().Clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MouseStep2000Controls);

}  // namespace
