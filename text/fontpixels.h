// Rasterised characters for message windows and labels, kept in one cache so a line of text
// asks the font source for each character once. Glyphs are found by the low byte of their
// character code and the 256 used most recently stay; each holds 8-bit coverage already
// mapped through the grey table of the quality it was made at.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts.h"

namespace orba {

// Style flag bits of a character.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// One rasterised character. Code is the code page 932 character code (a double-byte
// character as lead × 256 + trail).
struct TFontPixel {
  uint16_t Code = 0;
  std::string FontName;  // code page 932
  int Height = 0;
  uint8_t Style = 0;
  int Quality = 0;

  int Width = 0, PixelHeight = 0;  // of Coverage; 0 for a glyph without pixels
  std::vector<uint8_t> Coverage;   // 0..255, rows top to bottom
  int OriginX = 0;                 // left edge of the pixels in the cell, ≥ 0
  int OriginY = 0;                 // top of the pixels below the cell top, ≥ 0
  int ExtraAdvance = 0;            // cell advance − Width − OriginX when positive
  int Advance = 0;                 // the cell advance (the text width of the character)
  int Ascent = 0;  // baseline below the cell top
  int UnderlinePosition = 0;  // below the baseline
  int UnderlineThickness = 0;
  int StrikeOutPosition = 0;
  int StrikeOutThickness = 0;
};

class TFontPixelManager {
 public:
  static constexpr int kCapacity = 256;

  explicit TFontPixelManager(platform::IFontSource& fonts);

  // The glyph of code in the named font (code page 932), style flags and cell height, at the
  // current quality. The reference lives until the next call.
  const TFontPixel& GetGlyph(uint16_t code, std::string_view fontName, uint8_t style, int height);

  // 0 monochrome, 1..3 grey with 5, 17 and 65 levels; set before each use by the text
  // or label that draws. Once a font has failed to give grey levels, it stays 0.
  int Quality() const { return quality_; }
  void SetQuality(int quality) { quality_ = monochromeOnly_ || quality < 0 ? 0 : quality > 3 ? 3 : quality; }

  // Metrics of the named font, selecting it (labels measure before they draw).
  const platform::FontMetrics& MetricsOf(std::string_view fontName, uint8_t style, int height) {
    Select(fontName, style, height);
    return font_->Metrics();
  }

  // Metrics of the selected font (after a GetGlyph).
  const platform::FontMetrics* Metrics() const { return font_ ? &font_->Metrics() : nullptr; }

  // Codes of the cached glyphs, most recently used first.
  std::vector<uint16_t> RecentCodes() const;

 private:
  using Entry = std::list<TFontPixel>::iterator;
  void Select(std::string_view fontName, uint8_t style, int height);
  void Rasterise(TFontPixel& glyph);

  platform::IFontSource& fonts_;
  std::list<TFontPixel> recent_;  // front: most recently used
  std::array<std::vector<Entry>, 256> buckets_;
  int quality_ = 0;
  bool monochromeOnly_ = false;
  std::unique_ptr<platform::IFont> font_;
  std::string fontName_;
  uint8_t fontStyle_ = 0;
  int fontHeight_ = 0;
};

// The player's glyph cache, made on first use. Its fonts come from the maker the program
// installed at start: opening fonts wakes fontconfig, which reports on stderr and fills its
// caches, so nothing opens them until the first text is drawn. Without a maker the first use
// raises.
using TFontSourceMaker = std::function<std::unique_ptr<platform::IFontSource>()>;
void SetFontSourceMaker(TFontSourceMaker maker);
TFontPixelManager& FontPixelManager();
// Frees the cache and its fonts; the next use makes them again.
void FreeFontPixelManager();

// The coverage value of each grey level of a quality (index = level).
const std::vector<uint8_t>& CoverageTable(int quality);

}  // namespace orba
