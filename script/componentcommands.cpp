// The commands that create components from their property block, and the property commands
// (GetProp, SetProp, ObjDel) that reach components by name.
#include <array>
#include <cstdio>

#include "base/cp932.h"
#include "base/error.h"
#include "base/binio.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/menuplay.h"
#include "components/propaccess.h"
#include "components/mediacomponent.h"
#include "media/orbalib.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

// The order in which a created component's properties are applied: name, parent and
// source, then zoom, size and position, so that later properties see the final geometry.
constexpr std::array<int16_t, kPropertyCodeCount> kApplicationOrder = [] {
  std::array<int16_t, kPropertyCodeCount> order{};
  size_t n = 0;
  auto add = [&](int first, int last) {
    for (int c = first; c <= last; ++c) order[n++] = static_cast<int16_t>(c);
  };
  for (int c : {0, 1, 2, 7, 132, 100, 5, 6, 3, 4, 8, 157, 9, 10, 11, 12, 13, 14, 159, 160}) add(c, c);
  add(15, 24);
  add(153, 156);
  add(25, 79);
  add(161, 161);
  add(80, 99);
  add(101, 131);
  add(133, 152);
  add(158, 158);
  if (n != order.size()) throw "every code once";
  return order;
}();

// Codes a creation never applies: what scripts cannot write, and the displacement the
// player keeps for itself.
constexpr bool NotAppliedAtCreation(int32_t code) {
  switch (code) {
    case PR_CARETX: case PR_CARETY: case PR_APPEARX: case PR_APPEARY: case PR_PLAYING: case PR_COMPOTYPE:
    case PR_CARETHEIGHT: case PR_PLUSX: case PR_PLUSY: return true;
    default: return false;
  }
}

// The value of a carried property whose expression gives none.
int32_t DefaultInt(int32_t code) {
  switch (code) {
    case PR_ZOOMX: case PR_TEXTDELAY: case PR_ZOOMY: return 256;
    case PR_COLOR: case PR_BORDERCOLOR: case PR_HOVERCOLOR: return -1;
    case PR_ALPHA: return 255;
    case PR_FONTHEIGHT: return 16;
    case PR_VOLUME: return 1000;
    case PR_COLCOUNT: case PR_ROWCOUNT: case PR_AMP: case PR_SMALLCHANGE: case PR_LARGECHANGE: case PR_GLYPHWIDTH:
    case PR_GLYPHHEIGHT: return 1;
    case PR_WAVELEN: return 100;
    default: return 0;
  }
}
bool DefaultBool(int32_t code) { return code == PR_VISIBLE || code == PR_OVERLAY; }

void Apply(TOrbaBaseList& list, TOrbaObject& o, int32_t code, const TCustomParam* v) {
  switch (PropertyInfo(code).Kind) {
    case TPropKind::Int: SetPropInt(o, code, v ? v->AsInt() : DefaultInt(code)); return;
    case TPropKind::Float: SetPropFloat(o, code, v ? static_cast<double>(v->AsFloat()) : 0.0); return;
    case TPropKind::Bool: SetPropBool(o, code, v ? v->AsFlag() : DefaultBool(code)); return;
    case TPropKind::Str: break;
  }
  std::string text = v ? v->AsString() : std::string();
  if (code == PR_NAME) {
    if (!text.empty()) o.SetName(text);
  } else if (code == PR_PARENT) {
    // A parent that is not found puts the component on the page shown.
    if (TOrbaControl* c = o.AsControl()) {
      TOrbaControl* parent = list.FindControl(text);
      c->SetParent(parent ? parent : &list.Current());
    }
  } else {
    SetPropStr(o, code, text);
  }
}

class TCreateHandler : public TCommandHandler {
 public:
  explicit constexpr TCreateHandler(int32_t typeCode) : typeCode_(typeCode) {}
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TOrbaBaseList* list = ComponentList();
    if (!list) return;
    TOrbaObject* o = list->CreateByCode(typeCode_);
    if (!o) {
      // A kind whose component this player does not have yet: said in the trace, skipped.
      if (OrbaLog().Enabled()) {
        char head[32];
        std::snprintf(head, sizeof head, "%.8x : ", static_cast<uint32_t>(Process().GameTime));
        OrbaLog().Write(std::string(head) + "<NoKind>" + c.Layout().ClassName + "(" + std::to_string(c.Line) + ")");
      }
      return;
    }
    for (int16_t code : kApplicationOrder) {
      TOrbaParser* expr = c.Props[code];
      if (expr && !NotAppliedAtCreation(code)) Apply(*list, *o, code, Eval(expr));
    }
    // A new sound or video starts at once, or fades in over its delay.
    if (auto* media = dynamic_cast<IMediaComponent*>(o))
      media->SetPlayState(media->FadeTime() != 0 ? IMediaComponent::kFadingIn : IMediaComponent::kPlaying);
    // A new menu opens with its animation.
    else if (auto* menu = dynamic_cast<IMenuPlay*>(o))
      menu->SetMenuPlayState(IMenuPlay::kOpening);
    o->Invalidate();
  }

 private:
  int32_t typeCode_;
};

