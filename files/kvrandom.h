// The small deterministic generator whose output stream scrambles archive directories and
// which draws the random permutations of dither-style transitions and layered images. Reader
// and writer of a file must produce the same sequence from the same seed, so the recurrence
// and the order of draws are fixed: x(0) = 0, x(i+1) = 5 x(i) + seed (mod 2^32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orba {

class TKvRandom {
 public:
  // The seed every archive reader and writer uses.
  static constexpr int32_t kArchiveSeed = 1590264837;

  explicit TKvRandom(int32_t seed) : increment_(static_cast<uint32_t>(seed)) {}

  // The next output; callers that widen it treat it as signed.
  int32_t Next() {
    state_ = state_ * 5u + increment_;
    return static_cast<int32_t>(state_);
  }

  // Scrambles (or restores) one name byte with the low 8 bits of the next output.
  uint8_t ScrambleByte(uint8_t b) { return static_cast<uint8_t>(b ^ static_cast<uint8_t>(Next())); }

  // Scrambles (or restores) a 64-bit offset with the next output sign-extended to 64 bits.
  int64_t ScrambleOffset(int64_t offset) { return offset ^ static_cast<int64_t>(Next()); }

  // The values still to draw become 0, 1, ..., n-1; the state carries on.
  void ResetPermutation(int32_t n);

  // Advances the state and removes and returns the value at position state mod remaining
  // of the values not yet drawn, so n draws after ResetPermutation(n) give each value once.
  // With nothing left to draw it returns -1 and leaves the state alone.
  int32_t NextUnique();

  int32_t Remaining() const { return remaining_; }
  int32_t DrawCount() const { return drawCount_; }

 private:
  uint32_t increment_;
  uint32_t state_ = 0;
  // The values not yet drawn, as a Fenwick tree of presence counts over 0..n-1: finding
  // the k-th remaining value is a descent of log n steps instead of a shift of the list,
  // which matters for permutations of every pixel of a screen.
  std::vector<int32_t> tree_;
  int32_t drawCount_ = 0;
  int32_t remaining_ = 0;
  int32_t topBit_ = 0;
};

}  // namespace orba
