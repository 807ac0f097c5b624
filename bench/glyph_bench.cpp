// The glyph cache: a hit (a line drawn again) and a miss (a character not seen lately)
// beside FreeType's own load and render of the same glyphs at the same size, the work a miss
// cannot avoid.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

#include "base/cp932.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"

namespace {

constexpr int kHeight = 24;

// 512 kanji codes (lead bytes 0x89 to 0x8B), twice the cache, so cycling through them misses
// every time.
const std::vector<uint16_t>& Codes() {
  static const std::vector<uint16_t> codes = [] {
    std::vector<uint16_t> v;
    for (int lead = 0x89; lead <= 0x8B && v.size() < 512; ++lead)
      for (int trail = 0x40; trail <= 0xFC && v.size() < 512; ++trail)
        if (trail != 0x7F) v.push_back(static_cast<uint16_t>(lead << 8 | trail));
    return v;
  }();
  return codes;
}

orba::platform::IFontSource& Fonts() {
  static auto fonts = orba::platform::CreateFontSource();
  return *fonts;
}

const std::string& Gothic() {
  static const std::string name = orba::Sjis(u8"ＭＳ ゴシック");
  return name;
}

void BM_GlyphCacheHit(benchmark::State& state) {
  orba::TFontPixelManager cache(Fonts());
  cache.SetQuality(3);
  const auto& codes = Codes();
  const size_t n = 64;
  for (size_t i = 0; i < n; ++i) cache.GetGlyph(codes[i], Gothic(), 0, kHeight);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&cache.GetGlyph(codes[i], Gothic(), 0, kHeight));
    i = i + 1 == n ? 0 : i + 1;
  }
}
BENCHMARK(BM_GlyphCacheHit);

void BM_GlyphCacheMiss(benchmark::State& state) {
  orba::TFontPixelManager cache(Fonts());
  cache.SetQuality(3);
  const auto& codes = Codes();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&cache.GetGlyph(codes[i], Gothic(), 0, kHeight));
    i = i + 1 == codes.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_GlyphCacheMiss);

// The reference: the same characters loaded and rendered by FreeType alone, from the same
// file at the same em size.
void BM_GlyphFreeTypeLoadRender(benchmark::State& state) {
  auto font = Fonts().Open({.faceUtf8 = "ＭＳ ゴシック", .height = kHeight});
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, font->Metrics().file.c_str(), 0, &face)) {
    state.SkipWithError("FreeType could not open the font");
    return;
  }
  FT_Set_Char_Size(face, 0, font->Metrics().emSize26_6, 72, 72);
  std::vector<FT_UInt> indexes;
  for (uint16_t code : Codes()) {
    const std::string bytes{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    const std::u32string one = [&] {
      const std::string u = orba::ToUtf8(bytes);
      return std::u32string{static_cast<char32_t>(((u[0] & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F))};
    }();
    indexes.push_back(FT_Get_Char_Index(face, one[0]));
  }
  size_t i = 0;
  for (auto _ : state) {
    FT_Load_Glyph(face, indexes[i], FT_LOAD_NO_BITMAP);
    FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
    benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    i = i + 1 == indexes.size() ? 0 : i + 1;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}
BENCHMARK(BM_GlyphFreeTypeLoadRender);

}  // namespace
