// Layout of a word's glyphs into pages and rows: where rows may break, how wide and tall
// each glyph is, floats, indents, alignment, line spacing and paging.
#include "text/wordlayout.h"

#include <algorithm>
#include <climits>

#include "render/dibsfc.h"

namespace orba {
namespace {

// A code page 932 list of characters as codes.
constexpr bool InCodes(uint16_t code, std::initializer_list<uint16_t> codes) {
  for (uint16_t c : codes)
    if (c == code) return true;
  return false;
}

uint16_t CodeOf(const TWdGlyph& g) {
  return g.Type == TGlyphType::Char ? static_cast<const TWdChar&>(g).Code : 0;
}

bool NoBreakOf(const TWdGlyph& g) {
  if (g.Type == TGlyphType::Char) {
    const TDecorate* s = static_cast<const TWdChar&>(g).Style;
    return s && s->NoBreak;
  }
  return g.Type == TGlyphType::Img && static_cast<const TWdImg&>(g).NoBreak;
}

const std::string* RubyOf(const TWdGlyph& g) {
  if (g.Type == TGlyphType::Char) {
    const TDecorate* s = static_cast<const TWdChar&>(g).Style;
    return s ? &s->Ruby : nullptr;
  }
  return g.Type == TGlyphType::Img ? &static_cast<const TWdImg&>(g).Ruby : nullptr;
}

bool IsSingleByteLetter(const TWdGlyph& g) {
  return g.Type == TGlyphType::Char && CodeOf(g) > 32 && CodeOf(g) < 256;
}

bool IsSpace(const TWdGlyph& g) { return g.Type == TGlyphType::Char && CodeOf(g) == 32; }

bool IsFloat(const TWdGlyph& g) {
  if (g.Type != TGlyphType::Img) return false;
  const uint8_t align = static_cast<const TWdImg&>(g).Align;
  return align == AL_LEFT || align == AL_RIGHT;
}

// Glyphs that steer layout instead of taking a place in a row.
bool IsLayoutOperation(const TWdGlyph& g) {
  return g.Type == TGlyphType::Align || g.Type == TGlyphType::Indent || g.Type == TGlyphType::Undent;
}

// An image whose picture is missing takes no place at all.
bool IsMissingImage(const TWdGlyph& g) {
  return g.Type == TGlyphType::Img && !static_cast<const TWdImg&>(g).Picture;
}

int32_t StyleValue(int32_t value, int32_t fallback) { return value == -1 ? fallback : value; }

// One float: a rectangle at the page's left or right edge that narrows the rows beside it.
struct FloatRect {
  int32_t top, bottom, width;
  bool left;
};

class Layouter {
 public:
  explicit Layouter(TKvWord& word) : word_(word) {}

  void Run(size_t begin, size_t end);

 private:
  TWdRow& EnsureRow();
  void AddToRow(TWdGlyph& g);
  void UpdateHeight(TWdRow& row);
  void SetSpan(TWdRow& row) const;
  void CloseRow(int32_t extra);
  void ClosePage() {
    page_ = nullptr;
    row_ = nullptr;
    y_ = 0;
    floats_.clear();
  }
  int32_t SpanRight() const { return word_.PageWidth > 0 ? word_.PageWidth : INT32_MAX / 2; }

