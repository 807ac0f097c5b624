// The drawing surface's formulas per format, its clipping with mirrored walks, the fast row
// loops against the plain per-channel formulas, and the wave proxy's bands.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "render/dibx.h"
#include "render/pixelops.h"

namespace orba {
namespace {

const uint32_t kMasks15[3] = {0x7C00, 0x03E0, 0x001F};
const uint32_t kMasks16[3] = {0xF800, 0x07E0, 0x001F};
const uint32_t kMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
const uint32_t kMasks8[3] = {0, 0, 0xFF};

const uint32_t* MasksOf(int format) {
  switch (format) {
    case 15: return kMasks15;
    case 16: return kMasks16;
    case 8: return kMasks8;
    default: return kMasks32;
  }
}

// The plain formulas, channel by channel.
uint32_t PlainBlend(int format, uint32_t d, uint32_t s, uint32_t a) {
  if (d == s) return d;
  uint32_t r = 0;
  for (int c = 0; c < 3; ++c) {
    uint32_t m = MasksOf(format)[c];
    r |= (((d & m) * (255 - a) + (s & m) * a) >> 8) & m;
  }
  return r;
}
uint32_t PlainAdd(int format, uint32_t d, uint32_t s, uint32_t amount) {
  uint32_t r = 0;
  for (int c = 0; c < 3; ++c) {
    uint32_t m = MasksOf(format)[c];
    r |= std::min<uint64_t>(m, (d & m) + ((((uint64_t)(s & m) * amount) >> 8) & m));
  }
  return r;
}
uint32_t PlainSub(int format, uint32_t d, uint32_t v) {
  uint32_t r = 0;
  for (int c = 0; c < 3; ++c) {
    uint32_t m = MasksOf(format)[c];
    r |= (d & m) > (v & m) ? (d & m) - (v & m) : 0;
  }
  return r;
}

uint32_t AllBits(int format) {
  switch (format) {
    case 8: return 0xFF;
    case 15: return 0x7FFF;
    case 16: return 0xFFFF;
    case 24: return 0xFFFFFF;
    default: return 0xFFFFFFFF;
  }
}

void FillRandom(TDIBX& s, std::mt19937& rng, uint32_t limit) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, rng() & limit);
}

struct RectCase {
  int format;
  uint32_t d, v;
  int alpha;
  uint32_t blend, add, sub;
};

TEST(DIBX, RectFormulasPerFormat) {
  const RectCase cases[] = {
      {32, 0x000000, 0xFFFFFF, 255, 0xFEFEFE, 0xFFFFFF, 0x000000},
      {32, 0x808080, 0x808080, 100, 0x808080, 0xFFFFFF, 0x000000},  // equal pixels stay
      {32, 0x10F020, 0x201010, 128, 0x177F17, 0x30FF30, 0x00E010},
      {24, 0x10F020, 0x201010, 128, 0x177F17, 0x30FF30, 0x00E010},
      {16, 0x0000, 0xFFFF, 128, PlainBlend(16, 0, 0xFFFF, 128), 0xFFFF, 0x0000},
      {16, 0xF81F, 0x0821, 200, PlainBlend(16, 0xF81F, 0x0821, 200), 0xF83F, PlainSub(16, 0xF81F, 0x0821)},
      {15, 0x7C1F, 0x0421, 200, PlainBlend(15, 0x7C1F, 0x0421, 200), 0x7C3F, 0x781E},
      {8, 200, 100, 128, (200 * 127 + 100 * 128) >> 8, 255, 100},
  };
  for (const RectCase& c : cases) {
    TDIBX a, b, s;
    for (TDIBX* x : {&a, &b, &s}) x->SetSize(1, 1, c.format);
    a.SetPixel(0, 0, c.d);
    b.SetPixel(0, 0, c.d);
    s.SetPixel(0, 0, c.d);
    a.BlendRect(TRect{0, 0, 1, 1}, c.v, c.alpha);
    b.AddRect(TRect{0, 0, 1, 1}, c.v);
    s.SubtractRect(TRect{0, 0, 1, 1}, c.v);
    EXPECT_EQ(a.GetPixel(0, 0), c.blend) << "blend, format " << c.format;
    EXPECT_EQ(b.GetPixel(0, 0), c.add) << "add, format " << c.format;
    EXPECT_EQ(s.GetPixel(0, 0), c.sub) << "subtract, format " << c.format;
  }
}

