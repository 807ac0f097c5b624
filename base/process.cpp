#include "base/process.h"

namespace orba {

namespace {
TProcessState g_process;
uint32_t g_seed = 0;

uint32_t NextSeed() {
  g_seed = g_seed * 134775813u + 1u;
  return g_seed;
}
}  // namespace

TProcessState& Process() { return g_process; }
void ResetProcessState() { g_process = TProcessState{}; }

void Randomize(uint32_t seed) { g_seed = seed; }
uint32_t& RandSeed() { return g_seed; }

int32_t RandomInt(int32_t range) {
  if (range <= 0) return 0;
  return static_cast<int32_t>((uint64_t{NextSeed()} * static_cast<uint32_t>(range)) >> 32);
}

double RandomFloat() { return NextSeed() / 4294967296.0; }

}  // namespace orba
