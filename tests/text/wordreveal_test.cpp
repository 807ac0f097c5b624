// The progressive display as a table of ticks (waits, negative waits, speed ratios, fade
// times, events), outline coverage worked out by hand on a tiny glyph, painting with the
// word's alpha, and links under the mouse.
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "render/dibsfc.h"
#include "support/block_fonts.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

std::string J(std::u8string_view utf8) { return Sjis(utf8); }

using WordDisplay = WithBlockFonts;

// Revealed glyphs (alpha set, in order) of the current page.
int Revealed(const TKvWord& word) {
  const TWdPage& page = *word.CurrentPagePtr();
  int n = 0;
  for (size_t r = 0; r < page.CurrentRow && r < page.Rows.size(); ++r)
    for (const TWdGlyph* g : page.Rows[r]->Glyphs) n += g->Type == TGlyphType::Char;
  if (page.CurrentRow < page.Rows.size())
    for (size_t i = 0; i < page.CurrentGlyph; ++i) n += page.Rows[page.CurrentRow]->Glyphs[i]->Type == TGlyphType::Char;
  return n;
}

struct RevealCase {
  const char* name;
  std::u8string_view text;
  int32_t speedRatio, fadeTime;
  // Ticks (1-based, 16 ms each) at which the count of revealed characters rises, and the
  // tick that reports the page finished.
  std::vector<int> revealTicks;
  int finishedTick;
};

TEST_F(WordDisplay, RevealTimingAsATableOfTicks) {
  // Tick 1 is the start delay (a fade time above 0); tick 2 reveals the first glyph with no
  // time passed; then each 50 ms wait runs down 16 ms a tick: 50 - 4 × 16 < 0 at tick 6.
  const RevealCase cases[] = {
      {"as written", u8"漢字漢", 256, 1, {2, 6, 9}, 9},
      // Waits of 100: 100 - 7 × 16 < 0 at tick 9, then 100 - 12 + ... at tick 15.
      {"SpeedRatio 512 doubles every wait", u8"漢字漢", 512, 1, {2, 9, 15}, 15},
      {"SpeedRatio 0 shows all at once", u8"漢字漢", 0, 1, {2, 2, 2}, 3},
      {"a negative SpeedRatio shows all at once", u8"<WAIT VALUE=-300>漢字漢", -1, 1, {2, 2, 2}, 3},
      // 300 ms whatever the ratio: 300 - 19 × 16 < 0 nineteen ticks after tick 2.
      {"a negative wait is absolute", u8"<WAIT VALUE=-300>漢字</WAIT>", 512, 1, {2, 21}, 21},
      // No start delay without a fade time; everything opaque in the tick it is revealed.
      {"FadeTime 0", u8"漢字", 256, 0, {1, 5}, 5},
  };
  for (const RevealCase& c : cases) {
    TKvWord word;
    word.DefaultSize = 10;
    word.SpeedRatio = c.speedRatio;
    word.FadeTime = c.fadeTime;
    word.SetText({J(c.text)});
    word.Layout();
    word.ResetDisplay();
    std::vector<int> ticks;
    int finishedAt = 0, finishedCount = 0;
    std::string shown;
    for (int tick = 1; tick <= 40; ++tick) {
      const int before = Revealed(word);
      bool finished = false;
      word.RevealStep(16, finished, shown);
      for (int n = before; n < Revealed(word); ++n) ticks.push_back(tick);
      if (finished) {
        finishedAt = tick;
        ++finishedCount;
      }
    }
    EXPECT_EQ(ticks, c.revealTicks) << c.name;
    EXPECT_EQ(finishedAt, c.finishedTick) << c.name;
    EXPECT_EQ(finishedCount, 1) << c.name << ": finished is reported once";
    EXPECT_EQ(shown, J(c.text.substr(c.text.find(u8"漢")).substr(0, 3 * c.revealTicks.size()))) << c.name;
  }
}