TEST(DIBX, DrawBlendAt255IsNotACopy) {
  TDIBX d, s;
  d.SetSize(2, 1, 32);
  s.SetSize(2, 1, 32);
  s.SetPixel(0, 0, 0x80FF40);
  s.SetPixel(1, 0, 0x123456);
  d.SetPixel(1, 0, 0x123456);
  d.DrawBlend(0, 0, 255, false, false, false, TRect{0, 0, 2, 1}, s);
  EXPECT_EQ(d.GetPixel(0, 0), 0x7FFE3Fu);
  EXPECT_EQ(d.GetPixel(1, 0), 0x123456u);
  d.DrawBlend(0, 0, 0, false, false, false, TRect{0, 0, 2, 1}, s);
  EXPECT_EQ(d.GetPixel(0, 0), 0x7FFE3Fu);
}

// Every blit kind, through the fast row loops, against the plain formulas per pixel; rows of
// odd length so vector bodies and their tails both run, forward and mirrored. Each variant of
// the rows this machine runs is checked: the baseline every processor gets, and the widest.
TEST(DIBX, FastRowsMatchPlainFormulas) {
  std::vector<const pixelops::TPixelRows*> variants{&pixelops::BaselineRows()};
  if (const pixelops::TPixelRows* wide = pixelops::WideRows()) variants.push_back(wide);
  else std::printf("this processor runs only the baseline rows\n");
  for (const pixelops::TPixelRows* rows : variants) {
    pixelops::UsePixelRows(*rows);
    std::mt19937 rng(7);
    for (int format : {8, 15, 16, 24, 32}) {
      uint32_t all = AllBits(format);
      TDIBX src, dst, mask;
      src.SetSize(37, 3, format);
      dst.SetSize(37, 3, format);
      mask.SetSize(37, 3, 8);
      for (int kind = 0; kind < 8; ++kind)
        for (bool flipH : {false, true}) {
          FillRandom(src, rng, all);
          FillRandom(dst, rng, all);
          FillRandom(mask, rng, 0xFF);
          // Some equal pixels, some key pixels, some mask extremes.
          for (int i = 0; i < 37; i += 5) dst.SetPixel(i, 1, src.GetPixel(flipH ? 36 - i : i, 1));
          for (int i = 0; i < 37; i += 7) { mask.SetPixel(i, 0, 0); mask.SetPixel(i + 1, 0, 255); }
          uint32_t key = src.GetPixel(3, 2);
          src.TransparentColor = kind == 7 ? -1 : key;  // kind 7: a full add without a key
          TDIBSurface before;
          before.Assign(dst.Image());
          const int amount = 77 + kind * 30;
          const TRect all3{0, 0, 37, 3};
          switch (kind) {
            case 0: dst.DrawBlend(0, 0, amount, false, flipH, true, all3, src); break;
            case 1: dst.DrawMasked(0, 0, mask, false, flipH, all3, src); break;
            case 2: dst.DrawBlendMasked(0, 0, amount, mask, false, flipH, all3, src); break;
            case 3: dst.DrawAdd(0, 0, amount, false, flipH, all3, src); break;
            case 4: dst.DrawAddMasked(0, 0, amount, mask, false, flipH, all3, src); break;
            case 5: dst.DrawAdd(0, 0, 256, false, flipH, all3, src); break;
            case 6: dst.Draw(0, 0, false, flipH, true, all3, src); break;
            case 7: dst.DrawAdd(0, 0, 256, false, flipH, all3, src); break;
          }
          for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 37; ++x) {
              int sx = flipH ? 36 - x : x;
              uint32_t s = src.GetPixel(sx, y), d = before.GetPixel(x, y), k = mask.GetPixel(sx, y), want = d;
              switch (kind) {
                case 0: want = s == key ? d : PlainBlend(format, d, s, amount); break;
                case 1: want = k == 0 ? d : k == 255 ? s : PlainBlend(format, d, s, k); break;
                case 2: want = (k * amount >> 8) == 0 ? d : PlainBlend(format, d, s, k * amount >> 8); break;
                case 3: want = s == key ? d : PlainAdd(format, d, s, amount); break;
                case 4: want = (k * amount >> 8) == 0 ? d : PlainAdd(format, d, s, k * amount >> 8); break;
                case 5: want = s == key ? d : PlainAdd(format, d, s, 256); break;
                case 6: want = s == key ? d : s; break;
                case 7: want = PlainAdd(format, d, s, 256); break;
              }
              ASSERT_EQ(dst.GetPixel(x, y), want)
                  << rows->name << " format " << format << " kind " << kind << " flipH " << flipH << " at " << x << "," << y;
            }
        }
    }
  }
  pixelops::UsePixelRows(pixelops::WideRows() ? *pixelops::WideRows() : pixelops::BaselineRows());
}

