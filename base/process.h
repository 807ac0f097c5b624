// Process-wide state of the running player: the stop flag and the game clock that every
// subsystem reads. One instance, reached through Process(); tests reset it between cases.
#pragma once

#include <cstdint>

namespace orba {

struct TProcessState {
  bool Terminating = false;  // the player is stopping; the main loop and interpreter test it
  int32_t GameTime = 0;      // ms: sum of the deltas of all ticks that ran
  int32_t FrameDelta = 0;    // ms: delta of the last tick
  int32_t UpdateCount = 0;   // ticks that reached the component update
  static constexpr int32_t TickInterval = 16;  // ms: nominal tick, target of the pacing sleep
  bool DirectSoundEnabled = true;  // from game.ini
  int32_t SoundDelay = 500;        // ms, from game.ini
};

TProcessState& Process();
void ResetProcessState();

// The runtime's general-purpose random generator (not the archive scrambler): a 32-bit
// linear congruential generator seeded from the clock at start-up.
void Randomize(uint32_t seed);
uint32_t& RandSeed();
// Uniform integer in 0..range-1 (0 when range <= 0).
int32_t RandomInt(int32_t range);
// Uniform double in [0, 1).
double RandomFloat();

}  // namespace orba
