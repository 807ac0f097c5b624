#include "components/image.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include "base/cp932.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/motion.h"
#include "values/parser.h"

namespace orba {

namespace {

// A motion plays 60 frames a second.
constexpr double kMotionFrameMs = 16.666666666666668;

bool HasExtension(const std::string& name, std::string_view ext) {
  const std::string lower = LowerCase(name);
  return lower.size() >= ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0;
}

}  // namespace

void DrawByAlpha(TCustomDIBX& dst, const TRect& dstRect, TCustomDIBX& src, TCustomDIBX* mask, int32_t alpha,
                 bool flipH, bool flipV) {
  if (alpha <= 0 || alpha >= 512 || dstRect.IsEmpty() || src.IsEmpty()) return;
  const TRect srcRect = src.SurfaceRect();
  const bool unscaled = dstRect.Width() == srcRect.Width() && dstRect.Height() == srcRect.Height();
  const int32_t x = dstRect.Left, y = dstRect.Top;
  if (alpha > 255) {
    const int32_t amount = alpha - 256;
    if (amount == 0) return;
    if (mask && unscaled) dst.DrawAddMasked(x, y, amount, *mask, flipV, flipH, srcRect, src);
    else if (mask) dst.StretchDrawAddMasked(dstRect, *mask, amount, flipV, flipH, srcRect, src);
    else if (unscaled) dst.DrawAdd(x, y, amount, flipV, flipH, srcRect, src);
    else dst.StretchDrawAdd(dstRect, srcRect, amount, flipV, flipH, src);
  } else if (mask) {
    if (!unscaled) dst.StretchDrawMasked(dstRect, *mask, alpha, flipV, flipH, srcRect, src);
    else if (alpha == 255) dst.DrawMasked(x, y, *mask, flipV, flipH, srcRect, src);
    else dst.DrawBlendMasked(x, y, alpha, *mask, flipV, flipH, srcRect, src);
  } else {
    if (!unscaled) dst.StretchDraw(dstRect, srcRect, alpha, flipV, flipH, true, src);
    else if (alpha == 255) dst.Draw(x, y, flipV, flipH, true, srcRect, src);
    else dst.DrawBlend(x, y, alpha, flipV, flipH, true, srcRect, src);
  }
}

// ---- one frame -----------------------------------------------------------------------

void TOrbaImageData::SetBrightness(int32_t value) {
  if (value == brightness_) return;
  brightness_ = value;
  if (value == 0) {
    Adjusted.reset();
    return;
  }
  TDIBX& src = Frame->Surface;
  if (!Adjusted) Adjusted = std::make_unique<TDIBX>(new TDIBSurface, false);
  const int32_t k = std::min(std::abs(value), 255);
  const auto adjust = [&](const TRect& r) {
    const uint32_t v = static_cast<uint32_t>(Adjusted->ColorToPixel(k | k << 8 | k << 16));
    if (value > 0) Adjusted->AddRect(r, v);
    else Adjusted->SubtractRect(r, v);
  };
  Adjusted->SetSize(src.Width(), src.Height(), src.PixelFormat());
  int64_t key = -1;
  // The key goes through the same adjustment, so keyed pixels stay see-through.
  if (src.TransparentColor >= 0 && !Adjusted->IsEmpty()) {
    Adjusted->SetPixel(0, 0, static_cast<uint32_t>(src.TransparentColor));
    adjust(Bounds(0, 0, 1, 1));
    key = Adjusted->GetPixel(0, 0);
  }
  Adjusted->CopyFrom(src);
  adjust(Adjusted->SurfaceRect());
  Adjusted->TransparentColor = key;
}

// ---- the frames of a picture ---------------------------------------------------------

void TOrbaImageList::Load(const std::string& fileName, bool mask) {
  Clear();
  Item = &PictureCache().Acquire(Owner, fileName, false, mask);
  for (auto& f : Item->Frames) Frames.push_back(std::make_unique<TOrbaImageData>(*f));
  CurrentIndex = 0;
  Remaining = Frames.empty() ? 0 : Frames[0]->Frame->Delay + 1;
}

void TOrbaImageList::Clear() {
  Frames.clear();
  if (Item && PictureCacheIfMade()) PictureCache().Release(*Item, Owner);
  Item = nullptr;
}

void TOrbaImageList::SetIndex(int32_t index) {
  if (Frames.empty()) return;
  CurrentIndex = std::clamp(index, 0, Count() - 1);
  Remaining = Frames[static_cast<size_t>(CurrentIndex)]->Frame->Delay + 1;
}

bool TOrbaImageList::Advance(int32_t delta) {
  if (Count() <= 1) return false;
  const int32_t before = CurrentIndex;
  Remaining -= delta;
  while (Remaining < 1) {
    CurrentIndex = (CurrentIndex + 1) % Count();
    if (CurrentIndex == 0) {
      Remaining = Frames[0]->Frame->Delay;
      break;
    }
    Remaining += Frames[static_cast<size_t>(CurrentIndex)]->Frame->Delay;
  }
  return CurrentIndex != before;
}

// ---- the common picture --------------------------------------------------------------

int32_t TOrbaCustomImage::GetInt(int32_t code) const {
  switch (code) {
    case PR_ALPHA: return Alpha;
    case PR_ZOOMX: return zoomX_;
    case PR_ZOOMY: return zoomY_;
    case PR_ANGLE: return Angle;
    default: return TOrbaControl::GetInt(code);
  }
}

void TOrbaCustomImage::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_ALPHA: Change(Alpha, v); break;
    case PR_ANGLE: Change(Angle, v); break;
    case PR_ZOOMX:
    case PR_ZOOMY: {
      (code == PR_ZOOMX ? zoomX_ : zoomY_) = std::max(v, 1);
      SizeDirty = true;
      for (TOrbaControl* c : Children())
        if (auto* image = dynamic_cast<TOrbaCustomImage*>(c); image && image->PosZoomed) image->SizeDirty = true;
      break;
    }
    case PR_WIDTH:
    case PR_HEIGHT:
      // The script sizes the picture itself: the zoom no longer decides the size.
      TOrbaControl::SetInt(code, v);
      if (!HasMotion() && SizeFromPicture()) (code == PR_WIDTH ? zoomX_ : zoomY_) = 0;
      break;
    default: TOrbaControl::SetInt(code, v);
  }
}

