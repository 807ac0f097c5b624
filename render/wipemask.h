// The mask-driven transitions: a per-pixel mask of 0..255 says how far each pixel has gone
// from the old picture (0) to the new one (255); each effect computes only its mask, and one
// compose loop draws every one of them. Also the rule images these and the flare effects
// read their order from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/wipe.h"

namespace orba {

class TWipeMask : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

  // Sizes the mask (the target's width by MaskHeight rows, all 0) and builds the effect's
  // tables.
  void Init() override;
  void SetReverse(bool flag) override;

  // The mask rows repeat down the picture with a period of MaskHeight.
  virtual int32_t MaskHeight() const { return H(); }

  // Set when the edge is too narrow to blend: the mask holds only 0 and 255.
  bool Binary = false;
  int32_t LastLevel = -1;

 protected:
  // Computes the mask for step t of d; false when it did not change (nothing is drawn then).
  virtual bool UpdateMask(int32_t t, int32_t d) = 0;
  // Builds the tables UpdateMask reads (called by Init, and again when a setting changes
  // after Init).
  virtual void BuildTables() {}
  void ParamsChanged() override;
  int32_t ClampParam(int index, int32_t value) const override;
  void DrawStep(int32_t t, int32_t d) override;

  // The mask values of mixed mask row y; by default the stored row.
  virtual const uint8_t* MaskRow(int32_t y) { return &mask_[static_cast<size_t>(y) * static_cast<size_t>(W())]; }

  // Row states: a mask row that is all 0 shows the old picture, all 255 the new one; only
  // mixed rows are composed pixel by pixel. UpdateMask keeps them.
  enum : uint8_t { kRowFrom = 0, kRowTo = 1, kRowMixed = 2 };
  std::vector<uint8_t> mask_;
  std::vector<uint8_t> rowState_;
  int32_t maskHeight_ = 0;
};

// A greyscale rule picture of width x height from a layered image (first frame, tiled from
// the top-left, inverted when invert), white where there is no picture: a missing or damaged
// file leaves it all white.
std::vector<uint8_t> LoadRuleImage(const std::string& name, int32_t width, int32_t height, bool invert);

}  // namespace orba
