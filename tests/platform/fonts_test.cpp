// The font source over the installed IPA and DejaVu faces: which file a project's face name
// reaches, how a cell height becomes an em size (checked against the OS/2 and head tables read
// here from the font file's bytes), and glyph coverage at each level count.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <set>

#include "platform/fonts.h"

namespace orba::platform {
namespace {

namespace fs = std::filesystem;

IFontSource& Fonts() {
  static auto source = CreateFontSource();
  return *source;
}

std::string FileName(const std::string& path) {
  return path.empty() ? std::string() : fs::canonical(path).filename().string();
}

TEST(Fonts, ProjectFaceNamesReachTheIpaFiles) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"ＭＳ ゴシック", "ipag.ttf"},   {"MS Gothic", "ipag.ttf"},    {"ms gothic", "ipag.ttf"},
      {"ＭＳ Ｐゴシック", "ipagp.ttf"}, {"MS PGothic", "ipagp.ttf"},  {"ＭＳ 明朝", "ipam.ttf"},
      {"MS Mincho", "ipam.ttf"},       {"ＭＳ Ｐ明朝", "ipamp.ttf"}, {"MS PMincho", "ipamp.ttf"},
      {"DejaVu Sans", "DejaVuSans.ttf"},  // not in the table: through fontconfig
      {"No Such Face", ""},                // fontconfig's substitute does not count
  };
  for (const auto& c : cases) EXPECT_EQ(FileName(Fonts().ResolveFile(c.name)), c.file) << c.name;
}

TEST(Fonts, AFaceNothingProvidesFallsBackToTheDefaultGothic) {
  auto font = Fonts().Open({.faceUtf8 = "No Such Face", .height = 16});
  EXPECT_EQ(font->Metrics().faceUtf8, "ＭＳ ゴシック");
  EXPECT_EQ(FileName(font->Metrics().file), "ipag.ttf");
  auto known = Fonts().Open({.faceUtf8 = "ＭＳ 明朝", .height = 16});
  EXPECT_EQ(known->Metrics().faceUtf8, "ＭＳ 明朝");
}

// The tables a cell height depends on, read from the file's bytes: unitsPerEm (head) and the
// Windows ascent and descent (OS/2).
struct Tables {
  int unitsPerEm = 0, winAscent = 0, winDescent = 0;
};
Tables ReadTables(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](size_t at) { return at + 2 <= b.size() ? (b[at] << 8) | b[at + 1] : -1; };
  auto u32 = [&](size_t at) { return (static_cast<size_t>(u16(at)) << 16) | u16(at + 2); };
  Tables t;
  const int count = u16(4);
  for (int i = 0; i < count; ++i) {
    const size_t entry = 12 + 16 * static_cast<size_t>(i);
    const std::string tag(b.begin() + entry, b.begin() + entry + 4);
    const size_t offset = u32(entry + 8);
    if (tag == "head") t.unitsPerEm = u16(offset + 18);
    if (tag == "OS/2") t.winAscent = u16(offset + 74), t.winDescent = u16(offset + 76);
  }
  return t;
}

TEST(Fonts, ACellHeightIsTheWindowsAscentPlusDescent) {
  for (const char* name : {"ＭＳ ゴシック", "ＭＳ Ｐ明朝", "DejaVu Sans"}) {
    const Tables t = ReadTables(Fonts().ResolveFile(name));
    ASSERT_GT(t.unitsPerEm, 0) << name;
    ASSERT_GT(t.winAscent + t.winDescent, 0) << name;
    for (int height : {12, 16, 24, 33}) {
      auto font = Fonts().Open({.faceUtf8 = name, .height = height});
      const FontMetrics& m = font->Metrics();
      const double em = static_cast<double>(height) * t.unitsPerEm / (t.winAscent + t.winDescent);
      EXPECT_EQ(m.emSize26_6, std::lround(em * 64)) << name << " " << height;
      EXPECT_EQ(m.cellHeight, height);
      EXPECT_EQ(m.ascent + m.descent, height);
      EXPECT_EQ(m.ascent, std::lround(static_cast<double>(height) * t.winAscent / (t.winAscent + t.winDescent)))
          << name << " " << height;
      // Every glyph stays inside the cell: that is what the Windows ascent and descent promise.
      for (char32_t cp : {U'A', U'g', U'あ', U'漢', U'｜', U'＿'}) {
        GlyphImage g;
        ASSERT_TRUE(font->Glyph(cp, 65, g));
        EXPECT_LE(g.top, m.ascent + 1) << name << " " << height << " U+" << std::hex << uint32_t(cp);
        EXPECT_LE(g.height - g.top, m.descent + 1) << name << " " << height << " U+" << std::hex << uint32_t(cp);
      }
    }
  }
}