bool TOrbaCustomImage::GetBool(int32_t code) const {
  switch (code) {
    case PR_FLIPH: return FlipHorizontal;
    case PR_FLIPV: return FlipVertical;
    case PR_CAPTUREMASK: return CaptureMask;
    default: return TOrbaControl::GetBool(code);
  }
}

void TOrbaCustomImage::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_FLIPH: Invalidate(); FlipHorizontal = v; UpdateSize(); Invalidate(); break;
    case PR_FLIPV: Invalidate(); FlipVertical = v; UpdateSize(); Invalidate(); break;
    case PR_CAPTUREMASK: CaptureMask = v; break;
    default: TOrbaControl::SetBool(code, v);
  }
}

void TOrbaCustomImage::UpdateSize() {
  if (HasMotion() || !SizeFromPicture()) return;
  const TDIBX* s = Shown();
  if (!HasPicture()) {
    SetWidth(0);
    SetHeight(0);
    return;
  }
  if (!s) return;
  // Inside a parent drawn through its own scaled surface the picture covers exactly its part
  // of the parent's picture: from its scaled left edge to its scaled right edge.
  const auto size = [&](bool h) {
    if (ScaledByParent(h)) {
      const auto [from, to] = ScaledSpan(h);
      return static_cast<int32_t>(std::clamp<int64_t>(to - from, 0, INT32_MAX));
    }
    return static_cast<int32_t>(int64_t{h ? s->Width() : s->Height()} * (h ? zoomX_ : zoomY_) / 256);
  };
  if (zoomX_ > 0) SetWidth(size(true));
  if (zoomY_ > 0) SetHeight(size(false));
}

TPoint TOrbaCustomImage::GetPivot() const { return {AbsoluteLeft() + OffsetX, AbsoluteTop() + OffsetY}; }

TPoint TOrbaCustomImage::PivotInPicture() const {
  const TDIBX* s = Shown();
  if (!s || Width <= 0 || Height <= 0) return {};
  // Page units to picture pixels by the size actually shown (the zoom may read 0).
  int32_t x = static_cast<int32_t>(int64_t{OffsetX} * s->Width() / Width);
  int32_t y = static_cast<int32_t>(int64_t{OffsetY} * s->Height() / Height);
  if (FlipHorizontal) x = s->Width() - x;
  if (FlipVertical) y = s->Height() - y;
  return {x, y};
}

namespace {
// The zoom that takes the picture to the size shown.
int32_t ShownZoom(int32_t size, int32_t surface) {
  return surface > 0 ? static_cast<int32_t>(int64_t{size} * 256 / surface) : 256;
}
}  // namespace

TRect TOrbaCustomImage::GetClientRect() const {
  const TDIBX* s = Shown();
  if (Angle == 0 || !s) return AbsoluteRect();
  const TPoint pivot = GetPivot(), centre = PivotInPicture();
  return RotatedBounds(pivot.X, pivot.Y, Angle, centre.X, centre.Y, s->SurfaceRect(), ShownZoom(Width, s->Width()),
                       ShownZoom(Height, s->Height()));
}

