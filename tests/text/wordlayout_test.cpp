// Layout of words into pages and rows: the break rules as a table, units, glyph sizes, rows
// placed by alignment, floats, indents and paging, with every expected position worked out
// here from the sizes the text asks for.
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "render/dibsfc.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

std::string J(std::u8string_view utf8) { return Sjis(utf8); }

struct BreakCase {
  std::u8string_view text;
  size_t at;  // glyph index a; b is the one before it
  bool allowed;
  const char* why;
};

TEST(WordBreaks, TheRulesAsATable) {
  const BreakCase cases[] = {
      {u8"漢字", 1, true, "between two kanji"},
      {u8"ab", 1, false, "inside a run of single-byte letters"},
      {u8"ｱｲ", 1, false, "single-byte kana are single-byte letters too"},
      {u8"a b", 1, false, "never before a space after a non-space"},
      {u8"a b", 2, true, "after a space"},
      {u8"a  ", 1, false, "a space after a letter stays with it"},
      {u8"漢」", 1, false, "」 never starts a row"},
      {u8"漢。", 1, false, "。"},
      {u8"漢、", 1, false, "、"},
      {u8"漢！", 1, false, "！"},
      {u8"漢？", 1, false, "？"},
      {u8"漢）", 1, false, "）"},
      {u8"漢』", 1, false, "』"},
      {u8"漢】", 1, false, "】"},
      {u8"漢｣", 1, false, "half-width ｣"},
      {u8"漢!", 1, false, "!"},
      {u8"「漢", 1, true, "after 「 the rule is the unit's, not the pair's"},
      {u8"<NOBR>漢字</NOBR>", 1, false, "both no-break"},
      {u8"<NOBR>漢</NOBR>字", 1, true, "only one no-break"},
      {u8"<RUBY VALUE=かんじ>漢字</RUBY>", 1, false, "the same ruby"},
      {u8"<RUBY VALUE=a>漢</RUBY><RUBY VALUE=b>字</RUBY>", 1, true, "different rubies"},
  };
  for (const BreakCase& c : cases) {
    TKvWord word;
    word.SetText({J(c.text)});
    ASSERT_GT(word.GlyphCount(), c.at) << c.why;
    EXPECT_EQ(BreakAllowedBefore(*word.Glyph(c.at - 1), *word.Glyph(c.at)), c.allowed) << c.why;
  }
}

TEST(WordBreaks, UnitsHoldWhatMustStayTogether) {
  struct UnitCase {
    std::u8string_view text;
    size_t begin, end;
  };
  const UnitCase cases[] = {
      {u8"abc def", 0, 4},       // the word and its space
      {u8"abc def", 4, 7},
      {u8"漢字」。です", 0, 1},  // a kanji alone
      {u8"漢字」。です", 1, 4},  // the closing marks stay with the kanji before them
      {u8"「漢字", 0, 2},        // an opening bracket takes the next character with it
      {u8"「<NOBR>漢字</NOBR>", 0, 3},
      {u8"「<BR>漢", 0, 2},      // ... unless a line break follows: that ends the unit
      {u8"ab<BR>c", 0, 3},       // a line break joins the unit before it
      {u8"<BR>c", 0, 1},
  };
  for (const UnitCase& c : cases) {
    TKvWord word;
    word.SetText({J(c.text)});
    EXPECT_EQ(UnitEnd(word, c.begin, word.GlyphCount()), c.end) << reinterpret_cast<const char*>(c.text.data());
  }
}

