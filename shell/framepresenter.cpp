#include "shell/framepresenter.h"

#include <algorithm>
#include <cstring>

namespace orba {

using platform::PresentPiece;

namespace {

// More pieces than this waiting for one flush are sent as the whole frame.
constexpr size_t kMaxPendingPieces = 64;

}  // namespace

void TFramePresenter::Present(const platform::Frame& frame, int panelLeft, int panelTop) {
  PresentPieces(frame, panelLeft, panelTop, {{0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height}});
}

void TFramePresenter::PresentPieces(const platform::Frame& frame, int panelLeft, int panelTop,
                                    const std::vector<PresentPiece>& pieces) {
  if (!frame.pixels || frame.width <= 0 || frame.height <= 0) return;
  const platform::PanelSize panel = platform::PanelSizeOf(frame, pieces);
  std::vector<PresentPiece> copied = pieces;
  // A frame of another size, or another scale on the panel, starts the kept frame afresh.
  const bool fresh = frame.width != width_ || frame.height != height_ || panel.width != panelWidth_ ||
                     panel.height != panelHeight_;
  if (fresh) {
    width_ = frame.width;
    height_ = frame.height;
    panelWidth_ = panel.width;
    panelHeight_ = panel.height;
    kept_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    pending_.clear();
    copied = {Scaled(0, 0, width_, height_)};
    overlayShown_ = false;
  }
  for (const PresentPiece& p : copied) {
    const int left = std::max(0, p.srcLeft), right = std::min(width_, p.srcRight);
    for (int y = std::max(0, p.srcTop); y < std::min(height_, p.srcBottom) && left < right; ++y)
      std::memcpy(&kept_[static_cast<size_t>(y) * width_ + left], frame.pixels + static_cast<size_t>(y) * frame.pitch + left,
                  static_cast<size_t>(right - left) * 4);
  }
  panelLeft_ = panelLeft;
  panelTop_ = panelTop;
  // Pieces are kept as given (the target may place them exactly as the screen planned).
  const auto& waiting = fresh ? copied : pieces;
  pending_.insert(pending_.end(), waiting.begin(), waiting.end());
  if (pending_.size() > kMaxPendingPieces) pending_ = {Scaled(0, 0, width_, height_)};
}

PresentPiece TFramePresenter::Scaled(int left, int top, int right, int bottom) const {
  auto scale = [](int v, int from, int to) {
    return from > 0 ? static_cast<int>(static_cast<long long>(v) * to / from) : v;
  };
  return {left,
          top,
          right,
          bottom,
          scale(left, width_, panelWidth_),
          scale(top, height_, panelHeight_),
          scale(right, width_, panelWidth_),
          scale(bottom, height_, panelHeight_)};
}

void TFramePresenter::Flush(platform::IPresenter& target, const TOverlay& overlay) {
  if (kept_.empty()) return;
  std::vector<PresentPiece> pieces;
  pieces.swap(pending_);
  const uint32_t* pixels = kept_.data();
  if (overlay) {
    shown_ = kept_;
    PresentPiece rect;
    overlay(shown_.data(), width_, height_, rect);
    rect.srcLeft = std::clamp(rect.srcLeft, 0, width_);
    rect.srcRight = std::clamp(rect.srcRight, rect.srcLeft, width_);
    rect.srcTop = std::clamp(rect.srcTop, 0, height_);
    rect.srcBottom = std::clamp(rect.srcBottom, rect.srcTop, height_);
    // The place covered last time is sent again as well, in case the overlay shrank.
    if (overlayShown_) pieces.push_back(overlayRect_);
    overlayRect_ = Scaled(rect.srcLeft, rect.srcTop, rect.srcRight, rect.srcBottom);
    pieces.push_back(overlayRect_);
    overlayShown_ = true;
    pixels = shown_.data();
  } else if (overlayShown_) {
    pieces.push_back(overlayRect_);  // the kept frame puts back what the overlay covered
    overlayShown_ = false;
  }
  if (pieces.empty()) return;
  target.PresentPieces({pixels, width_, height_, width_}, panelLeft_, panelTop_, pieces);
}

}  // namespace orba
