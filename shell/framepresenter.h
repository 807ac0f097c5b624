// Between the screen manager and the window's presenter: keeps a copy of every frame presented
// at the frame's own size, gathers the pieces of ticks that are not shown (fast-forward shows
// one tick in eight) and hands them on together, and lays the frame-time overlay over what
// the window shows without touching the copy, the back buffer or anything a script can read.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/platform.h"

namespace orba {

class TFramePresenter : public platform::IPresenter {
 public:
  // Draws over a frame of width × height pixels (0x00RRGGBB, pitch = width) inside rect, and
  // answers the rectangle it covers (left, top, right, bottom) through rect.
  using TOverlay = std::function<void(uint32_t* pixels, int width, int height, platform::PresentPiece& rect)>;

  // Records the pieces: they are copied into the kept frame and wait for Flush.
  void Present(const platform::Frame& frame, int panelLeft, int panelTop) override;
  void PresentPieces(const platform::Frame& frame, int panelLeft, int panelTop,
                     const std::vector<platform::PresentPiece>& pieces) override;

  // Hands what was recorded since the last flush to target, with the overlay drawn on top
  // when one is given (or the place the last overlay covered put back when it is gone).
  // Nothing is presented when nothing changed and there is no overlay to draw or remove.
  void Flush(platform::IPresenter& target, const TOverlay& overlay = {});

  // The last frame presented, without the overlay (empty before the first).
  platform::Frame Kept() const { return {kept_.data(), width_, height_, width_}; }

 private:
  // A rectangle of the frame and where it lands on the panel at the current scale.
  platform::PresentPiece Scaled(int left, int top, int right, int bottom) const;

  std::vector<uint32_t> kept_, shown_;
  int width_ = 0, height_ = 0;
  int panelWidth_ = 0, panelHeight_ = 0;
  int panelLeft_ = 0, panelTop_ = 0;
  std::vector<platform::PresentPiece> pending_;
  // The frame's rectangle the overlay covered at the last flush (empty: none).
  platform::PresentPiece overlayRect_;
  bool overlayShown_ = false;
};

}  // namespace orba