TEST(DIBX, ClippingMovesTheMirroredEdge) {
  TDIBX src, dst;
  src.SetSize(4, 1, 32);
  for (int i = 0; i < 4; ++i) src.SetPixel(i, 0, i + 1);
  dst.SetSize(4, 1, 32);
  // Cut one pixel on the left: plain keeps source 2..4, mirrored keeps 3..1 (right edge moved).
  dst.Draw(-1, 0, false, false, false, TRect{0, 0, 4, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 2u);
  dst.Draw(-1, 0, false, true, false, TRect{0, 0, 4, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 3u);
  EXPECT_EQ(dst.GetPixel(2, 0), 1u);
  // A source rectangle outside its surface never reads outside it.
  dst.Clear(0);
  dst.Draw(0, 0, false, false, false, TRect{-2, 0, 2, 1}, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  EXPECT_EQ(dst.GetPixel(2, 0), 1u);
  EXPECT_EQ(dst.GetPixel(3, 0), 2u);
  dst.Clear(0);
  dst.Draw(0, 0, false, false, false, TRect{100, 0, 104, 1}, src);
  EXPECT_EQ(dst.Image().KeyBounds(0), TRect{});
  // An empty clip draws nothing; IncludeRect grows it; ResetClip returns to the whole surface.
  dst.SetClipRect(TRect{2, 0, 2, 1});
  dst.FillRect(TRect{0, 0, 4, 1}, 9);
  EXPECT_EQ(dst.Image().KeyBounds(0), TRect{});
  dst.IncludeRect(TRect{1, 0, 2, 1});
  dst.FillRect(TRect{0, 0, 4, 1}, 9);
  EXPECT_EQ(dst.Image().KeyBounds(0), (TRect{1, 0, 2, 1}));
  dst.ResetClip();
  dst.FillRect(TRect{0, 0, 4, 1}, 9);
  EXPECT_EQ(dst.Image().KeyBounds(0), (TRect{0, 0, 4, 1}));
}

TEST(DIBX, FrameRectWiderThanHalfDrawsTopAndBottomOnly) {
  TDIBX d;
  d.SetSize(10, 10, 32);
  d.AddFrameRect(TRect{0, 0, 10, 6}, 4, 1);
  EXPECT_EQ(d.GetPixel(5, 2), 2u);  // overlap of both strips
  EXPECT_EQ(d.GetPixel(5, 0), 1u);
  EXPECT_EQ(d.GetPixel(5, 7), 0u);
  d.Clear(0);
  d.FrameRect(TRect{0, 0, 10, 10}, 2, 5);
  EXPECT_EQ(d.GetPixel(1, 5), 5u);
  EXPECT_EQ(d.GetPixel(8, 5), 5u);
  EXPECT_EQ(d.GetPixel(5, 5), 0u);
}

TEST(DIBX, RotateQuarterTurnAndZoomZero) {
  TDIBX src, dst;
  src.SetSize(4, 2, 32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, 1 + x + 10 * y);
  dst.SetSize(10, 10, 32);
  dst.DrawRotate(5, 5, 255, false, false, false, 0, 0, 0, TRect{0, 0, 4, 2}, src, 0, 256);
  EXPECT_EQ(dst.Image().KeyBounds(0), TRect{});
  dst.DrawRotate(5, 5, 255, false, false, false, 0, 0, 0, TRect{0, 0, 4, 2}, src, 256, 256);
  EXPECT_EQ(dst.GetPixel(5, 5), 1u);
  EXPECT_EQ(dst.GetPixel(8, 6), 14u);
  dst.Clear(0);
  // A quarter turn maps source (u, v) to (x - v, y + u), sampled at pixel corners.
  dst.DrawRotate(5, 5, 255, false, false, false, 64, 0, 0, TRect{0, 0, 4, 2}, src, 256, 256);
  EXPECT_EQ(dst.GetPixel(5, 5), 1u);
  EXPECT_EQ(dst.GetPixel(5, 8), 4u);
  EXPECT_EQ(dst.GetPixel(4, 8), 14u);
  EXPECT_EQ(dst.GetPixel(3, 8), 0u);
  EXPECT_EQ(RotatedBounds(5, 5, 64, 0, 0, TRect{0, 0, 4, 2}, 256, 256), (TRect{3, 5, 6, 10}));
}

TEST(DIBX, TileNegativeOffsetWraps) {
  TDIBX src, dst;
  src.SetSize(10, 1, 32);
  for (int i = 0; i < 10; ++i) src.SetPixel(i, 0, i);
  dst.SetSize(25, 1, 32);
  dst.TileDraw(TRect{0, 0, 25, 1}, TRect{0, 0, 10, 1}, -1, 0, 0, 0, false, src);
  EXPECT_EQ(dst.GetPixel(0, 0), 9u);
  EXPECT_EQ(dst.GetPixel(1, 0), 0u);
  EXPECT_EQ(dst.GetPixel(24, 0), 3u);
  EXPECT_FALSE(dst.HasClip());  // restored
}

TEST(DIBX, FillPatternStartsAtTheOffset) {
  TDIBX src, dst;
  src.SetSize(3, 2, 16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src.SetPixel(x, y, x + 3 * y);
  dst.SetSize(5, 3, 16);
  dst.FillPattern(TRect{1, 0, 5, 3}, src, false, false, -1, 1);
  EXPECT_EQ(dst.GetPixel(1, 0), 5u);
  EXPECT_EQ(dst.GetPixel(2, 0), 3u);
  EXPECT_EQ(dst.GetPixel(1, 1), 2u);
  dst.FillPattern(TRect{1, 0, 5, 3}, src, true, false, 0, 0);
  EXPECT_EQ(dst.GetPixel(1, 0), 2u);
}

TEST(DIBX, GlyphDividesByTheSquareOfTheFactor) {
  for (int factor : {2, 3, 4, 8}) {
    TDIBSurface glyph(factor, factor, 1);
    glyph.FillRect(glyph.BoundsRect(), 1);            // no ink
    glyph.FillRect(TRect{0, 0, factor, 1}, 0);         // one row of ink: factor of factor^2 samples
    TDIBX d;
    d.SetSize(1, 1, 32);
    d.SetPixel(0, 0, 0x00FF00);
    d.DrawGlyph(0, 0, factor, 255, false, false, 0xFF0000, TRect{0, 0, factor, factor}, glyph);
    uint32_t n = factor, full = factor * factor;
    uint32_t want = ((0xFFu * n / full) << 16) | ((0xFFu * (full - n) / full) << 8);
    EXPECT_EQ(d.GetPixel(0, 0), want) << "factor " << factor;
  }
}

TEST(DIBX, ColorMaskedAndMapped) {
  TDIBX d, mask, idx;
  d.SetSize(3, 1, 32);
  mask.SetSize(3, 1, 8);
  mask.SetPixel(0, 0, 0);
  mask.SetPixel(1, 0, 128);
  mask.SetPixel(2, 0, 255);
  d.SetPixel(2, 0, 0xFF);
  d.DrawColorMasked(0, 0, 255, 0xFF, false, false, TRect{0, 0, 3, 1}, mask);
  EXPECT_EQ(d.GetPixel(0, 0), 0u);
  EXPECT_EQ(d.GetPixel(1, 0), 0x7Fu);  // 255 * 128 shr 8
  EXPECT_EQ(d.GetPixel(2, 0), 0xFFu);  // equal to the colour: skipped
  uint32_t table[256] = {};
  table[1] = 0x111111;
  table[2] = 0x222222;
  idx.SetSize(3, 1, 8);
  idx.SetPixel(0, 0, 1);
  idx.SetPixel(1, 0, 2);
  idx.TransparentColor = 1;
  d.Clear(0);
  d.DrawMapped(0, 0, table, TRect{0, 0, 3, 1}, idx);
  EXPECT_EQ(d.GetPixel(0, 0), 0u);
  EXPECT_EQ(d.GetPixel(1, 0), 0x222222u);
}

TEST(DIBX, ColorToPixelPerFormat) {
  TDIBX d;
  const struct { int format; int64_t rgb, want; } cases[] = {
      {15, 0x0000FF, 0x7C00}, {16, 0x00FF00, 0x07E0}, {24, 0x030201, 0x010203}, {32, 0x030201, 0x010203},
      {32, -1, -1}, {8, 0x030201, 0x030201},
  };
  for (const auto& c : cases) {
    d.SetSize(1, 1, c.format);
    EXPECT_EQ(d.ColorToPixel(c.rgb), c.want) << "format " << c.format;
  }
}

TEST(DIBX, WaveDrawsBandsShifted) {
  TDIBX target;
  target.SetSize(10, 4, 32);
  TDIBXWave wave(target);
  wave.OriginY = 1;
  wave.SetSize(6, 3, 32);
  wave.Offsets = {0, 0, 3};
  wave.FillRect(TRect{0, 0, 2, 4}, 7);
  EXPECT_EQ(target.GetPixel(0, 0), 0u);  // row 0 lies above the wave
  EXPECT_EQ(target.GetPixel(0, 1), 7u);
  EXPECT_EQ(target.GetPixel(1, 2), 7u);
  EXPECT_EQ(target.GetPixel(0, 3), 0u);
  EXPECT_EQ(target.GetPixel(3, 3), 7u);
  EXPECT_EQ(target.GetPixel(4, 3), 7u);
  EXPECT_EQ(wave.GetPixel(0, 3), 7u);
  EXPECT_FALSE(target.HasClip());
  // The target's own clip still limits the bands, and comes back afterwards.
  target.Clear(0);
  target.SetClipRect(TRect{0, 0, 4, 4});
  wave.FillRect(TRect{0, 0, 2, 4}, 7);
  EXPECT_EQ(target.GetPixel(3, 3), 7u);
  EXPECT_EQ(target.GetPixel(4, 3), 0u);
  EXPECT_EQ(target.ClipState(), (std::optional<TRect>{TRect{0, 0, 4, 4}}));
}

TEST(DIBX, LoadFromFileFillsAnyKindOfSurface) {
  // Through a wave surface the pixels land in its target, as they do in a memory surface.
  const std::string file = std::string(ORBA_SOURCE_DIR) + "/tests/render/fixtures/rgb24.bmp";
  TDIBX memory;
  memory.SetSize(1, 1, 32);
  memory.LoadFromFile(file);
  TDIBX target;
  target.SetSize(23, 13, 32);
  TDIBXWave wave(target);
  wave.SetSize(1, 1, 32);
  wave.LoadFromFile(file);
  ASSERT_EQ(wave.Width(), 23);
  ASSERT_EQ(memory.Width(), 23);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 23; ++x) ASSERT_EQ(target.GetPixel(x, y), memory.GetPixel(x, y)) << x << "," << y;
  EXPECT_NE(target.GetPixel(22, 12), 0u);
}

TEST(DIBX, TilingWithAGapWrapsTheScrollByWidthPlusGap) {
  // A 10-pixel source with a gap of 5: the scroll wraps modulo 15, so scroll 10 starts with the
  // last 5 pixels of the period, which are gap. Values 1..10 are the source's columns, 0 is
  // untouched.
  TDIBX src;
  src.SetSize(10, 1, 32);
  for (int x = 0; x < 10; ++x) src.SetPixel(x, 0, static_cast<uint32_t>(x + 1));
  struct Case {
    int32_t scroll;
    std::vector<uint32_t> row;
  } cases[] = {
      {10, {0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5}},
      {-1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {3, {4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    TDIBX dst;
    dst.SetSize(25, 1, 32);
    dst.Clear(0);
    dst.TileDraw(TRect{0, 0, 25, 1}, TRect{0, 0, 10, 1}, c.scroll, 0, 5, 0, false, src);
    for (int x = 0; x < 25; ++x) EXPECT_EQ(dst.GetPixel(x, 0), c.row[static_cast<size_t>(x)]) << "scroll " << c.scroll << " x " << x;
  }
}

// Rows of 32-bit pixels, each the same.
void Fill32(TDIBX& s, const std::vector<uint32_t>& pixels, int height = 1) {
  s.SetSize(static_cast<int32_t>(pixels.size()), height, 32);
  for (int y = 0; y < height; ++y)
    for (size_t x = 0; x < pixels.size(); ++x) s.SetPixel(static_cast<int32_t>(x), y, pixels[x]);
}

std::vector<uint32_t> RowOf(const TDIBX& s, int y = 0) {
  std::vector<uint32_t> out;
  for (int x = 0; x < s.Width(); ++x) out.push_back(s.GetPixel(x, y));
  return out;
}

// Each operation on a small row whose every result pixel is worked out by hand from the
// stated rules (nearest-neighbour steps in 16.16, per-channel formulas with shr 8), not from
// the code's own helpers.
TEST(DIBX, DrawingOperationsByHand) {
  TDIBX ramp, blue;
  Fill32(ramp, {1, 2, 3, 4});
  Fill32(blue, {0xFF, 0xFF, 0xFF});
  TDIBX mask;
  mask.SetSize(3, 1, 8);
  for (int x = 0; x < 3; ++x) mask.SetPixel(x, 0, std::vector<uint32_t>{0, 128, 255}[static_cast<size_t>(x)]);
  struct Case {
    const char* name;
    std::vector<uint32_t> before;
    std::function<void(TDIBX&)> draw;
    std::vector<uint32_t> after;
  } cases[] = {
      // Step 4/8 = 0.5: column i samples i * 0.5.
      {"stretch grows", std::vector<uint32_t>(8, 0),
       [&](TDIBX& d) { d.StretchDraw({0, 0, 8, 1}, {0, 0, 4, 1}, 255, false, false, false, ramp); },
       {1, 1, 2, 2, 3, 3, 4, 4}},
      // Step 2: columns sample 0 and 2.
      {"stretch shrinks", std::vector<uint32_t>(2, 0),
       [&](TDIBX& d) { d.StretchDraw({0, 0, 2, 1}, {0, 0, 4, 1}, 255, false, false, false, ramp); }, {1, 3}},
      {"stretch mirrored", std::vector<uint32_t>(8, 0),
       [&](TDIBX& d) { d.StretchDraw({0, 0, 8, 1}, {0, 0, 4, 1}, 255, false, true, false, ramp); },
       {4, 4, 3, 3, 2, 2, 1, 1}},
      // Two columns cut on the left advance the source by 2 * 0.5.
      {"stretch clipped on the left", std::vector<uint32_t>(6, 0),
       [&](TDIBX& d) { d.StretchDraw({-2, 0, 6, 1}, {0, 0, 4, 1}, 255, false, false, false, ramp); },
       {2, 2, 3, 3, 4, 4}},
      // Zoom 2 (512) at angle 0: each source pixel covers two columns; the box reaches one
      // column further (trunc(max + 1)), where the source position 2 lies outside and is skipped.
      {"rotate-zoom doubles", std::vector<uint32_t>(6, 9),
       [&](TDIBX& d) { d.DrawRotate(0, 0, 255, false, false, false, 0, 0, 0, {0, 0, 2, 1}, ramp, 512, 512); },
       {1, 1, 2, 2, 9, 9}},
      // k = 0 skips, 255 copies, 128: red 255 * 127 shr 8 = 126, blue 255 * 128 shr 8 = 127.
      {"masked", {0xFF0000, 0xFF0000, 0xFF0000},
       [&](TDIBX& d) { d.DrawMasked(0, 0, mask, false, false, {0, 0, 3, 1}, blue); }, {0xFF0000, 0x7E007F, 0x0000FF}},
      // Weight k * alpha shr 8 = 0, 64, 127: red 255 * (255 - w) shr 8, blue 255 * w shr 8.
      {"masked blend at 128", {0xFF0000, 0xFF0000, 0xFF0000},
       [&](TDIBX& d) { d.DrawBlendMasked(0, 0, 128, mask, false, false, {0, 0, 3, 1}, blue); },
       {0xFF0000, 0xBE003F, 0x7F007E}},
      // A pixel equal to the source stays; others: red 255 * 127 shr 8, blue 255 * 128 shr 8.
      {"blend at 128", {0xFF0000, 0x0000FF, 0x808080},
       [&](TDIBX& d) {
         TDIBX src;
         Fill32(src, {0xFF, 0xFF, 0x808080});
         d.DrawBlend(0, 0, 128, false, false, false, {0, 0, 3, 1}, src);
       },
       {0x7E007F, 0x0000FF, 0x808080}},
      // Each channel plus source * 128 shr 8, saturating: red F0 + 20, green 10 + 20, blue 0 + 20.
      {"additive", {0xF01000, 0x000000},
       [&](TDIBX& d) {
         TDIBX src;
         Fill32(src, {0x404040, 0xFF0102});
         d.DrawAdd(0, 0, 128, false, false, {0, 0, 2, 1}, src);
       },
       {0xFF3020, 0x7F0001}},
  };
  for (const auto& c : cases) {
    TDIBX d;
    Fill32(d, c.before, 2);
    c.draw(d);
    EXPECT_EQ(RowOf(d), c.after) << c.name;
  }
}

}  // namespace
}  // namespace orba
