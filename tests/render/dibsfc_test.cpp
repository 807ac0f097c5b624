// Exact values of the DIB surface's conversions and drawing formulas per depth.
#include <gtest/gtest.h>

#include <cstdint>

#include "base/error.h"
#include "render/dibsfc.h"

namespace orba {
namespace {

// A 1x1 surface of the given format holding one pixel.
void One(TDIBSurface& s, int32_t format, uint32_t v) {
  s.SetSize(1, 1, format);
  s.SetPixel(0, 0, v);
}

struct BlendCase {
  int32_t format;
  uint32_t src, dst;
  int32_t opacity;
  int64_t key;
  uint32_t want;
};

TEST(DIBSurface, DrawBlendFormulasPerDepth) {
  const BlendCase cases[] = {
      // 32 bits: shift by 8, top byte cleared, the key compared as a stored value.
      {32, 0xFFFFFF, 0x000000, 254, -1, 0xFDFDFD},
      {32, 0xFF102030, 0x00FFFFFF, 128, -1, 0x868E96},
      {32, 0x00112233, 0x00445566, 100, 0x112233, 0x445566},
      {32, 0xFFFFFFFF, 0x00000000, 100, -1, 0x00000000},  // -1 matches a stored 0xFFFFFFFF
      // 24 bits: divide by 255 per byte; white stays white at 254.
      {24, 0xFFFFFF, 0xFFFFFF, 254, -1, 0xFFFFFF},
      {24, 0xFFFFFF, 0x000000, 254, -1, 0xFEFEFE},
      {24, 0x102030, 0xFFFFFF, 128, -1, 0x878F97},
      {24, 0x102030, 0xFFFFFF, 128, 0x102030, 0xFFFFFF},
      // 16 and 15 bits: per channel mask, divide by 255. White at 128 in 5-6-5: red 63488 * 128
      // div 255 = 31868, masked 0x7800 (15 of 31); green 2016 * 128 div 255 = 1011, masked 0x3E0
      // (31 of 63); blue 31 * 128 div 255 = 15. At 200 in 5-5-5: 24 of 31 in each channel.
      {16, 0xFFFF, 0x0000, 128, -1, 0x7BEF},
      {15, 0x7FFF, 0x0000, 200, -1, 0x6318},
      {16, 0x1234, 0xFFFF, 100, 0x1234, 0xFFFF},
      // 255 falls back to the keyed copy.
      {32, 0xFF123456, 0, 255, -1, 0xFF123456},
      {16, 0x1234, 0, 255, -1, 0x1234},
      // 0 draws nothing.
      {32, 0x123456, 0x654321, 0, -1, 0x654321},
  };
  for (const BlendCase& c : cases) {
    TDIBSurface src, dst;
    One(src, c.format, c.src);
    One(dst, c.format, c.dst);
    dst.DrawBlend(0, 0, c.opacity, c.key, src.BoundsRect(), src);
    EXPECT_EQ(dst.GetPixel(0, 0), c.want) << "format " << c.format << " src " << std::hex << c.src << " dst "
                                          << c.dst << std::dec << " opacity " << c.opacity;
  }
}

TEST(DIBSurface, DrawBlendDithersAtEightBits) {
  // Level c copies exactly c + 1 of the 16 cells of every 4x4 block, placed by destination position.
  TDIBSurface src(8, 8, 8), dst(8, 8, 8);
  src.FillRect(src.BoundsRect(), 7);
  for (int32_t opacity : {1, 15, 16, 100, 239}) {
    dst.FillRect(dst.BoundsRect(), 0);
    dst.DrawBlend(0, 0, opacity, -1, src.BoundsRect(), src);
    int copied = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) copied += dst.GetPixel(x, y) == 7;
    EXPECT_EQ(copied, 4 * (opacity / 16 + 1)) << "opacity " << opacity;
  }
  dst.FillRect(dst.BoundsRect(), 0);
  dst.DrawBlend(0, 0, 5, -1, src.BoundsRect(), src);
  EXPECT_EQ(dst.GetPixel(0, 0), 7u);
  EXPECT_EQ(dst.GetPixel(1, 0), 0u);
  EXPECT_EQ(dst.GetPixel(4, 4), 7u);
  dst.FillRect(dst.BoundsRect(), 0);
  dst.DrawBlend(0, 0, 240, 7, src.BoundsRect(), src);  // keyed copy: every pixel is the key
  EXPECT_EQ(dst.GetPixel(3, 3), 0u);
}

struct AlphaCase {
  int32_t format;
  uint32_t src, dst;
  uint8_t alpha;
  int32_t opacity;
  uint32_t want;
};

TEST(DIBSurface, DrawAlphaFormulasPerDepth) {
  const AlphaCase cases[] = {
      {32, 0xFFFFFF, 0x000000, 0, 255, 0x000000},
      {32, 0xAA123456, 0x000000, 255, 255, 0xAA123456},
      {32, 0xFFFFFF, 0x000000, 128, 255, 0x7F7F7F},
      {32, 0xFFFFFF, 0x000000, 128, 10, 0x7F7F7F},  // opacity only matters at 24 bits
      {24, 0xFFFFFF, 0x000000, 128, 255, 0x7F7F7F},
      {24, 0xFFFFFF, 0x000000, 255, 255, 0xFFFFFF},
      {24, 0xFFFFFF, 0x000000, 255, 128, 0x7E7E7E},  // weight (255 * 128) >> 8 = 127, shr 8
      {24, 0xFFFFFF, 0x000000, 1, 255, 0x000000},
      {24, 0xFFFFFF, 0x000000, 1, 200, 0x000000},    // 1 * 200 < 256: skipped
      // 5-6-5 white through alpha 128, shr 8: red 0x7C00 masked 0x7800, green 0x3F0 masked 0x3E0, blue 15.
      {16, 0xFFFF, 0x0000, 128, 255, 0x7BEF},
      {8, 9, 3, 127, 255, 3},
      {8, 9, 3, 128, 255, 9},
  };
  for (const AlphaCase& c : cases) {
    TDIBSurface src, dst;
    One(src, c.format, c.src);
    One(dst, c.format, c.dst);
    src.CreateAlpha();
    src.Alpha()->SetPixel(0, 0, c.alpha);
    dst.DrawAlpha(0, 0, c.opacity, src.BoundsRect(), src);
    EXPECT_EQ(dst.GetPixel(0, 0), c.want) << "format " << c.format << " alpha " << int(c.alpha) << " opacity "
                                          << c.opacity;
  }
}

TEST(DIBSurface, DrawAlphaWithoutPlaneIsUnkeyedBlend) {
  TDIBSurface src, a, b;
  One(src, 32, 0xFFFFFFFF);
  One(a, 32, 0x102030);
  One(b, 32, 0x102030);
  a.DrawAlpha(0, 0, 100, src.BoundsRect(), src);
  b.DrawBlend(0, 0, 100, -1, src.BoundsRect(), src);
  EXPECT_EQ(a.GetPixel(0, 0), b.GetPixel(0, 0));
}

TEST(DIBSurface, DrawKeyedSkipsKeyAtEveryDepth) {
  for (int32_t format : {1, 4, 8, 15, 16, 24, 32}) {
    TDIBSurface src(4, 1, format), dst(4, 1, format);
    uint32_t a = 1, b = format == 1 ? 0 : 2;
    src.SetPixel(0, 0, a); src.SetPixel(1, 0, b); src.SetPixel(2, 0, a); src.SetPixel(3, 0, b);
    uint32_t fill = format == 1 ? 0 : 3;
    dst.FillRect(dst.BoundsRect(), fill);
    dst.DrawKeyed(0, 0, a, src.BoundsRect(), src);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(dst.GetPixel(i, 0), i % 2 ? b : fill) << "format " << format << " x " << i;
  }
}

TEST(DIBSurface, ClipAndSourceBounds) {
  TDIBSurface src(4, 4, 32), dst(8, 8, 32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, 0x100 * y + x + 1);
  // A source rectangle reaching outside the source is cut and the destination point moves.
  dst.DrawKeyed(2, 2, -2, TRect{-1, -1, 6, 6}, src);
  EXPECT_EQ(dst.GetPixel(2, 2), 0u);
  EXPECT_EQ(dst.GetPixel(3, 3), 1u);
  EXPECT_EQ(dst.GetPixel(6, 6), 0x304u);
  EXPECT_EQ(dst.GetPixel(7, 7), 0u);
  // An empty clip draws nothing; resetting it draws everywhere.
  TDIBSurface d2(8, 8, 32);
  d2.SetClipRect(TRect{3, 3, 3, 8});
  d2.DrawRect(0, 0, src.BoundsRect(), src);
  d2.DrawBlend(0, 0, 100, -1, src.BoundsRect(), src);
  EXPECT_EQ(d2.KeyBounds(0), TRect{});
  d2.SetClipRect(TRect{1, 1, 3, 2});
  d2.DrawRect(0, 0, src.BoundsRect(), src);
  EXPECT_EQ(d2.KeyBounds(0), (TRect{1, 1, 3, 2}));
  d2.ResetClip();
  d2.DrawRect(5, 5, src.BoundsRect(), src);
  EXPECT_EQ(d2.GetPixel(7, 7), 0x203u);
}

TEST(DIBSurface, ColourConversions) {
  TDIBSurface s16(1, 1, 16), s15(1, 1, 15), s24(1, 1, 24), s32(1, 1, 32);
  EXPECT_EQ(s16.PixelFormat(), 16);
  EXPECT_EQ(s15.PixelFormat(), 15);
  EXPECT_EQ(s16.RGBToPixel(0xFF, 0x80, 0x08), 0xF800u | (0x80 >> 2) << 5 | 1u);
  EXPECT_EQ(s15.RGBToPixel(0xFF, 0x80, 0x08), 0x7C00u | (0x80 >> 3) << 5 | 1u);
  EXPECT_EQ(s24.RGBToPixel(1, 2, 3), 0x010203u);
  EXPECT_EQ(s32.RGBToPixel(1, 2, 3), 0x010203u);
  EXPECT_EQ(s16.PixelToRGB(0xFFFF, false), (TRGB{0xF8, 0xFC, 0xF8}));
  EXPECT_EQ(s16.PixelToRGB(0xFFFF, true), (TRGB{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(s15.PixelToRGB(0x0421, true), (TRGB{0x0F, 0x0F, 0x0F}));
  EXPECT_EQ(s16.PixelToRGB(0, true), (TRGB{0, 0, 0}));
  EXPECT_EQ(s15.PackComponents(31, 31, 31), 0x7FFFu);
  EXPECT_EQ(s16.PackComponents(31, 63, 31), 0xFFFFu);
  EXPECT_EQ(s32.PackComponents(1, 2, 3), 0x010203u);
  TDIBSurface p(1, 1, 8);
  p.Palette()[5] = {10, 20, 30, 0};
  EXPECT_EQ(p.RGBToPixel(31, 19, 9), 5u);
  EXPECT_EQ(p.PixelToRGB(5, false), (TRGB{30, 20, 10}));
}

TEST(DIBSurface, KeyBoundsAndAutoCrop) {
  TDIBSurface s(6, 5, 8);
  EXPECT_EQ(s.KeyBounds(0), TRect{});
  EXPECT_EQ(s.KeyBounds(-1), (TRect{0, 0, 6, 5}));
  s.AutoCrop(0);
  EXPECT_EQ(s.Width(), 1);
  EXPECT_EQ(s.Height(), 1);
  TDIBSurface t(6, 5, 8);
  t.SetPixel(1, 3, 4);
  t.SetPixel(4, 2, 4);
  EXPECT_EQ(t.KeyBounds(0), (TRect{1, 2, 5, 4}));
  t.AutoCrop(0);
  EXPECT_EQ(t.Width(), 4);
  EXPECT_EQ(t.GetPixel(0, 1), 4u);
}

// A copy of a rectangle whose sides are each near 2^32 is refused, not multiplied past
// 64 bits (found by fuzzing).
TEST(DIBSurface, CopyOfAHugeRectangleIsRefused) {
  TDIBSurface src(4, 4, 32), dst;
  EXPECT_THROW(dst.CopyFrom(src, TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, false), EOrbaError);
  EXPECT_THROW(dst.CopyFrom(src, TRect{0, 0, 1 << 14, 1 << 13}, false), EOrbaError);
  dst.CopyFrom(src, TRect{1, 1, 3, 4}, false);
  EXPECT_EQ(dst.Width(), 2);
  EXPECT_EQ(dst.Height(), 3);
}

TEST(DIBSurface, FindUnusedIndex) {
  TDIBSurface one(3, 1, 1), four(2, 1, 4), deep(1, 1, 24);
  EXPECT_EQ(one.FindUnusedIndex(), 1);
  one.SetPixel(1, 0, 1);
  EXPECT_EQ(one.FindUnusedIndex(), -1);
  four.SetPixel(0, 0, 1);
  EXPECT_EQ(four.FindUnusedIndex(), 2);
  EXPECT_EQ(deep.FindUnusedIndex(), -1);
}

TEST(DIBSurface, SubBytePixelsAndFill) {
  TDIBSurface s(13, 2, 1);
  s.FillRect(TRect{2, 0, 11, 1}, 1);
  EXPECT_EQ(s.ScanLine(0)[0], 0x3F);
  EXPECT_EQ(s.ScanLine(0)[1], 0xE0);
  TDIBSurface f(3, 1, 4);
  f.FillRect(f.BoundsRect(), 0xA);
  EXPECT_EQ(f.ScanLine(0)[0], 0xAA);
  EXPECT_EQ(f.ScanLine(0)[1], 0xA0);
  TDIBSurface h(2, 1, 15);
  h.FillRect(h.BoundsRect(), 0xFFFF);
  EXPECT_EQ(h.GetPixel(1, 0), 0x7FFFu);
}

TEST(DIBSurface, MirrorFlipAndAlphaFollowsSize) {
  TDIBSurface s(3, 2, 24);
  s.SetPixel(0, 0, 1);
  s.CreateAlpha();
  s.Alpha()->SetPixel(0, 0, 9);
  s.MirrorHorizontal();
  s.FlipVertical();
  EXPECT_EQ(s.GetPixel(2, 1), 1u);
  EXPECT_EQ(s.Alpha()->GetPixel(2, 1), 9u);
  s.SetSize(5, 4, 24);
  EXPECT_EQ(s.Alpha()->Width(), 5);
  s.Clear();
  EXPECT_EQ(s.Alpha(), nullptr);
}

TEST(DIBSurface, ResizeSmoothAndPlain) {
  TDIBSurface s(2, 2, 32);
  s.SetPixel(0, 0, 0xFFFFFF);
  s.SetPixel(1, 1, 0xFFFFFF);
  TDIBSurface box;
  box.Assign(s);
  box.Resize(1, 1, -1, true);
  EXPECT_EQ(box.BitCount(), 24);
  EXPECT_EQ(box.GetPixel(0, 0), 0x808080u);  // round(127.5) to even is 128
  TDIBSurface plain;
  plain.Assign(s);
  plain.Resize(4, 4, -1, false);
  EXPECT_EQ(plain.BitCount(), 32);
  EXPECT_EQ(plain.GetPixel(1, 1), 0xFFFFFFu);
  EXPECT_EQ(plain.GetPixel(2, 1), 0u);
  TDIBSurface grow;
  grow.Assign(s);
  grow.Resize(4, 2, -1, true);
  EXPECT_EQ(grow.GetPixel(1, 0), 0x808080u);
}

TEST(DIBSurface, ReduceColorsKeepsFewColoursExactly) {
  TDIBSurface s(4, 4, 24);
  const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) s.SetPixel(x, y, colours[(x + y) % 4]);
  s.ReduceColors(4, 0, false);
  ASSERT_EQ(s.BitCount(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      TRGB c = s.PixelToRGB(s.GetPixel(x, y), false);
      EXPECT_EQ(static_cast<uint32_t>(c.Red << 16 | c.Green << 8 | c.Blue), colours[(x + y) % 4]);
    }
}

TEST(DIBSurface, ReduceToOneBitDithersAGradient) {
  TDIBSurface s(64, 8, 24);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 64; ++x) s.SetPixel(x, y, (x * 4) * 0x010101u);
  TDIBSurface plain, dithered;
  plain.Assign(s);
  dithered.Assign(s);
  plain.ReduceColors(1, 0, false);
  dithered.ReduceColors(1, 0, true);
  ASSERT_EQ(dithered.BitCount(), 1);
  // Without dithering the middle column band is one colour; with it both colours mix there.
  auto mixed = [](const TDIBSurface& t) {
    bool seen[2] = {false, false};
    for (int y = 0; y < 8; ++y)
      for (int x = 28; x < 36; ++x) seen[t.GetPixel(x, y)] = true;
    return seen[0] && seen[1];
  };
  EXPECT_TRUE(mixed(dithered));
  EXPECT_NE(dithered.PixelToRGB(0, false), dithered.PixelToRGB(1, false));
  EXPECT_LT(plain.PixelToRGB(plain.GetPixel(0, 0), false).Red, plain.PixelToRGB(plain.GetPixel(63, 0), false).Red);
}

TEST(DIBSurface, DrawConvertedMapsPalettes) {
  TDIBSurface src(2, 1, 8), dst(2, 1, 8);
  src.Palette()[1] = {0, 0, 255, 0};
  dst.Palette()[7] = {0, 0, 250, 0};
  src.SetPixel(0, 0, 1);
  dst.DrawConverted(0, 0, -1, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 7u);
  TDIBSurface wide(2, 1, 32);
  wide.DrawConverted(0, 0, -1, src);
  EXPECT_EQ(wide.GetPixel(0, 0), 0xFF0000u);
}

}  // namespace
}  // namespace orba
