// What each command kind does when it runs: branches and loops by indentation, jumps,
// calls, waits, calculations, variables, property access, save and load requests, resets
// and the end of the player. Component and media kinds join as their subsystems are built;
// until then they simply pass.
#include <memory>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "media/orbalib.h"
#include "script/callman.h"
#include "values/paramcollection.h"

namespace orba {

using namespace cmd;

namespace {

// The value of an expression field, or null when it has none.
inline const TCustomParam* Eval(const TFieldValue& f) {
  if (!f.Present || !f.Expr || f.Expr->Ops().empty()) return nullptr;
  f.Expr->Execute();
  return f.Expr->Result();
}
inline bool Flag(const TFieldValue& f, bool otherwise) {
  const TCustomParam* v = Eval(f);
  return v ? v->AsFlag() : otherwise;
}
int32_t Int(const TFieldValue& f, int32_t otherwise) {
  const TCustomParam* v = Eval(f);
  return v ? v->AsInt() : otherwise;
}
std::string Text(const TFieldValue& f) {
  const TCustomParam* v = Eval(f);
  return v ? v->AsString() : std::string();
}

int32_t CommandCount(const TPage& page) { return static_cast<int32_t>(page.Commands.size()); }
const TCommand& At(const TPage& page, int32_t i) { return *page.Commands[static_cast<size_t>(i)]; }

// Elseif and Else reached after a branch ran: pass over their bodies.
void SkipBody(const TPage& page, int32_t indent, int32_t& pc) {
  ++pc;
  while (pc < CommandCount(page) && At(page, pc).Indent > indent) ++pc;
}

}  // namespace

void TCommand::StartWait() {
  Run.Remaining = Int(Fields[1], 0);
  Run.FirstStep = true;
  Run.BlockEvents = Flag(Fields[2], false);
}

void TCommand::SaveState(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  switch (kind_) {
    case kWait:
      WriteStateHeader(stream);
      w.I32(Run.Remaining);
      w.I32(Run.FirstStep ? 1 : 0);
      w.Bool(Run.BlockEvents);
      break;
    case kMovieStop:
    case kTextIns:
      WriteStateHeader(stream);
      w.String(Run.AwaitName);
      w.Bool(Run.Waiting);
      w.Bool(Run.BlockEvents);
      break;
    case kFlip:
      WriteStateHeader(stream);
      w.Bool(Run.BlockEvents);
      w.Bool(Run.ClearOld);
      break;
    default:
      break;
  }
}

void TCommand::LoadState(TKvBigStream& stream) {
  if (kind_ != kWait && kind_ != kMovieStop && kind_ != kTextIns && kind_ != kFlip) return;
  int32_t version = ReadStateHeader(stream);
  TBinaryReader r(stream);
  switch (kind_) {
    case kWait:
      Run.Remaining = r.I32();
      Run.FirstStep = r.I32() != 0;
      if (version >= 100) Run.BlockEvents = r.Bool();
      break;
    case kMovieStop:
    case kTextIns:
      Run.AwaitName = r.String();
      Run.Waiting = r.Bool();
      if (version >= 100) Run.BlockEvents = r.Bool();
      break;
    case kFlip:
      if (version >= 100) {
        Run.BlockEvents = r.Bool();
        Run.ClearOld = r.Bool();
      }
      break;
  }
}

void TCommand::Abort() {
  // None of the kinds built so far has anything to finish.
}

namespace {

// After a false If at pc - 1: on to the first branch of the same indent whose condition
// holds (an Elseif) or that has none (an Else), or past the whole If.
void NextBranch(const TPage& page, int32_t indent, int32_t& pc) {
  while (pc < CommandCount(page)) {
    const TCommand& c = At(page, pc);
    if (c.Indent > indent) {
      ++pc;
    } else if (c.Indent < indent) {
      return;
    } else if (c.Kind() == kElseif) {
      ++pc;
      if (Flag(c.Fields[0], false)) return;
    } else if (c.Kind() == kElse) {
      ++pc;
      return;
    } else {
      return;
    }
  }
}

}  // namespace

// Small enough to join the short path's loop (the one other caller is Execute).
inline void TCommand::ExecutePlain(int32_t& pc) {
  switch (kind_) {
    case kIf:
      ++pc;
      if (!Flag(Fields[0], false)) NextBranch(*page_, Indent, pc);
      return;
    case kElseif:
    case kElse:
      SkipBody(*page_, Indent, pc);
      return;
    case kWhile:
      ++pc;
      if (!Flag(Fields[0], false)) pc = Fields[1].Number;
      return;
    case kWhileInit:
      ++pc;
      Eval(Fields[0]);
      return;
    case kWhileLoop:
      pc = Fields[1].Number;
      Eval(Fields[0]);
      return;
    case kLabel:
    case kComment:
      ++pc;
      return;
    case kCalc:
      ++pc;
      Eval(Fields[0]);
      return;
  }
}

// Here beside the plain kinds so that their code joins the loop.
bool TCallMan::RunPlainCommands() {
  // The general step keeps a command in progress, traces, yields and leaves pages; none of
  // that concerns these kinds, so a run of them goes through this loop with the counter in
  // a register. Each command does what TCommand::Execute would make it do (ExecutePlain).
  if (Started || OrbaLog().Enabled()) return false;
  const TPage* page = CurrentPage;
  if (!page) return false;
  // Plain kinds change no page, so the command table stays as it is during the loop.
  const std::unique_ptr<TCommand>* const commands = page->Commands.data();
  const uint32_t count = static_cast<uint32_t>(page->Commands.size());
  const TProcessState& proc = Process();
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
        command.ExecutePlain(pc);
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
    if (!run || proc.Terminating || EventWaiting()) break;
  }
  pollCountdown_ = countdown;
  PC = pc;
  Continue = run;
  return ran;
}