TEST(WordLayout, CharacterCellsGrowWithItalicRubyOutlineAndShadow) {
  struct SizeCase {
    std::u8string_view text;
    int32_t width, height;
  };
  const SizeCase cases[] = {
      {u8"漢", 10, 10},                                       // the default size, a square
      {u8"<FONT SIZE=20>漢</FONT>", 20, 20},
      {u8"<I><FONT SIZE=20>漢</FONT></I>", 24, 20},           // + 20 div 5
      {u8"<RUBY VALUE=かん><FONT SIZE=21>漢</FONT></RUBY>", 21, 31},  // + 21 div 2
      {u8"<RUBY VALUE=x><FONT SIZE=1>漢</FONT></RUBY>", 1, 2},        // at least 1
      {u8"<FONT SIZE=20 BORDER=2>漢</FONT>", 24, 24},         // twice the outline
      {u8"<FONT SIZE=20 SHADOW=3>漢</FONT>", 23, 23},         // once the shadow
      {u8"<I><RUBY VALUE=x><FONT SIZE=20 BORDER=2 SHADOW=3>漢</FONT></RUBY></I>", 31, 37},
  };
  for (const SizeCase& c : cases) {
    TKvWord word;
    word.DefaultSize = 10;
    word.SetText({J(c.text)});
    word.Measure(0, word.GlyphCount() - 1);
    size_t i = 0;
    while (word.Glyph(i)->Type != TGlyphType::Char) ++i;
    EXPECT_EQ(word.Glyph(i)->Width, c.width) << reinterpret_cast<const char*>(c.text.data());
    EXPECT_EQ(word.Glyph(i)->Height, c.height) << reinterpret_cast<const char*>(c.text.data());
  }
  // The word's defaults stand where a style says -1.
  TKvWord word;
  word.DefaultSize = 10;
  word.DefaultBorderWidth = 1;
  word.DefaultShadow = 2;
  word.SetText({J(u8"漢")});
  word.Measure(0, 0);
  EXPECT_EQ(word.Glyph(0)->Width, 14);
}

// Positions of the glyphs that are characters: (page, row, left, row top, top in row).
struct Place {
  size_t page, row;
  int32_t left, rowTop, top;
  friend bool operator==(const Place&, const Place&) = default;
};

std::ostream& operator<<(std::ostream& os, const Place& p) {
  return os << "{page " << p.page << " row " << p.row << " x " << p.left << " rowTop " << p.rowTop << " top " << p.top
            << "}";
}

std::vector<Place> Places(const TKvWord& word) {
  std::vector<Place> out;
  for (size_t p = 0; p < word.Pages.size(); ++p)
    for (size_t r = 0; r < word.Pages[p]->Rows.size(); ++r) {
      const TWdRow& row = *word.Pages[p]->Rows[r];
      for (const TWdGlyph* g : row.Glyphs)
        if (g->Type == TGlyphType::Char || g->Type == TGlyphType::Img) out.push_back({p, r, g->Left, row.Top, g->Top});
    }
  return out;
}

// A word of 10-pixel cells.
void Lay(TKvWord& word, std::u8string_view text, int32_t pageWidth, int32_t pageHeight = 0, bool paging = false) {
  word.DefaultSize = 10;
  word.PageWidth = pageWidth;
  word.PageHeight = pageHeight;
  word.Paging = paging;
  word.SetText({J(text)});
  word.Layout();
}

TEST(WordLayout, RowsWrapAtThePageWidthAndPagesBreakAtItsHeight) {
  TKvWord word;
  word.LineSpace = 2;
  Lay(word, u8"漢字漢字漢字漢", 35, 25, true);
  // Three 10-pixel cells fit in 35; rows are 10 high with 2 between; the third row (top 24)
  // would end at 34 > 25, so it starts a new page.
  std::vector<Place> expected;
  for (int i = 0; i < 7; ++i) {
    const int row = i / 3;
    expected.push_back({row < 2 ? 0u : 1u, static_cast<size_t>(row < 2 ? row : 0), (i % 3) * 10, row < 2 ? row * 12 : 0, 0});
  }
  EXPECT_EQ(Places(word), expected);
  ASSERT_EQ(word.Pages.size(), 2u);
  EXPECT_EQ(word.Pages[0]->Height, 22);
  EXPECT_EQ(word.Pages[0]->Width, 35);

  // Without paging the same text is one page of three rows.
  Lay(word, u8"漢字漢字漢字漢", 35, 25, false);
  ASSERT_EQ(word.Pages.size(), 1u);
  EXPECT_EQ(word.Pages[0]->Rows.size(), 3u);
  EXPECT_EQ(word.Pages[0]->Rows[2]->Top, 24);
}

