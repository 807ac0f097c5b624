// Rectangles and points as the player's data use them: right and bottom are exclusive,
// so a rectangle is empty when left >= right or top >= bottom.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace orba {

struct TPoint {
  int32_t X = 0, Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A 64-bit result brought back into int32, saturated: sizes and edges near the 32-bit limits
// stay ordered instead of wrapping.
constexpr int32_t SaturateI32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  int32_t Width() const { return SaturateI32(int64_t{Right} - Left); }
  int32_t Height() const { return SaturateI32(int64_t{Bottom} - Top); }
  bool IsEmpty() const { return Left >= Right || Top >= Bottom; }
  bool Contains(const TRect& r) const {
    return r.Left >= Left && r.Top >= Top && r.Right <= Right && r.Bottom <= Bottom;
  }
  TRect Union(const TRect& r) const {
    return {std::min(Left, r.Left), std::min(Top, r.Top), std::max(Right, r.Right), std::max(Bottom, r.Bottom)};
  }
  TRect Intersect(const TRect& r) const {
    return {std::max(Left, r.Left), std::max(Top, r.Top), std::min(Right, r.Right), std::min(Bottom, r.Bottom)};
  }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return {left, top, SaturateI32(int64_t{left} + width), SaturateI32(int64_t{top} + height)};
}

}  // namespace orba
