#include "components/orbaobject.h"

#include <algorithm>
#include <cstdlib>

#include "base/process.h"
#include "components/baselist.h"
#include "components/motion.h"
#include "render/dibx.h"

namespace orba {

// ---- TOrbaObject ----------------------------------------------------------------------------

void TOrbaObject::SetName(const std::string& name) {
  if (name == name_) return;
  if (Owner && !name.empty()) {
    int32_t other = Owner->IndexOfName(name);
    if (other >= 0) Owner->Scrap(&Owner->Item(other));
  }
  name_ = name;
}

void TOrbaObject::SetPriority(int32_t priority) {
  if (priority == Priority) return;
  Priority = priority;
  SubPriority = 0;
}

void TOrbaObject::SetSubPriority(int32_t sub) {
  if (sub == SubPriority) return;
  SubPriority = sub;
  if (TOrbaControl* c = AsControl(); c && c->Parent()) {
    c->Parent()->SortChildren();
    c->Invalidate();
  }
}

int32_t TOrbaObject::GetInt(int32_t code) const {
  switch (code) {
    case PR_PRIORITY: return Priority;
    case PR_COMPOTYPE: return GetCompoType();
    default: return 0;
  }
}

void TOrbaObject::SetInt(int32_t code, int32_t v) {
  if (code == PR_PRIORITY) SetPriority(v);
}

std::string TOrbaObject::GetStr(int32_t code) const {
  switch (code) {
    case PR_NAME: return name_;
    case PR_TAG: return Tag;
    default: return {};
  }
}

void TOrbaObject::SetStr(int32_t code, const std::string& v) {
  if (code == PR_NAME) SetName(v);
  else if (code == PR_TAG) Tag = v;
}

void TOrbaObject::QueueEvent(int32_t code, TArrayString params, bool notWaiting) {
  if (!Owner || !(PropertyInfo(code).Readers & KindMask())) return;
  std::string handler = GetStr(code);
  if (handler.empty() || IsClosing()) return;
  TTimerList& queue = Owner->Events();
  if (notWaiting && queue.Has(Id, code)) return;
  queue.Add({std::move(handler), Id, code, 0, std::move(params)});
}

void TOrbaObject::Transfer(TTreeIO& io) {
  io.Str(name_);
  io.I32(Priority);
  if (io.Version > 103) io.I32(SubPriority);
  if (io.Version >= 120) io.Str(Tag);
}

// ---- TOrbaControl ---------------------------------------------------------------------------

TOrbaControl::TOrbaControl(TOrbaBaseList* owner) : TOrbaComponent(owner) {
  if (owner && !owner->Focus) owner->RefocusPending = true;
}

TOrbaControl::~TOrbaControl() = default;

void TOrbaControl::SetName(const std::string& name) {
  if (name == name_) return;
  if (Owner && !name.empty()) {
    if (int32_t i = Owner->IndexOfName(name); i >= 0) {
      // The older holder steps aside as base_2, base_3 ... (an old "_N" suffix dropped first).
      TOrbaObject& other = Owner->Item(i);
      std::string base = other.name_;
      if (size_t us = base.rfind('_'); us != std::string::npos && us + 1 < base.size() &&
                                       base.find_first_not_of("0123456789", us + 1) == std::string::npos) {
        std::string digits = base.substr(us + 1);
        if (digits.size() < 10 && std::atoi(digits.c_str()) > 1) base.resize(us);
      }
      for (int k = 2;; ++k) {
        std::string candidate = base + "_" + std::to_string(k);
        if (Owner->IndexOfName(candidate) < 0) {
          other.name_ = candidate;
          break;
        }
      }
    }
  }
  name_ = name;
}

void TOrbaControl::SetPriority(int32_t priority) {
  if (priority == Priority) return;
  TOrbaObject::SetPriority(priority);
  if (parent_) {
    parent_->SortChildren();
    Invalidate();
  }
}

int32_t TOrbaControl::GetInt(int32_t code) const {
  switch (code) {
    case PR_LEFT: return Left;
    case PR_TOP: return Top;
    case PR_WIDTH: return Width;
    case PR_HEIGHT: return Height;
    case PR_COLOR: return Color;
    case PR_OFFSETX: return OffsetX;
    case PR_OFFSETY: return OffsetY;
    case PR_IGNOREMOUSE: return IgnoreMouse;
    case PR_CLIPLEFT: return ClipLeft;
    case PR_CLIPTOP: return ClipTop;
    case PR_CLIPWIDTH: return ClipWidth;
    case PR_CLIPHEIGHT: return ClipHeight;
    case PR_PLUSX: return PlusX;
    case PR_PLUSY: return PlusY;
    default: return TOrbaComponent::GetInt(code);
  }
}

void TOrbaControl::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_LEFT: SetLeft(v); break;
    case PR_TOP: SetTop(v); break;
    case PR_WIDTH: SetWidth(v); break;
    case PR_HEIGHT: SetHeight(v); break;
    case PR_COLOR: SetColor(v); break;
    case PR_OFFSETX: SetOffsetX(v); break;
    case PR_OFFSETY: SetOffsetY(v); break;
    case PR_IGNOREMOUSE: IgnoreMouse = static_cast<uint8_t>(v); break;
    case PR_CLIPLEFT: SetClip(ClipLeft, v); break;
    case PR_CLIPTOP: SetClip(ClipTop, v); break;
    case PR_CLIPWIDTH: SetClip(ClipWidth, v); break;
    case PR_CLIPHEIGHT: SetClip(ClipHeight, v); break;
    case PR_PLUSX: SetPlusX(v); break;
    case PR_PLUSY: SetPlusY(v); break;
    default: TOrbaComponent::SetInt(code, v);
  }
}

