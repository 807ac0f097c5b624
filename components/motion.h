// A motion drives one control through the frames of a film: positions, priority and the rest
// per frame at 60 frames a second, repeated from the film's loop start or stopped at its end.
// The film itself (reading motion files) belongs to the films subsystem, which plugs in a
// factory; until then LoadMotion attaches nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orba {

class TOrbaControl;

// What a motion asks of its film.
class IMotionFilm {
 public:
  virtual ~IMotionFilm() = default;
  virtual int32_t FrameCount() const = 0;
  // The frame a repeat starts again from.
  virtual int32_t LoopStart() const = 0;
  // The film places the control (a control moved by the script then moves the film with it).
  virtual bool KeepsPositions() const = 0;
  // Takes the control's place (and with priority, its priority) as the film's origin.
  virtual void TakeBase(const TOrbaControl& control, bool priority) = 0;
  // Writes frame into the control: MotionX/MotionY, SubPriority and whatever the film holds.
  virtual void Apply(int32_t frame, TOrbaControl& control) = 0;
};

// A source naming a motion file (".rmt", any case) attaches a motion instead of a picture.
bool IsMotionFile(const std::string& name);

// Makes the film of a motion file for a control, or null; set by the films subsystem.
using TMotionFilmFactory = std::function<std::unique_ptr<IMotionFilm>(const std::string& file, TOrbaControl& control)>;
TMotionFilmFactory& MotionFilmFactory();

class TOrbaMotion {
 public:
  TOrbaMotion(TOrbaControl& control, std::unique_ptr<IMotionFilm> film)
      : control_(control), film_(std::move(film)) {}
  // One tick of ms milliseconds; true when the motion reached its end in this tick.
  bool Advance(int32_t ms, bool repeat);
  void Restart() {
    ElapsedMs = 0;
    Countdown = 2;
    Finished = false;
  }

  int32_t FrameCount() const { return film_->FrameCount(); }

  int32_t ElapsedMs = 0;
  int32_t Countdown = 2;  // the first two ticks only place the control
  bool Finished = false;
  int32_t CurrentFrame = 0;

 private:
  TOrbaControl& control_;
  std::unique_ptr<IMotionFilm> film_;
  int32_t lastLeft_ = 0, lastTop_ = 0;  // the place the control had after the last tick
};

}  // namespace orba
