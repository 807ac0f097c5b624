#include "base/cliplist.h"

namespace orba {

namespace {

// r is not more than the merge distance left, right, above or below e.
bool IsClose(const TRect& r, const TRect& e) {
  constexpr int64_t d = TClipList::kMergeDistance;  // in 64 bits: edges may lie near the limits
  return r.Left <= e.Right + d && r.Right >= e.Left - d && r.Top <= e.Bottom + d && r.Bottom >= e.Top - d;
}

}  // namespace

void TClipList::Add(TRect r) {
  if (r.IsEmpty()) return;
  for (;;) {
    auto it = rects_.begin();
    while (it != rects_.end() && !IsClose(r, *it)) ++it;
    if (it == rects_.end()) {
      rects_.push_back(r);
      return;
    }
    if (it->Contains(r)) return;
    r = r.Union(*it);
    rects_.erase(it);
  }
}

}  // namespace orba