bool TOrbaControl::GetBool(int32_t code) const {
  switch (code) {
    case PR_VISIBLE: return IsVisible();
    case PR_POSZOOMED: return PosZoomed;
    case PR_ANIPAUSED: return AniPaused;
    case PR_HANDLEKEY: return HandleKey;
    default: return TOrbaComponent::GetBool(code);
  }
}

void TOrbaControl::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_VISIBLE: SetVisible(v); break;
    case PR_POSZOOMED: SetPosZoomed(v); break;
    case PR_ANIPAUSED: AniPaused = v; break;
    case PR_HANDLEKEY:
      if (v == HandleKey) break;
      HandleKey = v;
      if (Owner && ((v && !Owner->Focus) || (!v && Owner->Focus == this))) Owner->RefocusPending = true;
      break;
    default: TOrbaComponent::SetBool(code, v);
  }
}

namespace {

// The slot of a handler property, or -1.
int HandlerSlot(int32_t code) {
  switch (code) {
    case PR_ONMOUSEMOVE: return 0;
    case PR_ONMOUSEIN: return 1;
    case PR_ONMOUSEOUT: return 2;
    case PR_ONLBTNDOWN: return 3;
    case PR_ONLBTNUP: return 4;
    case PR_ONRBTNDOWN: return 5;
    case PR_ONRBTNUP: return 6;
    case PR_ONWHEELDOWN: return 7;
    case PR_ONWHEELUP: return 8;
    case PR_ONKEYDOWN: return 9;
    case PR_ONKEYUP: return 10;
    case PR_ONKEYREPEAT: return 11;
    case PR_ONFOCUSIN: return 12;
    case PR_ONFOCUSOUT: return 13;
    default: return -1;
  }
}

}  // namespace

std::string TOrbaControl::GetStr(int32_t code) const {
  if (int slot = HandlerSlot(code); slot >= 0) return Handlers[static_cast<size_t>(slot)];
  switch (code) {
    case PR_PARENT: return parent_ ? parent_->name_ : std::string();
    case PR_CURSOR: return Cursor;
    default: return TOrbaComponent::GetStr(code);
  }
}

void TOrbaControl::SetStr(int32_t code, const std::string& v) {
  if (int slot = HandlerSlot(code); slot >= 0) {
    Handlers[static_cast<size_t>(slot)] = v;
    return;
  }
  switch (code) {
    case PR_PARENT:
      // A page keeps its place; a name that finds no control leaves the parent as it is.
      if (Owner && !Owner->IsBase(this))
        if (TOrbaControl* p = Owner->FindControl(v)) SetParent(p);
      break;
    case PR_CURSOR: Cursor = v; break;
    default: TOrbaComponent::SetStr(code, v);
  }
}

