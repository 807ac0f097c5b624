// The screen change: the next screen is built on the back page, and this command switches to
// it through a transition. With a selection mode, a still picture of the screen goes on top
// of the page shown and the chosen components move to the back page first, so the player
// never sees them leave. The transition is timed in milliseconds of game time: it lasts as
// long at any frame rate.
#include <algorithm>
#include <vector>

#include "base/binio.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/image.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

using F = fields::Flip;

struct TFlipState : TCommandState {
  int32_t Step = 0;       // 0, 1: the first two ticks; 2: running; 3: switch at once
  int32_t StartTime = 0;  // game time when the run began (ms)
  int32_t OldBase = 0;    // the page shown when the command started
  bool Yields = false;    // the time has a value above 0
  bool BlockEvents = false;
  bool ClearOld = false;
};

// Every line of every name list.
std::vector<std::string> NameLines(const TFieldValue& f) {
  std::vector<std::string> lines;
  for (const auto& expr : f.List) {
    const TCustomParam* v = Eval(expr.get());
    if (!v) continue;
    const std::string text = v->AsString();
    for (size_t at = 0; at <= text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      at = end + 1;
    }
  }
  return lines;
}

// Moves the children of the page shown to the back page: mode 0 those named on no line,
// mode 1 those named on a line, any other mode none. The snapshot stays.
void MoveChildren(TOrbaBaseList& list, int32_t mode, const std::vector<std::string>& lines) {
  if (mode != 0 && mode != 1) return;
  const std::vector<TOrbaControl*> children = list.Current().Children();
  for (size_t i = children.size(); i-- > 0;) {
    TOrbaControl* child = children[i];
    if (child->Name() == kSnapshotName) continue;
    const bool listed = std::find(lines.begin(), lines.end(), child->Name()) != lines.end();
    if (listed == (mode == 1)) child->SetParent(&list.Back());
  }
}

class TFlipHandler : public TCommandHandler {
 public:
  std::unique_ptr<TCommandState> NewState() const override { return std::make_unique<TFlipState>(); }

  void Start(TCommand& c, TCallMan&) const override {
    auto& s = StateOf<TFlipState>(c);
    s.Step = 0;
    int32_t kind = Int(c.Field(F::Kind), 0) & 0xFF;
    if (kind > 38) kind = 0;
    const TCustomParam* time = Eval(c.Field(F::Time));
    s.Yields = time && time->AsInt() > 0;
    const int32_t duration = s.Yields ? time->AsInt() : 1;
    const bool reverse = Flag(c.Field(F::Reverse), false);
    s.BlockEvents = Flag(c.Field(F::BlockEvents), false);
    s.ClearOld = Flag(c.Field(F::ClearOld), false);
    const TCustomParam* selection = Eval(c.Field(F::Selection));
    const int32_t mode = selection ? selection->AsInt() : -1;
    const std::vector<std::string> lines = NameLines(c.Field(F::Names));
    TOrbaBaseList* list = ComponentList();
    if (!list) return;
    s.OldBase = list->CurrentBase();
    if (selection) {
      if (!s.Yields) {
        s.Step = 3;
      } else {
        // The screen as it is now, on top of the page shown.
        list->Paint();
        auto& shot = static_cast<TOrbaImage&>(*list->Adopt(std::make_unique<TOrbaImage>(list), false));
        shot.SetName(std::string(kSnapshotName));
        shot.TakePicture(list->Current().Surface());
        shot.IgnoreMouse = IM_ALL;
        shot.SetParent(&list->Current());
        shot.Invalidate();
      }
      MoveChildren(*list, mode, lines);
    }
    if (s.Step == 3) return;
    TWipeStart start;
    start.kind = kind;
    start.duration = duration;
    start.reverse = reverse;
    if (const TCustomParam* p = Eval(c.Field(F::Param1))) start.param0 = p->AsInt();
    if (const TCustomParam* p = Eval(c.Field(F::Param2))) start.param1 = p->AsInt();
    if (const TCustomParam* m = Eval(c.Field(F::Mask))) start.maskFile = m->AsString();
    list->BeginTransition(list->CurrentBase(), start);
  }

  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    auto& s = StateOf<TFlipState>(c);
    switch (s.Step) {
      case 0: s.Step = 1; return;
      case 1:
        s.Step = 2;
        s.StartTime = Process().GameTime;
        return;
      case 2: {
        TOrbaBaseList* list = ComponentList();
        TCustomWipe* wipe = list ? list->Transition() : nullptr;
        const int32_t elapsed = Process().GameTime - s.StartTime;
        if (wipe && elapsed < wipe->Duration) {
          wipe->Elapsed = elapsed;
          return;
        }
        break;
      }
      default: break;
    }
    Finish(s, false);
    ++pc;
  }

  void Abort(TCommand& c) const override { Finish(StateOf<TFlipState>(c), true); }
  bool BlocksEvents(const TCommand& c) const override { return StateOf<TFlipState>(c).BlockEvents; }
  bool Yields(const TCommand& c) const override { return StateOf<TFlipState>(c).Yields; }

  void SaveState(const TCommand& c, TKvBigStream& stream) const override {
    const auto& s = StateOf<TFlipState>(c);
    TCommand::WriteStateHeader(stream);
    TBinaryWriter w(stream);
    w.Bool(s.BlockEvents);
    w.Bool(s.ClearOld);
  }
  void LoadState(TCommand& c, TKvBigStream& stream) const override {
    auto& s = StateOf<TFlipState>(c);
    if (TCommand::ReadStateHeader(stream) < 100) return;
    TBinaryReader r(stream);
    s.BlockEvents = r.Bool();
    s.ClearOld = r.Bool();
  }

 private:
  // Shows the other page with no effect, drops the snapshot and, when asked, scraps what the
  // old page held (its cabinets too when aborted).
  static void Finish(TFlipState& s, bool aborted) {
    TOrbaBaseList* list = ComponentList();
    if (!list) return;
    list->BeginTransition(s.OldBase ^ 1, 0);
    if (TOrbaComponent* shot = list->FindComponent(std::string(kSnapshotName))) list->Scrap(shot);
    if (!s.ClearOld) return;
    const std::vector<TOrbaControl*> children = list->Base(s.OldBase).Children();
    for (TOrbaControl* child : children)
      if (aborted || !dynamic_cast<TOrbaCabinet*>(child)) list->Scrap(child);
  }
};

const TFlipHandler flip;

}  // namespace

namespace handlers {
const TCommandHandler& kFlip = flip;
}  // namespace handlers

}  // namespace orba
