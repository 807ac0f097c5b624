// The handlers of the command kinds, one object each, named in the rows of the layout table.
// A kind whose subsystem is not built yet has the passing handler (or one that only keeps its
// state block readable).
#pragma once

#include "script/page.h"

namespace orba::handlers {

// Branches, loops, labels and calculations (flowcommands.cpp).
extern const TCommandHandler kIf, kElseif, kElse, kLabel, kComment, kWhile, kWhileInit, kWhileLoop, kCalc;
extern const TCommandHandler &kJump, &kCall, &kExit, &kBreak, &kContinue;
// Waiting (waitcommands.cpp), with the state blocks of the screen-change, movie-stop and text
// kinds, whose work comes with their subsystems.
extern const TCommandHandler &kWait, &kDoEvent, &kFlip, &kMovieStop, &kTextIns;
// Variables, save requests, resets and the end (datacommands.cpp).
extern const TCommandHandler &kVarNew, &kVarDel, &kGameSave, &kGameLoad, &kPCReset, &kReset, &kTerminate;
// Properties by code, and the creation of a component of a type code (componentcommands.cpp).
extern const TCommandHandler &kGetProp, &kSetProp, &kObjDel;
// Starting a sound (componentcommands.cpp, where MovieStop, which stops one, lives too).
extern const TCommandHandler& kMediaPlay;
const TCommandHandler* Create(int32_t typeCode);
// Kinds not built yet: they pass.
extern const TCommandHandler kPass;

}  // namespace orba::handlers
