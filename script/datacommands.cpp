// Variables, component properties, save and load requests, program resets and the end of
// the player.
#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/history.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

int32_t CommandCount(const TPage& page) { return static_cast<int32_t>(page.Commands.size()); }

class TVarNewHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    using F = fields::VarNew;
    ++pc;
    const std::string& name = c.Text(F::Name);
    if (name.empty()) throw EOrbaError(Sjis(u8"変数名がありません"));
    TParamCollection* vars = Variables();
    if (!vars) return;
    const auto scope = static_cast<uint8_t>(c.Number(F::Scope));
    TParamCollectionItem* v = vars->FindInScope(name, scope == SC_LOCAL);
    if (!v) {
      v = vars->AddVariable(static_cast<uint8_t>(c.Number(F::Type)), name);
      vars->SetScope(*v, scope);
    } else if (v->IsStatus) {
      return;  // a status variable keeps its value
    }
    if (const TCustomParam* value = Eval(c.Field(F::Value)); value && v->Param()) v->Param()->ConvertFrom(*value);
  }
};

class TVarDelHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TParamCollection* vars = Variables();
    const std::string& name = c.Text(fields::Label::Name);
    if (!vars || name.empty()) return;
    if (int32_t i = vars->IndexOf(name); i >= 0) vars->Delete(i);
  }
};

class TGameSaveHandler : public TCommandHandler {
 public:
  constexpr TGameSaveHandler() : TCommandHandler({.RunOn = 0}) {}
  void Execute(TCommand& c, TCallMan& cm, TPage*&, int32_t& pc) const override {
    using F = fields::GameSave;
    ++pc;
    if (IScriptHost* host = cm.Host())
      host->RequestSave(Int(c.Field(F::Slot), 0), c.Text(F::Page), c.Number(F::Index), Text(c.Field(F::Caption)));
  }
};

class TGameLoadHandler : public TCommandHandler {
 public:
  constexpr TGameLoadHandler() : TCommandHandler({.RunOn = 0}) {}
  void Execute(TCommand& c, TCallMan& cm, TPage*&, int32_t& pc) const override {
    ++pc;
    if (IScriptHost* host = cm.Host()) host->RequestLoad(Int(c.Field(fields::GameLoad::Slot), 0));
  }
};

class TPCResetHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan& cm, TPage*& page, int32_t& pc) const override {
    using F = fields::PCReset;
    const std::string& target = c.Text(F::Page);
    const int32_t index = c.Number(F::Target);
    TParamCollection* vars = Variables();
    TTimerList* events = ComponentRoot() ? &ComponentRoot()->Events() : nullptr;
    if (c.Number(F::WholeStack) != 0) {
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
    // The event boundary: the lowest frame an event pushed, or the top when the running code
    // is itself a handler.
    int32_t boundary = -1;
    for (int32_t i = 0; i < cm.Stack.Count() && boundary < 0; ++i)
      if (cm.Stack.Item(i).Sender != 0) boundary = i;
    if (boundary < 0 && !cm.SenderName().empty()) boundary = cm.Stack.Count();
    if (boundary >= 0) {
      // The main script resumes at the new place once the handler returns.
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
  }
};

class TResetHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan& cm, TPage*& page, int32_t& pc) const override {
    using F = fields::PCReset;
    if (ComponentRoot()) ComponentRoot()->Reset();
    if (TParamCollection* vars = Variables()) vars->ClearGame();
    if (IScriptHost* host = cm.Host()) {
      host->ClearGameTables();
      host->ClearHistory();
    }
    MessageHistory().Clear();
    MessageHistory().MaxCount = 0;
    MessageHistory().SetSettings({});
    page = cm.StartPage(c.Text(F::Page));
    pc = c.Number(F::Target);
  }
};

// The counter stays: the interpreter's loop stops at once on the stop flag.
class TTerminateHandler : public TCommandHandler {
 public:
  void Execute(TCommand&, TCallMan& cm, TPage*&, int32_t&) const override {
    Process().Terminating = true;
    if (IScriptHost* host = cm.Host()) host->Terminate();
  }
};

const TVarNewHandler varNew;
const TVarDelHandler varDel;
const TGameSaveHandler gameSave;
const TGameLoadHandler gameLoad;
const TPCResetHandler pcReset;
const TResetHandler reset;
const TTerminateHandler terminate;

}  // namespace

namespace handlers {
const TCommandHandler& kVarNew = varNew;
const TCommandHandler& kVarDel = varDel;
const TCommandHandler& kGameSave = gameSave;
const TCommandHandler& kGameLoad = gameLoad;
const TCommandHandler& kPCReset = pcReset;
const TCommandHandler& kReset = reset;
const TCommandHandler& kTerminate = terminate;
}  // namespace handlers

}  // namespace orba
