// The handlers of the command kinds, one object each, named in the rows of the layout table.
// A kind whose subsystem is not built yet has the passing handler (or one that only keeps its
// state block readable).
#pragma once

#include "script/page.h"

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
// Kinds not built yet: they pass.
extern const TCommandHandler kPass;

}  // namespace orba::handlers