  TKvWord& word_;
  TWdPage* page_ = nullptr;
  TWdRow* row_ = nullptr;
  int32_t y_ = 0;
  uint8_t align_ = AL_LEFT;
  int32_t indent_ = 0;
  std::vector<FloatRect> floats_;
  size_t next_ = 0;  // list position of the glyph being placed
};

void Layouter::SetSpan(TWdRow& row) const {
  row.RowLeft = 0;
  row.RowRight = SpanRight();
  for (const FloatRect& f : floats_) {
    if (row.Top < f.top || row.Top >= f.bottom) continue;
    if (f.left)
      row.RowLeft = std::max(row.RowLeft, f.width);
    else
      row.RowRight = std::min(row.RowRight, SpanRight() - f.width);
  }
}

TWdRow& Layouter::EnsureRow() {
  if (row_) return *row_;
  if (!page_) {
    word_.Pages.push_back(std::make_unique<TWdPage>());
    page_ = word_.Pages.back().get();
    y_ = 0;
  }
  page_->Rows.push_back(std::make_unique<TWdRow>());
  row_ = page_->Rows.back().get();
  row_->Top = y_;
  row_->Align = align_;
  row_->FirstIndex = next_;
  row_->StartIndent = indent_;
  SetSpan(*row_);
  if (indent_ > 0) {
    row_->Indent = std::make_unique<TWdSpace>();
    row_->Indent->Width = indent_;
    row_->Glyphs.push_back(row_->Indent.get());
    row_->Width = indent_;
  }
  return *row_;
}

// The baseline band holds the characters and the images resting on it; images aligned
// centre, top or bottom reach above or below it.
void Layouter::UpdateHeight(TWdRow& row) {
  const int32_t c = row.Baseline;
  const int32_t center = std::max(0, (row.CenterImage - c + 1) / 2);
  row.Above = std::max({0, center, row.BottomImage - c});
  row.Below = std::max({0, center, row.TopImage - c});
  row.Height = c + row.Above + row.Below;
}

void Layouter::AddToRow(TWdGlyph& g) {
  TWdRow& row = *row_;
  row.Glyphs.push_back(&g);
  if (IsFloat(g)) return;
  row.Width += g.Width;
  const uint8_t align = g.Type == TGlyphType::Img ? static_cast<const TWdImg&>(g).Align : uint8_t{AL_NONE};
  switch (align) {
    case AL_CENTER: row.CenterImage = std::max(row.CenterImage, g.Height); break;
    case AL_TOP: row.TopImage = std::max(row.TopImage, g.Height); break;
    case AL_BOTTOM: row.BottomImage = std::max(row.BottomImage, g.Height); break;
    default: row.Baseline = std::max(row.Baseline, g.Height);
  }
  // An empty line still takes the height of a line of text.
  if (g.Type == TGlyphType::Return && row.Baseline == 0 && row.CenterImage + row.TopImage + row.BottomImage == 0)
    row.Baseline = word_.DefaultSize;
  UpdateHeight(row);
}

void Layouter::CloseRow(int32_t extra) {
  y_ += row_->Height + extra;
  row_ = nullptr;
}

void Layouter::Run(size_t begin, size_t end) {
  next_ = begin;
  while (next_ < end) {
    TWdGlyph& g = *word_.Glyph(next_);
    if (g.Type == TGlyphType::Align) {
      align_ = static_cast<const TWdOpeAlign&>(g).Align;
      if (row_ && row_->Glyphs.size() == (row_->Indent ? 1u : 0u)) row_->Align = align_;
      ++next_;
      continue;
    }
    if (g.Type == TGlyphType::Indent || g.Type == TGlyphType::Undent) {
      indent_ = g.Type == TGlyphType::Indent && row_ ? row_->Width : 0;
      ++next_;
      continue;
    }
    if (IsMissingImage(g)) {
      ++next_;
      continue;
    }
    EnsureRow();
    if (IsFloat(g)) {
      if (!row_->Glyphs.empty()) {
        CloseRow(0);
        EnsureRow();
      }
      // A float taller than what is left opens a new page, unless the page holds nothing
      // else yet: there it stays, or no page would ever take it.
      if (word_.Paging && page_->Rows.size() > 1 && y_ + g.Height > word_.PageHeight) {
        page_->Rows.pop_back();
        ClosePage();
        EnsureRow();
      }
      const bool left = static_cast<const TWdImg&>(g).Align == AL_LEFT;
      g.Left = left ? row_->RowLeft : row_->RowRight - g.Width;
      g.Top = 0;
      floats_.push_back({y_, y_ + g.Height, left ? row_->RowLeft + g.Width : SpanRight() - row_->RowRight + g.Width, left});
      AddToRow(g);
      SetSpan(*row_);
      ++next_;
      continue;
    }
    const size_t unitEnd = UnitEnd(word_, next_, end);
    int32_t unitWidth = 0;
    for (size_t k = next_; k < unitEnd; ++k) unitWidth += word_.Glyph(k)->Width;
    const bool rowHasGlyphs = !row_->Glyphs.empty() && !(row_->Glyphs.size() == 1 && row_->Indent);
    if (rowHasGlyphs && word_.PageWidth > 0 && row_->RowRight - row_->RowLeft < row_->Width + unitWidth) {
      CloseRow(word_.LineSpace);
      EnsureRow();
    }
    bool restarted = false;
    for (size_t k = next_; k < unitEnd; ++k) {
      TWdGlyph& u = *word_.Glyph(k);
      if (IsMissingImage(u)) continue;
      AddToRow(u);
      // A row that overflows the page starts again as the first row of a new one.
      if (word_.Paging && page_->Rows.size() > 1 && y_ + row_->Height > word_.PageHeight) {
        next_ = row_->FirstIndex;
        align_ = row_->Align;
        indent_ = row_->StartIndent;
        page_->Rows.pop_back();
        ClosePage();
        restarted = true;
        break;
      }
      if (u.Type == TGlyphType::Return) {
        CloseRow(word_.LineSpace);
        if (static_cast<const TWdOpeReturn&>(u).Clear) ClosePage();
      }
    }
    if (!restarted) next_ = unitEnd;
  }
}

// Horizontal places of a finished row's glyphs, and their tops within the row.
void PlaceRow(TWdRow& row, int32_t pageWidth) {
  row.RowRight = std::min(row.RowRight, pageWidth);
  int32_t x = row.RowLeft;
  if (row.Align == AL_RIGHT) x = row.RowRight - row.Width;
  if (row.Align == AL_CENTER) x = row.RowLeft + (row.RowRight - row.RowLeft - row.Width) / 2;
  const int32_t c = row.Baseline;
  for (TWdGlyph* g : row.Glyphs) {
    if (IsFloat(*g)) {
      if (static_cast<const TWdImg&>(*g).Align == AL_RIGHT) g->Left = std::min(g->Left, pageWidth - g->Width);
      continue;
    }
    g->Left = x;
    x += g->Width;
    const uint8_t align = g->Type == TGlyphType::Img ? static_cast<const TWdImg&>(*g).Align : uint8_t{AL_NONE};
    if (g->Height == 0)
      g->Top = row.Above;
    else if (align == AL_CENTER)
      g->Top = row.Above + (c - g->Height) / 2;
    else if (align == AL_TOP)
      g->Top = row.Above;
    else
      g->Top = row.Height - row.Below - g->Height;
  }
}

}  // namespace

bool IsLineStartForbidden(uint16_t code) {
  // 。、｣」』)）､｡!?！？】
  return InCodes(code, {0x8142, 0x8141, 0xA3, 0x8176, 0x8178, 0x29, 0x816A, 0xA4, 0xA1, 0x21, 0x3F, 0x8149, 0x8148,
                        0x817A});
}

bool IsLineEndForbidden(uint16_t code) {
  // ｢「『（([<【
  return InCodes(code, {0xA2, 0x8175, 0x8177, 0x8169, 0x28, 0x5B, 0x3C, 0x8179});
}

bool BreakAllowedBefore(const TWdGlyph& b, const TWdGlyph& a) {
  if (NoBreakOf(a) && NoBreakOf(b)) return false;
  const std::string* ruby = RubyOf(a);
  const std::string* before = RubyOf(b);
  if (ruby && before && !ruby->empty() && *ruby == *before) return false;
  if (IsSingleByteLetter(a) && IsSingleByteLetter(b)) return false;
  if (IsSpace(a) && !IsSpace(b)) return false;
  return !(a.Type == TGlyphType::Char && IsLineStartForbidden(CodeOf(a)));
}

size_t UnitEnd(const TKvWord& word, size_t begin, size_t end) {
  const auto extend = [&](size_t j) {
    while (j < end) {
      const TWdGlyph& g = *word.Glyph(j);
      if (g.Type == TGlyphType::Return) return j + 1;
      if (IsLayoutOperation(g) || IsFloat(g) || BreakAllowedBefore(*word.Glyph(j - 1), g)) break;
      ++j;
    }
    return j;
  };
  const TWdGlyph& first = *word.Glyph(begin);
  if (first.Type == TGlyphType::Return) return begin + 1;
  size_t j = extend(begin + 1);
  if (j == begin + 1 && j < end && IsLineEndForbidden(CodeOf(first)) && word.Glyph(j)->Type != TGlyphType::Return &&
      !IsLayoutOperation(*word.Glyph(j)) && !IsFloat(*word.Glyph(j)))
    j = extend(j + 1);
  return j;
}

void TKvWord::Measure(size_t first, size_t last) {
  for (size_t i = first; i <= last && i < glyphs_.size(); ++i) {
    TWdGlyph& g = *glyphs_[i];
    g.Width = g.Height = 0;
    if (g.Type == TGlyphType::Char) {
      const TDecorate* style = static_cast<const TWdChar&>(g).Style;
      const int32_t size = style && style->Size > 0 ? style->Size : DefaultSize;
      int32_t w = size + (style && (style->Flags & DF_ITALIC) ? size / 5 : 0);
      int32_t h = size + (style && !style->Ruby.empty() ? std::max(1, size / 2) : 0);
      const int32_t border = std::max(0, StyleValue(style ? style->BorderWidth : -1, DefaultBorderWidth));
      const int32_t shadow = std::max(0, StyleValue(style ? style->Shadow : -1, DefaultShadow));
      g.Width = w + 2 * border + shadow;
      g.Height = h + 2 * border + shadow;
    } else if (g.Type == TGlyphType::Img) {
      auto& img = static_cast<TWdImg&>(g);
      if (!img.Loaded) {
        img.Loaded = true;
        if (ImageLoader) img.Picture = ImageLoader(img.Src);
        if (img.Picture && (img.Picture->FrameCount() == 0 || img.Picture->Frame(0).Empty())) img.Picture.reset();
      }
      if (img.Picture) {
        g.Width = img.Picture->Frame(0).Width();
        g.Height = img.Picture->Frame(0).Height();
      }
    }
  }
}

void TKvWord::Layout(size_t first, int32_t last) {
  Pages.clear();
  CurrentPage = 0;
  colourLayer_.reset();  // the layers belong to the old pages: ResetDisplay makes new ones
  coverageLayer_.reset();
  size_t end = glyphs_.size();
  if (last >= 0 && static_cast<size_t>(last) < SourceIndex(glyphs_.size())) {
    end = ListIndex(static_cast<size_t>(last) + 1);
    while (end < glyphs_.size() && glyphs_[end]->Generated) ++end;  // the shown value of a variable
  }
  if (first >= end) return;
  Measure(first, end - 1);
  const bool noWrap = PageWidth <= 0;
  Layouter(*this).Run(first, end);
  if (noWrap) {
    PageWidth = 0;
    for (const auto& page : Pages)
      for (const auto& row : page->Rows) PageWidth = std::max(PageWidth, row->Width);
  }
  for (const auto& page : Pages) {
    page->Width = PageWidth;
    for (const auto& row : page->Rows) {
      if (noWrap) row->RowRight = PageWidth;
      PlaceRow(*row, PageWidth);
      page->Height = std::max(page->Height, row->Top + row->Height);
      for (const TWdGlyph* g : row->Glyphs)
        if (IsFloat(*g)) page->Height = std::max(page->Height, row->Top + g->Height);
    }
  }
}

}  // namespace orba
