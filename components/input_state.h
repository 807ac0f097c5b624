// The input state that the window writes and the component root's input step reads: the
// mouse state of each screen page and the keyboard arrays indexed by virtual-key code.
#pragma once

#include <array>
#include <cstdint>

namespace orba {

// Mouse state of one screen page.
struct TBaseInput {
  int32_t MouseX = 0, MouseY = 0;   // page coordinates
  bool LeftPressed = false;         // a left press reported since the last tick
  bool RightPressed = false;
  bool LeftClick = false;           // latched for the current tick
  bool RightClick = false;
  bool LeftHeld = false;            // button currently held
  bool RightHeld = false;
  bool Moved = false;               // MouseX/MouseY changed; cleared at the end of the mouse step
  int32_t WheelDown = 0, WheelUp = 0;          // notches reported since the last tick
  int32_t WheelDownTick = 0, WheelUpTick = 0;  // latched for this tick

  void SetMouse(int32_t x, int32_t y) {
    if (x != MouseX || y != MouseY) Moved = true;
    MouseX = x;
    MouseY = y;
  }
};

// Keyboard state of the component root: five arrays of 256 bytes by virtual-key code.
struct TKeyboardState {
  std::array<uint8_t, 256> KeyDown{}, KeyClicked{}, KeyClickedTick{}, KeyRepeat{}, KeyRepeatTick{};

  void Clear() { *this = TKeyboardState{}; }
};

}  // namespace orba