TEST(Fonts, ImpossibleHeightsAreHeldToTheSupportedRange) {
  for (auto [asked, got] : {std::pair{0, 1}, {-24, 1}, {1 << 24, 2048}}) {
    auto font = Fonts().Open({.faceUtf8 = "ＭＳ ゴシック", .height = asked});
    EXPECT_EQ(font->Metrics().cellHeight, got) << asked;
    GlyphImage g;
    EXPECT_TRUE(font->Glyph(U'漢', 17, g)) << asked;
  }
}

// The Gothic face is fixed pitch: a full-width character advances one em, a half-width one
// half an em.
TEST(Fonts, GlyphsCarryTheirLevelsAndAdvances) {
  const Tables t = ReadTables(Fonts().ResolveFile("ＭＳ ゴシック"));
  const int height = 24;
  const double em = static_cast<double>(height) * t.unitsPerEm / (t.winAscent + t.winDescent);
  auto font = Fonts().Open({.faceUtf8 = "ＭＳ ゴシック", .height = height});
  double inkAtLevels[4] = {};
  int i = 0;
  for (int levels : {2, 5, 17, 65}) {
    for (char32_t cp : {U'漢', U'A', U'あ'}) {
      GlyphImage g;
      ASSERT_TRUE(font->Glyph(cp, levels, g));
      EXPECT_EQ(g.levels, levels);
      ASSERT_EQ(g.coverage.size(), static_cast<size_t>(g.width) * g.height);
      const std::set<int> seen(g.coverage.begin(), g.coverage.end());
      EXPECT_EQ(*seen.rbegin(), levels - 1) << "solid strokes reach the top level, levels " << levels;
      EXPECT_EQ(*seen.begin(), 0);
      if (levels > 2) {
        EXPECT_GT(seen.size(), 2u) << "grey edges, levels " << levels;
      }
      EXPECT_EQ(g.advance, std::lround(cp == U'A' ? em / 2 : em)) << levels;
      if (cp == U'あ') {
        inkAtLevels[i] = std::accumulate(g.coverage.begin(), g.coverage.end(), 0.0) / (levels - 1);
      }
    }
    ++i;
  }
  // The same shape covers about the same area whatever the level count.
  for (double ink : inkAtLevels) EXPECT_NEAR(ink, inkAtLevels[3], inkAtLevels[3] * 0.15);

  GlyphImage space;
  ASSERT_TRUE(font->Glyph(U' ', 5, space));
  EXPECT_EQ(space.width * space.height, 0);
  EXPECT_TRUE(space.coverage.empty());
  EXPECT_EQ(space.advance, std::lround(em / 2));
  ASSERT_TRUE(font->Glyph(U'　', 5, space));
  EXPECT_TRUE(space.coverage.empty());
  EXPECT_EQ(space.advance, std::lround(em));
  EXPECT_FALSE(font->Glyph(U'A', 4, space)) << "4 is not a level count of any quality";
}

double Ink(IFont& font, char32_t cp) {
  GlyphImage g;
  EXPECT_TRUE(font.Glyph(cp, 65, g));
  return std::accumulate(g.coverage.begin(), g.coverage.end(), 0.0) / 64;
}

TEST(Fonts, BoldThickensAndItalicLeans) {
  auto plain = Fonts().Open({.faceUtf8 = "ＭＳ 明朝", .height = 32});
  auto bold = Fonts().Open({.faceUtf8 = "ＭＳ 明朝", .height = 32, .weight = 700});
  auto italic = Fonts().Open({.faceUtf8 = "ＭＳ 明朝", .height = 32, .italic = true});
  EXPECT_GT(Ink(*bold, U'漢'), Ink(*plain, U'漢') * 1.15);
  EXPECT_NEAR(Ink(*italic, U'漢'), Ink(*plain, U'漢'), Ink(*plain, U'漢') * 0.05);
  GlyphImage upright, leaning;
  ASSERT_TRUE(plain->Glyph(U'I', 2, upright));
  ASSERT_TRUE(italic->Glyph(U'I', 2, leaning));
  EXPECT_GT(leaning.width, upright.width + 3) << "a leaning stem is wider than an upright one";
}

TEST(Fonts, ACharacterTheFaceLacksComesFromAFaceThatHasIt) {
  auto font = Fonts().Open({.faceUtf8 = "ＭＳ ゴシック", .height = 24});
  // Hebrew letters are not in the IPA faces but are in DejaVu; Thai is in neither, so it
  // shows the face's missing-glyph box.
  GlyphImage alef, bet, thai;
  ASSERT_TRUE(font->Glyph(U'\u05D0', 17, alef));
  ASSERT_TRUE(font->Glyph(U'\u05D1', 17, bet));
  ASSERT_TRUE(font->Glyph(U'\u0E01', 17, thai));
  EXPECT_FALSE(alef.coverage.empty());
  EXPECT_NE(alef.coverage, bet.coverage);
  EXPECT_NE(alef.coverage, thai.coverage);
  EXPECT_LE(alef.top, font->Metrics().ascent + 1) << "the stand-in face keeps the cell's em size";
}

}  // namespace
}  // namespace orba::platform
