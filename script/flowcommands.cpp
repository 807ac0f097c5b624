// Branches and loops by indentation, labels, calculations, jumps, calls and leaving a page.
// The plain kinds among them also run on the interpreter's short path, whose loop is here
// beside their step so that the step joins it.
#include <memory>
#include <new>

#include "base/process.h"
#include "media/orbalib.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

int32_t CommandCount(const TPage& page) { return static_cast<int32_t>(page.Commands.size()); }
const TCommand& At(const TPage& page, int32_t i) { return *page.Commands[static_cast<size_t>(i)]; }

// Elseif and Else reached after a branch ran: pass over their bodies.
void SkipBody(const TPage& page, int32_t indent, int32_t& pc) {
  ++pc;
  while (pc < CommandCount(page) && At(page, pc).Indent > indent) ++pc;
}

// After a false If at pc - 1: on to the first branch of the same indent whose condition
// holds (an Elseif) or that has none (an Else), or past the whole If.
void NextBranch(const TPage& page, int32_t indent, int32_t& pc, TParamCollection* vars) {
  while (pc < CommandCount(page)) {
    const TCommand& c = At(page, pc);
    if (c.Indent > indent) {
      ++pc;
    } else if (c.Indent < indent) {
      return;
    } else if (c.Kind() == cmd::kElseif) {
      ++pc;
      if (Flag(c.Field(fields::If::Condition), false, vars)) return;
    } else if (c.Kind() == cmd::kElse) {
      ++pc;
      return;
    } else {
      return;
    }
  }
}

using P = TPlainStep;

// Jumps and calls go only to a page the project says may be used now.
bool Available(TCallMan& cm, const std::string& name) { return !cm.Host() || cm.Host()->CheckFileAvailable(name); }

class TJumpHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan& cm, TPage*& page, int32_t& pc) const override {
    using F = fields::Jump;
    ++pc;
    if (!Flag(c.Field(F::Condition), false) || !Available(cm, c.Text(F::Page))) return;
    TPage* target = cm.LoadPage(c.Text(F::Page), true);  // a failure leaves pc past the jump
    page = target;
    pc = c.Number(F::Target);
  }
};

class TCallHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan& cm, TPage*& page, int32_t& pc) const override {
    using F = fields::Call;
    ++pc;
    if (!Flag(c.Field(F::Condition), false) || !Available(cm, c.Text(F::Page))) return;
    // Arguments without a value are left out, so later ones move up.
    TArrayString args;
    for (const auto& a : c.Field(F::Arguments).List) {
      a->Execute();
      if (const TCustomParam* v = a->Result()) args.Add(v->AsString());
    }
    cm.CallPage(c.Text(F::Page), c.Number(F::Target), c.Text(F::Result), std::move(args), page, pc);
  }
};

class TExitHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*& page, int32_t& pc) const override {
    if (Flag(c.Field(fields::If::Condition), false)) page = nullptr;
    else ++pc;
  }
};

// Break moves only when its condition holds; Continue moves on first either way.
class TBreakHandler : public TCommandHandler {
 public:
  explicit constexpr TBreakHandler(bool continues) : continues_(continues) {}
  void Execute(TCommand& c, TCallMan&, TPage*& page, int32_t& pc) const override {
    using F = fields::Break;
    if (continues_) ++pc;
    if (!Flag(c.Field(F::Condition), false)) {
      if (!continues_) ++pc;
      return;
    }
    if (c.Number(F::Target) < 0) page = nullptr;
    else pc = c.Number(F::Target);
  }

 private:
  bool continues_;
};

const TJumpHandler jump;
const TCallHandler call;
const TExitHandler exitPage;
const TBreakHandler breakLoop(false), continueLoop(true);

}  // namespace