TEST_F(WordDisplay, FadeInAccumulatesOverTheFadeTime) {
  struct FadeCase {
    int32_t fadeTime;
    std::vector<int32_t> alphas;  // of the first glyph after ticks 2, 3, 4, ...
  };
  const FadeCase cases[] = {
      {1, {0, 255, 255}},
      // 16 ms × 256 / 256 = 16 a tick: opaque 256 ms after it was revealed.
      {256, {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 255}},
      // 4096 / 100 = 40 rest 96; 4192 / 100 = 41 rest 92; 4188 / 100 = 41 rest 88.
      {100, {0, 40, 81, 122}},
  };
  for (const FadeCase& c : cases) {
    TKvWord word;
    word.FadeTime = c.fadeTime;
    word.SetText({J(u8"漢")});
    word.Layout();
    word.ResetDisplay();
    bool finished = false;
    std::string shown;
    word.RevealStep(16, finished, shown);  // the start delay
    const auto& glyph = static_cast<const TWdReal&>(*word.Glyph(0));
    std::vector<int32_t> alphas;
    for (size_t i = 0; i < c.alphas.size(); ++i) {
      word.RevealStep(16, finished, shown);
      alphas.push_back(glyph.Alpha);
    }
    EXPECT_EQ(alphas, c.alphas) << "FadeTime " << c.fadeTime;
  }
}

TEST_F(WordDisplay, EventsAreRaisedTogetherOnceWhatCameBeforeHasFaded) {
  for (int32_t fadeTime : {1, 256}) {
    TKvWord word;
    word.FadeTime = fadeTime;
    std::vector<std::pair<int, std::string>> raised;
    int tick = 0;
    word.OnEvent = [&](const std::string& text) { raised.emplace_back(tick, text); };
    word.SetText({J(u8"漢<EVENT VALUE=go><EVENT VALUE=stop END>字")});
    word.Layout();
    word.ResetDisplay();
    bool finished = false;
    std::string shown;
    int secondRevealed = 0;
    for (tick = 1; tick <= 40; ++tick) {
      word.RevealStep(16, finished, shown);
      if (!secondRevealed && Revealed(word) == 2) secondRevealed = tick;
    }
    // The events are reached at tick 6 (after 漢's 50 ms); 漢 is opaque by then at fade time
    // 1, and at tick 18 at fade time 256. The next character follows in the tick after, with
    // no time counted for the tick of the events.
    const int raisedAt = fadeTime == 1 ? 6 : 18;
    EXPECT_EQ(raised, (std::vector<std::pair<int, std::string>>{{raisedAt, "go"}, {raisedAt, "\x01stop"}}))
        << "FadeTime " << fadeTime;
    EXPECT_EQ(secondRevealed, raisedAt + 1) << "FadeTime " << fadeTime;
  }
}

TEST_F(WordDisplay, IsDisplayingAndTheCaret) {
  TKvWord word;
  word.DefaultSize = 10;
  word.PageWidth = 20;
  word.PageHeight = 100;
  word.FadeTime = 0;
  word.SpeedRatio = 0;
  word.SetText({J(u8"漢字漢")});
  word.Layout();
  word.ResetDisplay();
  EXPECT_TRUE(word.IsDisplaying());
  bool finished = false;
  std::string shown;
  word.Paused = true;
  word.RevealStep(16, finished, shown);
  EXPECT_EQ(Revealed(word), 0);
  EXPECT_FALSE(word.IsDisplaying());
  word.Paused = false;
  word.RevealStep(16, finished, shown);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(word.IsDisplaying());
  // After the last glyph the caret stands at its right edge, in its row.
  EXPECT_EQ(word.CaretX, 10);
  EXPECT_EQ(word.CaretY, 10);
  EXPECT_EQ(word.CaretHeight, 10);

  // Without paging, a row below the visible area waits for scrolling.
  word.Paging = false;
  word.PageHeight = 5;
  word.Layout();
  word.ResetDisplay();
  word.RevealStep(16, finished, shown);
  EXPECT_EQ(Revealed(word), 2);
  EXPECT_FALSE(word.IsDisplaying());
  word.CurrentPagePtr()->Scroll = 15;  // the next row's bottom (20) at the visible bottom
  EXPECT_TRUE(word.IsDisplaying());
  word.RevealStep(16, finished, shown);
  EXPECT_EQ(Revealed(word), 3);
}

