// Screen transitions: the effects that replace the picture on screen (the "from" image) by the
// next one (the "to" image) step by step, drawing each step into a target surface (the back
// buffer). Every kind 1..38 is one row of the table in wipe.cpp with one class.
//
// How an owner runs a transition:
//   auto wipe = StartWipe({kind, duration, reverse, p0, p1, maskFile}, target, from, to);
//   // or by hand: CreateWipe, Duration, SetReverse, SetParam (optional), SetMaskFile
//   // (optional), Init -- in this order.
//   each tick:  wipe->Elapsed = now - start;   // same unit as Duration
//               bool done = wipe->Step();      // draws into target unless done
//               update area |= wipe->UpdateRect;
//               if (done) { free the wipe; show the new page; }
//
// Units: an effect looks only at the fraction Elapsed / Duration, so the unit is the caller's.
// The screen change hands milliseconds of game time, a film's wipe track hands film ticks;
// each caller keeps both values in its own one unit, and a transition then lasts as long on a
// 144 Hz display as on a 60 Hz one. The last step that draws is Elapsed = Duration - 1 (in
// that unit); from Elapsed = Duration on, Step draws nothing and reports the end.
//
// From, to and target have the same size and pixel format (15, 16, 24 or 32 bits); a step
// with surfaces that do not match draws nothing. Tables an effect needs (distance maps,
// orders, blurred copies) are built at creation, SetParam, SetReverse or Init, never in Step,
// and Step allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/geometry.h"
#include "render/dibx.h"
#include "render/wipedefaults.h"

namespace orba {

class TCustomWipe {
 public:
  TCustomWipe(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage);
  TCustomWipe(const TCustomWipe&) = delete;
  TCustomWipe& operator=(const TCustomWipe&) = delete;
  virtual ~TCustomWipe() = default;

  // The effect's direction switch (what it turns round is the effect's own).
  virtual void SetReverse(bool flag) { Reverse = flag; }
  int32_t GetParam(int index) const { return index == 0 || index == 1 ? params_[index] : 0; }
  // Stores the parameter as the effect's clamps allow and rebuilds what depends on it.
  void SetParam(int index, int32_t value);
  // A rule image's file name (read through the virtual file manager in Init).
  virtual void SetMaskFile(const std::string& name) { MaskFile = name; }
  // Called once after the settings above, before the first Step.
  virtual void Init() {}
  // Draws the step for Elapsed into the target and sets UpdateRect; true (and nothing drawn)
  // once Elapsed has reached Duration.
  bool Step();
  bool Finished() const { return Elapsed >= Duration; }

  bool Reverse = false;
  std::string MaskFile;
  int32_t Duration = 1;  // at least 1 when stepped; the caller's unit
  int32_t Elapsed = 0;   // same unit as Duration
  TRect UpdateRect;      // what the last Step drew: the whole target

 protected:
  // The value actually kept for parameter index (the family's clamps).
  virtual int32_t ClampParam(int /*index*/, int32_t value) const { return value; }
  // Called after a parameter changed.
  virtual void ParamsChanged() {}
  // Draws step t of d (0 <= t < d) into the target.
  virtual void DrawStep(int32_t t, int32_t d) = 0;

  int32_t W() const { return target_.Width(); }
  int32_t H() const { return target_.Height(); }
  // True when from, to and target can be drawn together.
  bool Drawable() const;

  TCustomDIBX& target_;
  TCustomDIBX& to_;
  TCustomDIBX& from_;
  int32_t params_[2] = {0, 0};
};

// The class for kind 1..38 over the given surfaces, its parameters set from the kind's
// defaults; null for any other kind (the owner then switches pages without an effect).
std::unique_ptr<TCustomWipe> CreateWipe(int kind, TCustomDIBX& target, TCustomDIBX& fromImage, TCustomDIBX& toImage);

// The class name of a kind ("TWipeFade" ...), or "" for an unknown kind.
const char* WipeKindName(int kind);

// Everything an owner decides about one transition.
struct TWipeStart {
  int kind = 0;
  int32_t duration = 1;  // in the caller's unit
  bool reverse = false;
  std::optional<int32_t> param0, param1;
  std::optional<std::string> maskFile;
};

// CreateWipe, then duration, reverse, the parameters given, the mask file and Init, in the
// order every owner must use. Null for an unknown kind.
std::unique_ptr<TCustomWipe> StartWipe(const TWipeStart& start, TCustomDIBX& target, TCustomDIBX& fromImage,
                                       TCustomDIBX& toImage);

}  // namespace orba