namespace handlers {
const TCommandHandler kIf({.Plain = P::If});
const TCommandHandler kElseif({.Plain = P::SkipBranch});
const TCommandHandler kElse({.Plain = P::SkipBranch, .RunOn = 1});
const TCommandHandler kLabel({.Plain = P::Next, .Labelled = true});
const TCommandHandler kComment({.Plain = P::Next, .RunOn = 0, .AlwaysDisabled = true, .Labelled = true});
const TCommandHandler kWhile({.Plain = P::While});
const TCommandHandler kWhileInit({.Plain = P::Evaluate, .RunOn = 1});
const TCommandHandler kWhileLoop({.Plain = P::Loop, .RunOn = 1});
const TCommandHandler kCalc({.Plain = P::Evaluate});
const TCommandHandler& kJump = jump;
const TCommandHandler& kCall = call;
const TCommandHandler& kExit = exitPage;
const TCommandHandler& kBreak = breakLoop;
const TCommandHandler& kContinue = continueLoop;
const TCommandHandler kPass;
}  // namespace handlers

// Inlined into the short path's loop: as a call, saving and restoring registers costs about
// as much as the step itself.
[[gnu::always_inline]] inline void TCommand::ExecutePlain(int32_t& pc, TParamCollection* vars) {
  switch (plain_) {
    case P::If:
      ++pc;
      if (!Flag(Field(fields::If::Condition), false, vars)) NextBranch(*page_, Indent, pc, vars);
      return;
    case P::SkipBranch:
      SkipBody(*page_, Indent, pc);
      return;
    case P::While:
      ++pc;
      if (!Flag(Field(fields::While::Condition), false, vars)) pc = Number(fields::While::End);
      return;
    case P::Evaluate:
      ++pc;
      Eval(Field(fields::Calc::Expression), vars);
      return;
    case P::Loop:
      pc = Number(fields::WhileLoop::Start);
      Eval(Field(fields::WhileLoop::Step), vars);
      return;
    case P::Next:
      ++pc;
      return;
    case P::None:
      return;
  }
}

void TCommandHandler::Execute(TCommand& command, TCallMan&, TPage*&, int32_t& pc) const {
  if (command.IsPlain()) command.ExecutePlain(pc, Variables());
  else ++pc;  // component and media kinds: not built yet
}

bool TCallMan::RunPlainCommands() {
  // The general step keeps a command in progress, traces, yields and leaves pages; none of
  // that concerns these kinds, so a run of them goes through this loop with the counter in
  // a register. Each command does what its handler's Execute would make it do.
  if (Started || OrbaLog().Enabled()) return false;
  const TPage* page = CurrentPage;
  TParamCollection* vars = Variables();
  if (!page || !vars) return false;
  // Plain kinds change no page, so the command table stays as it is during the loop.
  const std::unique_ptr<TCommand>* const commands = page->Commands.data();
  const uint32_t count = static_cast<uint32_t>(page->Commands.size());
  const TProcessState& proc = Process();
  // Components queue events only in their update, so the queue asked after every command is
  // the same one throughout.
  TTimerList* const events = Events();
  int32_t pc = PC;
  bool run = Continue;  // these kinds neither read nor write Continue while they run
  bool ran = false;
  int32_t countdown = pollCountdown_;
  while (static_cast<uint32_t>(pc) < count) {
    TCommand& command = *commands[pc];
    if (!command.IsPlain()) break;
    ran = true;
    if (command.GetDisabled()) {
      ++pc;  // the run goes on as the command before left it
    } else {
      const int32_t before = pc;
      run = command.GetRunOn();
      try {
        command.ExecutePlain(pc, vars);
      } catch (const std::bad_alloc&) {
        PC = pc;
        throw;
      } catch (...) {
        // Passed over silently, as in the general step.
      }
      if (pc == before) run = false;  // it would run again: the tick's run ends here
    }
    if (--countdown <= 0) {
      PC = pc;
      Poll();
      countdown = pollCountdown_;
    }
    if (!run || proc.Terminating || (events && events->FirstWaiting())) break;
  }
  pollCountdown_ = countdown;
  PC = pc;
  Continue = run;
  return ran;
}

}  // namespace orba