TOrbaControl* TOrbaCustomImage::HitTest(TPoint p, uint32_t modes) {
  if (!IsVisible()) return nullptr;
  const TRect client = GetClientRect();
  if (p.X < client.Left || p.X >= client.Right || p.Y < client.Top || p.Y >= client.Bottom) return nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it)
    if (TOrbaControl* hit = (*it)->HitTest(p, modes)) return hit;
  if (!Admits(modes)) return nullptr;
  int32_t x = p.X, y = p.Y;
  if (Angle != 0) {
    const TPoint o = GetPivot();
    const double theta = -Angle * std::numbers::pi / 128;
    const double c = std::cos(theta), s = std::sin(theta);
    x = static_cast<int32_t>(std::lround((p.X - o.X) * c - (p.Y - o.Y) * s + o.X));
    y = static_cast<int32_t>(std::lround((p.X - o.X) * s + (p.Y - o.Y) * c + o.Y));
    const TRect r = AbsoluteRect();
    if (x < r.Left || x >= r.Right || y < r.Top || y >= r.Bottom) return nullptr;
  }
  TDIBX* mask = ShownMaskPlane();
  if (CaptureMask && mask && !mask->IsEmpty()) {
    if (Width <= 0 || Height <= 0) return nullptr;
    // By the surface over the size shown: right whether the zoom or the script set the size.
    int64_t mx = int64_t{x - AbsoluteLeft()} * mask->Width() / Width;
    int64_t my = int64_t{y - AbsoluteTop()} * mask->Height() / Height;
    if (FlipHorizontal) mx = mask->Width() - 1 - mx;
    if (FlipVertical) my = mask->Height() - 1 - my;
    if (mx < 0 || my < 0 || mx >= mask->Width() || my >= mask->Height()) return nullptr;
    if (mask->GetPixel(static_cast<int32_t>(mx), static_cast<int32_t>(my)) <= 127) return nullptr;
  }
  return this;
}

void TOrbaCustomImage::Paint(TPaintContext& ctx) {
  TDIBX* s = Shown();
  if (!ctx.Hidden && s && Alpha >= 1 && Alpha < 512 && Width >= 1 && Height >= 1) {
    TDIBX* mask = ShownMaskPlane();
    if (Angle != 0) {
      const TPoint pivot = GetPivot(), centre = PivotInPicture();
      const int32_t zx = ShownZoom(Width, s->Width()), zy = ShownZoom(Height, s->Height());
      // The surface turns pictures opaque or blended only: an additive one turns blended at its
      // strength.
      const int32_t a = Alpha > 255 ? (Alpha - 256) * 255 / 256 : Alpha;
      if (mask)
        ctx.Surface.DrawRotateMasked(pivot.X, pivot.Y, a, *mask, FlipVertical, FlipHorizontal, Angle, centre.Y,
                                     centre.X, s->SurfaceRect(), *s, zy, zx);
      else
        ctx.Surface.DrawRotate(pivot.X, pivot.Y, a, FlipVertical, FlipHorizontal, true, Angle, centre.Y, centre.X,
                               s->SurfaceRect(), *s, zy, zx);
    } else {
      DrawByAlpha(ctx.Surface, AbsoluteRect(), *s, mask, Alpha, FlipHorizontal, FlipVertical);
    }
  }
  PaintChildren(ctx);
}

void TOrbaCustomImage::CollectOpaqueRegions(TClipData& data) {
  if (!Shown() || Alpha <= 0 || Alpha >= 512 || Width < 1 || Height < 1) return;
  const TRect r = GetClientRect();
  data.Painted.push_back(r);
  // Only an unturned picture with neither mask nor key covers its whole rectangle.
  if (Alpha == 255 && Angle == 0 && !ShownMaskPlane() && Shown()->TransparentColor < 0) data.Opaque.push_back(r);
}

bool TOrbaCustomImage::Tick() {
  const bool done = TOrbaControl::Tick();
  if (SizeDirty) {
    SizeDirty = false;
    UpdateSize();
  }
  return done;
}

void TOrbaCustomImage::Transfer(TTreeIO& io) {
  TOrbaControl::Transfer(io);
  io.I32(Alpha);
  io.I32(zoomX_);
  io.I32(Angle);
  io.Flag(FlipHorizontal);
  io.Flag(FlipVertical);
  io.Flag(CaptureMask);
  if (io.Version > 103) io.I32(zoomY_);
}

// ---- a single picture ----------------------------------------------------------------

