// Where the picture stands in a window of another size, and the way a point goes between
// window and picture pixels, for each way of filling the window. The mouse and the pointer
// moves of the scripts go through these, so a click lands on the picture pixel drawn under it.
#pragma once

#include <algorithm>

namespace orba::platform::sdl {

enum class Fit { Aspect, Integer, Stretch };

// The picture's rectangle in the window: x, y, width, height.
struct Placement {
  int x = 0, y = 0, w = 0, h = 0;
};

// A picture of w x h in a window of outW x outH: stretched over the whole window, or centred
// keeping its shape (Integer: at the largest whole multiple that fits, at least 1).
inline Placement PicturePlacement(Fit fit, int outW, int outH, int w, int h) {
  if (w <= 0 || h <= 0 || outW <= 0 || outH <= 0) return {0, 0, std::max(w, 0), std::max(h, 0)};
  if (fit == Fit::Stretch) return {0, 0, outW, outH};
  long long pw, ph;
  if (fit == Fit::Integer) {
    long long k = std::max(1, std::min(outW / w, outH / h));
    pw = w * k;
    ph = h * k;
  } else if (static_cast<long long>(outW) * h <= static_cast<long long>(outH) * w) {
    pw = outW;
    ph = static_cast<long long>(h) * outW / w;
  } else {
    ph = outH;
    pw = static_cast<long long>(w) * outH / h;
  }
  return {static_cast<int>((outW - pw) / 2), static_cast<int>((outH - ph) / 2), static_cast<int>(pw),
          static_cast<int>(ph)};
}

// The picture pixel under window point (x, y); outside the picture the values run past its
// edges (floor division, so a point left of the picture never reads as column 0).
inline void WindowToPicture(const Placement& p, int w, int h, int x, int y, int& px, int& py) {
  auto map = [](long long v, long long size, long long out) {
    if (out <= 0) return static_cast<int>(v);
    long long n = v * size;
    return static_cast<int>(n >= 0 ? n / out : -((-n + out - 1) / out));
  };
  px = map(x - p.x, w, p.w);
  py = map(y - p.y, h, p.h);
}

// The window point in the middle of the window pixels that map to picture pixel (px, py):
// the first window pixel r with r * size / out >= v is ceil(v * out / size).
inline void PictureToWindow(const Placement& p, int w, int h, int px, int py, int& x, int& y) {
  auto map = [](long long v, long long size, long long out) {
    if (size <= 0 || out <= 0) return static_cast<int>(v);
    auto first = [&](long long u) {
      long long n = u * out;
      return n >= 0 ? (n + size - 1) / size : -(-n / size);
    };
    const long long a = first(v), b = std::max(a, first(v + 1) - 1);
    return static_cast<int>((a + b) / 2);
  };
  x = p.x + map(px, w, p.w);
  y = p.y + map(py, h, p.h);
}

}  // namespace orba::platform::sdl
