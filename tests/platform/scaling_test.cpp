// The picture in a window of another size: where it stands for each fit, and a click on the
// window landing on the picture pixel drawn under it, at every fit and window size.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "platform/sdl/scaling.h"

namespace orba::platform::sdl {
namespace {

TEST(Scaling, PlacementsForEveryFit) {
  struct Case {
    Fit fit;
    int outW, outH;
    Placement want;  // worked out by hand for a 640 x 480 picture
  } cases[] = {
      {Fit::Aspect, 1920, 1080, {240, 0, 1440, 1080}},  // full screen on a wide desktop
      {Fit::Integer, 1920, 1080, {320, 60, 1280, 960}},
      {Fit::Stretch, 1920, 1080, {0, 0, 1920, 1080}},
      {Fit::Aspect, 1000, 700, {33, 0, 933, 700}},
      {Fit::Aspect, 1000, 1000, {0, 125, 1000, 750}},
      {Fit::Integer, 700, 500, {30, 10, 640, 480}},
      {Fit::Integer, 600, 400, {-20, -40, 640, 480}},  // smaller than the picture: 1 x, centred
      {Fit::Aspect, 640, 480, {0, 0, 640, 480}},
  };
  for (const Case& c : cases) {
    Placement p = PicturePlacement(c.fit, c.outW, c.outH, 640, 480);
    EXPECT_EQ((std::array{p.x, p.y, p.w, p.h}), (std::array{c.want.x, c.want.y, c.want.w, c.want.h}))
        << int(c.fit) << " " << c.outW << "x" << c.outH;
  }
}

TEST(Scaling, AClickLandsOnThePixelDrawnUnderIt) {
  const int w = 640, h = 480;
  // A click in the middle of the window is the middle of the picture in every fit: (320, 240)
  // is drawn from window point (960, 540) onwards on a 1920 x 1080 screen.
  for (Fit fit : {Fit::Aspect, Fit::Integer, Fit::Stretch}) {
    Placement p = PicturePlacement(fit, 1920, 1080, w, h);
    int px, py;
    WindowToPicture(p, w, h, 960, 540, px, py);
    EXPECT_EQ(px, 320) << int(fit);
    EXPECT_EQ(py, 240) << int(fit);
    // Just left of and above the picture is outside it, never its first column or row.
    WindowToPicture(p, w, h, p.x - 1, p.y - 1, px, py);
    EXPECT_EQ(px, -1) << int(fit);
    EXPECT_EQ(py, -1) << int(fit);
  }
  // Every pixel: the window point the pointer is moved to for it maps back to it, and the
  // placement's first and last window pixels are the picture's first and last.
  for (Fit fit : {Fit::Aspect, Fit::Integer, Fit::Stretch})
    for (auto [ow, oh] : {std::pair{1920, 1080}, {1000, 700}, {700, 500}, {641, 1201}, {640, 480}}) {
      Placement p = PicturePlacement(fit, ow, oh, w, h);
      int px, py;
      WindowToPicture(p, w, h, p.x, p.y, px, py);
      EXPECT_EQ(px + py, 0);
      WindowToPicture(p, w, h, p.x + p.w - 1, p.y + p.h - 1, px, py);
      EXPECT_EQ(px, w - 1);
      EXPECT_EQ(py, h - 1);
      for (int x = 0; x < w; x += 7)
        for (int y = 0; y < h; y += 5) {
          int wx, wy;
          PictureToWindow(p, w, h, x, y, wx, wy);
          WindowToPicture(p, w, h, wx, wy, px, py);
          ASSERT_EQ(px, x) << int(fit) << " " << ow << "x" << oh;
          ASSERT_EQ(py, y) << int(fit) << " " << ow << "x" << oh;
        }
    }
}

}  // namespace
}  // namespace orba::platform::sdl
