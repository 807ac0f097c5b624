#include "components/baselist.h"

#include <algorithm>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"

namespace orba {

// ---- TOrbaBase ------------------------------------------------------------------------------

TOrbaBase::TOrbaBase(TOrbaBaseList* owner, int index) : TOrbaControl(owner), Index(index) {}

void TOrbaBase::InvalidateRect(TRect rect) { dirty_.Add(rect.Intersect({0, 0, Width, Height})); }

void TOrbaBase::Resize(int32_t width, int32_t height, int32_t format) {
  Width = width;
  Height = height;
  own_.SetSize(target_ ? 0 : width, target_ ? 0 : height, format);
  InvalidateAll();
}

TBaseInput& TOrbaBase::Input() { return Owner->Input(Index); }

void TOrbaBase::PaintDirty(bool occlusion) {
  TCustomDIBX& s = Surface();
  if (!Visible || s.IsEmpty()) return;
  TPaintContext ctx{s};
  const TRect window = AbsoluteClipWindow();
  for (const TRect& d : dirty_.Rects()) {
    s.ResetClip();
    s.SetClipRect(d);
    ctx.Counter = 0;
    ctx.DrawFrom = 0;
    // The last component that covers the whole rectangle opaquely: nothing below it (the
    // page's own colour included) needs drawing.
    int32_t found = -1;
    if (occlusion) {
      int32_t counter = 0;
      FindCover(s.EffectiveClip(), s.EffectiveClip(), counter, found);
    }
    ctx.DrawFrom = found;
    if (Color >= 0 && found < 0) {
      const TRect area = window.IsEmpty() ? AbsoluteRect() : AbsoluteRect().Intersect(window);
      s.FillRect(area, static_cast<uint32_t>(s.ColorToPixel(Color)));
    }
    PaintChildren(ctx);
  }
  s.ResetClip();
}

// ---- TOrbaBaseList ---------------------------------------------------------------------------

TOrbaBaseList::TOrbaBaseList(std::array<TBaseInput, 2>* inputs, TKeyboardState* keys)
    : TOrbaComponent(nullptr), Keys(keys ? *keys : ownKeys_), inputs_(inputs ? inputs : &ownInputs_) {
  MakeBases();
}

TOrbaBaseList::~TOrbaBaseList() {
  // Children point at their parents: free the items first, children before parents.
  events_.Clear();
  while (!items_.empty()) Free(items_.back().get());
}

void TOrbaBaseList::MakeBases() {
  for (int i = 0; i < 2; ++i) {
    bases_[static_cast<size_t>(i)] = std::make_unique<TOrbaBase>(this, i);
    TOrbaBase& b = *bases_[static_cast<size_t>(i)];
    b.Id = nextId_++;
    b.name_ = i == 0 ? std::string("\001BASE0") : std::string("\001BASE1");
    b.SetTarget(i == current_ && !transition_ ? screenTarget_ : nullptr);
    b.Resize(width_, height_, format_);
  }
}

void TOrbaBaseList::SetSize(int32_t width, int32_t height, int32_t format) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  format_ = format;
  for (auto& b : bases_) b->Resize(width_, height_, format_);
  composition_.SetSize(screenTarget_ ? 0 : width_, screenTarget_ ? 0 : height_, format_);
}

void TOrbaBaseList::SetScreenTarget(TCustomDIBX* target) {
  screenTarget_ = target;
  for (int i = 0; i < 2; ++i) {
    bases_[static_cast<size_t>(i)]->SetTarget(i == current_ && !transition_ ? target : nullptr);
    bases_[static_cast<size_t>(i)]->Resize(width_, height_, format_);
  }
}

bool TOrbaBaseList::ComponentName(TComponentId id, std::string& name) {
  for (auto& b : bases_)
    if (b->Id == id) return name = b->Name(), true;
  for (auto& item : items_)
    if (item->Id == id) return name = item->Name(), true;
  return false;
}

TComponentId TOrbaBaseList::FindComponentId(const std::string& name) {
  TOrbaComponent* c = FindComponent(name);
  return c ? c->Id : 0;
}

TOrbaObject* TOrbaBaseList::Adopt(std::unique_ptr<TOrbaObject> object, bool autoName) {
  TOrbaObject* o = object.get();
  o->Id = nextId_++;
  if (autoName && o->HasAutoName())
    for (int k = 0;; ++k) {
      std::string name = "object" + std::to_string(k);
      if (IndexOfName(name) < 0) {
        o->name_ = std::move(name);
        break;
      }
    }
  items_.push_back(std::move(object));
  return o;
}

TOrbaObject* TOrbaBaseList::CreateByCode(int32_t code) {
  const TComponentKind* kind = KindOf(code);
  return kind ? Adopt(kind->Create(this)) : nullptr;
}

int32_t TOrbaBaseList::IndexOf(const TOrbaObject* object) const {
  // From the end: what is freed is mostly what was made last (children after their parents).
  for (size_t i = items_.size(); i-- > 0;)
    if (items_[i].get() == object) return static_cast<int32_t>(i);
  return -1;
}

int32_t TOrbaBaseList::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->name_ == name && !items_[i]->scrapped_) return static_cast<int32_t>(i);
  return -1;
}

