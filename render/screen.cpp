#include "render/screen.h"

#include <algorithm>

namespace orba {

TScreenManager::TScreenManager(std::vector<platform::DisplayMode> systemModes, int32_t desktopBits,
                               int32_t minWidth, int32_t minHeight, int32_t preferredWidth,
                               int32_t preferredHeight, bool desktop555)
    : desktopBits_(desktopBits), minWidth_(minWidth), minHeight_(minHeight), desktop555_(desktop555) {
  for (const auto& m : systemModes) {
    if (m.width < minWidth || m.height < minHeight || m.bits <= 15) continue;
    modes_.push_back(m);
    int32_t index = static_cast<int32_t>(modes_.size()) - 1;
    if (bestMode_ < 0) {
      bestMode_ = index;
      continue;
    }
    // Among modes of the preferred size the desktop's depth wins, and among those the lowest
    // refresh rate.
    const auto& best = modes_[static_cast<size_t>(bestMode_)];
    bool preferred = m.width == preferredWidth && m.height == preferredHeight;
    bool bestPreferred = best.width == preferredWidth && best.height == preferredHeight;
    if (preferred && !(bestPreferred && (m.bits != desktopBits_ || (best.bits == desktopBits_ && m.refresh >= best.refresh))))
      bestMode_ = index;
  }
  SetMode(-1);
}

bool TScreenManager::SetMode(int32_t index) {
  if (index == modeIndex_) return true;
  if (index >= ModeCount() || index < -1) return false;
  modeIndex_ = index;
  // This platform keeps the desktop's mode in full screen and scales the picture, so the
  // back buffer follows the desktop either way.
  backFormat_ = desktop555_ ? 15 : desktopBits_ > 16 ? 32 : 16;
  back_.reset();
  return true;
}

TDIBX& TScreenManager::BackBuffer() {
  if (!back_) {
    back_ = std::make_unique<TDIBX>();
    back_->SetSize(minWidth_, minHeight_, backFormat_);
  }
  return *back_;
}

std::vector<platform::PresentPiece> TScreenManager::PresentPlan(int32_t width, int32_t height, const TClipList& dirty,
                                                                const TRect& update, int32_t zoomPercent) {
  std::vector<platform::PresentPiece> plan;
  auto scaled = [&](const TRect& r) {
    return platform::PresentPiece{r.Left, r.Top, r.Right, r.Bottom, r.Left * zoomPercent / 100,
                                  r.Top * zoomPercent / 100, r.Right * zoomPercent / 100,
                                  r.Bottom * zoomPercent / 100};
  };
  if (zoomPercent % 100 != 0) {
    plan.push_back(scaled({0, 0, width, height}));
  } else if (update.IsEmpty()) {
    const TRect bounds{0, 0, width, height};
    for (const TRect& r : dirty.Rects()) {
      TRect clipped = r.Intersect(bounds);
      if (!clipped.IsEmpty()) plan.push_back(scaled(clipped));
    }
  } else {
    plan.push_back(scaled(update.Intersect({0, 0, width, height})));
  }
  return plan;
}

platform::Frame TScreenManager::Frame32(const std::vector<platform::PresentPiece>& pieces) {
  TDIBSurface& image = BackBuffer().Image();
  if (image.BitCount() == 32)
    return {reinterpret_cast<const uint32_t*>(image.Bits()), image.Width(), image.Height(), image.Pitch() / 4};
  // 15 and 16 bits are widened for the presenter, only where pieces are shown.
  converted_.resize(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()));
  for (const auto& p : pieces)
    for (int32_t y = std::max(0, p.srcTop); y < std::min(image.Height(), p.srcBottom); ++y)
      for (int32_t x = std::max(0, p.srcLeft); x < std::min(image.Width(), p.srcRight); ++x) {
        TRGB c = image.PixelToRGB(image.GetPixel(x, y), true);
        converted_[static_cast<size_t>(y) * image.Width() + x] = uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
      }
  return {converted_.data(), image.Width(), image.Height(), image.Width()};
}

void TScreenManager::Present(platform::IPresenter& presenter, int panelLeft, int panelTop, TClipList& dirty,
                             TClipList& backDirty, const TRect& update, int32_t zoomPercent) {
  auto plan = PresentPlan(minWidth_, minHeight_, dirty, update, zoomPercent);
  bool stretched = zoomPercent % 100 != 0;
  if (stretched || !plan.empty()) ++FrameCount;
  if (!plan.empty()) presenter.PresentPieces(Frame32(plan), panelLeft, panelTop, plan);
  dirty.Clear();
  backDirty.Clear();
}

void TScreenManager::OrbaInitColor() {
  TDIBSurface probe16(1, 1, backFormat_ == 15 ? 15 : 16);
  TDIBSurface probe32(1, 1, 32);
  for (int i = 0; i < 256; ++i) {
    auto v = static_cast<uint8_t>(i);
    grey16_[static_cast<size_t>(i)] = static_cast<uint16_t>(probe16.RGBToPixel(v, v, v));
    grey32_[static_cast<size_t>(i)] = probe32.RGBToPixel(v, v, v);
  }
}

}  // namespace orba
