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

  // Takes what the window reported since the last tick as this tick's presses and wheel.
  void Latch() {
    LeftClick = LeftPressed;
    RightClick = RightPressed;
    WheelDownTick = WheelDown;
    WheelUpTick = WheelUp;
    LeftPressed = RightPressed = false;
    WheelDown = WheelUp = 0;
  }

  void SetMouse(int32_t x, int32_t y) {
    if (x != MouseX || y != MouseY) Moved = true;
    MouseX = x;
    MouseY = y;
  }
};

// Keyboard state of the component root: five arrays of 256 bytes by virtual-key code, the
// repeat countdowns, and the flags that tell the next input step what happened.
struct TKeyboardState {
  static constexpr int32_t kFirstRepeatMs = 300;  // a held key starts repeating after this
  static constexpr int32_t kRepeatMs = 50;        // and then repeats this often

  std::array<uint8_t, 256> KeyDown{}, KeyClicked{}, KeyClickedTick{}, KeyRepeat{}, KeyRepeatTick{};
  std::array<int32_t, 256> KeyTimer{};
  bool KeyDownFlag = false, KeyUpFlag = false, KeyRepeatFlag = false;

  // A key went down or up (codes from 256 on are ignored); a press arms the repeat countdown.
  void SetKey(int32_t k, bool down) {
    if (k < 0 || k > 255 || (KeyDown[static_cast<size_t>(k)] != 0) == down) return;
    const auto i = static_cast<size_t>(k);
    KeyDown[i] = KeyRepeat[i] = down ? 1 : 0;
    if (down) {
      KeyTimer[i] = kFirstRepeatMs;
      KeyDownFlag = KeyRepeatFlag = true;
    } else {
      KeyUpFlag = true;
    }
  }
  void SetKeyClicked(int32_t k) {
    if (k >= 0 && k <= 255) KeyClicked[static_cast<size_t>(k)] = 1;
  }
  // Latches the clicks and repeats of the tick that begins.
  void Latch() {
    KeyClickedTick = KeyClicked;
    KeyClicked.fill(0);
    KeyRepeatTick = KeyRepeat;
  }
  // Ends the tick: the flags are spent, and every held key counts down by the tick's
  // milliseconds; one that reaches 0 repeats in the next tick and is armed again.
  void Countdown(int32_t frameDelta) {
    KeyDownFlag = KeyUpFlag = KeyRepeatFlag = false;
    for (size_t k = 0; k < 256; ++k) {
      if (!KeyDown[k]) continue;
      KeyTimer[k] -= frameDelta;
      KeyRepeat[k] = KeyTimer[k] <= 0 ? 1 : 0;
      if (KeyRepeat[k]) {
        KeyTimer[k] += kRepeatMs;
        KeyRepeatFlag = true;
      }
    }
  }
  void Clear() { *this = TKeyboardState{}; }
};

}  // namespace orba