TEST(WordLayout, ClosingMarksWrapWithTheCharacterBeforeThem) {
  TKvWord word;
  Lay(word, u8"漢字漢」", 30);
  // The unit 漢」 (20) does not fit beside 漢字 (20) in 30: both go to the next row.
  EXPECT_EQ(Places(word), (std::vector<Place>{{0, 0, 0, 0, 0}, {0, 0, 10, 0, 0}, {0, 1, 0, 10, 0}, {0, 1, 10, 10, 0}}));
  Lay(word, u8"ab cd", 30);  // a word is never split: "ab " then "cd"
  EXPECT_EQ(Places(word), (std::vector<Place>{{0, 0, 0, 0, 0}, {0, 0, 10, 0, 0}, {0, 0, 20, 0, 0}, {0, 1, 0, 10, 0},
                                              {0, 1, 10, 10, 0}}));
}

TEST(WordLayout, AlignmentIndentsAndLineBreaks) {
  TKvWord word;
  Lay(word, u8"<DIV ALIGN=RIGHT>漢</DIV><DIV ALIGN=CENTER>字</DIV>漢", 35);
  // An align changes the open row only while it is empty: all three characters stay in the
  // first row, aligned right.
  ASSERT_EQ(word.Pages.size(), 1u);
  const auto& rows = word.Pages[0]->Rows;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->Align, AL_RIGHT);
  EXPECT_EQ(rows[0]->Glyphs[0]->Left, 5);  // the whole row (30 wide) at the right edge

  Lay(word, u8"<DIV ALIGN=CENTER>漢字<BR>漢</DIV>", 35);
  EXPECT_EQ(Places(word), (std::vector<Place>{{0, 0, 7, 0, 0}, {0, 0, 17, 0, 0}, {0, 1, 12, 10, 0}}));

  Lay(word, u8"漢<INDENT>字字字字<UNDENT>字字字", 40);
  // The indent is the row's width when INDENT came (10): the wrapped row starts with it.
  const auto places = Places(word);
  ASSERT_EQ(places.size(), 8u);
  EXPECT_EQ(places[4], (Place{0, 1, 10, 10, 0}));
  EXPECT_EQ(word.Pages[0]->Rows[1]->Glyphs[0]->Type, TGlyphType::Space);
  EXPECT_EQ(places[7], (Place{0, 2, 0, 20, 0}));  // after UNDENT the next row starts at 0

  // An empty line keeps the height of a line; a CLEAR break ends the page with room left.
  Lay(word, u8"漢<BR><BR>字<BR CLEAR>漢", 100, 100, true);
  EXPECT_EQ(Places(word), (std::vector<Place>{{0, 0, 0, 0, 0}, {0, 2, 0, 20, 0}, {1, 0, 0, 0, 0}}));
}

TEST(WordLayout, NoPageWidthTakesTheWidestRow) {
  TKvWord word;
  Lay(word, u8"漢字<BR><DIV ALIGN=RIGHT>漢字漢</DIV>", 0);
  EXPECT_EQ(word.PageWidth, 30);
  EXPECT_EQ(Places(word), (std::vector<Place>{{0, 0, 0, 0, 0}, {0, 0, 10, 0, 0}, {0, 1, 0, 10, 0}, {0, 1, 10, 10, 0},
                                              {0, 1, 20, 10, 0}}));
}

// Images come from a loader; a missing one takes no place.
std::shared_ptr<TTextImage> Picture(int32_t w, int32_t h) {
  return std::make_shared<TTextStillImage>(std::make_shared<TDIBSurface>(w, h, 32));
}

void UsePictures(TKvWord& word) {
  word.ImageLoader = [](const std::string& src) -> std::shared_ptr<TTextImage> {
    if (src == "tall") return Picture(8, 30);
    if (src == "float") return Picture(20, 25);
    return nullptr;
  };
}

TEST(WordLayout, ImagesAlignOnTheBaselineBand) {
  struct ImageCase {
    const char8_t* align;
    int32_t rowHeight, imageTop, charTop;
  };
  // Characters 10 high, an image 30 high: BOTTOM rests on the baseline (20 above it); TOP
  // hangs from the band's top (20 below); CENTER takes (30 - 10 + 1) div 2 = 10 each side.
  const ImageCase cases[] = {{u8"BOTTOM", 30, 0, 20}, {u8"TOP", 30, 0, 0}, {u8"CENTER", 30, 0, 10}};
  for (const ImageCase& c : cases) {
    TKvWord word;
    UsePictures(word);
    Lay(word, std::u8string(u8"漢<IMG SRC=tall ALIGN=") + c.align + u8">字<IMG SRC=missing>", 100);
    const auto places = Places(word);
    ASSERT_EQ(places.size(), 3u) << "a missing picture is skipped";
    EXPECT_EQ(word.Pages[0]->Rows[0]->Height, c.rowHeight);
    EXPECT_EQ(places[0].top, c.charTop);
    EXPECT_EQ(places[1].top, c.imageTop);
    EXPECT_EQ(places[1].left, 10);
    EXPECT_EQ(places[2].left, 18);
  }
}