bool TOrbaControl::Contains(const TOrbaControl* other) const {
  for (const TOrbaControl* c = other; c; c = c->parent_)
    if (c == this) return true;
  return false;
}

void TOrbaControl::AddChild(TOrbaControl* child) { children_.push_back(child); }

void TOrbaControl::RemoveChild(TOrbaControl* child) { std::erase(children_, child); }

void TOrbaControl::SetParent(TOrbaControl* parent) {
  if (parent == parent_ || (parent && Contains(parent))) return;
  Invalidate();
  const bool focusInside = Owner && Owner->Focus && Contains(Owner->Focus);
  if (parent_) {
    parent_->RemoveChild(this);
    if (dynamic_cast<TOrbaCabinet*>(parent_)) LeftCabinet();
  }
  parent_ = parent;
  if (parent_) {
    parent_->AddChild(this);
    parent_->SortChildren();
    if (dynamic_cast<TOrbaCabinet*>(parent_)) EnteredCabinet();
  }
  Invalidate();
  if (!Owner) return;
  if (focusInside) {
    Owner->Focus = nullptr;
    Owner->RefocusPending = true;
  } else if (!Owner->Focus && GetBase() == &Owner->Current()) {
    Owner->RefocusPending = true;
  }
}

namespace {

// The z-order of siblings: internal names first, the snapshot last, then the priority sum,
// then the names in byte order.
bool PaintsBefore(const TOrbaControl* a, const TOrbaControl* b) {
  if (a == b) return false;
  const std::string& na = a->Name();
  const std::string& nb = b->Name();
  if (na == kSnapshotName) return false;
  if (nb == kSnapshotName) return true;
  const bool ia = IsInternalName(na), ib = IsInternalName(nb);
  if (ia != ib) return ia;
  const int64_t pa = int64_t{a->Priority} + a->SubPriority, pb = int64_t{b->Priority} + b->SubPriority;
  if (pa != pb) return pa < pb;
  return na < nb;  // std::string compares bytes as unsigned
}

}  // namespace

void TOrbaControl::SortChildren() { std::sort(children_.begin(), children_.end(), PaintsBefore); }

TOrbaBase* TOrbaControl::GetBase() { return parent_ ? parent_->GetBase() : nullptr; }

bool TOrbaControl::IsInCabinet() const {
  for (const TOrbaControl* c = parent_; c; c = c->parent_)
    if (dynamic_cast<const TOrbaCabinet*>(c)) return true;
  return false;
}

void TOrbaControl::SetVisible(bool visible) {
  if (visible == Visible) return;
  if (!visible) Invalidate();
  Visible = visible;
  if (visible) Invalidate();
  if (!Owner) return;
  if (!visible && Owner->Focus && Contains(Owner->Focus)) {
    Owner->Focus = nullptr;
    Owner->RefocusPending = true;
  } else if (visible && !Owner->Focus) {
    Owner->RefocusPending = true;
  }
}

bool TOrbaControl::IsShowing() {
  if (!Owner || GetBase() != &Owner->Current()) return false;
  for (const TOrbaControl* c = this; c; c = c->parent_)
    if (!c->IsVisible()) return false;
  return true;
}

// ---- geometry ----

int32_t TOrbaControl::InParent(bool h) const {
  const int32_t z = h ? ZoomX() : ZoomY();
  const int32_t offset = h ? OffsetX : OffsetY;
  const int32_t size = h ? Width : Height;
  const bool flip = h ? FlipH() : FlipV();
  // Truncating divisions, in 64 bits so that large values do not wrap.
  const int64_t zoomed = z == 256 ? offset : int64_t{z} * offset / 256;
  const int64_t o = flip ? int64_t{size} - zoomed - 1 : zoomed;
  int64_t p = h ? Left : Top;
  if (HasMotion()) p = h ? MotionX : MotionY;
  else if (PosZoomed) p = int64_t{z} * p / 256;
  return SaturateI32(p - o + (h ? PlusX : PlusY));
}

int32_t TOrbaControl::LeftInParent() const { return InParent(true); }
int32_t TOrbaControl::TopInParent() const { return InParent(false); }

