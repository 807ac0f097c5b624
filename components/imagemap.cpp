#include "components/imagemap.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/baselist.h"
#include "values/paramcollection.h"

namespace orba {

namespace {

// A bounded little-endian reader over the file's bytes.
class TRegionReader {
 public:
  explicit TRegionReader(std::span<const uint8_t> b) : b_(b) {}
  size_t Remaining() const { return b_.size() - pos_; }
  void Need(size_t n) const {
    if (n > Remaining()) throw EOrbaError("region map: the file ends early");
  }
  int32_t I32() {
    Need(4);
    const uint32_t v = b_[pos_] | b_[pos_ + 1] << 8 | b_[pos_ + 2] << 16 | uint32_t{b_[pos_ + 3]} << 24;
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  uint8_t U8() {
    Need(1);
    return b_[pos_++];
  }
  // A count of items of itemSize bytes each that must fit in what remains.
  size_t Count(size_t itemSize) {
    const int32_t n = I32();
    if (n < 0 || static_cast<size_t>(n) > Remaining() / itemSize) throw EOrbaError("region map: a count passes the end");
    return static_cast<size_t>(n);
  }
  std::string Bytes(size_t n) {
    Need(n);
    std::string s(reinterpret_cast<const char*>(b_.data() + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  std::span<const uint8_t> b_;
  size_t pos_ = 0;
};

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

// The parameters of the region events: the name and the index.
TArrayString RegionParams(const std::string& name, int32_t index) {
  TArrayString params;
  params.Add(name);
  params.Add(std::to_string(index));
  return params;
}

int32_t Saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

bool TMapRegion::Contains(int32_t x, int32_t y) const {
  if (x < Box.Left || x >= Box.Right || y < Box.Top || y >= Box.Bottom) return false;
  if (Kind == 0) return true;
  // Pixel centres against the shape.
  const double px = x + 0.5, py = y + 0.5;
  if (Kind == 1) {
    const double rx = (double(Box.Right) - Box.Left) / 2, ry = (double(Box.Bottom) - Box.Top) / 2;
    const double dx = (px - (double(Box.Left) + rx)) / rx, dy = (py - (double(Box.Top) + ry)) / ry;
    return dx * dx + dy * dy <= 1.0;
  }
  // Non-zero winding.
  int winding = 0;
  for (size_t i = 0; i < Points.size(); ++i) {
    const TPoint a = Points[i], b = Points[(i + 1) % Points.size()];
    const double cross = (double(b.X) - a.X) * (py - a.Y) - (px - a.X) * (double(b.Y) - a.Y);
    if (a.Y <= py) {
      if (b.Y > py && cross > 0) ++winding;
    } else if (b.Y <= py && cross < 0) {
      --winding;
    }
  }
  return winding != 0;
}

std::vector<TMapRegion> ReadRegionMap(std::span<const uint8_t> bytes) {
  TRegionReader r(bytes);
  // The smallest region: an empty name, a kind and an empty point list.
  const size_t count = r.Count(4 + 1 + 4);
  std::vector<TMapRegion> regions;
  regions.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    TMapRegion region;
    region.Name = r.Bytes(r.Count(1));
    region.Kind = r.U8();
    if (region.Kind <= 1) {
      const int32_t l = r.I32(), t = r.I32(), rt = r.I32(), b = r.I32();
      region.Box = {l, t, Saturate(int64_t{rt} + 1), Saturate(int64_t{b} + 1)};
    } else {
      const size_t n = r.Count(8);
      int64_t l = INT32_MAX, t = INT32_MAX, rt = INT32_MIN, b = INT32_MIN;
      for (size_t k = 0; k < n; ++k) {
        const int32_t x = r.I32(), y = r.I32();
        region.Points.push_back({x, y});
        l = std::min<int64_t>(l, x);
        t = std::min<int64_t>(t, y);
        rt = std::max<int64_t>(rt, x);
        b = std::max<int64_t>(b, y);
      }
      if (n > 0) region.Box = {Saturate(l), Saturate(t), Saturate(rt + 1), Saturate(b + 1)};
    }
    regions.push_back(std::move(region));
  }
  return regions;
}

std::vector<uint8_t> WriteRegionMap(const std::vector<TMapRegion>& regions) {
  std::vector<uint8_t> out;
  PutI32(out, static_cast<int32_t>(regions.size()));
  for (const TMapRegion& region : regions) {
    PutI32(out, static_cast<int32_t>(region.Name.size()));
    out.insert(out.end(), region.Name.begin(), region.Name.end());
    out.push_back(region.Kind);
    if (region.Kind <= 1) {
      for (int32_t v : {region.Box.Left, region.Box.Top, region.Box.Right - 1, region.Box.Bottom - 1}) PutI32(out, v);
    } else {
      PutI32(out, static_cast<int32_t>(region.Points.size()));
      for (const TPoint& p : region.Points) {
        PutI32(out, p.X);
        PutI32(out, p.Y);
      }
    }
  }
  return out;
}

// ---- the component -------------------------------------------------------------------

TOrbaMapImage::TOrbaMapImage(TOrbaBaseList* owner) : TOrbaControl(owner), base_(this), hover_(this) {
  if (owner) owner->RightClickCancellers.push_back(this);
}

int32_t TOrbaMapImage::GetInt(int32_t code) const {
  switch (code) {
    case PR_ALPHA: return Alpha;
    case PR_BRIGHTNESS: return Brightness;
    default: return TOrbaControl::GetInt(code);
  }
}

void TOrbaMapImage::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_ALPHA: Change(Alpha, v); break;
    case PR_BRIGHTNESS: Change(Brightness, v); break;
    default: TOrbaControl::SetInt(code, v);
  }
}

bool TOrbaMapImage::GetBool(int32_t code) const {
  switch (code) {
    case PR_AUTOSCRAP: return AutoScrap;
    case PR_RCLICKSCRAP: return RClickScrap;
    case PR_PAUSED: return Paused;
    case PR_REPEAT: return true;
    default: return TOrbaControl::GetBool(code);
  }
}

void TOrbaMapImage::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_AUTOSCRAP: AutoScrap = v; break;
    case PR_RCLICKSCRAP: RClickScrap = v; break;
    case PR_PAUSED: Paused = v; break;
    default: TOrbaControl::SetBool(code, v);
  }
}

std::string TOrbaMapImage::GetStr(int32_t code) const {
  switch (code) {
    case PR_SOURCE: return Source;
    case PR_HOVERSOURCE: return HoverSource;
    case PR_MAPSOURCE: return MapSource;
    case PR_ONMAPIN: return OnMapIn;
    case PR_ONMAPOUT: return OnMapOut;
    case PR_ONSELECT: return OnSelect;
    case PR_ONIDLE: return OnIdle;
    default: return TOrbaControl::GetStr(code);
  }
}

void TOrbaMapImage::SetStr(int32_t code, const std::string& v) {
  switch (code) {
    case PR_SOURCE: Source = v; LoadPicture(base_, v); break;
    case PR_HOVERSOURCE: HoverSource = v; LoadPicture(hover_, v); break;
    case PR_MAPSOURCE: MapSource = v; LoadMap(); break;
    case PR_ONMAPIN: OnMapIn = v; break;
    case PR_ONMAPOUT: OnMapOut = v; break;
    case PR_ONSELECT: OnSelect = v; break;
    case PR_ONIDLE: OnIdle = v; break;
    default: TOrbaControl::SetStr(code, v);
  }
}

void TOrbaMapImage::LoadPicture(TOrbaImageList& list, const std::string& source) {
  Invalidate();
  list.Clear();
  if (!source.empty()) list.Load(source, true);
  (&list == &base_ ? baseCutFor_ : hoverCutFor_) = -2;
  if (&list == &base_) {
    TOrbaImageData* first = base_.Frame(0);
    SetWidth(first ? first->Frame->Pixels.Width() : 0);
    SetHeight(first ? first->Frame->Pixels.Height() : 0);
  }
  Invalidate();
}

void TOrbaMapImage::LoadMap() {
  SetHover(-1);
  Regions.clear();
  baseCutFor_ = hoverCutFor_ = -2;
  // A file the project lacks, or a damaged one, leaves the map without regions.
  try {
    // Through the project reader the picture cache uses.
    std::vector<uint8_t> bytes;
    const auto& read = PictureCache().Reader;
    if (MapSource.empty() || !read || !read(MapSource, bytes)) return;
    Regions = ReadRegionMap(bytes);
  } catch (const std::exception&) {
    Regions.clear();
  }
}

int32_t TOrbaMapImage::RegionAt(TPoint p) const {
  const TPoint local = ToClient(p);
  for (size_t i = 0; i < Regions.size(); ++i)
    if (Regions[i].Contains(local.X, local.Y)) return static_cast<int32_t>(i);
  return -1;
}

TRect TOrbaMapImage::RegionBox(int32_t index) const {
  const TRect b = Regions[static_cast<size_t>(index)].Box;
  return {Saturate(int64_t{b.Left} + AbsoluteLeft()), Saturate(int64_t{b.Top} + AbsoluteTop()),
          Saturate(int64_t{b.Right} + AbsoluteLeft()), Saturate(int64_t{b.Bottom} + AbsoluteTop())};
}

void TOrbaMapImage::SetHover(int32_t index) {
  if (index == Hover) return;
  const auto params = [&](int32_t i) { return RegionParams(Regions[static_cast<size_t>(i)].Name, i); };
  if (Hover >= 0 && Hover < static_cast<int32_t>(Regions.size())) {
    QueueEvent(PR_ONMAPOUT, params(Hover));
    NotifyInvalidate(RegionBox(Hover));
  }
  Hover = index;
  hover_.SetIndex(0);
  if (Hover >= 0 && Hover < static_cast<int32_t>(Regions.size())) {
    NotifyInvalidate(RegionBox(Hover));
    QueueEvent(PR_ONMAPIN, params(Hover));
  }
}

void TOrbaMapImage::Select() {
  if (Hover < 0 || Hover >= static_cast<int32_t>(Regions.size())) return;
  const std::string& name = Regions[static_cast<size_t>(Hover)].Name;
  if (TParamCollection* vars = Variables()) {
    vars->SelStr = name;
    vars->SelIndex = Hover;
  }
  QueueEvent(PR_ONSELECT, RegionParams(name, Hover), true);
  if (AutoScrap) {
    CloseCountdown = 100;
    Closing = true;
  }
}

void TOrbaMapImage::MouseMove() {
  if (!Closing) SetHover(RegionAt(MouseInPage()));
  TOrbaControl::MouseMove();
}

void TOrbaMapImage::MouseOut(TOrbaControl* next) {
  SetHover(-1);
  TOrbaControl::MouseOut(next);
}

void TOrbaMapImage::LButtonDown() {
  if (!Closing && (IgnoreMouse == IM_NONE || IgnoreMouse == IM_RCLICK) && !Paused && Hover >= 0) Select();
  TOrbaControl::LButtonDown();
}

void TOrbaMapImage::KeyRepeat() {
  const int32_t count = static_cast<int32_t>(Regions.size());
  if (!Closing && Owner) {
    const TKeyboardState& keys = Owner->Keys;
    const bool none = Hover < 0 || Hover >= count;
    if (keys.KeyRepeatTick[38] || keys.KeyRepeatTick[37]) {
      // Up or Left: the region before, the last from none or the first.
      if (count > 0) SetHover(none || Hover == 0 ? count - 1 : Hover - 1);
    } else if (keys.KeyRepeatTick[40] || keys.KeyRepeatTick[39]) {
      if (count > 0) SetHover(none || Hover == count - 1 ? 0 : Hover + 1);
    } else if ((keys.KeyClickedTick[13] || keys.KeyClickedTick[32]) && !none) {
      Select();
    } else if (keys.KeyClickedTick[27] && RClickScrap) {
      Cancel();
    }
  }
  TOrbaControl::KeyRepeat();
}

void TOrbaMapImage::Cancel() {
  if (TParamCollection* vars = Variables()) {
    vars->SelStr.clear();
    vars->SelIndex = -1;
  }
  CloseCountdown = 100;
}

bool TOrbaMapImage::RightClickCancel() {
  if (Closing || !(IgnoreMouse == IM_NONE || IgnoreMouse == IM_LCLICK)) return false;
  Closing = true;
  Cancel();
  return true;
}

TDIBX* TOrbaMapImage::CutMask(TOrbaImageData& frame, bool keepInside, std::unique_ptr<TDIBX>& cut, int32_t& cutFor,
                              const TDIBX*& cutFrom) {
  TDIBX* plane = frame.Mask();
  if (!plane || Hover < 0 || Hover >= static_cast<int32_t>(Regions.size())) return plane;
  if (cut && cutFor == Hover && cutFrom == plane) return cut.get();
  if (!cut) cut = std::make_unique<TDIBX>(new TDIBSurface, false);
  cut->SetSize(plane->Width(), plane->Height(), 8);
  const TMapRegion& region = Regions[static_cast<size_t>(Hover)];
  // Built once per hover change and frame, not per paint.
  for (int32_t y = 0; y < plane->Height(); ++y)
    for (int32_t x = 0; x < plane->Width(); ++x)
      cut->SetPixel(x, y, region.Contains(x, y) == keepInside ? plane->GetPixel(x, y) : 0);
  cutFor = Hover;
  cutFrom = plane;
  return cut.get();
}

void TOrbaMapImage::Paint(TPaintContext& ctx) {
  if (!ctx.Hidden && Alpha > 0 && Alpha < 512) {
    if (TOrbaImageData* f = base_.Frame(base_.CurrentIndex)) {
      f->SetBrightness(Brightness);
      TDIBX* mask = CutMask(*f, false, baseCut_, baseCutFor_, baseCutFrom_);
      DrawByAlpha(ctx.Surface, AbsoluteRect(), f->DrawSurface(), mask, Alpha, false, false);
    }
    TOrbaImageData* h = hover_.Frame(hover_.CurrentIndex);
    if (h && Hover >= 0 && Hover < static_cast<int32_t>(Regions.size())) {
      h->SetBrightness(Brightness);
      TDIBX* mask = CutMask(*h, true, hoverCut_, hoverCutFor_, hoverCutFrom_);
      TDIBX& s = h->DrawSurface();
      DrawByAlpha(ctx.Surface, Bounds(AbsoluteLeft(), AbsoluteTop(), s.Width(), s.Height()), s, mask, Alpha, false,
                  false);
    }
  }
  PaintChildren(ctx);
}

void TOrbaMapImage::ReleaseSurfaces() {
  Invalidate();
  base_.ReleaseSurfaces();
  hover_.ReleaseSurfaces();
  baseCut_.reset();
  hoverCut_.reset();
  baseCutFor_ = hoverCutFor_ = -2;
  baseCutFrom_ = hoverCutFrom_ = nullptr;
  TOrbaControl::ReleaseSurfaces();
}

void TOrbaMapImage::RecreateSurfaces() {
  Invalidate();
  TOrbaControl::RecreateSurfaces();
}

bool TOrbaMapImage::Tick() {
  if (TOrbaControl::Tick()) return true;
  if (CloseCountdown == 101) return true;
  if (CloseCountdown == 100) {
    CloseCountdown = 101;
    Closing = true;
    return false;
  }
  if (AniPaused) return false;
  const int32_t delta = Process().FrameDelta;
  if (base_.Advance(delta)) Invalidate();
  if (Hover >= 0 && Hover < static_cast<int32_t>(Regions.size()) && hover_.Advance(delta))
    NotifyInvalidate(RegionBox(Hover));
  return false;
}

void TOrbaMapImage::Transfer(TTreeIO& io) {
  TOrbaControl::Transfer(io);
  io.Str(Source);
  io.Str(HoverSource);
  io.Str(MapSource);
  io.I32(Alpha);
  io.I32(Brightness);
  io.Str(OnMapIn);
  io.Str(OnMapOut);
  io.Flag(AutoScrap);
  io.Flag(RClickScrap);
  if (io.Version > 103) {
    io.Str(OnIdle);
    io.Flag(Paused);
    io.Str(OnSelect);
  }
  if (io.Version > 114) io.Byte(CloseCountdown);
}

void TOrbaMapImage::Loaded() {
  LoadPicture(base_, Source);
  LoadPicture(hover_, HoverSource);
  LoadMap();
  Closing = CloseCountdown != 0;
}

}  // namespace orba
