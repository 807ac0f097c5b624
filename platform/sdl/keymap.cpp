// SDL keys to the Windows virtual-key codes that scripts test ('A'..'Z', Shift 16, Ctrl 17,
// Enter 13, Space 32, arrows 37..40, ...), for every key a full keyboard has: function keys
// to F24, the keypad, the Japanese and international keys, the media and browser keys.
// Letters and digits follow the layout's key code; every other key its physical position.
#include <SDL.h>

#include "platform/sdl/sdl_host.h"

namespace orba::platform::sdl {

int VirtualKeyOf(int sdlKeycode, int sdlScancode) {
  if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z) return 'A' + (sdlKeycode - SDLK_a);
  if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9) return sdlKeycode;
  auto sc = static_cast<SDL_Scancode>(sdlScancode);
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 112 + (sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 124 + (sc - SDL_SCANCODE_F13);
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 97 + (sc - SDL_SCANCODE_KP_1);
  switch (sc) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_LSHIFT: case SDL_SCANCODE_RSHIFT: return 16;
    case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL: return 17;
    case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: return 18;
    case SDL_SCANCODE_PAUSE: return 19;
    case SDL_SCANCODE_CAPSLOCK: return 20;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_SPACE: return 32;
    case SDL_SCANCODE_PAGEUP: return 33;
    case SDL_SCANCODE_PAGEDOWN: return 34;
    case SDL_SCANCODE_END: return 35;
    case SDL_SCANCODE_HOME: return 36;
    case SDL_SCANCODE_LEFT: return 37;
    case SDL_SCANCODE_UP: return 38;
    case SDL_SCANCODE_RIGHT: return 39;
    case SDL_SCANCODE_DOWN: return 40;
    case SDL_SCANCODE_PRINTSCREEN: return 44;
    case SDL_SCANCODE_INSERT: return 45;
    case SDL_SCANCODE_DELETE: return 46;
    case SDL_SCANCODE_LGUI: return 91;
    case SDL_SCANCODE_RGUI: return 92;
    case SDL_SCANCODE_APPLICATION: return 93;
    case SDL_SCANCODE_KP_0: return 96;
    case SDL_SCANCODE_KP_MULTIPLY: return 106;
    case SDL_SCANCODE_KP_PLUS: return 107;
    case SDL_SCANCODE_KP_MINUS: return 109;
    case SDL_SCANCODE_KP_PERIOD: return 110;
    case SDL_SCANCODE_KP_DIVIDE: return 111;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 144;
    case SDL_SCANCODE_SCROLLLOCK: return 145;
    case SDL_SCANCODE_SEMICOLON: return 186;
    case SDL_SCANCODE_EQUALS: return 187;
    case SDL_SCANCODE_COMMA: return 188;
    case SDL_SCANCODE_MINUS: return 189;
    case SDL_SCANCODE_PERIOD: return 190;
    case SDL_SCANCODE_SLASH: return 191;
    case SDL_SCANCODE_GRAVE: return 192;
    case SDL_SCANCODE_LEFTBRACKET: return 219;
    case SDL_SCANCODE_BACKSLASH: return 220;
    case SDL_SCANCODE_RIGHTBRACKET: return 221;
    case SDL_SCANCODE_APOSTROPHE: return 222;
    case SDL_SCANCODE_INTERNATIONAL1: return 226;  // the "ro" key of Japanese keyboards
    case SDL_SCANCODE_NONUSBACKSLASH: return 226;  // the extra key left of Z
    case SDL_SCANCODE_INTERNATIONAL2: return 242;  // katakana / hiragana
    case SDL_SCANCODE_INTERNATIONAL3: return 220;  // the yen key
    case SDL_SCANCODE_INTERNATIONAL4: return 28;   // convert
    case SDL_SCANCODE_INTERNATIONAL5: return 29;   // no convert
    case SDL_SCANCODE_LANG1: return 21;            // kana / hangul
    case SDL_SCANCODE_LANG2: return 25;            // kanji / hanja
    case SDL_SCANCODE_CLEAR: case SDL_SCANCODE_KP_CLEAR: return 12;
    case SDL_SCANCODE_SELECT: return 41;
    case SDL_SCANCODE_EXECUTE: return 43;
    case SDL_SCANCODE_SYSREQ: return 44;
    case SDL_SCANCODE_HELP: return 47;
    case SDL_SCANCODE_SLEEP: return 95;
    case SDL_SCANCODE_KP_COMMA: return 108;
    case SDL_SCANCODE_AC_BACK: return 166;
    case SDL_SCANCODE_AC_FORWARD: return 167;
    case SDL_SCANCODE_AC_REFRESH: return 168;
    case SDL_SCANCODE_AC_STOP: return 169;
    case SDL_SCANCODE_AC_SEARCH: return 170;
    case SDL_SCANCODE_AC_BOOKMARKS: return 171;
    case SDL_SCANCODE_AC_HOME: return 172;
    case SDL_SCANCODE_MUTE: case SDL_SCANCODE_AUDIOMUTE: return 173;
    case SDL_SCANCODE_VOLUMEDOWN: return 174;
    case SDL_SCANCODE_VOLUMEUP: return 175;
    case SDL_SCANCODE_AUDIONEXT: return 176;
    case SDL_SCANCODE_AUDIOPREV: return 177;
    case SDL_SCANCODE_AUDIOSTOP: return 178;
    case SDL_SCANCODE_AUDIOPLAY: return 179;
    case SDL_SCANCODE_MAIL: return 180;
    case SDL_SCANCODE_MEDIASELECT: return 181;
    case SDL_SCANCODE_COMPUTER: return 182;
    case SDL_SCANCODE_CALCULATOR: return 183;
    default: return -1;
  }
}

}  // namespace orba::platform::sdl
