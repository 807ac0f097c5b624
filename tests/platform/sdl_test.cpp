#include <gtest/gtest.h>

#ifdef ORBA_HAVE_SDL
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "base/stream.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_host.h"
#include "render/imagefiles.h"

namespace orba::platform::sdl {
namespace {

TEST(SdlKeys, MapToTheVirtualKeyCodesScriptsSee) {
  struct Case { SDL_Keycode key; SDL_Scancode scan; int vk; } cases[] = {
      {SDLK_a, SDL_SCANCODE_A, 'A'},          {SDLK_z, SDL_SCANCODE_Z, 'Z'},
      {SDLK_0, SDL_SCANCODE_0, '0'},          {SDLK_RETURN, SDL_SCANCODE_RETURN, 13},
      {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13}, {SDLK_SPACE, SDL_SCANCODE_SPACE, 32},
      {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 16}, {SDLK_RCTRL, SDL_SCANCODE_RCTRL, 17},
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27}, {SDLK_LEFT, SDL_SCANCODE_LEFT, 37},
      {SDLK_UP, SDL_SCANCODE_UP, 38},         {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 39},
      {SDLK_DOWN, SDL_SCANCODE_DOWN, 40},     {SDLK_F1, SDL_SCANCODE_F1, 112},
      {SDLK_F12, SDL_SCANCODE_F12, 123},      {SDLK_KP_0, SDL_SCANCODE_KP_0, 96},
      {SDLK_KP_9, SDL_SCANCODE_KP_9, 105},    {SDLK_COMMA, SDL_SCANCODE_COMMA, 188},
      // A layout that puts 'q' where 'a' is: letters follow the layout.
      {SDLK_q, SDL_SCANCODE_A, 'Q'},
      {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8}, {SDLK_TAB, SDL_SCANCODE_TAB, 9},
      {SDLK_LALT, SDL_SCANCODE_LALT, 18},     {SDLK_PAUSE, SDL_SCANCODE_PAUSE, 19},
      {SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK, 20}, {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 33},
      {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 34}, {SDLK_END, SDL_SCANCODE_END, 35},
      {SDLK_HOME, SDL_SCANCODE_HOME, 36},     {SDLK_PRINTSCREEN, SDL_SCANCODE_PRINTSCREEN, 44},
      {SDLK_INSERT, SDL_SCANCODE_INSERT, 45}, {SDLK_DELETE, SDL_SCANCODE_DELETE, 46},
      {SDLK_LGUI, SDL_SCANCODE_LGUI, 91},     {SDLK_RGUI, SDL_SCANCODE_RGUI, 92},
      {SDLK_APPLICATION, SDL_SCANCODE_APPLICATION, 93}, {SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY, 106},
      {SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 107}, {SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, 109},
      {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 110}, {SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE, 111},
      {SDLK_F13, SDL_SCANCODE_F13, 124},      {SDLK_F24, SDL_SCANCODE_F24, 135},
      {SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, SDL_SCANCODE_SCROLLLOCK, 145},
      {SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, 186}, {SDLK_EQUALS, SDL_SCANCODE_EQUALS, 187},
      {SDLK_MINUS, SDL_SCANCODE_MINUS, 189},  {SDLK_PERIOD, SDL_SCANCODE_PERIOD, 190},
      {SDLK_SLASH, SDL_SCANCODE_SLASH, 191},  {SDLK_BACKQUOTE, SDL_SCANCODE_GRAVE, 192},
      {SDLK_LEFTBRACKET, SDL_SCANCODE_LEFTBRACKET, 219}, {SDLK_BACKSLASH, SDL_SCANCODE_BACKSLASH, 220},
      {SDLK_RIGHTBRACKET, SDL_SCANCODE_RIGHTBRACKET, 221}, {SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE, 222},
      {SDLK_UNKNOWN, SDL_SCANCODE_INTERNATIONAL1, 226}, {SDLK_UNKNOWN, SDL_SCANCODE_INTERNATIONAL3, 220},
      {SDLK_UNKNOWN, SDL_SCANCODE_INTERNATIONAL4, 28}, {SDLK_UNKNOWN, SDL_SCANCODE_INTERNATIONAL5, 29},
      {SDLK_CLEAR, SDL_SCANCODE_CLEAR, 12},   {SDLK_HELP, SDL_SCANCODE_HELP, 47},
      {SDLK_MUTE, SDL_SCANCODE_MUTE, 173},    {SDLK_VOLUMEDOWN, SDL_SCANCODE_VOLUMEDOWN, 174},
      {SDLK_AUDIOPLAY, SDL_SCANCODE_AUDIOPLAY, 179}, {SDLK_AC_BACK, SDL_SCANCODE_AC_BACK, 166},
      // Keys no keyboard of the scripts' world has stay unmapped.
      {SDLK_UNKNOWN, SDL_SCANCODE_BRIGHTNESSUP, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(VirtualKeyOf(c.key, c.scan), c.vk) << SDL_GetKeyName(c.key);
}

// With the dummy video driver the host opens, takes frames and delivers a quit as a close.
TEST(SdlHost, OpensAndPresentsWithTheDummyDriver) {
  // The test names its driver itself, so it runs the same alone, under ctest and on a desktop.
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  Host host;
  ASSERT_TRUE(host.Open()) << host.Error();
  host.SetCaption("OrbaPlayer");
  host.SetClientSize(64, 48 + 22);
  std::vector<uint32_t> pixels(64 * 48, 0x00FF0000);
  host.Present({pixels.data(), 64, 48, 64}, 0, 22);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  std::vector<InputEvent> events;
  host.Poll(events);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, EventKind::CloseRequest);
}

// The window SDL has open (the host's: the tests open one at a time).
SDL_Window* OnlyWindow() {
  SDL_Window* found = nullptr;
  for (Uint32 id = 1; id < 1000 && !found; ++id) found = SDL_GetWindowFromID(id);
  return found;
}

// A pointer the script moves goes to the middle of the window pixels that show its picture
// pixel, and a pointer there comes back, through SDL, as a move onto the same picture pixel,
// at every way of filling the full screen; a window point lands where the fit puts it. (The
// dummy driver moves no real pointer: it reports the warp as a motion at the window point it
// was given, which the test then sends as the window sends a pointer seen there.)
TEST(SdlHost, AMovedPointerComesBackOnTheSamePicturePixelAtEveryFit) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  // A 100 x 60 picture on the dummy display of 1024 x 768; the window point (100, 100) is, by
  // hand: keeping the shape (scale 10.24, the picture 614 high from y 77) (9, 2); in whole
  // multiples (10: 1000 x 600 from (12, 84)) (8, 1); stretched (10.24 x 12.8) (9, 7).
  struct Case {
    Fit fit;
    int x, y;
  } cases[] = {{Fit::Aspect, 9, 2}, {Fit::Integer, 8, 1}, {Fit::Stretch, 9, 7}};
  for (const Case& c : cases) {
    ScaleOptions options;
    options.fit = c.fit;
    Host host(options);
    ASSERT_TRUE(host.Open()) << host.Error();
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0 || desktop.w != 1024 || desktop.h != 768)
      GTEST_SKIP() << "the dummy display is not 1024 x 768";
    host.SetToolbarVisible(false);
    host.SetClientSize(100, 60);
    std::vector<uint32_t> pixels(100 * 60, 0);
    host.Present({pixels.data(), 100, 60, 100}, 0, 0);
    host.Show();
    ASSERT_TRUE(host.SetFullScreen(true));
    std::vector<InputEvent> events;
    host.Poll(events);
    SDL_Window* window = OnlyWindow();
    ASSERT_NE(window, nullptr);
    int ww = 0, wh = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    EXPECT_EQ(std::pair(ww, wh), std::pair(1024, 768));
    // The pointer seen at a window point: the last move the host delivers.
    auto seenAt = [&](int wx, int wy) -> std::pair<int, int> {
      SDL_Event motion{};
      motion.type = SDL_MOUSEMOTION;
      motion.motion.windowID = SDL_GetWindowID(window);
      motion.motion.x = wx;
      motion.motion.y = wy;
      SDL_PushEvent(&motion);
      events.clear();
      host.Poll(events);
      for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->kind == EventKind::MouseMove) return {it->x, it->y};
      return {-1000, -1000};
    };
    for (auto [x, y] : {std::pair{0, 0}, {99, 59}, {37, 11}, {50, 30}}) {
      host.WarpMouse(x, y);
      SDL_PumpEvents();
      SDL_Event warped;
      int wx = -1, wy = -1;
      while (SDL_PeepEvents(&warped, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) == 1) {
        wx = warped.motion.x;
        wy = warped.motion.y;
      }
      ASSERT_GE(wx, 0) << "no warp reported";
      EXPECT_EQ(seenAt(wx, wy), std::pair(x, y)) << int(c.fit) << " at window " << wx << ", " << wy;
    }
    EXPECT_EQ(seenAt(100, 100), std::pair(c.x, c.y)) << int(c.fit);
  }
}

