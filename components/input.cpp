// How the player's hand reaches the components: once per tick the keyboard state latches, the
// page on screen finds the control under the mouse and hands it the buttons, the wheel, the
// leaving and entering, and the focused control gets the keys. Controls only queue events;
// the script runs them later, so every step here is cheap and never re-enters itself.
#include <algorithm>
#include <string>

#include "components/baselist.h"

namespace orba {

namespace {

bool TakesLeft(const TOrbaControl& c) { return c.IgnoreMouse == IM_NONE || c.IgnoreMouse == IM_RCLICK; }
bool TakesRight(const TOrbaControl& c) { return c.IgnoreMouse == IM_NONE || c.IgnoreMouse == IM_LCLICK; }
bool Inside(const TRect& r, TPoint p) { return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom; }

}  // namespace

// ---- TOrbaControl ---------------------------------------------------------------------------

TOrbaControl* TOrbaControl::HitTest(TPoint p, uint32_t mask) {
  if (!IsVisible() || !Inside(GetClientRect(), p)) return nullptr;
  for (size_t i = children_.size(); i-- > 0;)
    if (TOrbaControl* hit = children_[i]->HitTest(p, mask)) return hit;
  return Admits(mask) ? this : nullptr;
}

TPoint TOrbaControl::MouseInPage() {
  TOrbaBase* base = GetBase();
  return base ? TPoint{base->Input().MouseX, base->Input().MouseY} : TPoint{};
}

TArrayString TOrbaControl::MouseParams() {
  TArrayString params;
  if (GetBase()) {
    const TPoint p = MouseInPage();
    params.Add(std::to_string(int64_t{p.X} - AbsoluteLeft()));
    params.Add(std::to_string(int64_t{p.Y} - AbsoluteTop()));
  }
  return params;
}

void TOrbaControl::LButtonDown() { Press(true); }
void TOrbaControl::RButtonDown() { Press(false); }

void TOrbaControl::Press(bool left) {
  TOrbaBase* base = GetBase();
  if (!base || base == this || !(left ? TakesLeft(*this) : TakesRight(*this))) return;
  const int32_t code = left ? PR_ONLBTNDOWN : PR_ONRBTNDOWN;
  if (!IsPaused() && !IsClosing() && !Owner->Events().Has(Id, code)) {
    QueueEvent(code, MouseParams());
    base->Capture |= left ? 4 : 8;
  }
  (left ? base->Input().LeftClick : base->Input().RightClick) = false;
}

void TOrbaControl::LButtonUp() {
  if (IsClosing()) return;
  QueueEvent(PR_ONLBTNUP, MouseParams());
  if (TOrbaBase* base = GetBase()) base->Capture &= static_cast<uint8_t>(~4);
}

void TOrbaControl::RButtonUp() {
  if (IsClosing()) return;
  QueueEvent(PR_ONRBTNUP, MouseParams());
  if (TOrbaBase* base = GetBase()) base->Capture &= static_cast<uint8_t>(~8);
}

void TOrbaControl::MouseMove() { QueueEvent(PR_ONMOUSEMOVE, MouseParams(), true); }
void TOrbaControl::MouseOut(TOrbaControl* /*next*/) { QueueEvent(PR_ONMOUSEOUT); }
void TOrbaControl::MouseIn(TOrbaControl* /*previous*/) { QueueEvent(PR_ONMOUSEIN); }

TOrbaControl* TOrbaControl::FindFocusable() {
  for (size_t i = children_.size(); i-- > 0;)
    if (children_[i]->IsVisible())
      if (TOrbaControl* f = children_[i]->FindFocusable()) return f;
  return HandleKey && !IsPaused() ? this : nullptr;
}

namespace {

// Key events go to the focus unless it is paused, a page, or has the same event waiting.
void QueueKey(TOrbaControl& c, int32_t code) {
  if (c.IsPaused() || c.GetBase() == &c) return;
  c.QueueEvent(code, {}, true);
}

}  // namespace

void TOrbaControl::KeyDown() { QueueKey(*this, PR_ONKEYDOWN); }
void TOrbaControl::KeyUp() { QueueKey(*this, PR_ONKEYUP); }
void TOrbaControl::KeyRepeat() { QueueKey(*this, PR_ONKEYREPEAT); }

// ---- TOrbaBaseList --------------------------------------------------------------------------

void TOrbaBaseList::ForgetPointer(TOrbaControl* c) {
  for (auto& b : bases_)
    if (b && b->Hover == c) b->Hover = nullptr;
  if (stepTarget_ == c) stepTarget_ = nullptr;
  if (stepPrevious_ == c) stepPrevious_ = nullptr;
  std::erase(RightClickCancellers, c);
}

void TOrbaBaseList::SetFocus(TOrbaControl* control) {
  if (control == Focus) return;
  // A focus that was freed is null already; one that was scrapped has no name left.
  if (Focus && !Focus->Name().empty()) Focus->QueueEvent(PR_ONFOCUSOUT);
  Focus = control;
  if (control) control->QueueEvent(PR_ONFOCUSIN);
  RefocusPending = false;
  if (control) control->FocusGained();
}

void TOrbaBaseList::InputStep(int32_t frameDelta) {
  if (RefocusPending) {
    SetFocus(Current().FindFocusable());
    RefocusPending = false;
  }
  Keys.Latch();
  MouseStep(Current());
  if (Focus && Focus->HandleKey) {
    if (Keys.KeyDownFlag) Focus->KeyDown();
    if (Focus && Keys.KeyRepeatFlag) Focus->KeyRepeat();
    if (Focus && Keys.KeyUpFlag) Focus->KeyUp();
  }
  Keys.Countdown(frameDelta);
}

void TOrbaBaseList::MouseStep(TOrbaBase& base) {
  TBaseInput& in = base.Input();
  in.Latch();

  if (in.RightClick) {
    for (TOrbaControl* c : RightClickCancellers) {
      if (!c->GetBool(PR_RCLICKSCRAP) || !c->IsVisible() || c->GetBase() != &base || c->IsPaused() ||
          !TakesRight(*c))
        continue;
      if (c->RightClickCancel()) {
        in.RightClick = false;
        break;
      }
    }
  }

  // A freed control is forgotten at once (ForgetPointer), so a pointer still set is alive.
  stepPrevious_ = base.Hover;
  if (base.Capture != 0 && base.Hover) {
    if (base.Capture & 12) {
      if ((base.Capture & 4) && !in.LeftHeld) {
        base.Hover->LButtonUp();
        base.Capture &= static_cast<uint8_t>(~4);
      } else if ((base.Capture & 8) && !in.RightHeld) {
        base.Hover->RButtonUp();
        base.Capture &= static_cast<uint8_t>(~8);
      }
      if (in.Moved && base.Hover) base.Hover->MouseMove();
      if (base.Hover) base.Hover->MouseHold();
      in.Moved = false;
      return;
    }
    stepTarget_ = base.Hover;
  } else {
    const uint32_t mask = in.LeftClick ? kLeftPressMask : in.RightClick ? kRightPressMask : kHoverMask;
    stepTarget_ = base.HitTest({in.MouseX, in.MouseY}, mask);
    base.Capture = 0;
  }

  std::string cursor = stepTarget_ ? stepTarget_->GetHoverCursor() : std::string();
  if (cursor != base.CurrentCursor) {
    base.CurrentCursor = cursor;
    if (CursorChanged) CursorChanged(cursor);
  }

  if (TOrbaControl* t = stepTarget_) {
    if (in.LeftClick) {
      t->LButtonDown();
      if (stepTarget_ && !t->IsPaused() && t->HandleKey) SetFocus(t);
    } else if (in.RightClick) {
      t->RButtonDown();
    } else if ((base.Capture & 1) && !in.LeftHeld) {
      t->QueueEvent(PR_ONLBTNUP, t->MouseParams(), true);
      base.Capture = 0;
    } else if ((base.Capture & 2) && !in.RightHeld) {
      t->QueueEvent(PR_ONRBTNUP, t->MouseParams(), true);
      base.Capture = 0;
    } else if (in.WheelDownTick) {
      t->QueueEvent(PR_ONWHEELDOWN, {}, true);
    } else if (in.WheelUpTick) {
      t->QueueEvent(PR_ONWHEELUP, {}, true);
    }
  }
  if (stepPrevious_ && stepPrevious_ != stepTarget_) stepPrevious_->MouseOut(stepTarget_);
  if (stepTarget_ && (in.Moved || stepTarget_ != stepPrevious_)) {
    if (stepTarget_ != stepPrevious_) stepTarget_->MouseIn(stepPrevious_);
    if (stepTarget_) stepTarget_->MouseMove();
  }
  base.Hover = stepTarget_;
  in.Moved = false;
  stepTarget_ = stepPrevious_ = nullptr;
}

}  // namespace orba
