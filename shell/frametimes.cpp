#include "shell/frametimes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orba {

namespace {

constexpr uint32_t kTickColor = 0x40E040, kPaintColor = 0x4090FF, kPresentColor = 0xFF6040;
constexpr uint32_t kTextColor = 0xFFFFFF, kLineColor = 0xFFFF00;
constexpr int kGraphHeight = 32;
constexpr double kPixelsPerMs = 1.0;  // the graph's scale: 16 ms reach half its height

// A 3 × 5 pixel font of the characters the overlay writes, a row a string, 'X' set.
struct Glyph {
  char c;
  const char* rows[5];
};
constexpr Glyph kFont[] = {
    {'0', {"XXX", "X.X", "X.X", "X.X", "XXX"}}, {'1', {".X.", "XX.", ".X.", ".X.", "XXX"}},
    {'2', {"XXX", "..X", "XXX", "X..", "XXX"}}, {'3', {"XXX", "..X", ".XX", "..X", "XXX"}},
    {'4', {"X.X", "X.X", "XXX", "..X", "..X"}}, {'5', {"XXX", "X..", "XXX", "..X", "XXX"}},
    {'6', {"XXX", "X..", "XXX", "X.X", "XXX"}}, {'7', {"XXX", "..X", ".X.", ".X.", ".X."}},
    {'8', {"XXX", "X.X", "XXX", "X.X", "XXX"}}, {'9', {"XXX", "X.X", "XXX", "..X", "XXX"}},
    {'.', {"...", "...", "...", "...", ".X."}}, {'T', {"XXX", ".X.", ".X.", ".X.", ".X."}},
    {'P', {"XX.", "X.X", "XX.", "X..", "X.."}}, {'S', {".XX", "X..", ".X.", "..X", "XX."}},
    {'W', {"X.X", "X.X", "X.X", "XXX", "X.X"}},
};

struct Canvas {
  uint32_t* pixels;
  int width, height;
  void Set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = c;
  }
  // Returns the x after the text.
  int Text(int x, int y, const char* text, uint32_t color) {
    for (; *text; ++text, x += 4) {
      for (const Glyph& g : kFont)
        if (g.c == *text)
          for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
              if (g.rows[row][col] == 'X') Set(x + col, y + row, color);
    }
    return x;
  }
  // A label in its colour, then the time in white.
  int Value(int x, int y, const char* label, uint32_t color, double ms) {
    char number[16];
    std::snprintf(number, sizeof number, "%.1f", std::min(ms, 999.9));
    x = Text(x, y, label, color) + 2;
    return Text(x, y, number, kTextColor) + 6;
  }
};

}  // namespace

void TFrameTimes::Add(const TFrame& frame) {
  frames_[static_cast<size_t>(next_)] = frame;
  next_ = (next_ + 1) % kFrames;
  count_ = std::min(count_ + 1, kFrames);
}

TFrameTimes::TFrame TFrameTimes::Worst() const {
  TFrame worst;
  if (count_ == 0) return worst;
  const double now = Recent(0).atMs;
  for (int age = 0; age < count_ && now - Recent(age).atMs < 1000; ++age)
    if (Recent(age).Total() > worst.Total()) worst = Recent(age);
  return worst;
}

void TFrameTimes::Draw(uint32_t* pixels, int width, int height, platform::PresentPiece& rect) const {
  const int right = std::min(width, kLeft + kWidth), bottom = std::min(height, kTop + kHeight);
  rect = {kLeft, kTop, std::max(kLeft, right), std::max(kTop, bottom)};
  Canvas canvas{pixels, width, height};
  // The frame shows through, darkened to a quarter.
  for (int y = kTop; y < bottom; ++y)
    for (int x = kLeft; x < right; ++x) {
      uint32_t& p = pixels[static_cast<size_t>(y) * width + x];
      p = (p >> 2) & 0x3F3F3F;
    }
  const TFrame last = count_ ? Recent(0) : TFrame{};
  int x = canvas.Value(kLeft + 3, kTop + 3, "T", kTickColor, last.tickMs);
  x = canvas.Value(x, kTop + 3, "P", kPaintColor, last.paintMs);
  canvas.Value(x, kTop + 3, "S", kPresentColor, last.presentMs);
  canvas.Value(kLeft + 3, kTop + 11, "W", kLineColor, Worst().Total());
  // One bar of two pixels a frame, newest on the right: tick, paint and present stacked.
  const int base = kTop + 17 + kGraphHeight;
  for (int age = 0; age < count_; ++age) {
    const TFrame& f = Recent(age);
    const int bx = kLeft + 4 + 2 * (kFrames - 1 - age);
    int y = base;
    for (auto [ms, color] : {std::pair{f.tickMs, kTickColor}, {f.paintMs, kPaintColor}, {f.presentMs, kPresentColor}}) {
      const int h = static_cast<int>(ms * kPixelsPerMs + 0.5);
      for (int k = 0; k < h && y > base - kGraphHeight; ++k, --y) {
        canvas.Set(bx, y - 1, color);
        canvas.Set(bx + 1, y - 1, color);
      }
    }
  }
  // A dotted line at 16 ms, the length of a tick.
  for (int gx = kLeft + 4; gx < kLeft + 4 + 2 * kFrames; gx += 2)
    canvas.Set(gx, base - 1 - static_cast<int>(16 * kPixelsPerMs), kLineColor);
}

}  // namespace orba