int32_t TOrbaImage::GetInt(int32_t code) const {
  return code == PR_BRIGHTNESS ? Brightness : TOrbaCustomImage::GetInt(code);
}

void TOrbaImage::SetInt(int32_t code, int32_t v) {
  if (code != PR_BRIGHTNESS) return TOrbaCustomImage::SetInt(code, v);
  v = std::clamp(v, 0, 255);
  if (v == Brightness) return;
  Brightness = v;
  Reload();
}

std::string TOrbaImage::GetStr(int32_t code) const {
  return code == PR_SOURCE ? Source : TOrbaCustomImage::GetStr(code);
}

void TOrbaImage::SetStr(int32_t code, const std::string& v) {
  if (code == PR_SOURCE) SetSource(v);
  else TOrbaCustomImage::SetStr(code, v);
}

void TOrbaImage::SetSource(const std::string& source) {
  if (source == Source) return;
  Source = source;
  Reload();
}

void TOrbaImage::Reload() {
  Invalidate();
  OwnPicture = !Source.empty();
  if (Source.empty()) {
    Surface.Release();
    UpdateSize();
    return;
  }
  TTarnCollection& cache = PictureCache();
  TTarnItem& item = cache.Acquire(this, Source, false, false);
  TTarnItemFrame& frame = *item.Frames[0];
  Surface.SetSize(frame.Pixels.Width(), frame.Pixels.Height(), frame.Pixels.PixelFormat());
  Surface.CopyFrom(frame.Surface);
  Surface.TransparentColor = frame.Surface.TransparentColor;
  if (frame.Plane) {
    OwnMask = std::make_unique<TDIBX>(new TDIBSurface, false);
    OwnMask->SetSize(frame.Plane->Width(), frame.Plane->Height(), 8);
    OwnMask->CopyFrom(*frame.AlphaPlane);
  } else {
    OwnMask.reset();
  }
  cache.Release(item, this);
  if (!Surface.IsEmpty() && Brightness < 255) {
    const int32_t k = 255 - Brightness;
    Surface.SubtractRect(Surface.SurfaceRect(), static_cast<uint32_t>(Surface.ColorToPixel(k | k << 8 | k << 16)));
  }
  UpdateSize();
  Invalidate();
}

void TOrbaImage::TakePicture(TCustomDIBX& surface) {
  Invalidate();
  Source.clear();
  OwnMask.reset();
  Surface.SetSize(surface.Width(), surface.Height(), surface.PixelFormat());
  Surface.CopyFrom(surface);
  Surface.TransparentColor = -1;
  OwnPicture = true;
  UpdateSize();
  Invalidate();
}

void TOrbaImage::Transfer(TTreeIO& io) {
  TOrbaCustomImage::Transfer(io);
  io.Str(Source);
  io.I32(Brightness);
}

void TOrbaImage::Loaded() { Reload(); }

// A depth change: the own copy goes and is read again from the cache at the new format. A
// taken picture has nothing to read again: it is kept, and converted to the new depth.
void TOrbaImage::ReleaseSurfaces() {
  Invalidate();
  if (!Source.empty()) {
    Surface.Release();
    OwnMask.reset();
  }
  TOrbaCustomImage::ReleaseSurfaces();
}

void TOrbaImage::RecreateSurfaces() {
  if (!Source.empty() || !OwnPicture) {
    Reload();
  } else if (const int32_t depth = PictureCache().ScreenDepth; depth > 0 && Surface.PixelFormat() != depth) {
    Surface.Image().ConvertTo(depth);
    Invalidate();
  }
  TOrbaCustomImage::RecreateSurfaces();
}

// ---- animated pictures ---------------------------------------------------------------

TOrbaImages::TOrbaImages(TOrbaBaseList* owner, int lists) : TOrbaCustomImage(owner) {
  for (int i = 0; i < lists; ++i) lists_.push_back(std::make_unique<TOrbaImageList>(this));
}