TOrbaComponent* TOrbaBaseList::FindComponent(const std::string& name) {
  if (name.empty() || name == "\001BASE0") return &Current();
  if (name == "\001" || name == "\001BASE1") return &Back();
  const int32_t i = IndexOfName(name);
  return i < 0 ? nullptr : dynamic_cast<TOrbaComponent*>(items_[static_cast<size_t>(i)].get());
}

TOrbaControl* TOrbaBaseList::FindControl(const std::string& name) {
  if (name.empty()) return &Current();
  if (name == "\001") return &Back();
  if (name == "\001BASE0") return bases_[0].get();
  if (name == "\001BASE1") return bases_[1].get();
  const int32_t i = IndexOfName(name);
  return i < 0 ? nullptr : items_[static_cast<size_t>(i)]->AsControl();
}

int32_t TOrbaBaseList::ListNames(std::vector<std::string>& names, int32_t code, const TOrbaControl* parent) {
  int32_t count = 0;
  for (auto& item : items_) {
    if (item->scrapped_ || (code != 0 && item->GetCompoType() != code)) continue;
    if (parent) {
      const TOrbaControl* c = item->AsControl();
      if (!c || c->Parent() != parent) continue;
    }
    names.push_back(item->name_);
    ++count;
  }
  return count;
}

void TOrbaBaseList::Scrap(TOrbaObject* object) {
  if (!object || object->scrapped_ || IsBase(object)) return;
  object->scrapped_ = true;
  object->name_.clear();
  scrap_.push_back(object);
}

void TOrbaBaseList::Free(TOrbaObject* object) {
  if (!object || IsBase(object) || IndexOf(object) < 0) return;
  if (TOrbaControl* c = object->AsControl()) {
    c->Invalidate();
    if (c->parent_) {
      c->parent_->RemoveChild(c);
      if (dynamic_cast<TOrbaCabinet*>(c->parent_)) c->LeftCabinet();
      c->parent_ = nullptr;
    }
  }
  Destroy(object);
}

void TOrbaBaseList::Destroy(TOrbaObject* object) {
  if (TOrbaControl* c = object->AsControl()) {
    while (!c->children_.empty()) {
      TOrbaControl* child = c->children_.back();
      c->children_.pop_back();
      child->parent_ = nullptr;
      if (IndexOf(child) >= 0) Destroy(child);
    }
    if (Focus && Focus == c) {
      Focus = nullptr;
      RefocusPending = true;
    }
    ForgetPointer(c);
  }
  events_.RemoveWaiting(object->Id);
  std::erase(scrap_, object);
  const int32_t i = IndexOf(object);
  if (i >= 0) items_.erase(items_.begin() + i);
}

bool TOrbaBaseList::Tick() {
  for (auto& b : bases_) b->Tick();
  for (size_t i = 0; i < items_.size();) {
    TOrbaObject* o = items_[i].get();
    const bool inCabinet = o->IsInCabinet();
    if (!inCabinet && !o->scrapped_) o->QueueEvent(PR_ONIDLE, {}, true);
    if (o->IsPaused() || o->scrapped_ || inCabinet || !o->Tick()) {
      ++i;
    } else {
      Free(o);  // the next item moved into its place
      i = std::min(i, items_.size());
    }
  }
  while (!scrap_.empty()) Free(scrap_.front());
  scrap_.clear();
  return false;
}

void TOrbaBaseList::Paint(bool occlusion) {
  for (auto& b : bases_) b->PaintDirty(occlusion);
  if (!transition_) return;
  const bool done = transition_->Step();
  transitionRect_ = transitionRect_.Union(transition_->UpdateRect);
  if (!done) return;
  // The effect ended by itself: the page now current shows again, painted whole.
  transition_.reset();
  TransitionActive = false;
  SetScreenTarget(screenTarget_);
  Current().PaintDirty(occlusion);
  transitionRect_ = {0, 0, width_, height_};
}

void TOrbaBaseList::BeginTransition(int newBase, int32_t kind) {
  TWipeStart start;
  start.kind = kind;
  BeginTransition(newBase, start);
}

void TOrbaBaseList::BeginTransition(int newBase, const TWipeStart& start) {
  current_ = newBase & 1;
  if (start.kind >= 0) {
    transition_.reset();
    TransitionActive = false;
    if (start.kind != 0) {
      // Both pages paint into their own surfaces, whole, before the effect is made (some
      // effects copy their pictures at creation); the effect then draws from the page now
      // current to the other one into the screen.
      for (auto& b : bases_) {
        b->SetTarget(nullptr);
        b->Resize(width_, height_, format_);
        b->PaintDirty();
        b->Dirty().Clear();
      }
      transition_ = StartWipe(start, Composition(), Current().Surface(), Back().Surface());
      TransitionActive = transition_ != nullptr;
    }
  }
  // Without an effect the page on screen paints into the screen's back buffer again, whole.
  if (!transition_) SetScreenTarget(screenTarget_);
  if (Focus && Focus->GetBase() != &Current()) {
    Focus = nullptr;
    RefocusPending = true;
  }
}

void TOrbaBaseList::Clear() {
  transition_.reset();
  TransitionActive = false;
  events_.Clear();
  Focus = nullptr;
  for (auto& b : bases_) {
    for (TOrbaControl* child : b->children_) child->parent_ = nullptr;
    b->children_.clear();
  }
  while (!items_.empty()) Free(items_.back().get());
  scrap_.clear();
  MakeBases();
}

}  // namespace orba
