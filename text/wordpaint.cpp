// Drawing a word: each revealed character is rendered once into two page-sized layers (its
// colours with shadow, outline, face and ruby, and its coverage), and painting copies the
// glyphs' rectangles from the layers onto the target with their fade-in alpha. Links under
// the mouse take the hover colour.
#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "render/dibsfc.h"
#include "text/fontpixels.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

// "ＭＳ ゴシック"
constexpr std::string_view kFallbackFont = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";

int32_t StyleValue(int32_t value, int32_t fallback) { return value == -1 ? fallback : value; }

bool IsReal(const TWdGlyph& g) { return g.Type == TGlyphType::Char || g.Type == TGlyphType::Img; }

// The visible area of the word in the target; a page height of 0 sets no lower edge.
TRect VisibleArea(const TKvWord& w) {
  return {w.ClipX, w.ClipY, w.ClipX + w.PageWidth, w.PageHeight > 0 ? w.ClipY + w.PageHeight : INT32_MAX / 2};
}

}  // namespace

void StampCoverage(TDIBSurface& colour, TDIBSurface& coverage, const uint8_t* mask, int32_t w, int32_t h, int32_t x,
                   int32_t y, int32_t bgr, const TRect& clip) {
  const TRect area = TRect{x, y, x + w, y + h}.Intersect(clip).Intersect(coverage.BoundsRect());
  if (area.IsEmpty()) return;
  const int32_t c[3] = {(bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF};  // blue, green, red bytes
  for (int32_t py = area.Top; py < area.Bottom; ++py) {
    const uint8_t* m = mask + static_cast<size_t>(py - y) * w - x;
    uint8_t* cov = coverage.ScanLine(py);
    uint8_t* col = colour.ScanLine(py);
    for (int32_t px = area.Left; px < area.Right; ++px) {
      const int32_t k = m[px];
      // Nothing stamped leaves the pixel as it was; the blend below never divides by a new
      // coverage of 0, since any k above 0 makes the new coverage positive.
      if (k == 0) continue;
      const int32_t a = cov[px];
      const int32_t na = a + k * (255 - a) / 255;
      cov[px] = static_cast<uint8_t>(na);
      const int32_t weight = k * 255 / na;
      uint8_t* p = col + 4 * px;
      for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(p[i] + (c[i] - p[i]) * weight / 255);
    }
  }
}

void DrawDecoratedGlyph(TDIBSurface& colour, TDIBSurface& coverage, const uint8_t* mask, int32_t w, int32_t h,
                        int32_t x, int32_t y, const TGlyphDecoration& d, const TRect& clip) {
  const int32_t b = d.Border;
  if (d.Shadow > 0)
    for (int32_t dy = -b; dy <= b; ++dy)
      for (int32_t dx = -b; dx <= b; ++dx)
        StampCoverage(colour, coverage, mask, w, h, x + dx + d.Shadow, y + dy + d.Shadow, d.ShadowColor, clip);
  for (int32_t dy = -b; dy <= b; ++dy)
    for (int32_t dx = -b; dx <= b; ++dx)
      if (dx != 0 || dy != 0) StampCoverage(colour, coverage, mask, w, h, x + dx, y + dy, d.BorderColor, clip);
  StampCoverage(colour, coverage, mask, w, h, x, y, d.Face, clip);
}

void TKvWord::MakeLayers() {
  const TWdPage* page = CurrentPagePtr();
  if (!page) return;
  if (!colourLayer_) colourLayer_ = std::make_unique<TDIBSurface>();
  if (!coverageLayer_) coverageLayer_ = std::make_unique<TDIBSurface>();
  colourLayer_->SetSize(page->Width, page->Height, 32);
  coverageLayer_->SetSize(page->Width, page->Height, 8);
  if (!colourLayer_->Empty()) std::memset(colourLayer_->Bits(), 0, static_cast<size_t>(colourLayer_->Pitch()) * page->Height);
  if (!coverageLayer_->Empty())
    std::memset(coverageLayer_->Bits(), 0, static_cast<size_t>(coverageLayer_->Pitch()) * page->Height);
}

void TKvWord::ReleaseSurfaces() {
  colourLayer_.reset();
  coverageLayer_.reset();
}

// What a character looks like now: its colours, font and decoration.
struct TCharLook {
  std::string_view Font;
  uint8_t Flags = 0;
  int32_t Size = 0;
  TGlyphDecoration Deco;
};

static TCharLook LookOf(const TKvWord& w, const TWdChar& ch) {
  const TDecorate* s = ch.Style;
  TCharLook look;
  look.Font = s && !s->FontName.empty() ? std::string_view(s->FontName)
              : !w.DefaultFontName.empty() ? std::string_view(w.DefaultFontName)
                                           : kFallbackFont;
  look.Flags = static_cast<uint8_t>((s ? s->Flags : 0) | (ch.Link.empty() ? 0 : DF_UNDERLINE));
  look.Size = s && s->Size > 0 ? s->Size : w.DefaultSize;
  const int32_t color = s ? s->Color : -1;
  look.Deco.Face = ch.Hover ? w.HoverColor : color != -1 ? color : !ch.Link.empty() ? w.LinkColor : w.DefaultColor;
  look.Deco.Border = std::max(0, StyleValue(s ? s->BorderWidth : -1, w.DefaultBorderWidth));
  look.Deco.BorderColor = StyleValue(s ? s->BorderColor : -1, w.DefaultBorderColor);
  look.Deco.Shadow = std::max(0, StyleValue(s ? s->Shadow : -1, w.DefaultShadow));
  look.Deco.ShadowColor = StyleValue(s ? s->ShadowColor : -1, w.DefaultShadowColor);
  return look;
}

void TKvWord::RenderGlyph(const TWdReal& glyph, int32_t pageX, int32_t pageY) {
  if (glyph.Type != TGlyphType::Char || !coverageLayer_) return;
  const auto& ch = static_cast<const TWdChar&>(glyph);
  const TRect rect = TRect{pageX, pageY, pageX + glyph.Width, pageY + glyph.Height}.Intersect(coverageLayer_->BoundsRect());
  if (rect.IsEmpty()) return;
  for (int32_t y = rect.Top; y < rect.Bottom; ++y) {
    std::memset(coverageLayer_->ScanLine(y) + rect.Left, 0, rect.Width());
    std::memset(colourLayer_->ScanLine(y) + 4 * rect.Left, 0, 4 * static_cast<size_t>(rect.Width()));
  }
  const TCharLook look = LookOf(*this, ch);
  const TDecorate* s = ch.Style;
  const bool ruby = s && !s->Ruby.empty();
  const int32_t rubySize = std::max(1, look.Size / 2);
  const int32_t border = look.Deco.Border;
  TFontPixelManager& cache = FontPixelManager();
  cache.SetQuality(Quality);
  // The face, centred in its square cell below the ruby band.
  const int32_t cellX = pageX + border, cellY = pageY + border + (ruby ? rubySize : 0);
  const int32_t cellW = look.Size + ((look.Flags & DF_ITALIC) ? look.Size / 5 : 0);
  const TFontPixel& fp = cache.GetGlyph(ch.Code, look.Font, look.Flags, look.Size);
  const int32_t penX = cellX + (cellW - fp.Advance) / 2;
  if (!fp.Coverage.empty())
    DrawDecoratedGlyph(*colourLayer_, *coverageLayer_, fp.Coverage.data(), fp.Width, fp.PixelHeight,
                       penX + fp.OriginX, cellY + fp.OriginY, look.Deco, rect);
  const int32_t ascent = fp.Ascent, ulPos = fp.UnderlinePosition, ulThick = std::max(1, fp.UnderlineThickness);
  const int32_t soPos = fp.StrikeOutPosition, soThick = std::max(1, fp.StrikeOutThickness);
  // Underline and strike-out run the width of the cell.
  const auto line = [&](int32_t top, int32_t thickness) {
    const std::vector<uint8_t> full(static_cast<size_t>(cellW) * thickness, 255);
    DrawDecoratedGlyph(*colourLayer_, *coverageLayer_, full.data(), cellW, thickness, cellX, top, look.Deco, rect);
  };
  if (look.Flags & DF_UNDERLINE) line(cellY + ascent + ulPos - ulThick / 2, ulThick);
  if (look.Flags & DF_STRIKEOUT) line(cellY + ascent - soPos - soThick / 2, soThick);
  if (!ruby) return;
  // The ruby is spread over the run of characters sharing it; each character draws the part
  // that falls in its own rectangle, so a run can be revealed and hovered glyph by glyph.
  const TWdPage* page = CurrentPagePtr();
  const TWdRow* row = nullptr;
  size_t at = 0;
  for (const auto& r : page->Rows) {
    if (r->Top > pageY || pageY >= r->Top + std::max(r->Height, 1)) continue;
    auto it = std::find(r->Glyphs.begin(), r->Glyphs.end(), &glyph);
    if (it != r->Glyphs.end()) {
      row = r.get();
      at = static_cast<size_t>(it - r->Glyphs.begin());
      break;
    }
  }
  if (!row) return;
  const auto sameRuby = [&](const TWdGlyph* g) {
    return g->Type == TGlyphType::Char && static_cast<const TWdChar*>(g)->Style &&
           static_cast<const TWdChar*>(g)->Style->Ruby == s->Ruby;
  };
  size_t first = at, last = at;
  while (first > 0 && sameRuby(row->Glyphs[first - 1])) --first;
  while (last + 1 < row->Glyphs.size() && sameRuby(row->Glyphs[last + 1])) ++last;
  const int32_t runLeft = row->Glyphs[first]->Left;
  const int32_t runWidth = row->Glyphs[last]->Left + row->Glyphs[last]->Width - runLeft;
  std::vector<std::pair<uint16_t, size_t>> chars;
  for (size_t i = 0; i < s->Ruby.size();) {
    const size_t len = CharLenAt(s->Ruby, i);
    chars.emplace_back(CharCodeAt(s->Ruby, i), len);
    i += len;
  }
  const int32_t n = static_cast<int32_t>(chars.size());
  for (int32_t i = 0; i < n; ++i) {
    const int32_t centre = runLeft + (2 * i + 1) * runWidth / (2 * n);
    const int32_t x = centre - (chars[i].second == 2 ? rubySize / 2 : rubySize / 4);
    const TFontPixel& rp = cache.GetGlyph(chars[i].first, look.Font, look.Flags & ~DF_UNDERLINE, rubySize);
    if (!rp.Coverage.empty())
      DrawDecoratedGlyph(*colourLayer_, *coverageLayer_, rp.Coverage.data(), rp.Width, rp.PixelHeight, x + rp.OriginX,
                         pageY + border + rp.OriginY, look.Deco, rect);
  }
}

void TKvWord::Invalidate(const TWdGlyph& g, const TWdPage& page, int32_t rowTop) {
  const int32_t x = ClipX + g.Left, y = ClipY + rowTop + g.Top - page.Scroll;
  const TRect r = TRect{x, y, x + g.Width, y + g.Height}.Intersect(VisibleArea(*this));
  if (!r.IsEmpty()) invalid_.push_back(r);
}

std::vector<TRect> TKvWord::TakeInvalid() {
  std::vector<TRect> out;
  out.swap(invalid_);
  return out;
}

namespace {

// Blends or adds one source colour into a target pixel with strength a (0..255).
struct TPixelMixer {
  int32_t wordAlpha;
  inline void Mix(uint8_t* dst, const uint8_t* bgr, int32_t a) const {
    if (wordAlpha <= 255) {
      const int32_t s = a * wordAlpha / 255;  // 0..255
      for (int i = 0; i < 3; ++i) dst[i] = static_cast<uint8_t>(dst[i] + (bgr[i] - dst[i]) * s / 255);
    } else {
      const int32_t s = a * (wordAlpha - 256) / 256;
      for (int i = 0; i < 3; ++i) dst[i] = static_cast<uint8_t>(std::min(255, dst[i] + bgr[i] * s / 255));
    }
  }
};

}  // namespace

void PaintCoverage(TDIBSurface& target, const TRect& area, int32_t x, int32_t y, const TDIBSurface& coverage,
                   const TDIBSurface* colour, int32_t bgr, int32_t glyphAlpha, int32_t alpha) {
  const TRect r = area.Intersect(target.EffectiveClip())
                      .Intersect({x, y, x + coverage.Width(), y + coverage.Height()});
  if (r.IsEmpty() || alpha <= 0 || (target.BitCount() != 24 && target.BitCount() != 32)) return;
  const int32_t bpp = target.BitCount() / 8;
  const TPixelMixer mixer{std::min(alpha, 511)};
  const uint8_t face[3] = {static_cast<uint8_t>(bgr >> 16), static_cast<uint8_t>(bgr >> 8), static_cast<uint8_t>(bgr)};
  const int32_t ga = std::clamp(glyphAlpha, 0, 255);
  for (int32_t py = r.Top; py < r.Bottom; ++py) {
    const uint8_t* cov = coverage.ScanLine(py - y) - x;
    const uint8_t* col = colour ? colour->ScanLine(py - y) - 4 * x : nullptr;
    uint8_t* dst = target.ScanLine(py) + bpp * r.Left;
    for (int32_t px = r.Left; px < r.Right; ++px, dst += bpp) {
      const int32_t k = cov[px];
      if (k == 0) continue;
      mixer.Mix(dst, col ? col + 4 * px : face, k * ga / 255);
    }
  }
}

void TKvWord::Paint(TDIBSurface& target, const TRect& area) {
  const TWdPage* page = CurrentPagePtr();
  if (!page || !coverageLayer_ || Alpha <= 0 || (target.BitCount() != 24 && target.BitCount() != 32)) return;
  const int32_t offX = ClipX, offY = ClipY - page->Scroll;  // page to target
  // The layers may be of another page when the owner turned the page without ResetDisplay.
  const TRect layers{offX, offY, offX + coverageLayer_->Width(), offY + coverageLayer_->Height()};
  const TRect clip = area.Intersect(VisibleArea(*this)).Intersect(target.EffectiveClip()).Intersect(layers);
  if (clip.IsEmpty()) return;
  const int32_t bpp = target.BitCount() / 8;
  const TPixelMixer mixer{std::min(Alpha, 511)};
  for (const auto& row : page->Rows) {
    if (row->Top + offY >= clip.Bottom || row->Top + row->Height + offY <= clip.Top) continue;
    for (const TWdGlyph* g : row->Glyphs) {
      if (!IsReal(*g)) continue;
      const auto& real = static_cast<const TWdReal&>(*g);
      if (real.Alpha <= 0) continue;
      const int32_t gx = g->Left + offX, gy = row->Top + g->Top + offY;
      const TRect r = TRect{gx, gy, gx + g->Width, gy + g->Height}.Intersect(clip);
      if (r.IsEmpty()) continue;
      const int32_t galpha = std::min(real.Alpha, 255);
      if (g->Type == TGlyphType::Img) {
        const TTextImage* image = static_cast<const TWdImg&>(*g).Picture.get();
        if (!image) continue;
        const TDIBSurface* pic = &image->Frame(image->CurrentIndex());
        for (int32_t y = r.Top; y < r.Bottom; ++y) {
          uint8_t* dst = target.ScanLine(y) + bpp * r.Left;
          for (int32_t x = r.Left; x < r.Right; ++x, dst += bpp) {
            const TRGB c = pic->PixelToRGB(pic->GetPixel(x - gx, y - gy), true);
            const int32_t pa = pic->Alpha() ? pic->Alpha()->ScanLine(y - gy)[x - gx] : 255;
            const uint8_t bgr[3] = {c.Blue, c.Green, c.Red};
            mixer.Mix(dst, bgr, pa * galpha / 255);
          }
        }
        continue;
      }
      const TCharLook look = LookOf(*this, static_cast<const TWdChar&>(*g));
      // Plain glyphs fill their colour through the coverage; decorated ones take each
      // pixel's colour from the colour layer.
      const bool plain = look.Deco.Border == 0 && look.Deco.Shadow == 0;
      PaintCoverage(target, r, offX, offY, *coverageLayer_, plain ? nullptr : colourLayer_.get(), look.Deco.Face, galpha,
                    Alpha);
    }
  }
}

TWdReal* TKvWord::HitTest(int32_t x, int32_t y) const {
  const TWdPage* page = CurrentPagePtr();
  if (!page) return nullptr;
  const int32_t px = x - ClipX, py = y - ClipY + page->Scroll;
  for (const auto& row : page->Rows) {
    if (py < row->Top || py >= row->Top + row->Height) continue;
    for (TWdGlyph* g : row->Glyphs) {
      if (!IsReal(*g) || px < g->Left || px >= g->Left + g->Width) continue;
      auto* real = static_cast<TWdReal*>(g);
      if (real->Alpha >= 255) return real;
    }
  }
  return nullptr;
}

namespace {

// The current page's shown glyphs in order, with the tops of their rows.
std::vector<TFadingGlyph> PageGlyphs(const TWdPage& page) {
  std::vector<TFadingGlyph> out;
  for (const auto& row : page.Rows)
    for (TWdGlyph* g : row->Glyphs)
      if (IsReal(*g)) out.push_back({static_cast<TWdReal*>(g), row->Top});
  return out;
}

}  // namespace

bool TKvWord::HoverAt(int32_t x, int32_t y) {
  TWdPage* page = CurrentPagePtr();
  if (!page) return false;
  TWdReal* hit = HitTest(x, y);
  if (hit && hit->Link.empty()) hit = nullptr;
  const auto glyphs = PageGlyphs(*page);
  size_t first = glyphs.size();
  for (size_t i = 0; i < glyphs.size(); ++i)
    if (glyphs[i].Glyph == hit) {
      first = i;
      while (first > 0 && glyphs[first - 1].Glyph->Link == hit->Link) --first;
      break;
    }
  TWdReal* start = first < glyphs.size() ? glyphs[first].Glyph : nullptr;
  if (start == page->Hovered) return false;
  const auto setRun = [&](TWdReal* from, bool on) {
    bool inRun = false;
    for (const TFadingGlyph& f : glyphs) {
      if (f.Glyph == from) inRun = true;
      if (!inRun) continue;
      if (f.Glyph->Link != from->Link) break;
      f.Glyph->Hover = on;
      RenderGlyph(*f.Glyph, f.Glyph->Left, f.RowTop + f.Glyph->Top);
      Invalidate(*f.Glyph, *page, f.RowTop);
    }
  };
  if (page->Hovered) setRun(page->Hovered, false);
  page->Hovered = start;
  if (start) setRun(start, true);
  return true;
}

std::string TKvWord::HoveredText() const {
  const TWdPage* page = CurrentPagePtr();
  std::string text;
  if (!page || !page->Hovered) return text;
  bool inRun = false;
  for (const TFadingGlyph& f : PageGlyphs(*page)) {
    if (f.Glyph == page->Hovered) inRun = true;
    if (!inRun) continue;
    if (f.Glyph->Link != page->Hovered->Link) break;
    if (f.Glyph->Type == TGlyphType::Char) {
      AppendCharCode(text, static_cast<const TWdChar*>(f.Glyph)->Code);
    }
  }
  return text;
}

}  // namespace orba