int32_t TOrbaImages::LastWaitMs() const {
  // The wait is an expression of the script, worked out each time the last frame comes (it
  // may read variables); one that does not compile or gives no value waits nothing.
  if (LastFrameWait.find_first_not_of(" \t") == std::string::npos) return 0;
  try {
    TOrbaParser parser;
    CompileExpression(LastFrameWait, parser);
    parser.Execute();
    const TCustomParam* value = parser.Result();
    return value ? std::clamp(value->AsInt(), 0, INT32_MAX / 2) : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

void TOrbaImages::SetIndex(int32_t i) {
  // A motion plays the frames instead: the index sets its clock.
  if (Motion) {
    Motion->ElapsedMs = static_cast<int32_t>(i * kMotionFrameMs);
    return;
  }
  if (i == Index) return;
  const int32_t count = List().Count();
  if (Index >= 0 && Index < count) Invalidate();
  else Remaining = 0;
  Index = i;
  if (TOrbaImageData* data = List().Frame(i)) {
    data->SetBrightness(Brightness);
    ShownSurface = &data->DrawSurface();
    ShownMask = data->Mask();
    Remaining += data->Frame->Delay;
    if (i == count - 1 && count >= 2) Remaining += LastWaitMs();
  } else {
    ShownSurface = nullptr;
    ShownMask = nullptr;
  }
  UpdateSize();
  Invalidate();
}

void TOrbaImages::SetStateSource(int state, const std::string& source) {
  const bool shown = state == CurrentList();
  if (shown) {
    Invalidate();
    Index = -1;
    ShownSurface = nullptr;
    ShownMask = nullptr;
  }
  TOrbaImageList& list = *lists_[static_cast<size_t>(state)];
  list.Clear();
  const bool playing = state == motionState_;
  if (playing) FreeMotion();
  else parked_[static_cast<size_t>(state)].reset();
  if (HasExtension(source, ".trn")) {
    list.Load(source, false);
  } else if (IsMotionFile(source)) {
    // Made as the control's motion; a state whose motion is not playing keeps it aside.
    std::unique_ptr<TOrbaMotion> current = playing ? nullptr : std::move(Motion);
    LoadMotion(source);
    if (Motion && playing) {
      // Placed at once, then played from the start.
      Motion->Advance(0, RepeatNow());
      Motion->Restart();
    }
    if (!playing) {
      parked_[static_cast<size_t>(state)] = std::move(Motion);
      Motion = std::move(current);
    }
  }
  if (shown) {
    if (list.Count() > 0) SetIndex(0);
    else UpdateSize();
  }
}

int32_t TOrbaImages::FrameCount() const {
  return Motion ? Motion->FrameCount() : List().Count();
}

bool TOrbaImages::Playing() const {
  if (Paused || AniPaused) return false;
  if (Motion) return !Motion->Finished;
  return !(!RepeatNow() && Index == FrameCount() - 1 && Remaining < 1);
}

TOrbaImages::TStep TOrbaImages::StepFrames() {
  const int32_t count = FrameCount();
  if (Index < 0 || Index >= count || !IsVisible() || !Playing()) return TStep::Running;
  if (Remaining > 0) Remaining -= Process().FrameDelta;
  while (Remaining < 1) {
    if (Index < count - 1) {
      if (count <= 2) Remaining = 0;
      SetIndex(Index + 1);
    } else if (RepeatNow()) {
      Remaining = 0;
      if (count == 1) {
        Remaining = List().Frame(0)->Frame->Delay;
        break;
      }
      SetIndex(0);
    } else {
      return TStep::Ended;
    }
  }
  return TStep::Running;
}

bool TOrbaImages::Tick() {
  if (TOrbaCustomImage::Tick()) return true;
  if (Motion || StepFrames() == TStep::Running) return false;
  if (AutoScrap) return true;
  QueueEvent(PR_ONPLAYEND);
  return false;
}

int32_t TOrbaImages::GetInt(int32_t code) const {
  switch (code) {
    case PR_INDEX: return Motion ? Motion->CurrentFrame : Index;
    case PR_COUNT: return FrameCount();
    case PR_BRIGHTNESS: return Brightness;
    default: return TOrbaCustomImage::GetInt(code);
  }
}

void TOrbaImages::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_INDEX: SetIndex(v); break;
    case PR_BRIGHTNESS:
      Brightness = v;
      if (TOrbaImageData* data = List().Frame(Index)) {
        data->SetBrightness(v);
        ShownSurface = &data->DrawSurface();
        Invalidate();
      }
      break;
    default: TOrbaCustomImage::SetInt(code, v);
  }
}

bool TOrbaImages::GetBool(int32_t code) const {
  switch (code) {
    case PR_PAUSED: return Paused;
    case PR_REPEAT: return RepeatNow();
    case PR_AUTOSCRAP: return AutoScrap;
    case PR_PLAYING: return Playing();
    default: return TOrbaCustomImage::GetBool(code);
  }
}

void TOrbaImages::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_PAUSED:
      Paused = v;
      Remaining = 0;
      break;
    case PR_VISIBLE:
      TOrbaCustomImage::SetBool(code, v);
      Remaining = 0;
      break;
    case PR_REPEAT:
      Repeat = v;
      if (!v) break;
      if (Motion) {
        if (Motion->Finished) Motion->Restart();
      } else if (Index < 0) {
        SetIndex(0);
      }
      break;
    case PR_AUTOSCRAP: AutoScrap = v; break;
    default: TOrbaCustomImage::SetBool(code, v);
  }
}