// A cursor file made by our icon writer, read by our reader, becomes the window's colour
// cursor; none gives the standard arrow back. The dummy driver has no cursors: there the test
// is skipped, and it runs on a virtual X display (SdlCursorUnderXvfb).
TEST(SdlHost, ACursorFileBecomesTheWindowsColourCursor) {
  if (!getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "dummy", 1);
  Host host;
  ASSERT_TRUE(host.Open()) << host.Error();
  TDIBSurface picture(8, 8, 32);
  picture.FillRect(picture.BoundsRect(), picture.RGBToPixel(0xFF, 0, 0));
  TKvMemoryStream file;
  SaveIcon(file, picture, true, {3, 5});
  TDIBSurface read;
  const TIconInfo info = LoadIcon(file.Bytes(), read);
  ASSERT_TRUE(info.Cursor);
  EXPECT_EQ(info.HotSpot, (TPoint{3, 5}));
  CursorImage image;
  image.name = "hand.cur";
  image.width = read.Width();
  image.height = read.Height();
  image.hotX = info.HotSpot.X;
  image.hotY = info.HotSpot.Y;
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x) {
      const TRGB c = read.PixelToRGB(read.GetPixel(x, y), true);
      image.pixels.push_back(0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue);
    }
  EXPECT_EQ(image.pixels[0], 0xFFFF0000u);
  SDL_Surface* probe = SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Cursor* supported = SDL_CreateColorCursor(probe, 0, 0);
  SDL_FreeSurface(probe);
  if (!supported) GTEST_SKIP() << "the " << SDL_GetCurrentVideoDriver() << " driver has no colour cursors";
  SDL_FreeCursor(supported);
  host.SetCursor(&image);
  SDL_Cursor* shown = SDL_GetCursor();
  EXPECT_NE(shown, nullptr);
  EXPECT_NE(shown, SDL_GetDefaultCursor());
  host.SetCursor(nullptr);
  EXPECT_EQ(SDL_GetCursor(), SDL_GetDefaultCursor());
}

}  // namespace
}  // namespace orba::platform::sdl
#endif

// The SDL sound device (on SDL's dummy driver) pulls its source and lets it decode ahead from
// another thread; once Close returns neither is called again.
namespace orba {
namespace {

struct CountingSource : platform::IAudioSource {
  std::atomic<int> renders{0}, prepares{0};
  void Render(int16_t* out, size_t frames) noexcept override {
    std::fill(out, out + 2 * frames, int16_t{0});
    ++renders;
  }
  void Prepare() noexcept override { ++prepares; }
};

TEST(SdlAudio, PullsTheSourceUntilClosed) {
  CountingSource source;
  platform::sdl::Audio audio;
  if (!audio.Open(100, source)) GTEST_SKIP() << "no SDL audio driver: " << audio.Error();
  for (int i = 0; i < 200 && (source.renders == 0 || source.prepares < 2); ++i) SDL_Delay(10);
  audio.Close();
  EXPECT_GT(source.renders.load(), 0);
  EXPECT_GE(source.prepares.load(), 2);
  int renders = source.renders, prepares = source.prepares;
  SDL_Delay(150);
  EXPECT_EQ(source.renders.load(), renders);
  EXPECT_EQ(source.prepares.load(), prepares);
}

}  // namespace
}  // namespace orba
