// What the media commands ask of a component that plays a media item: the sound component, and
// the video component, which plays through the video manager the same way. The commands reach
// both through this one face: start at creation, play again, stop or fade out and be awaited.
#pragma once

#include <cstdint>
#include <string>

namespace orba {

class IMediaComponent {
 public:
  // Play states: playing, playing after a fade-in, stopped, fading out (and then freed).
  enum : uint8_t { kPlaying = 0, kFadingIn = 1, kStopped = 2, kFadingOut = 3 };
  virtual ~IMediaComponent() = default;
  virtual uint8_t MediaPlayState() const = 0;
  virtual void SetPlayState(uint8_t state) = 0;
  // Starts from the beginning, with a fade-in when a fade time is set.
  virtual void Play() = 0;
  // The file it plays ("CD_" and a track number for a CD track).
  virtual const std::string& MediaSource() const = 0;
  // The fade time in ms (PR_DELAY).
  virtual int32_t FadeTime() const = 0;
  virtual void SetFadeTime(int32_t ms) = 0;
};

}  // namespace orba
