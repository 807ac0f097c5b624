// Text layout and the reveal tick of a message page. Layout works on square cells alone (no
// glyph bitmaps), so a 2,000-character page with ruby and outlines should lay out in well
// under a millisecond; one tick of the reveal at the written speed on a full 1280 × 720
// page (a glyph revealed now and then, a few fading in) redraws only the glyphs that
// changed and should stay under half a millisecond.
#include <benchmark/benchmark.h>

#include <set>
#include <string>
#include <vector>

#include "platform/fonts.h"
#include "render/dibsfc.h"
#include "text/fontpixels.h"
#include "text/wordlayout.h"

namespace {

// count characters of running text, as a novel's page has them: every other character a
// hiragana (83 of them), the rest kanji drawn from a vocabulary of kanjiCount, a "。" every
// 20 characters, a ruby run every 20, the whole page outlined.
std::vector<std::string> Page(int count, int kanjiCount = 400) {
  std::string s = "<FONT BORDER=2 BCOLOR=#402010 SHADOW=1>";
  uint32_t seed = 12345;
  const auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
  for (int i = 0; i < count; ++i) {
    if (i % 20 == 5) s += "<RUBY VALUE=\"\x82\xA9\x82\xF1\x82\xB6\">";
    int code;
    if (i % 20 == 19) {
      code = 0x8142;  // 。
    } else if (i % 2 == 0) {
      code = 0x829F + static_cast<int>(next() % 83);
    } else {
      // First-level kanji: 0x889F to 0x88FC, then 188 a lead byte from 0x8940.
      const int k = static_cast<int>(next() % kanjiCount);
      const int cell = (k - 94) % 188;
      code = k < 94 ? 0x889F + k : (0x89 + (k - 94) / 188) << 8 | (cell < 63 ? 0x40 + cell : 0x80 + cell - 63);
    }
    s += static_cast<char>(code >> 8);
    s += static_cast<char>(code & 0xFF);
    if (i % 20 == 6) s += "</RUBY>";
  }
  return {s + "</FONT>"};
}

void BM_LayoutPage2000WithRubyAndOutlines(benchmark::State& state) {
  orba::TKvWord word;
  word.DefaultSize = 24;
  word.SetText(Page(2000));
  for (auto _ : state) {
    word.PageWidth = 1200;
    word.Paging = false;
    word.Layout();
    benchmark::DoNotOptimize(word.Pages.data());
  }
  state.counters["rows"] = static_cast<double>(word.Pages[0]->Rows.size());
}
BENCHMARK(BM_LayoutPage2000WithRubyAndOutlines)->Unit(benchmark::kMicrosecond);

// A message page filling 1280 × 720 with real glyphs, revealed at the written speed (50 ms a
// character, 16 ms ticks) with a 200 ms fade. Each tick restores the background under the
// changed rectangles and paints the glyphs there.
void BM_RevealTickFullPage(benchmark::State& state) {
  orba::SetFontSourceMaker(orba::platform::CreateFontSource);
  orba::TKvWord word;
  word.DefaultSize = 24;
  word.DefaultColor = 0xFFFFFF;
  word.ClipX = 40;
  word.ClipY = 40;
  word.PageWidth = 1200;
  word.PageHeight = 640;
  word.FadeTime = 200;
  word.SetText(Page(1000, static_cast<int>(state.range(0))));
  word.Layout();
  orba::TDIBSurface background(1280, 720, 32), target(1280, 720, 32);
  background.FillRect(background.BoundsRect(), 0x203040);
  std::set<uint16_t> distinct;
  for (const auto& row : word.Pages[0]->Rows)
    for (const orba::TWdGlyph* g : row->Glyphs)
      if (g->Type == orba::TGlyphType::Char) distinct.insert(static_cast<const orba::TWdChar*>(g)->Code);
  bool finished = false;
  std::string shown;
  const auto restart = [&] {
    word.ResetDisplay();
    target.Draw(0, 0, background);
    for (int i = 0; i < 300; ++i) word.RevealStep(16, finished, shown);  // into the middle of the page
    word.TakeInvalid();
    word.Paint(target, target.BoundsRect());
  };
  restart();
  int64_t ticks = 0;
  for (auto _ : state) {
    word.RevealStep(16, finished, shown);
    for (const orba::TRect& r : word.TakeInvalid()) {
      target.DrawRect(r.Left, r.Top, r, background);
      word.Paint(target, r);
    }
    ++ticks;
    if (finished || shown.size() > 1500) {
      state.PauseTiming();
      shown.clear();
      restart();
      state.ResumeTiming();
    }
  }
  state.counters["page_glyphs"] = static_cast<double>(word.GlyphCount());
  state.counters["distinct_codes"] = static_cast<double>(distinct.size() + 3);  // + the ruby's
  orba::FreeFontPixelManager();
}
// A vocabulary of 60 kanji keeps the page's characters within the cache's 256; of 1,000, a
// page holds more distinct characters than the cache.
BENCHMARK(BM_RevealTickFullPage)->Arg(60)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
