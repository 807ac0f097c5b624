// The still picture of the whole screen that a screen change puts on top of the page shown:
// the old screen stays in view, unchanged, while its components move to the other page and
// the transition runs. It is an internal object (never saved) and reads as an image.
#pragma once

#include "components/orbaobject.h"
#include "render/dibx.h"

namespace orba {

class TOrbaSnapshot : public TOrbaControl {
 public:
  // A copy of screen at its size and depth, placed at the page's origin, named "\x01\x01",
  // ignoring the mouse.
  TOrbaSnapshot(TOrbaBaseList* owner, TCustomDIBX& screen);
  int32_t GetCompoType() const override { return 9; }
  bool HasAutoName() const override { return false; }
  void Paint(TPaintContext& ctx) override;
  void CollectOpaqueRegions(TClipData& data) override;

 private:
  TDIBX picture_;
};

}  // namespace orba
