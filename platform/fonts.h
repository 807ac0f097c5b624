// The fonts the player draws text with, as an interface: the core asks for a face by the name
// a project gives, a cell height and style flags, and gets glyph coverage at the level count
// of its text quality. platform/freetype implements it for every platform, the headless one
// included, so tests see the same glyphs as the player. Names cross this interface in UTF-8
// (the core converts from code page 932 at the call).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orba::platform {

// What a text asks for. height is the cell height in pixels (ascent plus descent as the
// projects' authors saw it), not the em size.
struct FontRequest {
  std::string faceUtf8;
  int height = 12;
  int weight = 400;  // 700 and above is drawn bold
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
};

// Pixel metrics of an opened font. ascent + descent == cellHeight; positions are from the
// baseline, downward positive for the underline and upward positive for the strike-out.
struct FontMetrics {
  std::string faceUtf8;  // the name the font answers to: the request's, or the fallback's
  std::string file;      // the font file the face was loaded from
  int cellHeight = 0;
  int ascent = 0;
  int descent = 0;
  int emSize26_6 = 0;  // the em size the cell height converted to, in 1/64 pixels
  int averageWidth = 0;
  int underlinePosition = 0;
  int underlineThickness = 0;
  int strikeOutPosition = 0;
  int strikeOutThickness = 0;
};

// One rasterised glyph. coverage holds width × height levels, rows top to bottom, each
// 0..levels−1. left is the pen-relative x of the first column, top the height of the first
// row above the baseline; advance is the pen step in whole pixels. A glyph without pixels
// (a space) has width and height 0 and only its advance.
struct GlyphImage {
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int advance = 0;
  int levels = 2;
  std::vector<uint8_t> coverage;
};

// An opened font of one request.
class IFont {
 public:
  virtual ~IFont() = default;
  // The font's metrics.
  virtual const FontMetrics& Metrics() const = 0;
  // Rasterises Unicode character cp with levels coverage levels (2 for monochrome, 5, 17
  // or 65 for grey); false when levels is none of these. A character the font lacks is
  // taken from another installed font that has it; one that no font has gives the face's
  // missing-glyph shape.
  virtual bool Glyph(char32_t cp, int levels, GlyphImage& out) = 0;
};

// Opens fonts; one instance serves the whole player.
class IFontSource {
 public:
  virtual ~IFontSource() = default;
  // Opens the named face, or the default Gothic face when nothing provides the name.
  virtual std::unique_ptr<IFont> Open(const FontRequest& request) = 0;
  // The file a face name resolves to (after the alias table), empty when none does.
  virtual std::string ResolveFile(const std::string& faceUtf8) = 0;
};

// The FreeType and fontconfig font source.
std::unique_ptr<IFontSource> CreateFontSource();

}  // namespace orba::platform
