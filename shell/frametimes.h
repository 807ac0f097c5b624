// The frame-time overlay: the time each of the last frames spent in its ticks, in painting and
// in presenting, as numbers, a small graph and the worst frame of the last second. The window
// draws it over the frame it shows, never into the back buffer.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

namespace orba {

class TFrameTimes {
 public:
  struct TFrame {
    double tickMs = 0, paintMs = 0, presentMs = 0;
    double atMs = 0;  // when it was shown, on any steady clock
    double Total() const { return tickMs + paintMs + presentMs; }
  };
  static constexpr int kFrames = 60;  // frames in the graph
  static constexpr int kLeft = 4, kTop = 4;
  static constexpr int kWidth = 2 * kFrames + 8, kHeight = 52;

  void Add(const TFrame& frame);
  void Clear() { count_ = 0; }
  // The slowest frame shown in the second up to the last one (zero before the first).
  TFrame Worst() const;
  // Draws the overlay into a frame of width × height pixels (0x00RRGGBB, pitch = width) at
  // its top left corner and answers the rectangle it covers through rect (src fields).
  void Draw(uint32_t* pixels, int width, int height, platform::PresentPiece& rect) const;

 private:
  const TFrame& Recent(int age) const { return frames_[(next_ + kFrames - 1 - age) % kFrames]; }
  std::array<TFrame, kFrames> frames_{};
  int next_ = 0, count_ = 0;
};

}  // namespace orba