bool TOrbaControl::ScaledByParent(bool h) const {
  const TOrbaControl* p = parent_;
  return PosZoomed && p && !dynamic_cast<const TOrbaBase*>(p) && p->GetDrawSurface() && GetDrawSurface() &&
         !HasMotion() && (h ? p->ZoomX() == ZoomX() : p->ZoomY() == ZoomY());
}

std::pair<int64_t, int64_t> TOrbaControl::ScaledSpan(bool h) const {
  const TOrbaControl& p = *parent_;
  const int64_t surfaceSize = h ? p.GetDrawSurface()->Width() : p.GetDrawSurface()->Height();
  const int64_t ownSize = h ? GetDrawSurface()->Width() : GetDrawSurface()->Height();
  const int64_t parentSize = h ? p.Width : p.Height;
  int64_t v = int64_t{h ? Left : Top} - (h ? OffsetX : OffsetY);
  if (h ? FlipH() : FlipV()) v = surfaceSize - v - ownSize;
  // A parent of no size scales without limit: every edge lands at its origin.
  if (parentSize <= 0) return {0, 0};
  const int64_t s = std::max<int64_t>(surfaceSize * 65536 / parentSize, 1);
  const auto scaled = [s](int64_t x) {
    int64_t e = x * 65536 / s;
    if (x * 65536 % s > 32767) ++e;
    return e;
  };
  return {scaled(v), scaled(v + ownSize)};
}

int32_t TOrbaControl::Absolute(bool h) const {
  if (!parent_) return InParent(h);
  const TOrbaControl& p = *parent_;
  const int64_t parentAbs = h ? p.AbsoluteLeft() : p.AbsoluteTop();
  const int64_t scroll = h ? p.ScrollX() : p.ScrollY();
  // A child drawn into a parent that renders through its own scaled surface: its position
  // follows that surface's scale, rounded.
  if (ScaledByParent(h)) return SaturateI32(ScaledSpan(h).first + parentAbs + (h ? PlusX : PlusY) - scroll);
  return SaturateI32(int64_t{InParent(h)} + parentAbs - scroll);
}

int32_t TOrbaControl::AbsoluteLeft() const { return Absolute(true); }
int32_t TOrbaControl::AbsoluteTop() const { return Absolute(false); }

TRect TOrbaControl::AbsoluteClipWindow() const {
  if (ClipWidth < 1 || ClipHeight < 1) return {};
  return Bounds(SaturateI32(int64_t{AbsoluteLeft()} + ClipLeft), SaturateI32(int64_t{AbsoluteTop()} + ClipTop),
                ClipWidth, ClipHeight);
}

void TOrbaControl::Place(int32_t& field, int32_t v, int32_t* motion) {
  Invalidate();
  field = v;
  if (motion) *motion = 0;
  Invalidate();
  PositionChanged();
}

void TOrbaControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  Invalidate();
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Invalidate();
  PositionChanged();
}

void TOrbaControl::SetPosZoomed(bool v) {
  if (v == PosZoomed) return;
  Invalidate();
  PosZoomed = v;
  Invalidate();
}

void TOrbaControl::SetClip(int32_t& field, int32_t v) {
  Invalidate();
  field = v;
  Invalidate();
  ClipChanged();
}

void TOrbaControl::PositionChanged() {
  for (TOrbaControl* c : children_) c->PositionChanged();
}

void TOrbaControl::ClipChanged() {
  for (TOrbaControl* c : children_) c->ClipChanged();
}

// ---- painting ----

void TOrbaControl::Invalidate() {
  if (!IsVisible()) return;
  TOrbaBase* base = GetBase();
  if (!base) return;
  TRect r = AbsoluteRect();
  if (parent_ && !parent_->IntersectsClient(r)) return;
  const TRect clip = AbsoluteClipWindow();
  if (!clip.IsEmpty() && r.Intersect(clip).IsEmpty()) return;
  NotifyInvalidate(r);
  base->InvalidateRect(r);
}

