#include "components/snapshot.h"

namespace orba {

TOrbaSnapshot::TOrbaSnapshot(TOrbaBaseList* owner, TCustomDIBX& screen) : TOrbaControl(owner) {
  picture_.SetSize(screen.Width(), screen.Height(), screen.PixelFormat());
  picture_.CopyFrom(screen);
  Width = screen.Width();
  Height = screen.Height();
  IgnoreMouse = IM_ALL;
}

void TOrbaSnapshot::Paint(TPaintContext& ctx) {
  if (!ctx.Hidden)
    ctx.Surface.Draw(AbsoluteLeft(), AbsoluteTop(), false, false, false, {0, 0, Width, Height}, picture_);
  PaintChildren(ctx);
}

void TOrbaSnapshot::CollectOpaqueRegions(TClipData& data) {
  data.Painted.push_back(AbsoluteRect());
  data.Opaque.push_back(AbsoluteRect());
}

}  // namespace orba
