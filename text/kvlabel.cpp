// Label lines rendered through the glyph cache, and the label settings record; see kvlabel.h.
#include "text/kvlabel.h"

#include <algorithm>
#include <cstring>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/stream.h"
#include "text/fontpixels.h"
#include "text/wordlayout.h"

namespace orba {

std::array<uint8_t, TLabelMetrics::kStoredSize> TLabelMetrics::Stored() const {
  std::array<uint8_t, kStoredSize> bytes{};
  const int32_t values[] = {kStoredSize,       CellHeight,         Ascent,
                            Descent,           EmSize,             AverageWidth,
                            UnderlinePosition, UnderlineThickness, StrikeOutPosition,
                            StrikeOutThickness};
  size_t at = 0;
  for (int32_t v : values)
    for (int i = 0; i < 4; ++i) bytes[at++] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  return bytes;
}

// "ＭＳ Ｐゴシック"
TKvLabelList::TKvLabelList() : FontName("\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e") {}

void TKvLabelList::SetLines(const std::vector<std::string>& lines) {
  lines_.clear();
  for (const std::string& text : lines) {
    lines_.push_back(std::make_unique<TKvLabelDIB>());
    lines_.back()->Text = text;
  }
}

void TKvLabelList::Invalidate() {
  for (auto& line : lines_) line->Dirty = true;
}

void TKvLabelList::Render() {
  TFontPixelManager& cache = FontPixelManager();
  const platform::FontMetrics& m = cache.MetricsOf(FontName, Style, FontHeight);
  metrics_ = {m.cellHeight,         m.ascent,           m.descent,           m.emSize26_6, m.averageWidth,
              m.underlinePosition, m.underlineThickness, m.strikeOutPosition, m.strikeOutThickness};
  for (auto& line : lines_)
    if (line->Dirty) RenderLine(*line);
}

// A line's bitmaps hold the text with room for the outline on every side and the shadow
// below and right, so the first and last characters keep their whole decoration.
void TKvLabelList::RenderLine(TKvLabelDIB& line) {
  TFontPixelManager& cache = FontPixelManager();
  cache.SetQuality(Quality);
  const int32_t border = std::max(0, BorderWidth), shadow = std::max(0, Shadow);
  const uint8_t glyphStyle = Style & ~(DF_UNDERLINE | DF_STRIKEOUT);
  std::vector<uint16_t> codes;
  line.Advances.clear();
  int32_t width = 0;
  for (size_t i = 0; i < line.Text.size();) {
    const size_t len = CharLenAt(line.Text, i);
    const uint16_t code = CharCodeAt(line.Text, i);
    codes.push_back(code);
    line.Advances.push_back(cache.GetGlyph(code, FontName, glyphStyle, FontHeight).Advance);
    width += line.Advances.back();
    i += len;
  }
  const int32_t extra = 2 * border + shadow;
  line.Colour.SetSize(width + extra, FontHeight + extra, 32);
  line.AlphaSurface.SetSize(width + extra, FontHeight + extra, 8);
  if (!line.Colour.Empty()) {
    std::memset(line.Colour.Bits(), 0, static_cast<size_t>(line.Colour.Pitch()) * line.Colour.Height());
    std::memset(line.AlphaSurface.Bits(), 0, static_cast<size_t>(line.AlphaSurface.Pitch()) * line.AlphaSurface.Height());
  }
  const TGlyphDecoration deco{Color, border, BorderColor, shadow, ShadowColor};
  const TRect all = line.Colour.BoundsRect();
  int32_t x = border;
  for (size_t i = 0; i < codes.size(); ++i) {
    const TFontPixel& g = cache.GetGlyph(codes[i], FontName, glyphStyle, FontHeight);
    if (!g.Coverage.empty())
      DrawDecoratedGlyph(line.Colour, line.AlphaSurface, g.Coverage.data(), g.Width, g.PixelHeight, x + g.OriginX,
                         border + g.OriginY, deco, all);
    x += line.Advances[i];
  }
  const auto rule = [&](int32_t top, int32_t thickness) {
    thickness = std::max(1, thickness);
    const std::vector<uint8_t> full(static_cast<size_t>(std::max(width, 0)) * thickness, 255);
    DrawDecoratedGlyph(line.Colour, line.AlphaSurface, full.data(), width, thickness, border, top, deco, all);
  };
  if (Style & DF_UNDERLINE) rule(border + metrics_.Ascent + metrics_.UnderlinePosition, metrics_.UnderlineThickness);
  if (Style & DF_STRIKEOUT) rule(border + metrics_.Ascent - metrics_.StrikeOutPosition, metrics_.StrikeOutThickness);
  line.Dirty = false;
}

void TKvLabelList::Draw(int32_t x, int32_t y, size_t index) {
  if (!Target || index >= lines_.size()) return;
  TKvLabelDIB& line = *lines_[index];
  if (line.Dirty) Render();
  // Without decoration the label's one colour fills the coverage; with it, each pixel's
  // colour comes from the line's colour bitmap.
  const bool plain = BorderWidth <= 0 && Shadow <= 0;
  PaintCoverage(*Target, Target->EffectiveClip(), x, y, line.AlphaSurface, plain ? nullptr : &line.Colour, Color, 255,
                std::clamp(Alpha, 0, 255));
}

namespace {

// A quality stored before version 109 counted only monochrome or antialiased.
int32_t StoredQuality(int32_t value, int version) {
  if (version >= 109) return value;
  return value > 1 ? 3 : 0;
}

}  // namespace

void TKvLabelList::LoadSettings(TKvBigStream& stream, int version) {
  TBinaryReader in(stream);
  TKvLabelList v;  // read whole before anything changes
  v.Quality = StoredQuality(in.I32(), version);
  v.BorderWidth = in.I32();
  v.Alpha = in.I32();
  v.FontHeight = in.I32();
  v.FontName = in.String();
  v.Color = in.I32();
  v.BorderColor = in.I32();
  v.Style = in.U8();
  in.Skip(TLabelMetrics::kStoredSize);  // measured anew at Render
  if (version >= 122) {
    v.Shadow = in.I32();
    v.ShadowColor = in.I32();
  }
  Quality = v.Quality;
  BorderWidth = v.BorderWidth;
  Alpha = v.Alpha;
  FontHeight = v.FontHeight;
  FontName = std::move(v.FontName);
  Color = v.Color;
  BorderColor = v.BorderColor;
  Style = v.Style;
  Shadow = version >= 122 ? v.Shadow : 0;
  ShadowColor = version >= 122 ? v.ShadowColor : 0;
  Invalidate();
}

void TKvLabelList::SaveSettings(TKvBigStream& stream) const {
  TBinaryWriter out(stream);
  out.I32(Quality);
  out.I32(BorderWidth);
  out.I32(Alpha);
  out.I32(FontHeight);
  out.String(FontName);
  out.I32(Color);
  out.I32(BorderColor);
  out.U8(Style);
  const auto metrics = metrics_.Stored();
  out.Write(metrics.data(), static_cast<int64_t>(metrics.size()));
  out.I32(Shadow);
  out.I32(ShadowColor);
}

}  // namespace orba
