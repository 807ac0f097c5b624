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
  auto zoom = [&](int32_t v) { return SaturateI32(int64_t{v} * zoomPercent / 100); };
  auto scaled = [&](const TRect& r) {
    return platform::PresentPiece{r.Left, r.Top, r.Right, r.Bottom, zoom(r.Left), zoom(r.Top), zoom(r.Right), zoom(r.Bottom)};
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

namespace {

// The fire ramp's corners in 8-bit red, green and blue; entries between two corners are
// interpolated in a straight line. The corners at 64, 128 and 255 are placed so that their
// 5-6-5 forms are the fire colours pictures were authored against (0x91E0, 0xDBA1, 0xFF35);
// every channel only grows, so the ramp never gets darker.
struct FireCorner {
  int index, red, green, blue;
};
constexpr FireCorner kFireCorners[] = {
    {0, 0, 0, 0}, {32, 90, 16, 0}, {64, 148, 61, 4}, {128, 220, 118, 12}, {255, 255, 230, 170},
};

int Between(int from, int to, int step, int steps) { return from + ((to - from) * step * 2 + steps) / (2 * steps); }

}  // namespace

uint32_t TScreenManager::FireColor(int i) {
  i = std::clamp(i, 0, 255);
  size_t k = 1;
  while (kFireCorners[k].index < i) ++k;
  const FireCorner& a = kFireCorners[k - 1];
  const FireCorner& b = kFireCorners[k];
  int step = i - a.index, steps = b.index - a.index;
  auto r = static_cast<uint32_t>(Between(a.red, b.red, step, steps));
  auto g = static_cast<uint32_t>(Between(a.green, b.green, step, steps));
  auto bl = static_cast<uint32_t>(Between(a.blue, b.blue, step, steps));
  return r << 16 | g << 8 | bl;
}

uint16_t TScreenManager::Fire565(int i) {
  uint32_t c = FireColor(i);
  return static_cast<uint16_t>(((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F));
}

void TScreenManager::OrbaInitColor() {
  TDIBSurface probe16(1, 1, backFormat_ == 15 ? 15 : 16);
  TDIBSurface probe32(1, 1, 32);
  for (int i = 0; i < 256; ++i) {
    auto v = static_cast<uint8_t>(i);
    auto at = static_cast<size_t>(i);
    grey16_[at] = static_cast<uint16_t>(probe16.RGBToPixel(v, v, v));
    grey32_[at] = probe32.RGBToPixel(v, v, v);
    fire16_[at] = backFormat_ == 15 ? To555(Fire565(i)) : Fire565(i);
    fire32_[at] = FireColor(i);
  }
}

}  // namespace orba
