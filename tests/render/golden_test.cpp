// Stretch, rotate-and-zoom, tiling and the wave proxy, drawn into small canvases and compared
// pixel for pixel with golden pictures. Set ORBA_WRITE_GOLDEN=1 to write them anew after a
// deliberate change, then look at them before committing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "base/stream.h"
#include "render/dibx.h"
#include "render/imagefiles.h"

namespace orba {
namespace {

std::string GoldenPath(const std::string& name) {
  return std::string(ORBA_SOURCE_DIR) + "/tests/render/fixtures/golden_" + name + ".png";
}

// A 24 x 16 picture with a frame, a diagonal and a corner marker, so turns and mirrors show.
void MakeSource(TDIBX& s, int32_t format) {
  s.SetSize(24, 16, format);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 24; ++x) {
      uint32_t r = x * 10, g = y * 15, b = 128;
      if (x == 0 || y == 0 || x == 23 || y == 15) r = g = b = 255;
      if (x == y) { r = 255; g = b = 0; }
      if (x < 4 && y < 4) { r = 0; g = 0; b = 255; }
      s.SetPixel(x, y, static_cast<uint32_t>(s.ColorToPixel(r | g << 8 | b << 16)));
    }
  s.TransparentColor = s.ColorToPixel(0xFF0000);  // the blue corner
}

void CheckGolden(const std::string& name, TDIBX& canvas) {
  SCOPED_TRACE(name);
  if (std::getenv("ORBA_WRITE_GOLDEN")) {
    TKvMemoryStream out;
    SavePng(out, canvas.Image());
    WriteFileBytes(GoldenPath(name), out.Bytes());
    return;
  }
  TDIBSurface golden;
  LoadPng(ReadFileBytes(GoldenPath(name)), golden, false);
  ASSERT_EQ(golden.Width(), canvas.Width());
  ASSERT_EQ(golden.Height(), canvas.Height());
  int32_t differing = 0;
  for (int32_t y = 0; y < golden.Height(); ++y)
    for (int32_t x = 0; x < golden.Width(); ++x) {
      TRGB a = golden.PixelToRGB(golden.GetPixel(x, y), false);
      TRGB b = canvas.Image().PixelToRGB(canvas.GetPixel(x, y), false);
      if (!(a == b) && differing++ < 5)
        ADD_FAILURE() << "pixel " << x << "," << y << " differs from the golden picture";
    }
  EXPECT_EQ(differing, 0);
}

void Canvas(TDIBX& c, int32_t w, int32_t h, int32_t format) {
  c.SetSize(w, h, format);
  c.Clear(static_cast<uint32_t>(c.ColorToPixel(0x202020)));
}

TEST(Golden, Stretch) {
  for (int32_t format : {16, 32}) {
    TDIBX src, c;
    MakeSource(src, format);
    Canvas(c, 128, 96, format);
    const TRect whole{0, 0, 24, 16};
    c.StretchDraw(TRect{2, 2, 55, 39}, whole, 255, false, false, false, src);
    c.StretchDraw(TRect{60, 2, 71, 9}, whole, 255, false, false, false, src);
    c.StretchDraw(TRect{75, 2, 126, 30}, whole, 255, true, true, true, src);
    c.StretchDraw(TRect{-20, 45, 40, 94}, TRect{2, 2, 20, 14}, 128, false, true, false, src);
    c.StretchDrawAdd(TRect{50, 45, 126, 70}, whole, 160, false, false, src);
    c.StretchDraw(TRect{50, 72, 130, 100}, whole, 255, true, false, false, src);
    CheckGolden("stretch" + std::to_string(format), c);
  }
}

TEST(Golden, RotateAndZoom) {
  for (int32_t angle : {0, 32, 64, 96, 45}) {
    TDIBX src, c;
    MakeSource(src, 32);
    Canvas(c, 160, 120, 32);
    c.DrawRotate(30, 30, 255, false, false, false, angle, 8, 12, TRect{0, 0, 24, 16}, src, 256, 256);
    c.DrawRotate(90, 30, 255, false, false, true, angle, 8, 12, TRect{0, 0, 24, 16}, src, 128, 128);
    c.DrawRotate(40, 85, 200, false, true, false, angle, 0, 0, TRect{0, 0, 24, 16}, src, 384, 384);
    c.DrawRotate(125, 85, 255, true, false, false, angle, 8, 12, TRect{0, 0, 24, 16}, src, 400, 200);
    c.DrawRotate(158, 5, 255, false, false, false, angle, 8, 12, TRect{0, 0, 24, 16}, src, 512, 512);
    EXPECT_EQ(RotatedBounds(30, 30, angle, 12, 8, TRect{0, 0, 24, 16}, 256, 256).IsEmpty(), false);
    CheckGolden("rotate" + std::to_string(angle), c);
  }
}

TEST(Golden, TilingAtNegativeOffsets) {
  TDIBX src, c, mask;
  MakeSource(src, 32);
  Canvas(c, 100, 80, 32);
  c.TileDraw(TRect{3, 3, 97, 37}, TRect{0, 0, 24, 16}, -5, -3, 0, 0, false, src);
  c.TileDraw(TRect{3, 40, 60, 77}, TRect{2, 2, 12, 10}, -13, -21, 2, 3, true, src);
  c.TileDrawScaled(TRect{62, 40, 97, 77}, TRect{0, 0, 24, 16}, -7, -2, 0x8000 + 0x1234, 0x9000, 255, false, src);
  CheckGolden("tile", c);
}

TEST(Golden, WaveProxy) {
  TDIBX src, target;
  MakeSource(src, 32);
  Canvas(target, 96, 64, 32);
  TDIBXWave wave(target);
  wave.OriginX = 8;
  wave.OriginY = 4;
  wave.SetSize(80, 56, 32);
  for (int32_t i = 0; i < 56; ++i) wave.Offsets[i] = static_cast<int32_t>(std::lround(5 * std::sin(i / 4.0)));
  wave.FillRect(TRect{8, 4, 88, 60}, static_cast<uint32_t>(wave.ColorToPixel(0x004000)));
  wave.Draw(12, 6, false, false, false, TRect{0, 0, 24, 16}, src);
  wave.StretchDraw(TRect{40, 6, 86, 40}, TRect{0, 0, 24, 16}, 180, false, false, false, src);
  wave.DrawRotate(24, 44, 255, false, false, false, 20, 8, 12, TRect{0, 0, 24, 16}, src, 256, 256);
  wave.BlendRect(TRect{0, 50, 96, 64}, static_cast<uint32_t>(wave.ColorToPixel(0xFFFFFF)), 100);
  CheckGolden("wave", target);
}

}  // namespace
}  // namespace orba
