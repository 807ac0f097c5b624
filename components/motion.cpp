#include "components/motion.h"

#include <algorithm>
#include <cmath>

#include "base/cp932.h"
#include "components/orbaobject.h"

namespace orba {

bool IsMotionFile(const std::string& name) {
  return name.size() >= 4 && LowerCase(name.substr(name.size() - 4)) == ".rmt";
}

TMotionFilmFactory& MotionFilmFactory() {
  static TMotionFilmFactory factory;
  return factory;
}

namespace {
constexpr double kFrameMs = 16.666666666666668;  // 60 frames a second
}

bool TOrbaMotion::Advance(int32_t ms, bool repeat) {
  TOrbaControl& c = control_;
  // Moved by the script since the last tick: the film goes on from the new place.
  bool rebased = false;
  if (Countdown <= 0 && film_->KeepsPositions() && (c.Left != lastLeft_ || c.Top != lastTop_)) {
    film_->TakeBase(c, false);
    Finished = false;
    rebased = true;
  }
  if (Finished) return false;
  const bool first = Countdown == 2;
  if (first) film_->TakeBase(c, true);
  if (Countdown < 1 && !c.AniPaused) ElapsedMs += ms;
  const int32_t count = film_->FrameCount();
  auto frame = static_cast<int32_t>(std::lround(ElapsedMs / kFrameMs));
  bool ended = false;
  if (frame >= count) {
    if (repeat) {
      frame = count > 0 ? std::min(frame % count + film_->LoopStart(), count - 1) : 0;
      ElapsedMs = static_cast<int32_t>(std::lround(frame * kFrameMs));
    } else {
      frame = count - 1;
      Finished = true;
      ended = true;
    }
  }
  if (frame >= 0 && (first || frame != CurrentFrame || rebased)) film_->Apply(frame, c);
  CurrentFrame = frame;
  if (Countdown > 0) --Countdown;
  lastLeft_ = c.Left;
  lastTop_ = c.Top;
  return ended;
}

}  // namespace orba
