// What the commands ask of a menu: to open or close itself with its animation. The menu
// component implements this; the creation and the close command reach it through it, so they
// work with any menu kind (and with stand-ins in tests).
#pragma once

#include <cstdint>

namespace orba {

class IMenuPlay {
 public:
  // The four states of a menu's animation.
  enum TState : uint8_t { kOpen = 0, kOpening = 1, kClosed = 2, kClosing = 3 };
  virtual void SetMenuPlayState(TState state) = 0;

 protected:
  ~IMenuPlay() = default;
};

}  // namespace orba
