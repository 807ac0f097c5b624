// The saved form of a component tree (part of a saved game): the list's size and page, both
// pages with every visible component as their descendants, the components that are not
// controls, the event queue and the focus. One walk (Transfer) serves writing, reading and the
// check that runs before a load: a tree this player cannot load is refused whole, before
// anything is cleared.
#include <algorithm>
#include <unordered_map>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "components/baselist.h"
#include "render/dibsfc.h"

namespace orba {

namespace {

// A saved object is written when it is alive, has a kind the factory can make again and is
// not the player's own.
bool Saved(const TOrbaObject& o) {
  return !o.IsScrapped() && o.GetCompoType() != 0 && TOrbaBaseList::KindOf(o.GetCompoType()) && !IsInternalName(o.Name());
}

// Deeper nesting than any screen has; a hostile stream could otherwise exhaust the stack.
constexpr int kMaxDepth = 200;
// The pages of a saved tree are no larger than any screen.
constexpr int32_t kMaxPageSize = 16384;

[[noreturn]] void Refuse(const std::string& what) {
  throw EOrbaError(Sjis(u8"セーブデータが壊れています") + " (" + what + ")");
}

class TTreeWriter : public TTreeIO {
 public:
  TTreeWriter(TKvBigStream& stream, int32_t version) : TTreeIO(TMode::Write, version), w_(stream) {}
  void I32(int32_t& v) override { w_.I32(v); }
  void Byte(uint8_t& v) override { w_.U8(v); }
  void Str(std::string& v) override { w_.String(v); }
  void Ext(TExtended& v) override { w_.Extended(v); }
  void Children(TOrbaControl& control) override {
    int32_t count = 0;
    for (TOrbaControl* c : control.Children()) count += Saved(*c);
    w_.I32(count);
    for (TOrbaControl* c : control.Children())
      if (Saved(*c)) Object(*c);
  }
  void Object(TOrbaObject& o) {
    w_.U8(static_cast<uint8_t>(o.GetCompoType()));
    o.Transfer(*this);
  }
  TBinaryWriter& Raw() { return w_; }

 private:
  TBinaryWriter w_;
};

}  // namespace

// Reads a tree into a list, or (list null) only walks it to see that it can be read.
class TTreeReader : public TTreeIO {
 public:
  TTreeReader(TKvBigStream& stream, int32_t version, TOrbaBaseList* list)
      : TTreeIO(list ? TMode::Read : TMode::Check, version), r_(stream), list_(list) {}
  void I32(int32_t& v) override { v = r_.I32(); }
  void Byte(uint8_t& v) override { v = r_.U8(); }
  void Str(std::string& v) override { v = r_.String(); }
  void Ext(TExtended& v) override { v = r_.Extended(); }
  TBinaryReader& Raw() { return r_; }

  void Children(TOrbaControl& control) override {
    if (++depth_ > kMaxDepth) Refuse("depth");
    const int32_t count = r_.Count(1);
    for (int32_t i = 0; i < count; ++i) {
      TOrbaObject& o = Object();
      TOrbaControl* c = o.AsControl();
      if (!c) Refuse("child");
      if (list_) {
        // Attached as it is read; the page is repainted whole and the children sorted once
        // when all are there.
        c->parent_ = &control;
        control.children_.push_back(c);
        if (dynamic_cast<TOrbaCabinet*>(&control)) c->EnteredCabinet();
      }
      o.Transfer(*this);
      if (list_) o.Loaded();
    }
    if (list_) control.SortChildren();
    --depth_;
  }

  // A new object of the next type code: in the list, or a scratch one when only checking.
  TOrbaObject& Object() {
    const int32_t code = r_.U8();
    const TComponentKind* kind = TOrbaBaseList::KindOf(code);
    if (!kind) Refuse("type " + std::to_string(code));
    if (list_) return *list_->Adopt(kind->Create(list_), false);  // the stream names it
    held_.push_back(kind->Create(nullptr));
    return *held_.back();
  }

  void Load(TOrbaBaseList* list);

