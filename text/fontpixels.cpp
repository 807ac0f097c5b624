#include "text/fontpixels.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {
namespace {

std::vector<uint8_t> Steps(std::initializer_list<std::array<int, 2>> runs) {
  std::vector<uint8_t> t{0};
  for (auto [from, to] : runs)
    for (int v = from; v <= to; v += 3) t.push_back(static_cast<uint8_t>(v));
  return t;
}

// The level count a quality rasterises at.
int LevelsOf(int quality) {
  static constexpr int kLevels[] = {2, 5, 17, 65};
  return kLevels[quality];
}

// The Unicode character of a code page 932 code; 0 when the code page has none.
char32_t CodePoint(uint16_t code) {
  std::string bytes;
  AppendCharCode(bytes, code);
  const std::string u = ToUtf8(bytes);
  if (u.empty()) return 0;
  const auto b = [&](size_t i) { return i < u.size() ? static_cast<uint8_t>(u[i]) & 0x3Fu : 0u; };
  const uint8_t lead = static_cast<uint8_t>(u[0]);
  if (lead < 0x80) return lead;
  if (lead < 0xE0) return ((lead & 0x1Fu) << 6) | b(1);
  if (lead < 0xF0) return ((lead & 0x0Fu) << 12) | (b(1) << 6) | b(2);
  return ((lead & 0x07u) << 18) | (b(1) << 12) | (b(2) << 6) | b(3);
}

}  // namespace

const std::vector<uint8_t>& CoverageTable(int quality) {
  static const std::vector<uint8_t> tables[] = {
      {0, 255},
      {0, 79, 127, 207, 255},
      {0, 43, 55, 67, 79, 91, 103, 115, 159, 171, 183, 195, 207, 219, 231, 243, 255},
      Steps({{18, 36}, {55, 100}, {119, 164}, {183, 255}}),
  };
  return tables[quality];
}

TFontPixelManager::TFontPixelManager(platform::IFontSource& fonts) : fonts_(fonts) {}

const TFontPixel& TFontPixelManager::GetGlyph(uint16_t code, std::string_view fontName, uint8_t style,
                                              int height) {
  auto& bucket = buckets_[code & 0xFF];
  for (Entry e : bucket) {
    if (e->Code == code && e->Height == height && e->Style == style && e->Quality == quality_ &&
        e->FontName == fontName) {
      recent_.splice(recent_.begin(), recent_, e);
      return *e;
    }
  }
  TFontPixel glyph;
  glyph.Code = code;
  glyph.FontName = fontName;
  glyph.Height = height;
  glyph.Style = style;
  Rasterise(glyph);  // may throw: nothing is cached then
  glyph.Quality = quality_;
  recent_.push_front(std::move(glyph));
  bucket.push_back(recent_.begin());
  if (recent_.size() > kCapacity) {
    Entry last = std::prev(recent_.end());
    auto& from = buckets_[last->Code & 0xFF];
    from.erase(std::find(from.begin(), from.end(), last));
    recent_.pop_back();
  }
  return recent_.front();
}

void TFontPixelManager::Select(std::string_view fontName, uint8_t style, int height) {
  if (font_ && fontName_ == fontName && fontStyle_ == style && fontHeight_ == height) return;
  platform::FontRequest request;
  request.faceUtf8 = ToUtf8(fontName);
  request.height = height;
  request.weight = (style & fsBold) ? 700 : 400;
  request.italic = style & fsItalic;
  request.underline = style & fsUnderline;
  request.strikeOut = style & fsStrikeOut;
  font_.reset();
  try {
    font_ = fonts_.Open(request);
  } catch (const std::exception&) {
    throw EOrbaError("Error:GetOutlineTextMetrics");
  }
  fontName_ = fontName;
  fontStyle_ = style;
  fontHeight_ = height;
}

void TFontPixelManager::Rasterise(TFontPixel& glyph) {
  Select(glyph.FontName, glyph.Style, glyph.Height);
  const platform::FontMetrics& m = font_->Metrics();
  glyph.Ascent = m.ascent;
  glyph.UnderlinePosition = m.underlinePosition;
  glyph.UnderlineThickness = m.underlineThickness;
  glyph.StrikeOutPosition = m.strikeOutPosition;
  glyph.StrikeOutThickness = m.strikeOutThickness;
  platform::GlyphImage image;
  const char32_t cp = CodePoint(glyph.Code);
  // A font that cannot give grey levels turns the cache monochrome for good.
  if (!font_->Glyph(cp, LevelsOf(quality_), image)) {
    quality_ = 0;
    monochromeOnly_ = true;
    if (!font_->Glyph(cp, LevelsOf(0), image)) image = {};
  }
  glyph.Advance = image.advance;
  if (image.coverage.empty()) return;
  const auto& table = CoverageTable(quality_);
  glyph.Width = image.width;
  glyph.PixelHeight = image.height;
  glyph.Coverage.resize(image.coverage.size());
  std::transform(image.coverage.begin(), image.coverage.end(), glyph.Coverage.begin(),
                 [&](uint8_t level) { return table[std::min<size_t>(level, table.size() - 1)]; });
  glyph.OriginX = std::max(0, image.left);
  glyph.OriginY = std::max(0, m.ascent - image.top);
  glyph.ExtraAdvance = std::max(0, image.advance - image.width - glyph.OriginX);
}

namespace {

struct GlobalCache {
  TFontSourceMaker maker;
  std::unique_ptr<platform::IFontSource> fonts;
  std::unique_ptr<TFontPixelManager> cache;
};

GlobalCache& Global() {
  static GlobalCache global;
  return global;
}

}  // namespace

void SetFontSourceMaker(TFontSourceMaker maker) { Global().maker = std::move(maker); }

TFontPixelManager& FontPixelManager() {
  GlobalCache& g = Global();
  if (!g.cache) {
    if (!g.maker) throw EOrbaError("no font source");
    g.fonts = g.maker();
    g.cache = std::make_unique<TFontPixelManager>(*g.fonts);
  }
  return *g.cache;
}

void FreeFontPixelManager() {
  GlobalCache& g = Global();
  g.cache.reset();
  g.fonts.reset();
}

std::vector<uint16_t> TFontPixelManager::RecentCodes() const {
  std::vector<uint16_t> codes;
  for (const auto& g : recent_) codes.push_back(g.Code);
  return codes;
}

}  // namespace orba