std::string TOrbaImages::GetStr(int32_t code) const {
  switch (code) {
    case PR_SOURCE: return Source;
    case PR_ONPLAYEND: return OnPlayEnd;
    case PR_ONIDLE: return OnIdle;
    default: return TOrbaCustomImage::GetStr(code);
  }
}

void TOrbaImages::SetStr(int32_t code, const std::string& v) {
  switch (code) {
    case PR_SOURCE:
      if (v == Source) return;
      Source = v;
      SetStateSource(0, v);
      break;
    case PR_ONPLAYEND: OnPlayEnd = v; break;
    case PR_ONIDLE: OnIdle = v; break;
    default: TOrbaCustomImage::SetStr(code, v);
  }
}

void TOrbaImages::TransferFrames(TTreeIO& io) {
  TOrbaCustomImage::Transfer(io);
  io.I32(Remaining);
  io.I32(Index);
  io.I32(Brightness);
  io.Flag(Paused);
  io.Str(LastFrameWait);
}

void TOrbaImages::Transfer(TTreeIO& io) {
  TransferFrames(io);
  io.Flag(Repeat);
  io.Flag(AutoScrap);
  io.Str(Source);
  io.Str(OnPlayEnd);
  if (io.Version > 103) io.Str(OnIdle);
}

void TOrbaImages::Loaded() {
  const int32_t index = Index, remaining = Remaining;
  Index = -1;
  SetStateSource(0, Source);
  SetIndex(-1);
  SetIndex(index);
  Remaining = remaining;
}

// A depth change: the brightness copies go; afterwards the current frame is shown again
// (its timing untouched).
void TOrbaImages::ReleaseSurfaces() {
  Invalidate();
  for (auto& list : lists_) list->ReleaseSurfaces();
  ShownSurface = nullptr;
  ShownMask = nullptr;
  TOrbaCustomImage::ReleaseSurfaces();
}

void TOrbaImages::RecreateSurfaces() {
  if (TOrbaImageData* data = List().Frame(Index)) {
    data->SetBrightness(Brightness);
    ShownSurface = &data->DrawSurface();
    ShownMask = data->Mask();
  }
  Invalidate();
  TOrbaCustomImage::RecreateSurfaces();
}

// ---- the tile -----------------------------------------------------------------------

int32_t TOrbaTile::GetInt(int32_t code) const {
  switch (code) {
    case PR_SCROLLX: return ScrollPosX;
    case PR_SCROLLY: return ScrollPosY;
    case PR_DISTANCEX: return DistanceX;
    case PR_DISTANCEY: return DistanceY;
    default: return TOrbaImages::GetInt(code);
  }
}

void TOrbaTile::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_SCROLLX: Change(ScrollPosX, v); break;
    case PR_SCROLLY: Change(ScrollPosY, v); break;
    case PR_DISTANCEX: Change(DistanceX, v); break;
    case PR_DISTANCEY: Change(DistanceY, v); break;
    default: TOrbaImages::SetInt(code, v);
  }
}

void TOrbaTile::Paint(TPaintContext& ctx) {
  TDIBX* s = Shown();
  if (!ctx.Hidden && s && !s->IsEmpty() && Alpha >= 1 && Alpha < 512 && Width >= 1 && Height >= 1 && zoomX_ >= 1 &&
      zoomY_ >= 1) {
    TCustomDIBX& d = ctx.Surface;
    const TRect area = AbsoluteRect(), src = s->SurfaceRect();
    TDIBX* mask = ShownMaskPlane();
    if (zoomX_ != 256 || zoomY_ != 256) {
      // Zoomed cells lie edge to edge.
      const int32_t sx = static_cast<int32_t>(int64_t{zoomX_} * 256), sy = static_cast<int32_t>(int64_t{zoomY_} * 256);
      if (Alpha > 255) d.TileDrawScaledAdd(area, src, ScrollPosX, ScrollPosY, sx, sy, Alpha - 256, *s);
      else d.TileDrawScaled(area, src, ScrollPosX, ScrollPosY, sx, sy, Alpha, true, *s);
    } else {
      // The scroll wraps by the cell, the drawing code's modulo of the period.
      const int32_t gapX = CellSize(DistanceX, s->Width()) - s->Width();
      const int32_t gapY = CellSize(DistanceY, s->Height()) - s->Height();
      const int32_t x = ScrollPosX, y = ScrollPosY;
      if (Alpha > 255) {
        if (mask) d.TileDrawAddMasked(area, src, x, y, gapX, gapY, Alpha - 256, *mask, *s);
        else d.TileDrawAdd(area, src, x, y, gapX, gapY, Alpha - 256, *s);
      } else if (Alpha < 255) {
        if (mask) d.TileDrawBlendMasked(area, src, x, y, gapX, gapY, Alpha, *mask, *s);
        else d.TileDrawBlend(area, src, x, y, gapX, gapY, Alpha, true, *s);
      } else {
        if (mask) d.TileDrawMasked(area, src, x, y, gapX, gapY, *mask, *s);
        else d.TileDraw(area, src, x, y, gapX, gapY, true, *s);
      }
    }
  }
  PaintChildren(ctx);
}