 private:
  TBinaryReader r_;
  TOrbaBaseList* list_;
  int depth_ = 0;
  std::vector<std::unique_ptr<TOrbaObject>> held_;  // scratch objects of a check
};

void TOrbaBaseList::SaveTree(TKvBigStream& stream, int32_t version) {
  TTreeWriter w(stream, version);
  TBinaryWriter& raw = w.Raw();
  raw.I32(width_);
  raw.I32(height_);
  raw.I32(current_);
  for (auto& b : bases_) b->Transfer(w);
  std::vector<TOrbaObject*> loose;
  for (auto& item : items_)
    if (!item->AsControl() && Saved(*item)) loose.push_back(item.get());
  raw.I32(static_cast<int32_t>(loose.size()));
  for (TOrbaObject* o : loose) w.Object(*o);
  raw.I32(events_.Count());
  for (int32_t i = 0; i < events_.Count(); ++i) {
    TTimerData& e = events_[i];
    std::string sender;
    ComponentName(e.Sender, sender);
    raw.String(e.Handler);
    raw.String(sender);
    raw.U8(static_cast<uint8_t>(e.Code));
    if (version > 113) raw.I32(e.RunningId);
    else raw.U8(e.RunningId != 0);
    raw.I32(e.Params.Count());
    for (const std::string& p : e.Params.Items()) raw.String(p);
  }
  if (version > 118) raw.String(Focus ? Focus->Name() : std::string());
}

void TTreeReader::Load(TOrbaBaseList* list) {
  const int32_t width = r_.I32(), height = r_.I32(), current = r_.I32();
  // The pages are surfaces of this size: a size no surface can take is refused here, in the
  // checking pass, before the list is cleared.
  if (width < 0 || height < 0 || width > kMaxPageSize || height > kMaxPageSize ||
      int64_t{width} * height > kMaxSurfacePixels)
    Refuse("size");
  if (current != 0 && current != 1) Refuse("page");
  std::array<std::unique_ptr<TOrbaBase>, 2> scratchBases;
  for (int i = 0; i < 2; ++i) {
    TOrbaBase* base;
    if (list) {
      base = &list->Base(i);
    } else {
      scratchBases[static_cast<size_t>(i)] = std::make_unique<TOrbaBase>(nullptr, i);
      base = scratchBases[static_cast<size_t>(i)].get();
    }
    const std::string name = base->Name();
    base->Transfer(*this);
    if (list) {
      base->SetName(name);  // the pages keep their own names whatever the stream says
      base->Width = width;
      base->Height = height;
      base->Left = base->Top = 0;
    }
  }
  const int32_t loose = r_.Count(1);
  for (int32_t i = 0; i < loose; ++i) {
    TOrbaObject& o = Object();
    o.Transfer(*this);
    if (list) o.Loaded();
  }
  // Senders are found by name among the loaded items (the first of a name, as FindComponent
  // finds it), in one pass however long the queue.
  std::unordered_map<std::string, TComponentId> ids;
  if (list)
    for (int32_t i = 0; i < list->Count(); ++i) ids.try_emplace(list->Item(i).Name(), list->Item(i).Id);
  const int32_t events = r_.Count(14);
  for (int32_t i = 0; i < events; ++i) {
    TTimerData e;
    e.Handler = r_.String();
    const std::string sender = r_.String();
    e.Code = r_.U8();
    e.RunningId = Version > 113 ? r_.I32() : (r_.U8() != 0 ? 1 : 0);
    const int32_t params = r_.Count(4);
    for (int32_t k = 0; k < params; ++k) e.Params.Add(r_.String());
    if (!list) continue;
    if (IsInternalName(sender)) {
      if (TOrbaComponent* c = list->FindComponent(sender)) e.Sender = c->Id;
    } else if (auto it = sender.empty() ? ids.end() : ids.find(sender); it != ids.end()) {
      e.Sender = it->second;
    }
    list->Events().Add(std::move(e));
  }
  const std::string focus = Version > 118 ? r_.String() : std::string();
  if (!list) return;
  list->SetSize(width, height, list->format_);
  list->current_ = current;
  list->SetScreenTarget(list->screenTarget_);
  if (TOrbaControl* f = focus.empty() ? nullptr : list->FindControl(focus); f && Version > 118) {
    list->Focus = f;
    list->RefocusPending = false;
  }
}

void TOrbaBaseList::LoadTree(TKvBigStream& stream, int32_t version) {
  const int64_t start = stream.GetPosition();
  {
    TTreeReader check(stream, version, nullptr);
    check.Load(nullptr);
  }
  stream.SetPosition(start);
  Clear();
  TTreeReader reader(stream, version, this);
  reader.Load(this);
}

}  // namespace orba
