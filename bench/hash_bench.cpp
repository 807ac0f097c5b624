// Name lookup in the hash collection beside a standard unordered map keyed by the folded
// name, over 5,000 names of the shape of a project's picture files, hits and misses.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/cp932.h"
#include "files/hash.h"

namespace {

constexpr int kNames = 5000;

std::vector<std::string> Names(const char* format) {
  std::vector<std::string> out;
  char buf[32];
  for (int i = 0; i < kNames; ++i) {
    std::snprintf(buf, sizeof buf, format, i);
    out.push_back(buf);
  }
  return out;
}

// Hits are asked in another letter case than they were stored in, as scripts do.
const std::vector<std::string>& Stored() { static auto v = Names("bg%04d.trn"); return v; }
const std::vector<std::string>& Hits() { static auto v = Names("BG%04d.Trn"); return v; }
const std::vector<std::string>& Misses() { static auto v = Names("bg%04d.trm"); return v; }

void BM_HashCollection(benchmark::State& state, const std::vector<std::string>& (*queries)()) {
  orba::THashCollection c;
  for (const auto& n : Stored()) c.Add(n);
  const auto& q = queries();
  for (auto _ : state) {
    int64_t sum = 0;
    for (const auto& n : q) sum += c.IndexOf(n);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_UnorderedMap(benchmark::State& state, const std::vector<std::string>& (*queries)()) {
  std::unordered_map<std::string, int32_t> m;
  for (int i = 0; i < kNames; ++i) m.emplace(orba::LowerCase(Stored()[i]), i);
  const auto& q = queries();
  for (auto _ : state) {
    int64_t sum = 0;
    for (const auto& n : q) {
      auto it = m.find(orba::LowerCase(n));
      sum += it == m.end() ? -1 : it->second;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

BENCHMARK_CAPTURE(BM_HashCollection, hits, Hits);
BENCHMARK_CAPTURE(BM_UnorderedMap, hits, Hits);
BENCHMARK_CAPTURE(BM_HashCollection, misses, Misses);
BENCHMARK_CAPTURE(BM_UnorderedMap, misses, Misses);

}  // namespace
