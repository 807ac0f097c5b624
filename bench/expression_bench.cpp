// The loop "I = I + 1; X = X + I * 2" over two global variables, 10^6 passes: as two stored
// operation lists run by the evaluator, beside Lua 5.4 running the same loop over its
// globals. The counter per_pass is the time of one pass of both statements.
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include "values/paramcollection.h"
#include "values/parser.h"

namespace {

constexpr int kPasses = 1000000;

void SetPassCounter(benchmark::State& state) {
  state.counters["per_pass"] = benchmark::Counter(static_cast<double>(state.iterations()) * kPasses,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ExpressionLoop(benchmark::State& state) {
  orba::TParamCollection vars;
  auto* i = vars.AddVariable(orba::PT_INT, "I");
  auto* x = vars.AddVariable(orba::PT_INT, "X");
  orba::TOrbaParser increment, accumulate;
  orba::CompileExpression("I = I + 1", increment);
  orba::CompileExpression("X = X + I * 2", accumulate);
  for (auto _ : state) {
    i->SetInt(0);
    x->SetInt(0);
    for (int k = 0; k < kPasses; ++k) {
      increment.Execute(vars);
      accumulate.Execute(vars);
    }
    benchmark::DoNotOptimize(x->AsInt());
  }
  if (i->AsInt() != kPasses) state.SkipWithError("the loop did not run");
  SetPassCounter(state);
}

void BM_LuaLoop(benchmark::State& state) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_loadstring(L, "for k = 1, 1000000 do I = I + 1; X = X + I * 2 end") != LUA_OK) {
    state.SkipWithError("lua chunk does not load");
    lua_close(L);
    return;
  }
  for (auto _ : state) {
    lua_pushinteger(L, 0);
    lua_setglobal(L, "I");
    lua_pushinteger(L, 0);
    lua_setglobal(L, "X");
    lua_pushvalue(L, -1);
    if (lua_pcall(L, 0, 0, 0) != LUA_OK) {
      state.SkipWithError("lua chunk failed");
      break;
    }
  }
  lua_getglobal(L, "I");
  if (lua_tointeger(L, -1) != kPasses) state.SkipWithError("the lua loop did not run");
  lua_close(L);
  SetPassCounter(state);
}

BENCHMARK(BM_ExpressionLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLoop)->Unit(benchmark::kMillisecond);

}  // namespace