void TCommand::Execute(TCallMan& cm, TPage*& page, int32_t& pc) {
  if (IsPlain()) {
    ExecutePlain(pc);
    return;
  }
  TParamCollection* vars = Variables();
  IScriptHost* host = cm.Host();
  auto available = [&](const std::string& name) { return !host || host->CheckFileAvailable(name); };
  switch (kind_) {
    case kBreak:
      if (Flag(Fields[0], false)) {
        if (Fields[1].Number < 0) page = nullptr;
        else pc = Fields[1].Number;
      } else {
        ++pc;
      }
      return;
    case kContinue:
      ++pc;
      if (Flag(Fields[0], false)) {
        if (Fields[1].Number < 0) page = nullptr;
        else pc = Fields[1].Number;
      }
      return;
    case kJump: {
      ++pc;
      if (!Flag(Fields[2], false) || !available(Fields[0].Text)) return;
      TPage* target = cm.LoadPage(Fields[0].Text, true);  // a failure leaves pc past the jump
      page = target;
      pc = Fields[1].Number;
      return;
    }
    case kCall: {
      ++pc;
      if (!Flag(Fields[3], false) || !available(Fields[0].Text)) return;
      TArrayString args;
      for (const auto& a : Fields[4].List) {
        a->Execute();
        if (const TCustomParam* v = a->Result()) args.Add(v->AsString());
      }
      cm.CallPage(Fields[0].Text, Fields[1].Number, Fields[2].Text, std::move(args), page, pc);
      return;
    }
    case kExit:
      if (Flag(Fields[0], false)) page = nullptr;
      else ++pc;
      return;
    case kWait: {
      if (!Flag(Fields[0], true)) {
        ++pc;
        return;
      }
      if (Run.Remaining != 0) {
        if (Run.FirstStep) Run.FirstStep = false;
        else Run.Remaining -= Process().FrameDelta;
        if (Run.Remaining <= 0) {
          ++pc;
          return;
        }
      }
      cm.Continue = false;
      return;
    }
    case kDoEvent:
      ++pc;
      return;
    case kVarNew: {
      ++pc;
      const std::string& name = Fields[0].Text;
      if (name.empty()) throw EOrbaError(Sjis(u8"変数名がありません"));
      if (!vars) return;
      const auto scope = static_cast<uint8_t>(Fields[3].Number);
      TParamCollectionItem* v = vars->FindInScope(name, scope == 2);
      if (!v) {
        v = vars->AddVariable(static_cast<uint8_t>(Fields[1].Number), name);
        vars->SetScope(*v, scope);
      } else if (v->IsStatus) {
        return;  // a status variable keeps its value
      }
      if (const TCustomParam* value = Eval(Fields[2]); value && v->Param()) v->Param()->ConvertFrom(*value);
      return;
    }
    case kVarDel: {
      ++pc;
      if (!vars || Fields[0].Text.empty()) return;
      int32_t i = vars->IndexOf(Fields[0].Text);
      if (i >= 0) vars->Delete(i);
      return;
    }
    case kGetProp:
    case kSetProp:
    case kObjDel: {
      ++pc;
      // Components come with the component model; until then no name finds one.
      IComponentRoot* root = ComponentRoot();
      if (!root || root->FindComponent(Text(Fields[0])) == 0) return;
      if (kind_ != kObjDel && !Eval(Fields[1])) throw EOrbaError(Sjis(u8"プロパティ指定が不正です"));
      return;
    }
    case kGameSave:
      ++pc;
      if (host) host->RequestSave(Int(Fields[0], 0), Fields[1].Text, Fields[2].Number, Text(Fields[3]));
      return;
    case kGameLoad:
      ++pc;
      if (host) host->RequestLoad(Int(Fields[0], 0));
      return;
    case kPCReset: {
      const std::string& target = Fields[0].Text;
      const int32_t index = Fields[1].Number;
      TTimerList* events = ComponentRoot() ? &ComponentRoot()->Events() : nullptr;
      if (Fields[2].Number != 0) {
        if (vars) {
          vars->FreeLevel(cm.Stack.Count());
          for (int32_t i = cm.Stack.Count() - 1; i >= 0; --i) vars->FreeLevel(i);
        }
        for (int32_t i = cm.Stack.Count() - 1; i >= 0; --i) {
          TStack& f = cm.Stack.Item(i);
          if (f.Sender != 0 || !f.Started) continue;
          TPage* p = cm.LoadPage(f.PageName, false);
          if (f.PC >= 0 && f.PC < CommandCount(*p)) p->Commands[static_cast<size_t>(f.PC)]->Abort();
        }
        page = cm.StartPage(target);
        pc = index;
        if (events) events->Clear();
        return;
      }
      if (vars) vars->FreeLevel(cm.Stack.Count());
      int32_t boundary = -1;
      for (int32_t i = 0; i < cm.Stack.Count() && boundary < 0; ++i)
        if (cm.Stack.Item(i).Sender != 0) boundary = i;
      if (boundary < 0 && !cm.SenderName().empty()) boundary = cm.Stack.Count();
      if (boundary >= 0) {
        for (int32_t i = boundary - 1; i >= 0; --i) {
          TStack& f = cm.Stack.Item(i);
          if (f.Sender != 0) continue;
          if (vars) vars->FreeLevel(i);
          f.PageName = target;
          f.PC = index;
          f.Started = false;
          f.ResultVar.clear();
          f.Args.Clear();
          f.State.reset();
          break;
        }
        ++pc;
      } else {
        page = cm.LoadPage(target, true);
        pc = index;
      }
      if (events) events->RemoveRunning(1, cm.EventLevel);
      return;
    }
    case kReset:
      if (ComponentRoot()) ComponentRoot()->Reset();
      if (vars) vars->ClearGame();
      if (host) {
        host->ClearGameTables();
        host->ClearHistory();
      }
      page = cm.StartPage(Fields[0].Text);
      pc = Fields[1].Number;
      return;
    case kTerminate:
      Process().Terminating = true;
      if (host) host->Terminate();
      return;
    default:
      ++pc;  // component and media kinds: not built yet
      return;
  }
}

}  // namespace orba