void TOrbaControl::PaintChildren(TPaintContext& ctx) {
  TCustomDIBX& s = ctx.Surface;
  const std::optional<TRect> saved = s.ClipState();
  const TRect inside = s.EffectiveClip().Intersect(GetClientRect());
  if (!inside.IsEmpty()) {
    for (TOrbaControl* child : children_) {
      if (!child->IsVisible()) continue;
      TRect r = inside.Intersect(child->PaintBounds());
      const TRect window = child->AbsoluteClipWindow();
      if (!window.IsEmpty()) r = r.Intersect(window);
      if (r.IsEmpty()) continue;
      s.SetClipRect(r);
      // Counted in the order the occlusion pre-pass counts.
      ctx.Hidden = ctx.Counter++ < ctx.DrawFrom;
      child->Paint(ctx);
    }
  }
  s.RestoreClip(saved);
}

void TOrbaControl::FindCover(const TRect& clip, const TRect& rect, int32_t& counter, int32_t& found) {
  const TRect inside = clip.Intersect(GetClientRect());
  if (inside.IsEmpty()) return;
  TClipData data;
  for (TOrbaControl* child : children_) {
    if (!child->IsVisible()) continue;
    TRect r = inside.Intersect(child->PaintBounds());
    const TRect window = child->AbsoluteClipWindow();
    if (!window.IsEmpty()) r = r.Intersect(window);
    if (r.IsEmpty()) continue;
    const int32_t index = counter++;
    data.Clear();
    child->CollectOpaqueRegions(data);
    // Only a component whose own clip lets its opaque part reach the whole rectangle hides
    // what lies below.
    if (r.Contains(rect))
      for (const TRect& o : data.Opaque)
        if (o.Contains(rect)) {
          found = index;
          break;
        }
    child->FindCover(r, rect, counter, found);
  }
}

bool TOrbaControl::Tick() {
  if (!Motion) return false;
  auto flag = [&](int32_t code) { return (PropertyInfo(code).Readers & KindMask()) && GetBool(code); };
  if (!Motion->Advance(Process().FrameDelta, flag(PR_REPEAT))) return false;
  if (flag(PR_AUTOSCRAP)) return true;
  QueueEvent(PR_ONPLAYEND);
  return false;
}

void TOrbaControl::LoadMotion(const std::string& file) {
  FreeMotion();
  if (auto& factory = MotionFilmFactory())
    if (auto film = factory(file, *this)) Motion = std::make_unique<TOrbaMotion>(*this, std::move(film));
}

void TOrbaControl::RestartMotion() {
  if (Motion) Motion->Restart();
}

void TOrbaControl::FreeMotion() {
  if (!Motion) return;
  Motion.reset();
  SetMotionX(0);
  SetMotionY(0);
  SetSubPriority(0);
}

void TOrbaControl::Transfer(TTreeIO& io) {
  TOrbaComponent::Transfer(io);
  const int32_t v = io.Version;
  for (int32_t* f : {&Left, &Top, &Width, &Height, &OffsetX, &OffsetY}) io.I32(*f);
  io.Flag(PosZoomed);
  if (v >= 130)
    for (int32_t* f : {&MotionX, &MotionY, &PlusX, &PlusY}) io.I32(*f);
  if (v > 103) {
    for (int32_t* f : {&ClipLeft, &ClipTop, &ClipWidth, &ClipHeight}) io.I32(*f);
    io.Flag(AniPaused);
  }
  io.Flag(Visible);
  io.I32(Color);
  for (int32_t* f : {&DesignRect.Left, &DesignRect.Top, &DesignRect.Right, &DesignRect.Bottom}) io.I32(*f);
  io.Byte(IgnoreMouse);
  io.Str(Cursor);
  for (int i = 0; i <= static_cast<int>(THandler::WheelUp); ++i)
    if (i != static_cast<int>(THandler::MouseIn) || v > 101) io.Str(Handlers[static_cast<size_t>(i)]);
  if (v > 117) {
    io.Flag(HandleKey);
    for (int i = static_cast<int>(THandler::KeyDown); i < static_cast<int>(THandler::Count); ++i)
      io.Str(Handlers[static_cast<size_t>(i)]);
  }
  io.Children(*this);
}

void TOrbaControl::ReleaseSurfaces() {
  for (TOrbaControl* child : children_) child->ReleaseSurfaces();
}

void TOrbaControl::RecreateSurfaces() {
  for (TOrbaControl* child : children_) child->RecreateSurfaces();
}

}  // namespace orba
