// The dirty-rectangle list of a screen page. Rectangles that touch or come within 20 pixels
// of each other are merged, so a frame repaints a few larger areas instead of many slivers.
#pragma once

#include <vector>

#include "base/geometry.h"

namespace orba {

class TClipList {
 public:
  static constexpr int kMergeDistance = 20;

  // Ignores an empty r; otherwise merges r with the first rectangle close to it, repeating
  // with the union until nothing is close, or appends r.
  void Add(TRect r);
  void Clear() { rects_.clear(); }
  int Count() const { return static_cast<int>(rects_.size()); }
  const TRect& operator[](int i) const { return rects_[i]; }
  const std::vector<TRect>& Rects() const { return rects_; }

 private:
  std::vector<TRect> rects_;
};

}  // namespace orba
