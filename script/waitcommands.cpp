// Waiting: Wait counts frame time or waits on a condition, DoEvent gives pending events their
// turn; commands that wait for a component by name share one state block.
#include "base/binio.h"
#include "base/process.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

struct TWaitState : TCommandState {
  int32_t Remaining = 0;  // ms still to wait
  bool FirstStep = true;  // the first step only clears this
  bool BlockEvents = false;
};

class TWaitHandler : public TCommandHandler {
 public:
  std::unique_ptr<TCommandState> NewState() const override { return std::make_unique<TWaitState>(); }
  void Start(TCommand& c, TCallMan&) const override {
    auto& s = StateOf<TWaitState>(c);
    s.Remaining = Int(c.Field(fields::Wait::Time), 0);
    s.FirstStep = true;
    s.BlockEvents = Flag(c.Field(fields::Wait::BlockEvents), false);
  }
  void Execute(TCommand& c, TCallMan& cm, TPage*&, int32_t& pc) const override {
    // A condition without a value holds: with no time either, the wait never ends by itself.
    if (!Flag(c.Field(fields::Wait::Condition), true)) {
      ++pc;
      return;
    }
    auto& s = StateOf<TWaitState>(c);
    if (s.Remaining != 0) {
      if (s.FirstStep) s.FirstStep = false;
      else s.Remaining -= Process().FrameDelta;
      if (s.Remaining <= 0) {
        ++pc;
        return;
      }
    }
    cm.Continue = false;
  }
  bool BlocksEvents(const TCommand& c) const override { return StateOf<TWaitState>(c).BlockEvents; }
  bool Yields(const TCommand&) const override { return true; }
  void SaveState(const TCommand& c, TKvBigStream& stream) const override {
    const auto& s = StateOf<TWaitState>(c);
    TCommand::WriteStateHeader(stream);
    TBinaryWriter w(stream);
    w.I32(s.Remaining);
    w.I32(s.FirstStep ? 1 : 0);
    w.Bool(s.BlockEvents);
  }
  void LoadState(TCommand& c, TKvBigStream& stream) const override {
    auto& s = StateOf<TWaitState>(c);
    int32_t version = TCommand::ReadStateHeader(stream);
    TBinaryReader r(stream);
    s.Remaining = r.I32();
    s.FirstStep = r.I32() != 0;
    if (version >= 100) s.BlockEvents = r.Bool();
  }
};

class TDoEventHandler : public TCommandHandler {
 public:
  constexpr TDoEventHandler() : TCommandHandler({.RunOn = 0}) {}
  void Execute(TCommand&, TCallMan&, TPage*&, int32_t& pc) const override { ++pc; }
  bool Yields(const TCommand&) const override { return true; }
};

const TWaitHandler wait;
const TDoEventHandler doEvent;

}  // namespace

std::unique_ptr<TCommandState> TAwaitingHandler::NewState() const { return std::make_unique<TAwaitState>(); }
bool TAwaitingHandler::BlocksEvents(const TCommand& c) const { return StateOf<TAwaitState>(c).BlockEvents; }
bool TAwaitingHandler::Yields(const TCommand& c) const { return StateOf<TAwaitState>(c).Waiting; }

void TAwaitingHandler::SaveState(const TCommand& c, TKvBigStream& stream) const {
  const auto& s = StateOf<TAwaitState>(c);
  TCommand::WriteStateHeader(stream);
  TBinaryWriter w(stream);
  w.String(s.AwaitName);
  w.Bool(s.Waiting);
  w.Bool(s.BlockEvents);
}

void TAwaitingHandler::LoadState(TCommand& c, TKvBigStream& stream) const {
  auto& s = StateOf<TAwaitState>(c);
  const int32_t version = TCommand::ReadStateHeader(stream);
  TBinaryReader r(stream);
  s.AwaitName = r.String();
  s.Waiting = r.Bool();
  if (version >= 100) s.BlockEvents = r.Bool();
}

namespace handlers {
const TCommandHandler& kWait = wait;
const TCommandHandler& kDoEvent = doEvent;
}  // namespace handlers

}  // namespace orba