void TOrbaTile::CollectOpaqueRegions(TClipData& data) {
  const TDIBX* s = Shown();
  if (!s || Alpha <= 0 || Alpha >= 512 || Width < 1 || Height < 1) return;
  data.Painted.push_back(AbsoluteRect());
  const bool gapless = CellSize(DistanceX, s->Width()) <= s->Width() && CellSize(DistanceY, s->Height()) <= s->Height();
  if (Alpha == 255 && gapless && !ShownMaskPlane() && s->TransparentColor < 0) data.Opaque.push_back(AbsoluteRect());
}

void TOrbaTile::Transfer(TTreeIO& io) {
  TransferFrames(io);
  io.I32(ScrollPosX);
  io.I32(ScrollPosY);
  io.Str(Source);
  io.Str(OnIdle);
  io.I32(DistanceX);
  io.I32(DistanceY);
}

// ---- the button ----------------------------------------------------------------------

int32_t TOrbaButton::GetInt(int32_t code) const {
  return code == PR_GROUPINDEX ? GroupIndex : TOrbaImages::GetInt(code);
}

void TOrbaButton::SetInt(int32_t code, int32_t v) {
  if (code == PR_GROUPINDEX) SetGroupIndex(v);
  else TOrbaImages::SetInt(code, v);
}

bool TOrbaButton::GetBool(int32_t code) const {
  switch (code) {
    case PR_SELECTED: return Selected;
    case PR_ALLOWALLUP: return AllowAllUp;
    default: return TOrbaImages::GetBool(code);
  }
}

void TOrbaButton::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_SELECTED: SetSelected(v); break;
    case PR_ALLOWALLUP: SetAllowAllUp(v); break;
    case PR_PAUSED:
      TOrbaImages::SetBool(code, v);
      if (!v) SetState(0);
      break;
    default: TOrbaImages::SetBool(code, v);
  }
}

std::string TOrbaButton::GetStr(int32_t code) const {
  switch (code) {
    case PR_HOVERSOURCE: return HoverSource;
    case PR_PRESSEDSOURCE: return PressedSource;
    case PR_CLICKEDSOURCE: return ClickedSource;
    case PR_ONNOTIFY: return OnNotify;
    default: return TOrbaImages::GetStr(code);
  }
}

void TOrbaButton::SetStr(int32_t code, const std::string& v) {
  const auto set = [&](std::string& field, int state) {
    if (field == v) return;
    field = v;
    SetStateSource(state, v);
  };
  switch (code) {
    case PR_HOVERSOURCE: set(HoverSource, 1); break;
    case PR_PRESSEDSOURCE: set(PressedSource, 2); break;
    case PR_CLICKEDSOURCE: set(ClickedSource, 3); break;
    case PR_ONNOTIFY: OnNotify = v; break;
    default: TOrbaImages::SetStr(code, v);
  }
}

void TOrbaButton::SetState(int32_t s) {
  if (State == 3) {
    NextState = s;
    return;
  }
  if (s > 3) s = 3;
  const bool hasMotion = s > 0 && (s == motionState_ ? Motion != nullptr : parked_[static_cast<size_t>(s)] != nullptr);
  if (s == State || !(s <= 0 || hasMotion || lists_[static_cast<size_t>(s)]->Count() > 0)) return;
  // The motion of the state left is set aside, the new state's takes its place.
  const int32_t to = s < 0 ? 0 : s;
  if (to != motionState_) {
    parked_[static_cast<size_t>(motionState_)] = std::move(Motion);
    Motion = std::move(parked_[static_cast<size_t>(to)]);
    motionState_ = to;
    if (!Motion) {
      SetMotionX(0);
      SetMotionY(0);
      SetSubPriority(0);
    }
  }
  State = s;
  if (State == 3) NextState = 0;
  SetIndex(-1);
  SetIndex(0);
  RestartMotion();
}

void TOrbaButton::Click() {
  QueueEvent(PR_ONNOTIFY);
  if (GroupIndex == 0) {
    SetState(3);
    if (State != 3 && AutoScrap) Tracking = -1;
  } else if (AllowAllUp || !Selected) {
    SetSelected(!Selected);
  }
}

