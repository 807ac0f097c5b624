// The handlers of the command kinds, one object each, named in the rows of the layout table.
// A kind whose subsystem is not built yet has the passing handler (or one that only keeps its
// state block readable).
#pragma once

#include <string>

#include "script/page.h"

namespace orba {

// The state block of a command that waits for a component by name (the text insertion waits
// for its window, the movie stop for its fading sound): the name, whether the script waits,
// and whether events wait meanwhile. Saved games carry it in this form.
struct TAwaitState : TCommandState {
  std::string AwaitName;
  bool Waiting = false;
  bool BlockEvents = false;
};

// A handler keeping a TAwaitState: it yields while waiting and blocks events as the state says.
class TAwaitingHandler : public TCommandHandler {
 public:
  std::unique_ptr<TCommandState> NewState() const override;
  bool BlocksEvents(const TCommand& c) const override;
  bool Yields(const TCommand& c) const override;
  void SaveState(const TCommand& c, TKvBigStream& stream) const override;
  void LoadState(TCommand& c, TKvBigStream& stream) const override;
};

}  // namespace orba

namespace orba::handlers {

// Branches, loops, labels and calculations (flowcommands.cpp).
extern const TCommandHandler kIf, kElseif, kElse, kLabel, kComment, kWhile, kWhileInit, kWhileLoop, kCalc;
extern const TCommandHandler &kJump, &kCall, &kExit, &kBreak, &kContinue;
// Waiting (waitcommands.cpp).
extern const TCommandHandler &kWait, &kDoEvent;
// The screen change (flipcommand.cpp).
extern const TCommandHandler& kFlip;
// Message windows, the history and the read marks (textcommands.cpp).
extern const TCommandHandler &kTextIns, &kTextClr, &kCallHist, &kClrHist, &kEntryHist, &kClrRead;
// Variables, save requests, resets and the end (datacommands.cpp).
extern const TCommandHandler &kVarNew, &kVarDel, &kGameSave, &kGameLoad, &kPCReset, &kReset, &kTerminate;
// Properties by code, and the creation of a component of a type code (componentcommands.cpp).
extern const TCommandHandler &kGetProp, &kSetProp, &kObjDel;
// Starting and stopping a sound (componentcommands.cpp).
extern const TCommandHandler &kMediaPlay, &kMovieStop;
const TCommandHandler* Create(int32_t typeCode);
// Closing a menu (menucommands.cpp).
extern const TCommandHandler& kMenuClose;
// Moving components into and out of cabinets (cabinetcommands.cpp).
extern const TCommandHandler &kCabinetSave, &kCabinetLoad;
// Starting a property motion (propmotioncommand.cpp).
extern const TCommandHandler& kPropMotion;
// Kinds not built yet: they pass.
extern const TCommandHandler kPass;

}  // namespace orba::handlers
