// The screen manager: owns the back buffer that each tick's frame is composed into and
// hands it to the presenter. One instance, created once the screen size is known.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace orba {

class TScreenManager {
 public:
  TScreenManager(int32_t width, int32_t height, int32_t fullScreenWidth, int32_t fullScreenHeight);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The display mode the project prefers in full screen.
  int32_t FullScreenWidth() const { return fullScreenWidth_; }
  int32_t FullScreenHeight() const { return fullScreenHeight_; }
  // Index of the usable full-screen mode, or -1 when there is none.
  int32_t FullScreenModeIndex() const { return 0; }

  // The back buffer: 32-bit pixels 0x00RRGGBB, rows top to bottom.
  uint32_t* BackBuffer() { return pixels_.data(); }
  platform::Frame BackFrame() const { return {pixels_.data(), width_, height_, width_}; }
  void Present(platform::IPresenter& presenter, int panelLeft, int panelTop);

 private:
  int32_t width_, height_;
  int32_t fullScreenWidth_, fullScreenHeight_;
  std::vector<uint32_t> pixels_;
};

}  // namespace orba
