#include <gtest/gtest.h>

#include "platform/headless/headless.h"
#include "render/screen.h"

namespace orba {
namespace {

using platform::DisplayMode;
using platform::PresentPiece;

TEST(ScreenManager, ListsTheModesThatFitAndPicksTheBest) {
  struct Case {
    const char* name;
    std::vector<DisplayMode> modes;
    int desktopBits;
    std::vector<DisplayMode> kept;
    int best;
  } cases[] = {
      {"too small or too shallow is left out",
       {{320, 240, 32, 60}, {800, 600, 16, 60}, {800, 600, 15, 60}, {1024, 768, 32, 60}},
       32, {{800, 600, 16, 60}, {1024, 768, 32, 60}}, 0},
      {"nothing fits", {{320, 240, 32, 60}, {640, 480, 8, 60}}, 32, {}, -1},
      {"the preferred size wins", {{1024, 768, 32, 60}, {800, 600, 32, 60}}, 32,
       {{1024, 768, 32, 60}, {800, 600, 32, 60}}, 1},
      {"at the preferred size the lowest refresh", {{800, 600, 32, 75}, {800, 600, 32, 60}}, 32,
       {{800, 600, 32, 75}, {800, 600, 32, 60}}, 1},
      {"at the preferred size the desktop's depth", {{800, 600, 32, 60}, {800, 600, 16, 60}}, 16,
       {{800, 600, 32, 60}, {800, 600, 16, 60}}, 1},
      {"a deeper mode does not replace the desktop's depth", {{800, 600, 16, 75}, {800, 600, 32, 60}}, 16,
       {{800, 600, 16, 75}, {800, 600, 32, 60}}, 0},
  };
  for (const auto& c : cases) {
    TScreenManager screen(c.modes, c.desktopBits, 640, 480, 800, 600);
    EXPECT_EQ(screen.Modes(), c.kept) << c.name;
    EXPECT_EQ(screen.BestMode(), c.best) << c.name;
    EXPECT_EQ(screen.ModeIndex(), -1) << c.name;
  }
  TScreenManager none({}, 32, 640, 480, 640, 480);
  EXPECT_FALSE(none.SetMode(0));  // full screen is refused without a mode
  EXPECT_FALSE(none.FullScreen());
}

TEST(ScreenManager, BackBufferFollowsTheDesktop) {
  struct Case { int bits; bool is555; int format; } cases[] = {{16, false, 16}, {16, true, 15}, {24, false, 32}, {32, false, 32}};
  for (const auto& c : cases) {
    TScreenManager screen({}, c.bits, 64, 48, 64, 48, c.is555);
    EXPECT_EQ(screen.BackFormat(), c.format) << c.bits;
    EXPECT_EQ(screen.BackBuffer().PixelFormat(), c.format) << c.bits;
    EXPECT_EQ(screen.BackBuffer().Width(), 64);
  }
}

TEST(ScreenManager, PresentsDirtyRectanglesByTheZoomRule) {
  TClipList dirty;
  dirty.Add({10, 10, 20, 20});
  dirty.Add({100, 100, 110, 120});
  using Plan = std::vector<PresentPiece>;
  EXPECT_EQ(TScreenManager::PresentPlan(640, 480, dirty, {}, 100),
            (Plan{{10, 10, 20, 20, 10, 10, 20, 20}, {100, 100, 110, 120, 100, 100, 110, 120}}));
  EXPECT_EQ(TScreenManager::PresentPlan(640, 480, dirty, {}, 200),
            (Plan{{10, 10, 20, 20, 20, 20, 40, 40}, {100, 100, 110, 120, 200, 200, 220, 240}}));
  // Zoom 150 stretches the whole picture every time.
  EXPECT_EQ(TScreenManager::PresentPlan(640, 480, dirty, {}, 150), (Plan{{0, 0, 640, 480, 0, 0, 960, 720}}));
  // A zoom whose product passes 2^31 is scaled in 64 bits.
  EXPECT_EQ(TScreenManager::PresentPlan(100000, 100000, dirty, {}, 150050),
            (Plan{{0, 0, 100000, 100000, 0, 0, 150050000, 150050000}}));
  // An update rectangle replaces the dirty list; rectangles are kept inside the picture.
  EXPECT_EQ(TScreenManager::PresentPlan(640, 480, dirty, {600, 400, 700, 500}, 100),
            (Plan{{600, 400, 640, 480, 600, 400, 640, 480}}));
  EXPECT_TRUE(TScreenManager::PresentPlan(640, 480, TClipList{}, {}, 100).empty());
}

TEST(ScreenManager, PresentShowsTheChangedPartsAndCountsFrames) {
  platform::headless::CapturePresenter presenter;
  TScreenManager screen({}, 16, 8, 4, 8, 4);  // a 16-bit buffer, widened for the presenter
  screen.OrbaInitColor();
  TDIBSurface& image = screen.BackBuffer().Image();
  image.FillRect(image.BoundsRect(), screen.Grey16()[255]);
  TClipList dirty, back;
  dirty.Add({0, 0, 8, 4});
  back.Add({0, 0, 1, 1});
  screen.Present(presenter, 0, 22, dirty, back);
  EXPECT_EQ(presenter.Pixels()[0], 0xFFFFFFu);
  EXPECT_EQ(screen.FrameCount, 1);
  EXPECT_EQ(dirty.Count(), 0);
  EXPECT_EQ(back.Count(), 0);

  image.SetPixel(2, 1, screen.Grey16()[0]);
  image.SetPixel(5, 3, screen.Grey16()[0]);  // not marked dirty: not shown
  dirty.Add({2, 1, 3, 2});
  screen.Present(presenter, 0, 22, dirty, back);
  EXPECT_EQ(presenter.Pixels()[1 * 8 + 2], 0u);
  EXPECT_EQ(presenter.Pixels()[3 * 8 + 5], 0xFFFFFFu);
  EXPECT_EQ(presenter.LastPieces().size(), 1u);
  screen.Present(presenter, 0, 22, dirty, back);  // nothing dirty: no frame
  EXPECT_EQ(screen.FrameCount, 2);
  EXPECT_EQ(screen.Grey32()[0x80], 0x808080u);
}

// The presenter shows each piece where the plan puts it: at zoom 200 every pixel covers two by
// two panel pixels at twice its place, a changed pixel alone is redrawn there, and at zoom 150
// the whole picture is stretched onto a panel of 6 x 3.
TEST(ScreenManager, PresentedPiecesLandWhereTheZoomPutsThem) {
  platform::headless::CapturePresenter presenter;
  TScreenManager screen({}, 32, 4, 2, 4, 2);
  TDIBSurface& image = screen.BackBuffer().Image();
  auto value = [](int x, int y) { return static_cast<uint32_t>(0x10 * (y * 4 + x + 1)); };
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) image.SetPixel(x, y, value(x, y));
  auto shown = [&](int x, int y) { return presenter.Pixels()[static_cast<size_t>(y * presenter.Width() + x)]; };
  TClipList dirty, back;
  dirty.Add({0, 0, 4, 2});
  screen.Present(presenter, 0, 0, dirty, back, {}, 200);
  ASSERT_EQ(presenter.Width(), 8);
  ASSERT_EQ(presenter.Height(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(shown(x, y), value(x / 2, y / 2)) << x << "," << y;

  image.SetPixel(3, 1, 0xFFFFFF);
  image.SetPixel(0, 0, 0xFFFFFF);  // changed but not marked dirty: the panel keeps the old one
  dirty.Add({3, 1, 4, 2});
  screen.Present(presenter, 0, 0, dirty, back, {}, 200);
  for (auto [x, y] : {std::pair{6, 2}, {7, 2}, {6, 3}, {7, 3}}) EXPECT_EQ(shown(x, y), 0xFFFFFFu) << x << "," << y;
  EXPECT_EQ(shown(5, 3), value(2, 1));
  EXPECT_EQ(shown(0, 0), value(0, 0));

  dirty.Add({0, 0, 1, 1});
  screen.Present(presenter, 0, 0, dirty, back, {}, 150);
  ASSERT_EQ(presenter.Width(), 6);
  ASSERT_EQ(presenter.Height(), 3);
  const int columns[6] = {0, 0, 1, 2, 2, 3}, rows[3] = {0, 0, 1};  // nearest source of each panel pixel
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(shown(x, y), image.GetPixel(columns[x], rows[y])) << x << "," << y;
}

// The fire ramp keeps the colours pictures were authored against, turns them into 5-5-5 for a
// 15-bit back buffer, and never gets darker from one entry to the next.
TEST(ScreenManager, FireTableHitsItsFixedColoursAndOnlyBrightens) {
  TScreenManager s16({}, 16, 64, 48, 64, 48);
  TScreenManager s15({}, 16, 64, 48, 64, 48, true);
  s16.OrbaInitColor();
  s15.OrbaInitColor();
  struct Case { int index; uint16_t v565, v555; } cases[] = {
      {0, 0x0000, 0x0000}, {64, 0x91E0, 0x48E0}, {128, 0xDBA1, 0x6DC1}, {255, 0xFF35, 0x7F95}};
  for (const auto& c : cases) {
    EXPECT_EQ(s16.Fire16()[c.index], c.v565) << "entry " << c.index;
    EXPECT_EQ(s15.Fire16()[c.index], c.v555) << "entry " << c.index;
  }
  auto channels = [](uint32_t c) { return std::array<uint32_t, 3>{c >> 16, (c >> 8) & 0xFF, c & 0xFF}; };
  auto channels565 = [](uint32_t v) { return std::array<uint32_t, 3>{v >> 11, (v >> 5) & 0x3F, v & 0x1F}; };
  for (int i = 1; i < 256; ++i)
    for (int k = 0; k < 3; ++k) {
      EXPECT_LE(channels(s16.Fire32()[i - 1])[k], channels(s16.Fire32()[i])[k]) << "entry " << i << " channel " << k;
      EXPECT_LE(channels565(s16.Fire16()[i - 1])[k], channels565(s16.Fire16()[i])[k]) << "entry " << i << " channel " << k;
    }
  // The 32-bit table is the same ramp: its colours quantise to the 16-bit entries.
  TDIBSurface probe(1, 1, 16);
  for (int i = 0; i < 256; ++i) {
    auto c = channels(s16.Fire32()[i]);
    EXPECT_EQ(probe.RGBToPixel(static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2])),
              s16.Fire16()[i]) << "entry " << i;
  }
}

}  // namespace
}  // namespace orba
