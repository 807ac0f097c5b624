// The glyph cache: grey levels mapped through each quality's table, glyph placement in the
// cell, font selection from style flags, eviction of the least recently used glyph, and real
// glyphs from the installed faces.
#include <gtest/gtest.h>

#include <set>

#include "base/cp932.h"
#include "base/error.h"
#include "text/fontpixels.h"

namespace orba {
namespace {

using platform::FontMetrics;
using platform::FontRequest;
using platform::GlyphImage;

// Placement of a fake glyph: pen-relative left, top above the baseline, advance.
GlyphImage Shape(int left, int top, int advance) {
  GlyphImage g;
  g.height = 1;
  g.left = left;
  g.top = top;
  g.advance = advance;
  return g;
}

// A font source whose glyphs are a single row holding every level once, placed where the
// test says; it records what was asked of it.
struct FakeFonts : platform::IFontSource {
  std::vector<FontRequest> opened;
  std::vector<char32_t> rasterised;
  bool greyFails = false;
  bool openFails = false;
  GlyphImage shape = Shape(2, 10, 20);

  struct Font : platform::IFont {
    FakeFonts& owner;
    FontMetrics metrics;
    Font(FakeFonts& o, const FontRequest& r) : owner(o) {
      metrics.faceUtf8 = r.faceUtf8;
      metrics.cellHeight = r.height;
      metrics.ascent = 12;
      metrics.descent = r.height - 12;
      metrics.underlineThickness = 2;
      metrics.strikeOutPosition = 5;
      metrics.strikeOutThickness = 3;
    }
    const FontMetrics& Metrics() const override { return metrics; }
    bool Glyph(char32_t cp, int levels, GlyphImage& out) override {
      owner.rasterised.push_back(cp);
      if (owner.greyFails && levels != 2) return false;
      out = owner.shape;
      out.levels = levels;
      if (cp == U' ') {
        out.height = 0;
        return true;
      }
      out.width = levels;
      out.coverage.resize(levels);
      for (int i = 0; i < levels; ++i) out.coverage[i] = static_cast<uint8_t>(i);
      return true;
    }
  };
  std::unique_ptr<platform::IFont> Open(const FontRequest& r) override {
    if (openFails) throw std::runtime_error("no such file");
    opened.push_back(r);
    return std::make_unique<Font>(*this, r);
  }
  std::string ResolveFile(const std::string&) override { return {}; }
};

std::vector<uint8_t> Range(int first, int last) {
  std::vector<uint8_t> v;
  for (int i = first; i <= last; i += 3) v.push_back(static_cast<uint8_t>(i));
  return v;
}

TEST(FontPixels, GreyLevelsMapThroughTheQualitysTable) {
  std::vector<uint8_t> q3{0};
  for (auto [a, b] : {std::pair{18, 36}, {55, 100}, {119, 164}, {183, 255}}) {
    auto r = Range(a, b);
    q3.insert(q3.end(), r.begin(), r.end());
  }
  const std::vector<uint8_t> expected[] = {
      {0, 255},
      {0, 79, 127, 207, 255},
      {0, 43, 55, 67, 79, 91, 103, 115, 159, 171, 183, 195, 207, 219, 231, 243, 255},
      q3,
  };
  ASSERT_EQ(q3.size(), 65u);
  FakeFonts fonts;
  TFontPixelManager cache(fonts);
  for (int quality = 0; quality < 4; ++quality) {
    cache.SetQuality(quality);
    const TFontPixel& g = cache.GetGlyph('A', "x", 0, 16);
    EXPECT_EQ(g.Coverage, expected[quality]) << "quality " << quality;
    EXPECT_EQ(g.Quality, quality);
  }
}

TEST(FontPixels, AGlyphSitsInItsCellAndASpaceHasOnlyItsAdvance) {
  FakeFonts fonts;
  TFontPixelManager cache(fonts);
  cache.SetQuality(1);
  // Pixels 5 wide from x = 2, top 10 above a baseline 12 below the cell top, advance 20.
  const TFontPixel& a = cache.GetGlyph('A', "x", 0, 16);
  EXPECT_EQ(a.Width, 5);
  EXPECT_EQ(a.PixelHeight, 1);
  EXPECT_EQ(a.OriginX, 2);
  EXPECT_EQ(a.OriginY, 2);
  EXPECT_EQ(a.ExtraAdvance, 20 - 5 - 2);
  EXPECT_EQ(a.Advance, 20);
  EXPECT_EQ(a.UnderlineThickness, 2);
  EXPECT_EQ(a.StrikeOutPosition, 5);
  EXPECT_EQ(a.StrikeOutThickness, 3);
  // Pixels left of the pen, above the cell, wider than the advance: clamped to the cell.
  fonts.shape = Shape(-3, 15, 4);
  const TFontPixel& b = cache.GetGlyph('B', "x", 0, 16);
  EXPECT_EQ(b.OriginX, 0);
  EXPECT_EQ(b.OriginY, 0);
  EXPECT_EQ(b.ExtraAdvance, 0);
  const TFontPixel& space = cache.GetGlyph(' ', "x", 0, 16);
  EXPECT_EQ(space.Advance, 4);
  EXPECT_EQ(space.Width * space.PixelHeight, 0);
  EXPECT_TRUE(space.Coverage.empty());
}

TEST(FontPixels, StyleFlagsAndTheNameSelectTheFont) {
  FakeFonts fonts;
  TFontPixelManager cache(fonts);
  const std::string gothic = Sjis(u8"ＭＳ ゴシック");
  cache.GetGlyph(0x8ABFu, gothic, fsBold | fsUnderline, 24);
  cache.GetGlyph('a', gothic, fsBold | fsUnderline, 24);  // same font: not opened again
  cache.GetGlyph('a', gothic, fsItalic | fsStrikeOut, 24);
  cache.GetGlyph('a', gothic, fsItalic | fsStrikeOut, 25);
  ASSERT_EQ(fonts.opened.size(), 3u);
  EXPECT_EQ(fonts.opened[0].faceUtf8, "ＭＳ ゴシック");
  EXPECT_EQ(fonts.opened[0].height, 24);
  EXPECT_EQ(fonts.opened[0].weight, 700);
  EXPECT_TRUE(fonts.opened[0].underline);
  EXPECT_FALSE(fonts.opened[0].italic || fonts.opened[0].strikeOut);
  EXPECT_EQ(fonts.opened[1].weight, 400);
  EXPECT_TRUE(fonts.opened[1].italic && fonts.opened[1].strikeOut);
  EXPECT_FALSE(fonts.opened[1].underline);
  EXPECT_EQ(fonts.opened[2].height, 25);
  // 0x8ABF is 漢 in code page 932; the font is asked for its Unicode character.
  EXPECT_EQ(fonts.rasterised[0], U'漢');
}

TEST(FontPixels, FailuresTurnTheCacheMonochromeOrRaiseTheMetricsError) {
  FakeFonts fonts;
  TFontPixelManager cache(fonts);
  cache.SetQuality(3);
  fonts.greyFails = true;
  const TFontPixel& g = cache.GetGlyph('A', "x", 0, 16);
  EXPECT_EQ(g.Coverage, (std::vector<uint8_t>{0, 255}));
  EXPECT_EQ(g.Quality, 0);
  EXPECT_EQ(cache.Quality(), 0);
  fonts.greyFails = false;
  cache.SetQuality(3);
  EXPECT_EQ(cache.Quality(), 0) << "monochrome for good";
  fonts.openFails = true;
  try {
    cache.GetGlyph('A', "y", 0, 16);
    ADD_FAILURE() << "no error";
  } catch (const EOrbaError& e) {
    EXPECT_EQ(e.Message(), "Error:GetOutlineTextMetrics");
  }
}

TEST(FontPixels, TheLeastRecentlyUsedGlyphLeavesFirst) {
  FakeFonts fonts;
  TFontPixelManager cache(fonts);
  // 256 glyphs that share few buckets (codes 0x100 apart land in one bucket), then a hit on
  // the oldest, then one more: the second oldest leaves, the hit one stays.
  std::vector<uint16_t> codes;
  for (int i = 0; i < 256; ++i) codes.push_back(static_cast<uint16_t>(0x8140 + (i % 4) + (i / 4) * 0x100));
  for (uint16_t c : codes) cache.GetGlyph(c, "x", 0, 16);
  EXPECT_EQ(fonts.rasterised.size(), 256u);
  cache.GetGlyph(codes[0], "x", 0, 16);
  EXPECT_EQ(fonts.rasterised.size(), 256u) << "a hit rasterises nothing";
  cache.GetGlyph(0x41, "x", 0, 16);
  auto recent = cache.RecentCodes();
  ASSERT_EQ(recent.size(), 256u);
  EXPECT_EQ(recent[0], 0x41);
  EXPECT_EQ(recent[1], codes[0]);
  EXPECT_EQ(recent.back(), codes[2]);
  EXPECT_EQ(std::count(recent.begin(), recent.end(), codes[1]), 0);
  cache.GetGlyph(codes[1], "x", 0, 16);  // evicted: made again
  EXPECT_EQ(fonts.rasterised.size(), 258u);
  cache.GetGlyph(codes[3], "x", 0, 16);  // still there
  EXPECT_EQ(fonts.rasterised.size(), 258u);
  // The key is the whole request: another height, style, font or quality is another glyph.
  cache.GetGlyph(codes[3], "x", 0, 17);
  cache.GetGlyph(codes[3], "x", fsBold, 16);
  cache.GetGlyph(codes[3], "X", 0, 16);
  cache.SetQuality(2);
  cache.GetGlyph(codes[3], "x", 0, 16);
  EXPECT_EQ(fonts.rasterised.size(), 262u);
}

// Real glyphs: every coverage value is one of the quality's table, and a fully covered
// stroke reaches 255.
TEST(FontPixels, InstalledFacesGiveGlyphsAtEveryQuality) {
  auto fonts = platform::CreateFontSource();
  TFontPixelManager cache(*fonts);
  const std::string mincho = Sjis(u8"ＭＳ 明朝");
  const std::string kan = Sjis(u8"漢");
  const uint16_t code = static_cast<uint16_t>((static_cast<uint8_t>(kan[0]) << 8) | static_cast<uint8_t>(kan[1]));
  for (int quality = 0; quality < 4; ++quality) {
    cache.SetQuality(quality);
    for (uint16_t c : {code, uint16_t('W')}) {
      const TFontPixel& g = cache.GetGlyph(c, mincho, 0, 24);
      const std::set<uint8_t> seen(g.Coverage.begin(), g.Coverage.end());
      const auto& table = CoverageTable(quality);
      for (uint8_t v : seen)
        EXPECT_NE(std::find(table.begin(), table.end(), v), table.end()) << int(v) << " quality " << quality;
      EXPECT_EQ(*seen.rbegin(), 255);
      EXPECT_EQ(seen.size() > 2, quality > 0);
      EXPECT_LE(g.OriginY + g.PixelHeight, 24);
    }
  }
  ASSERT_NE(cache.Metrics(), nullptr);
  EXPECT_EQ(cache.Metrics()->faceUtf8, "ＭＳ 明朝");
}

// The player's one cache makes its fonts when text first asks for a glyph, not before, and
// again after being freed.
TEST(FontPixels, TheGlobalCacheOpensFontsOnFirstUse) {
  FreeFontPixelManager();
  int made = 0;
  FakeFonts* last = nullptr;
  SetFontSourceMaker([&] {
    ++made;
    auto fonts = std::make_unique<FakeFonts>();
    last = fonts.get();
    return fonts;
  });
  EXPECT_EQ(made, 0);
  TFontPixelManager& cache = FontPixelManager();
  EXPECT_EQ(&FontPixelManager(), &cache);
  EXPECT_EQ(made, 1);
  cache.GetGlyph('A', "x", 0, 16);
  EXPECT_EQ(last->rasterised.size(), 1u);
  FreeFontPixelManager();
  FontPixelManager();
  EXPECT_EQ(made, 2);
  FreeFontPixelManager();
  SetFontSourceMaker(nullptr);
  EXPECT_THROW(FontPixelManager(), EOrbaError);
}

}  // namespace
}  // namespace orba
