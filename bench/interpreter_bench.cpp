// The expression loop "I = I + 1; X = X + I * 2" written as a page (a While loop around two
// Calc commands) and run by the interpreter, beside the same three operation lists (the
// While condition and the two calculations) evaluated alone in a C++ loop. per_pass is one
// pass; the difference between the two is what the interpreter adds.
#include <benchmark/benchmark.h>

#include "components/events.h"
#include "files/vrmanager.h"
#include "script/callman.h"
#include "support/project_fixture.h"
#include "values/paramcollection.h"
#include "values/parser.h"

namespace {

using namespace orba;
constexpr int kPasses = 1000000;

void SetPassCounter(benchmark::State& state) {
  state.counters["per_pass"] = benchmark::Counter(static_cast<double>(state.iterations()) * kPasses,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_InterpreterLoopListsAlone(benchmark::State& state) {
  TParamCollection vars;
  auto* i = vars.AddVariable(PT_INT, "I");
  auto* x = vars.AddVariable(PT_INT, "X");
  TOrbaParser condition, increment, accumulate;
  CompileExpression("I < 1000000", condition);
  CompileExpression("I = I + 1", increment);
  CompileExpression("X = X + I * 2", accumulate);
  for (auto _ : state) {
    i->SetInt(0);
    x->SetInt(0);
    for (;;) {
      condition.Execute(vars);
      if (!condition.Result() || !condition.Result()->AsFlag()) break;
      increment.Execute(vars);
      accumulate.Execute(vars);
    }
    benchmark::DoNotOptimize(x->AsInt());
  }
  if (i->AsInt() != kPasses) state.SkipWithError("the loop did not run");
  SetPassCounter(state);
}
BENCHMARK(BM_InterpreterLoopListsAlone)->Unit(benchmark::kMillisecond);

void BM_InterpreterLoop(benchmark::State& state) {
  //   while I < 1000000
  //     calc I = I + 1
  //     calc X = X + I * 2
  //   (whileloop)
  TParamCollection vars;
  SetVariables(&vars);
  auto* i = vars.AddVariable(PT_INT, "I");
  auto* x = vars.AddVariable(PT_INT, "X");
  FreeVrFileManager();
  VrFileManager().AddArchive("");
  TPage page;
  page.Version = 110;
  testing_support::Cmd(page, cmd::kWhile, 0, {"I < 1000000", 4});
  testing_support::Cmd(page, cmd::kCalc, 1, {"I = I + 1"});
  testing_support::Cmd(page, cmd::kCalc, 1, {"X = X + I * 2"});
  testing_support::Cmd(page, cmd::kWhileLoop, 0, {"", 0});
  page.SaveToStream(*VrFileManager().Archive(0)->AddMemoryEntry("loop.rsb")->Content);
  TCallMan cm;
  for (auto _ : state) {
    i->SetInt(0);
    x->SetInt(0);
    cm.StartPage("loop.rsb");
    cm.Run();
    benchmark::DoNotOptimize(x->AsInt());
  }
  if (i->AsInt() != kPasses) state.SkipWithError("the loop did not run");
  SetPassCounter(state);
  SetVariables(nullptr);
  FreeVrFileManager();
}
BENCHMARK(BM_InterpreterLoop)->Unit(benchmark::kMillisecond);

}  // namespace
