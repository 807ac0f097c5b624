#include "files/kvrandom.h"

#include <bit>
#include <cstddef>

namespace orba {

void TKvRandom::ResetPermutation(int32_t n) {
  if (n < 0) n = 0;
  drawCount_ = n;
  remaining_ = n;
  // Every value present: node i (1-based) covers the i & -i values ending at i.
  tree_.assign(static_cast<size_t>(n) + 1, 0);
  for (int32_t i = 1; i <= n; ++i) tree_[i] = i & -i;
  topBit_ = n > 0 ? static_cast<int32_t>(std::bit_floor(static_cast<uint32_t>(n))) : 0;
}

int32_t TKvRandom::NextUnique() {
  if (remaining_ <= 0) return -1;
  state_ = state_ * 5u + increment_;
  uint32_t k = state_ % static_cast<uint32_t>(remaining_);
  // Descend to the largest position whose prefix count is at most k; the value after it
  // is the (k+1)-th still present.
  int32_t pos = 0;
  int32_t rest = static_cast<int32_t>(k);
  for (int32_t step = topBit_; step > 0; step >>= 1) {
    int32_t next = pos + step;
    if (next <= drawCount_ && tree_[next] <= rest) {
      pos = next;
      rest -= tree_[next];
    }
  }
  for (int32_t i = pos + 1; i <= drawCount_; i += i & -i) --tree_[i];
  --remaining_;
  return pos;
}

}  // namespace orba