// Coverage and colour of a 2 × 1 glyph of coverage (100, 50) with an outline of width 1,
// worked out stamp by stamp. The outline colour is black, the face white; stamps go row by
// row of offsets, the centre left out.
TEST(GlyphDecoration, OutlineCoverageByHand) {
  TDIBSurface colour(4, 3, 32), coverage(4, 3, 8);
  const uint8_t mask[2] = {100, 50};
  TGlyphDecoration d;
  d.Face = 0xFFFFFF;
  d.Border = 1;
  d.BorderColor = 0;
  DrawDecoratedGlyph(colour, coverage, mask, 2, 1, 1, 1, d, colour.BoundsRect());
  // Row 0 gets the stamps of dy = -1: (0,0) 100 from dx = -1; (1,0) 50 then 100:
  // 50 + 100 × 205 / 255 = 130; (2,0) 50 then 100 = 130; (3,0) 50. Row 2 the same.
  // Row 1: (0,1) 100; (1,1) 50 from dx = -1, then the face's 100 = 130; (2,1) 100 from
  // dx = 1, then the face's 50: 100 + 50 × 155 / 255 = 130; (3,1) 50.
  const uint8_t expected[3][4] = {{100, 130, 130, 50}, {100, 130, 130, 50}, {100, 130, 130, 50}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(coverage.ScanLine(y)[x], expected[y][x]) << x << "," << y;
  // Colour: (1,1) is black from the outline, then the face adds with weight 100 × 255 / 130
  // = 196: 0 + 255 × 196 / 255 = 196. (2,1): weight 50 × 255 / 130 = 98. Outline-only
  // pixels stay black.
  EXPECT_EQ(colour.ScanLine(1)[4 * 1], 196);
  EXPECT_EQ(colour.ScanLine(1)[4 * 2], 98);
  EXPECT_EQ(colour.ScanLine(0)[4 * 1], 0);
}

TEST(GlyphDecoration, AnUncoveredPixelKeepsItsColour) {
  TDIBSurface colour(2, 1, 32), coverage(2, 1, 8);
  colour.ScanLine(0)[0] = 77;
  const uint8_t mask[2] = {0, 255};
  StampCoverage(colour, coverage, mask, 2, 1, 0, 0, 0xFFFFFF, colour.BoundsRect());
  EXPECT_EQ(coverage.ScanLine(0)[0], 0);
  EXPECT_EQ(colour.ScanLine(0)[0], 77);
  EXPECT_EQ(coverage.ScanLine(0)[1], 255);
  EXPECT_EQ(colour.ScanLine(0)[4], 255);
}

// A word shown whole at once: every glyph opaque in the first tick.
void ShowAll(TKvWord& word, std::u8string_view text) {
  word.DefaultSize = 4;
  word.FadeTime = 0;
  word.SpeedRatio = -1;
  word.Quality = 0;
  word.SetText({J(text)});
  word.Layout();
  word.ResetDisplay();
  bool finished = false;
  std::string shown;
  word.RevealStep(16, finished, shown);
}

TEST_F(WordDisplay, PaintingBlendsOrAddsWithTheWordsAlpha) {
  struct PaintCase {
    int32_t alpha;
    uint8_t background;
    TRGB expected;  // of a pixel of a red glyph
  };
  const PaintCase cases[] = {
      {255, 255, {255, 0, 0}},
      {128, 255, {255, 127, 127}},   // 255 + (0 - 255) × 128 / 255
      {0, 255, {255, 255, 255}},
      {256 + 128, 0, {127, 0, 0}},   // 0 + 255 × (255 × 128 / 256) / 255
      {511, 100, {255, 100, 100}},
  };
  for (const PaintCase& c : cases) {
    TKvWord word;
    word.ClipX = 3;
    word.ClipY = 2;
    ShowAll(word, u8"<FONT COLOR=#FF0000>漢</FONT>");
    word.Alpha = c.alpha;
    TDIBSurface target(12, 8, 32);
    target.FillRect(target.BoundsRect(), target.RGBToPixel(c.background, c.background, c.background));
    word.Paint(target, target.BoundsRect());
    EXPECT_EQ(target.PixelToRGB(target.GetPixel(4, 3), false), c.expected) << "alpha " << c.alpha;
    EXPECT_EQ(target.PixelToRGB(target.GetPixel(2, 3), false), (TRGB{c.background, c.background, c.background}))
        << "left of the visible area";
  }
}

TEST_F(WordDisplay, OutlinedGlyphsPaintFromTheColourLayer) {
  TKvWord word;
  ShowAll(word, u8"<FONT COLOR=#FF0000 BCOLOR=#0000FF BORDER=1>漢</FONT>");
  TDIBSurface target(8, 8, 24);
  word.Paint(target, target.BoundsRect());
  EXPECT_EQ(target.PixelToRGB(target.GetPixel(0, 0), false), (TRGB{0, 0, 255}));  // the outline
  EXPECT_EQ(target.PixelToRGB(target.GetPixel(2, 2), false), (TRGB{255, 0, 0}));  // the face
  EXPECT_EQ(target.PixelToRGB(target.GetPixel(6, 0), false), (TRGB{0, 0, 0}));    // beyond the glyph
}

// Ruby characters (blocks of half the size) spread over the run of characters sharing the
// ruby: the i-th of n centred at (2i + 1) × run width / 2n, less half its size for a two-byte
// character and a quarter for a one-byte one, in the band above the base characters.
TEST_F(WordDisplay, RubyIsSpreadOverItsRun) {
  struct RubyCase {
    std::u8string_view text;
    std::vector<int> covered;  // columns of the ruby band (row 1) with ink, of 0..27
  };
  // Size 8: ruby size 4, the run 漢字漢 24 wide. Two two-byte characters: centres 6 and 18,
  // left edges 4 and 16. Two one-byte ones: left edges 6 - 1 = 5 and 18 - 1 = 17. One
  // character over a run of one: centre 4, left edge 2.
  const RubyCase cases[] = {
      {u8"<RUBY VALUE=かな>漢字漢</RUBY>", {4, 5, 6, 7, 16, 17, 18, 19}},
      {u8"<RUBY VALUE=ab>漢字漢</RUBY>", {5, 6, 7, 8, 17, 18, 19, 20}},
      {u8"<RUBY VALUE=か>漢</RUBY>", {2, 3, 4, 5}},
  };
  for (const RubyCase& c : cases) {
    TKvWord word;
    ShowAll(word, c.text);
    word.DefaultSize = 8;
    word.DefaultColor = 0xFFFFFF;
    word.PageWidth = 0;
    word.Layout();
    word.ResetDisplay();
    bool finished = false;
    std::string shown;
    word.RevealStep(16, finished, shown);
    TDIBSurface target(28, 12, 32);
    word.Paint(target, target.BoundsRect());
    std::vector<int> covered;
    for (int x = 0; x < 28; ++x)
      if (target.GetPixel(x, 1) != 0) covered.push_back(x);
    EXPECT_EQ(covered, c.covered) << reinterpret_cast<const char*>(c.text.data());
    EXPECT_NE(target.GetPixel(0, 4), 0u) << "the base characters start below the band";
    EXPECT_EQ(target.GetPixel(0, 3), 0u);
  }
}

TEST_F(WordDisplay, LinksHoverAsOneRun) {
  TKvWord word;
  word.ClipX = 100;
  ShowAll(word, u8"a<A HREF=x>bc</A><A HREF=y>d</A>");
  EXPECT_EQ(word.HitTest(100 + 5, 1), word.Glyph(1));
  EXPECT_EQ(word.HitTest(100 + 5, 9), nullptr);
  EXPECT_TRUE(word.HoverAt(100 + 9, 1));  // on c: the run starts at b
  EXPECT_EQ(word.HoveredText(), "bc");
  auto hover = [&](size_t i) { return static_cast<const TWdReal*>(word.Glyph(i))->Hover; };
  EXPECT_TRUE(hover(1) && hover(2));
  EXPECT_FALSE(hover(3));
  EXPECT_FALSE(word.HoverAt(100 + 5, 1)) << "the same run";
  EXPECT_TRUE(word.HoverAt(100 + 13, 1));
  EXPECT_EQ(word.HoveredText(), "d");
  EXPECT_FALSE(hover(1) || hover(2));
  EXPECT_TRUE(word.HoverAt(100 + 1, 1));  // no link under a
  EXPECT_EQ(word.HoveredText(), "");
  EXPECT_FALSE(word.TakeInvalid().empty());

  // Glyphs still fading do not count.
  word.FadeTime = 256;
  word.ResetDisplay();
  bool finished = false;
  std::string shown;
  word.RevealStep(16, finished, shown);
  word.RevealStep(16, finished, shown);
  EXPECT_EQ(word.HitTest(100 + 1, 1), nullptr);
}

// Two frames of one colour each, changing every 32 ms.
struct Blinker : TTextImage {
  TDIBSurface frames[2];
  size_t current = 0;
  int32_t remaining = 32;
  Blinker() {
    for (int i = 0; i < 2; ++i) {
      frames[i].SetSize(3, 3, 32);
      frames[i].FillRect(frames[i].BoundsRect(), frames[i].RGBToPixel(i ? 0 : 255, 0, i ? 255 : 0));
    }
  }
  size_t FrameCount() const override { return 2; }
  const TDIBSurface& Frame(size_t index) const override { return frames[index]; }
  size_t CurrentIndex() const override { return current; }
  bool Advance(int32_t ms) override {
    remaining -= ms;
    if (remaining > 0) return false;
    remaining += 32;
    current ^= 1;
    return true;
  }
};

TEST_F(WordDisplay, ImagesWithFramesStepWhileShownAndAgainAfterALoad) {
  const auto setUp = [](TKvWord& word) {
    word.ImageLoader = [](const std::string& src) -> std::shared_ptr<TTextImage> {
      if (src == "blink") return std::make_shared<Blinker>();
      return nullptr;
    };
    word.DefaultSize = 4;
    word.SetText({J(u8"漢<IMG SRC=blink ALIGN=TOP><IMG SRC=missing>")});
    word.Layout();
  };
  TKvWord word;
  setUp(word);
  word.FadeTime = 0;
  word.SpeedRatio = -1;
  word.ResetDisplay();
  bool finished = false;
  std::string shown;
  word.RevealStep(16, finished, shown);
  EXPECT_EQ(shown, J(u8"漢*")) << "an image shows as *, a missing one not at all";
  TDIBSurface target(8, 4, 32);
  const auto pixelAt = [&](int x) {
    target.FillRect(target.BoundsRect(), 0);
    word.Paint(target, target.BoundsRect());
    return target.PixelToRGB(target.GetPixel(x, 0), false);
  };
  EXPECT_EQ(pixelAt(5), (TRGB{255, 0, 0}));  // revealed and stepped 16 ms in the same tick
  word.TakeInvalid();
  word.RevealStep(16, finished, shown);  // 32 ms: the second frame
  EXPECT_EQ(word.TakeInvalid(), (std::vector<TRect>{{4, 0, 7, 3}}));
  EXPECT_EQ(pixelAt(5), (TRGB{0, 0, 255}));
  word.RevealStep(16, finished, shown);
  EXPECT_TRUE(word.TakeInvalid().empty());

  // A loaded page: its reveal position restored, everything before it is shown and the image
  // steps again.
  TKvWord loaded;
  setUp(loaded);
  loaded.CurrentPagePtr()->CurrentRow = 1;
  loaded.RejoinAfterLoad();
  EXPECT_EQ(loaded.CurrentPagePtr()->Animated.size(), 1u);
  EXPECT_NE(loaded.HitTest(1, 1), nullptr);
  loaded.RevealStep(32, finished, shown);
  EXPECT_EQ(loaded.TakeInvalid().size(), 1u);
}

}  // namespace
}  // namespace orba