bool TOrbaButton::PressedInside() {
  return HitTest(MouseInPage(), kLeftPressMask) == this;
}

void TOrbaButton::MouseMove() {
  if (Tracking == 0) {
    SetState(Paused || Selected ? (Selected ? 2 : 0) : 1);
    TOrbaImages::MouseMove();
  } else if (Tracking == 1) {
    SetState(Selected || PressedInside() ? 2 : 0);
  }
}

void TOrbaButton::MouseOut(TOrbaControl* next) {
  if (State != 3) SetState(Selected ? 2 : 0);
  TOrbaImages::MouseOut(next);
}

void TOrbaButton::LButtonDown() {
  if (IgnoreMouse != IM_NONE && IgnoreMouse != IM_RCLICK) {
    TOrbaImages::LButtonDown();
    return;
  }
  TOrbaBase* base = GetBase();
  if (!Paused && State != 3) {
    if (base) base->Capture |= 4;
    SetState(2);
    Tracking = 1;
  }
  // The button takes the press for itself: nothing else reacts, and no press event is queued.
  if (base) base->Input().LeftClick = false;
}

void TOrbaButton::LButtonUp() {
  if (Tracking == 1 && PressedInside()) {
    Click();
    if (Tracking == -1) return;
  }
  Tracking = 0;
  if (GroupIndex == 0 && State != 3) SetState(0);
}

void TOrbaButton::KeyRepeat() {
  // Enter or Space held on the focused button clicks it at every repeat.
  if (Owner) {
    const auto& repeat = Owner->Keys.KeyRepeatTick;
    if (repeat[13] || repeat[32]) Click();
  }
  TOrbaImages::KeyRepeat();
}

void TOrbaButton::SetDownSilently(bool v) {
  Selected = v;
  SetState(v ? 2 : 0);
}

void TOrbaButton::SetSelected(bool v) {
  if (v && GroupIndex == 0) return;
  SetDownSilently(v);
  GroupRule();
}

void TOrbaButton::SetGroupIndex(int32_t v) {
  GroupIndex = v;
  GroupRule();
}

void TOrbaButton::SetAllowAllUp(bool v) {
  AllowAllUp = v;
  if (GroupIndex != 0 && Parent())
    for (TOrbaControl* c : Parent()->Children())
      if (auto* b = dynamic_cast<TOrbaButton*>(c); b && b->GroupIndex == GroupIndex) b->AllowAllUp = v;
  GroupRule();
}

void TOrbaButton::GroupRule() {
  if (GroupIndex == 0) return;
  std::vector<TOrbaButton*> group;
  if (Parent()) {
    for (TOrbaControl* c : Parent()->Children())
      if (auto* b = dynamic_cast<TOrbaButton*>(c); b && b->GroupIndex == GroupIndex) group.push_back(b);
  } else {
    group.push_back(this);
  }
  TOrbaButton* chosen = Selected ? this : nullptr;
  for (TOrbaButton* b : group)
    if (!chosen && b->Selected) chosen = b;
  if (!chosen && !AllowAllUp) chosen = group.front();
  for (TOrbaButton* b : group)
    if (b->Selected != (b == chosen)) b->SetDownSilently(b == chosen);
}

bool TOrbaButton::Tick() {
  if (Tracking == -1) return true;
  if (Motion) {
    // The control's tick ends the state's motion: freed, or the play-end event queued.
    const bool wasFinished = Motion->Finished;
    if (TOrbaCustomImage::Tick()) return true;
    if (State != 3 || wasFinished || !Motion || !Motion->Finished) return false;
  } else {
    if (TOrbaCustomImage::Tick()) return true;
    if (StepFrames() == TStep::Running || State != 3) return false;
    if (AutoScrap) return true;
    QueueEvent(PR_ONPLAYEND);
  }
  State = -1;  // switching: the next state is taken whatever it is
  SetState(NextState);
  return false;
}

void TOrbaButton::Transfer(TTreeIO& io) {
  TOrbaImages::Transfer(io);
  io.Str(HoverSource);
  io.Str(PressedSource);
  io.I32(GroupIndex);
  io.Flag(Selected);
  io.Flag(AllowAllUp);
  io.Str(OnNotify);
  if (io.Version > 103) {
    io.Str(OnIdle);
    io.Str(ClickedSource);
  }
}

void TOrbaButton::Loaded() {
  SetStateSource(1, HoverSource);
  SetStateSource(2, PressedSource);
  SetStateSource(3, ClickedSource);
  TOrbaImages::Loaded();
}

}  // namespace orba
