#include "components/box.h"

#include "components/motion.h"
#include "render/dibx.h"

namespace orba {

void FillByAlpha(TCustomDIBX& s, const TRect& rect, int32_t colour, int32_t alpha) {
  if (colour < 0 || alpha <= 0 || alpha >= 512) return;
  if (alpha == 255) {
    s.FillRect(rect, static_cast<uint32_t>(s.ColorToPixel(colour)));
  } else if (alpha < 255) {
    s.BlendRect(rect, static_cast<uint32_t>(s.ColorToPixel(colour)), alpha);
  } else {
    const int32_t amount = alpha - 256;
    int32_t scaled = 0;
    for (int shift = 0; shift < 24; shift += 8) scaled |= (((colour >> shift) & 0xFF) * amount / 256) << shift;
    s.AddRect(rect, static_cast<uint32_t>(s.ColorToPixel(scaled)));
  }
}

int32_t TOrbaBox::GetInt(int32_t code) const {
  switch (code) {
    case PR_BORDERWIDTH: return BorderWidth;
    case PR_BORDERCOLOR: return BorderColor;
    case PR_ALPHA: return Alpha;
    default: return TOrbaControl::GetInt(code);
  }
}

void TOrbaBox::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_BORDERWIDTH: Change(BorderWidth, v); break;
    case PR_BORDERCOLOR: Change(BorderColor, v); break;
    case PR_ALPHA: Change(Alpha, v); break;
    default: TOrbaControl::SetInt(code, v);
  }
}

bool TOrbaBox::GetBool(int32_t code) const {
  switch (code) {
    case PR_PAUSED: return Paused;
    case PR_REPEAT: return Repeat;
    case PR_AUTOSCRAP: return AutoScrap;
    default: return TOrbaControl::GetBool(code);
  }
}

void TOrbaBox::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_PAUSED: Paused = v; break;
    case PR_REPEAT: Repeat = v; break;
    case PR_AUTOSCRAP: AutoScrap = v; break;
    default: TOrbaControl::SetBool(code, v);
  }
}

std::string TOrbaBox::GetStr(int32_t code) const {
  switch (code) {
    case PR_SOURCE: return Source;
    case PR_ONPLAYEND: return OnPlayEnd;
    case PR_ONIDLE: return OnIdle;
    default: return TOrbaControl::GetStr(code);
  }
}

void TOrbaBox::SetStr(int32_t code, const std::string& v) {
  switch (code) {
    // A motion file attaches a motion; any other source is only kept.
    case PR_SOURCE:
      Source = v;
      if (IsMotionFile(v)) LoadMotion(v);
      break;
    case PR_ONPLAYEND: OnPlayEnd = v; break;
    case PR_ONIDLE: OnIdle = v; break;
    default: TOrbaControl::SetStr(code, v);
  }
}

TRect TOrbaBox::Inner() const {
  const TRect r = AbsoluteRect();
  if (BorderWidth <= 0 || BorderColor < 0) return r;
  return {SaturateI32(int64_t{r.Left} + BorderWidth), SaturateI32(int64_t{r.Top} + BorderWidth),
          SaturateI32(int64_t{r.Right} - BorderWidth), SaturateI32(int64_t{r.Bottom} - BorderWidth)};
}

template <class Fn>
void TOrbaBox::ForBorderStrips(Fn fn) const {
  if (BorderWidth <= 0 || BorderColor < 0) return;
  const TRect r = AbsoluteRect();
  const TRect in = Inner();
  // Top and bottom across the whole width, left and right between them.
  const TRect strips[] = {{r.Left, r.Top, r.Right, std::min(in.Top, r.Bottom)},
                          {r.Left, std::max(in.Bottom, in.Top), r.Right, r.Bottom},
                          {r.Left, in.Top, std::min(in.Left, r.Right), in.Bottom},
                          {std::max(in.Right, in.Left), in.Top, r.Right, in.Bottom}};
  for (const TRect& s : strips)
    if (!s.IsEmpty()) fn(s);
}

void TOrbaBox::Paint(TPaintContext& ctx) {
  if (!ctx.Hidden && Alpha > 0 && Alpha < 512) {
    ForBorderStrips([&](const TRect& s) { FillByAlpha(ctx.Surface, s, BorderColor, Alpha); });
    FillByAlpha(ctx.Surface, Inner(), Color, Alpha);
  }
  PaintChildren(ctx);
}

void TOrbaBox::CollectOpaqueRegions(TClipData& data) {
  if (Alpha <= 0 || Alpha >= 512) return;
  auto add = [&](const TRect& r) {
    if (r.IsEmpty()) return;
    data.Painted.push_back(r);
    if (Alpha == 255) data.Opaque.push_back(r);
  };
  ForBorderStrips(add);
  if (Color >= 0) add(Inner());
}

void TOrbaBox::Transfer(TTreeIO& io) {
  TOrbaControl::Transfer(io);
  io.I32(BorderWidth);
  io.I32(BorderColor);
  io.I32(Alpha);
  io.Str(OnIdle);
  io.Str(Source);
  io.Flag(Repeat);
  io.Flag(AutoScrap);
  io.Str(OnPlayEnd);
  io.Flag(Paused);
  io.Flag(AniPaused);
}

void TOrbaBox::Loaded() {
  if (IsMotionFile(Source)) LoadMotion(Source);
}

}  // namespace orba