// GetProp, SetProp and ObjDel name a component first; a name that finds none ends them.
class TPropertyHandler : public TCommandHandler {
 public:
  enum class TOp { Get, Set, Delete };
  explicit constexpr TPropertyHandler(TOp op) : op_(op) {}
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TOrbaBaseList* list = ComponentList();
    TOrbaComponent* o = list ? list->FindComponent(Text(c.Field(fields::GetProp::Component))) : nullptr;
    if (!o) return;
    if (op_ == TOp::Delete) {
      list->Scrap(o);
      return;
    }
    const TCustomParam* code = Eval(c.Field(fields::GetProp::Property));
    if (!code) throw EOrbaError(Sjis(u8"プロパティ指定が不正です"));
    if (op_ == TOp::Get) {
      const std::string& name = c.Text(fields::GetProp::Variable);
      TParamCollection* vars = Variables();
      TParamCollectionItem* v = vars && !name.empty() ? vars->FindVariable(name) : nullptr;
      if (v && v->Param()) GetPropByCode(*o, code->AsInt(), *v->Param());
    } else if (const TCustomParam* value = Eval(c.Field(fields::SetProp::Value))) {
      SetPropByCode(*o, code->AsInt(), *value);
    }
  }

 private:
  TOp op_;
};

// The sound or video a media command names, with its component; none when the name finds
// no component that plays media.
struct TMediaTarget {
  TOrbaComponent* Component = nullptr;
  IMediaComponent* Media = nullptr;
};

TMediaTarget FindMedia(TCommand& c) {
  TOrbaBaseList* list = ComponentList();
  const std::string name = Text(c.Field(fields::MovieStop::Component));
  TOrbaComponent* o = list && !name.empty() ? list->FindComponent(name) : nullptr;
  auto* media = dynamic_cast<IMediaComponent*>(o);
  return media ? TMediaTarget{o, media} : TMediaTarget{};
}

class TMediaPlayHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    if (IMediaComponent* media = FindMedia(c).Media) media->Play();
  }
};

// MovieStop stops a sound or video at once, or fades it out and (with its wait flag) waits
// until it has gone.
class TMovieStopHandler : public TAwaitingHandler {
 public:
  void Start(TCommand& c, TCallMan& cm) const override {
    auto& s = StateOf<TAwaitState>(c);
    s.BlockEvents = Flag(c.Field(fields::MovieStop::BlockEvents), false);
    s.Waiting = false;
    s.AwaitName.clear();
    const TMediaTarget target = FindMedia(c);
    if (!target.Media) return;
    IMediaComponent& media = *target.Media;
    const int32_t fade = Int(c.Field(fields::MovieStop::Fade), 0);
    if (fade > 0) {
      const std::string& source = media.MediaSource();
      const bool available = source.starts_with("CD_") || !cm.Host() || cm.Host()->CheckFileAvailable(source);
      if (available && media.MediaPlayState() <= IMediaComponent::kFadingIn) {
        media.SetFadeTime(fade);
        media.SetPlayState(IMediaComponent::kFadingOut);
        s.AwaitName = target.Component->Name();
      }
    } else {
      media.SetPlayState(IMediaComponent::kStopped);
      ComponentList()->Scrap(target.Component);
    }
    s.Waiting = Flag(c.Field(fields::MovieStop::WaitEnd), false);
  }
  void Execute(TCommand& c, TCallMan& cm, TPage*&, int32_t& pc) const override {
    auto& s = StateOf<TAwaitState>(c);
    TOrbaBaseList* list = ComponentList();
    if (s.AwaitName.empty() || !s.Waiting || !list || !list->FindComponent(s.AwaitName)) {
      ++pc;
      return;
    }
    cm.Continue = false;
  }
};

const TMediaPlayHandler mediaPlay;
const TMovieStopHandler movieStop;
const TPropertyHandler getProp(TPropertyHandler::TOp::Get), setProp(TPropertyHandler::TOp::Set),
    objDel(TPropertyHandler::TOp::Delete);

}  // namespace

namespace handlers {
const TCommandHandler& kGetProp = getProp;
const TCommandHandler& kSetProp = setProp;
const TCommandHandler& kObjDel = objDel;
const TCommandHandler& kMediaPlay = mediaPlay;
const TCommandHandler& kMovieStop = movieStop;

const TCommandHandler* Create(int32_t typeCode) {
  static const std::array<TCreateHandler, 28> creators = [] {
    return [&]<size_t... I>(std::index_sequence<I...>) {
      return std::array<TCreateHandler, 28>{TCreateHandler(static_cast<int32_t>(I))...};
    }(std::make_index_sequence<28>());
  }();
  return &creators.at(static_cast<size_t>(typeCode));
}
}  // namespace handlers

}  // namespace orba
