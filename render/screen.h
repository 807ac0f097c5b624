// The screen manager: the list of full-screen modes that fit the project, the switch between
// window and full screen, the back buffer that every frame is composed into, and the
// presentation of its changed rectangles (scaled by the container's zoom).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/cliplist.h"
#include "base/geometry.h"
#include "platform/platform.h"
#include "render/dibx.h"

namespace orba {

class TScreenManager {
 public:
  // systemModes: every mode of the display in the system's order; desktopBits: the depth of
  // the desktop. The back buffer follows the display: 5-5-5 and 5-6-5 desktops get 15 and 16
  // bits, deeper ones 32.
  TScreenManager(std::vector<platform::DisplayMode> systemModes, int32_t desktopBits, int32_t minWidth,
                 int32_t minHeight, int32_t preferredWidth, int32_t preferredHeight, bool desktop555 = false);

  // The modes of at least the project's size and more than 15 bits, and the one that suits
  // the project best (-1 when none does).
  const std::vector<platform::DisplayMode>& Modes() const { return modes_; }
  int32_t ModeCount() const { return static_cast<int32_t>(modes_.size()); }
  platform::DisplayMode GetMode(int32_t index) const { return modes_.at(static_cast<size_t>(index)); }
  int32_t BestMode() const { return bestMode_; }
  int32_t ModeIndex() const { return modeIndex_; }
  bool FullScreen() const { return modeIndex_ >= 0; }

  // -1 for the window, a mode index for full screen; an index outside the list is refused.
  // The back buffer is made anew: callers fetch it again afterwards.
  bool SetMode(int32_t index);
  // Drops the back buffer before a mode change.
  void Prepare() { back_.reset(); }
  void Release() {
    back_.reset();
    modeIndex_ = -2;
  }

  TDIBX& BackBuffer();
  int32_t BackFormat() const { return backFormat_; }
  int32_t Width() const { return minWidth_; }
  int32_t Height() const { return minHeight_; }

  // Frames presented since the frame rate was last sampled.
  int32_t FrameCount = 0;

  // The pieces a presentation copies: with a zoom that is no multiple of 100 the whole buffer
  // stretched; else the update rectangle when it is set, or every non-empty dirty rectangle,
  // scaled by zoom / 100.
  static std::vector<platform::PresentPiece> PresentPlan(int32_t width, int32_t height, const TClipList& dirty,
                                                         const TRect& update, int32_t zoomPercent);
  // Presents the changed parts and clears both pages' dirty lists.
  void Present(platform::IPresenter& presenter, int panelLeft, int panelTop, TClipList& dirty, TClipList& backDirty,
               const TRect& update = {}, int32_t zoomPercent = 100);

  // 32-bit frame of the back buffer (converted when the buffer has 15 or 16 bits).
  platform::Frame Frame32(const std::vector<platform::PresentPiece>& pieces);

  // Grey (i, i, i) as a pixel of the back buffer's 16-bit format and of 32 bits.
  const std::array<uint16_t, 256>& Grey16() const { return grey16_; }
  const std::array<uint32_t, 256>& Grey32() const { return grey32_; }
  // The fire ramp, from black through dark red and orange to pale yellow: as 16-bit pixels
  // of the back buffer's format (5-6-5, or 5-5-5 when the buffer has 15 bits) and as
  // 0x00RRGGBB. The fire effect draws through these with a mapped draw.
  const std::array<uint16_t, 256>& Fire16() const { return fire16_; }
  const std::array<uint32_t, 256>& Fire32() const { return fire32_; }
  // Builds the grey and fire tables for the back buffer's format.
  void OrbaInitColor();
  // Entry i of the fire ramp as 8-bit red, green and blue (0x00RRGGBB) and as 5-6-5.
  static uint32_t FireColor(int i);
  static uint16_t Fire565(int i);
  // A 5-6-5 pixel as 5-5-5: green drops its lowest bit.
  static uint16_t To555(uint16_t v565) { return static_cast<uint16_t>((((v565 >> 6) << 5) & 0x7FFF) | (v565 & 0x1F)); }

 private:
  std::vector<platform::DisplayMode> modes_;
  int32_t bestMode_ = -1;
  int32_t modeIndex_ = -2;
  int32_t desktopBits_;
  int32_t minWidth_, minHeight_;
  bool desktop555_;
  int32_t backFormat_ = 32;
  std::unique_ptr<TDIBX> back_;
  std::vector<uint32_t> converted_;
  std::array<uint16_t, 256> grey16_{};
  std::array<uint32_t, 256> grey32_{};
  std::array<uint16_t, 256> fire16_{};
  std::array<uint32_t, 256> fire32_{};
};

}  // namespace orba