TEST(WordLayout, FloatsNarrowTheRowsBesideThem) {
  TKvWord word;
  UsePictures(word);
  word.DefaultSize = 10;
  word.PageWidth = 50;
  word.Paging = false;
  auto img = TKvWord::CreateGlyph(9);
  static_cast<TWdImg&>(*img).Src = "float";
  static_cast<TWdImg&>(*img).Align = AL_LEFT;
  word.AppendGlyph(std::move(img));
  TKvWord text;
  text.SetText({J(u8"漢字漢字漢字漢字漢字漢")});
  word.CopyGlyphs(text, 0, text.GlyphCount() - 1);
  word.Layout();
  const auto p = Places(word);
  ASSERT_EQ(p.size(), 12u);
  EXPECT_EQ(p[0], (Place{0, 0, 0, 0, 0}));  // the float at the left edge
  // Rows at 0, 10 and 20 lie beside the float (25 high): three cells from x = 20.
  for (int i = 0; i < 9; ++i) EXPECT_EQ(p[1 + i], (Place{0, static_cast<size_t>(i / 3), 20 + (i % 3) * 10, (i / 3) * 10, 0}));
  EXPECT_EQ(p[10], (Place{0, 3, 0, 30, 0}));  // below it the full width again
  EXPECT_EQ(p[11], (Place{0, 3, 10, 30, 0}));
  EXPECT_EQ(word.Pages[0]->Height, 40);
}

// With paging and no page height, or floats taller than the page, every row or float would
// open a page for ever; each page takes at least one.
TEST(WordLayout, LayoutEndsWhenNothingFitsThePage) {
  TKvWord word;
  Lay(word, u8"漢<BR>字<BR>漢", 100, 0, true);
  EXPECT_EQ(word.Pages.size(), 3u);

  UsePictures(word);
  word.Clear();
  word.PageHeight = 20;
  for (int i = 0; i < 3; ++i) {
    auto img = TKvWord::CreateGlyph(9);
    static_cast<TWdImg&>(*img).Src = "float";
    static_cast<TWdImg&>(*img).Align = AL_RIGHT;
    word.AppendGlyph(std::move(img));
  }
  word.Layout();
  ASSERT_EQ(word.Pages.size(), 3u);
  for (const auto& page : word.Pages) {
    EXPECT_EQ(page->Rows.size(), 1u);
    EXPECT_EQ(page->Rows[0]->Glyphs[0]->Left, 80);  // at the right edge
  }
}

TEST(WordLayout, LayoutStopsAtTheLastSourceIndex) {
  TKvWord word;
  word.DefaultSize = 10;
  word.SetText({J(u8"漢字漢字")});
  word.Layout(1, 2);
  EXPECT_EQ(Places(word).size(), 2u);
  EXPECT_EQ(word.PageWidth, 20);
}

TEST(WordGlyphs, CreateGlyphMakesEveryStoredType) {
  const std::pair<int, TGlyphType> made[] = {{1, TGlyphType::Char},   {2, TGlyphType::Align}, {3, TGlyphType::Return},
                                             {4, TGlyphType::Indent}, {5, TGlyphType::Undent}, {6, TGlyphType::Event},
                                             {7, TGlyphType::Var},    {9, TGlyphType::Img}};
  for (auto [type, kind] : made) {
    auto g = TKvWord::CreateGlyph(type);
    ASSERT_NE(g, nullptr) << type;
    EXPECT_EQ(g->Type, kind);
  }
  for (int type : {0, 8, 10, 255}) EXPECT_EQ(TKvWord::CreateGlyph(type), nullptr) << type;
}

}  // namespace
}  // namespace orba
