// The progressive display of a page: glyphs appear one after another as their waits pass,
// each fading in, and the events written in the text are raised once what stands before
// them is fully shown.
#include <algorithm>

#include "base/cp932.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

bool IsReal(const TWdGlyph& g) { return g.Type == TGlyphType::Char || g.Type == TGlyphType::Img; }

int32_t WaitOf(const TWdGlyph& g) {
  if (IsReal(g)) return static_cast<const TWdReal&>(g).Wait;
  return 0;
}

}  // namespace

TWdPage* TKvWord::CurrentPagePtr() const { return CurrentPage < Pages.size() ? Pages[CurrentPage].get() : nullptr; }

void TKvWord::ResetDisplay() {
  TWdPage* page = CurrentPagePtr();
  if (!page) return;
  page->CurrentRow = page->CurrentGlyph = 0;
  page->WaitRemaining = 0;
  page->FadeAccumulator = 0;
  page->StartDelay = FadeTime > 0 ? 1 : 0;
  page->Finished = false;
  page->Fading.clear();
  page->Animated.clear();
  page->PendingEvents.clear();
  page->JustPassedEvent = false;
  page->Scroll = 0;
  page->Hovered = nullptr;
  CaretX = CaretY = CaretHeight = 0;
  for (const auto& row : page->Rows)
    for (TWdGlyph* g : row->Glyphs)
      if (IsReal(*g)) {
        auto& real = static_cast<TWdReal&>(*g);
        real.Alpha = 0;
        real.Hover = false;
      }
  MakeLayers();
}

void TKvWord::RevealStep(int32_t tickMs, bool& finished, std::string& shown) {
  finished = false;
  TWdPage* page = CurrentPagePtr();
  if (!page) return;
  if (page->StartDelay >= 1) {
    --page->StartDelay;
    return;
  }
  int32_t t = tickMs;
  if (!Paused && page->PendingEvents.empty() && page->RowsRemain()) {
    if (page->CurrentRow == 0 && page->CurrentGlyph == 0) {
      page->WaitRemaining = 0;
      page->FadeAccumulator = 0;
      t = 0;
    } else if (page->JustPassedEvent) {
      t = 0;
      page->JustPassedEvent = false;
    }
    page->WaitRemaining -= t;
    while (page->RowsRemain() && page->WaitRemaining <= 0) {
      TWdRow& row = *page->Rows[page->CurrentRow];
      if (PageHeight > 0 && row.Top - page->Scroll > PageHeight) break;  // the visible area is full
      if (page->CurrentGlyph >= row.Glyphs.size()) {
        ++page->CurrentRow;
        page->CurrentGlyph = 0;
        continue;
      }
      TWdGlyph& g = *row.Glyphs[page->CurrentGlyph];
      if (IsReal(g)) {
        auto& real = static_cast<TWdReal&>(g);
        real.Alpha = 0;
        page->Fading.push_back({&real, row.Top});
        if (g.Type == TGlyphType::Img && static_cast<const TWdImg&>(g).IsAnimated()) page->Animated.push_back({&real, row.Top});
        RenderGlyph(real, g.Left, row.Top + g.Top);
      }
      const int32_t wait = WaitOf(g);
      if (wait >= 0)
        page->WaitRemaining += static_cast<int32_t>(int64_t{wait} * std::max(0, SpeedRatio) / 256);
      else if (SpeedRatio >= 0)
        page->WaitRemaining -= wait;  // a negative wait is absolute
      // Advance, and put the caret before the next glyph.
      const TWdGlyph* next = nullptr;
      const TWdRow* nextRow = &row;
      if (++page->CurrentGlyph >= row.Glyphs.size()) {
        page->CurrentGlyph = 0;
        ++page->CurrentRow;
        nextRow = page->RowsRemain() ? page->Rows[page->CurrentRow].get() : nullptr;
      }
      if (nextRow && page->CurrentGlyph < nextRow->Glyphs.size()) next = nextRow->Glyphs[page->CurrentGlyph];
      if (next) {
        CaretX = next->Left;
        CaretY = nextRow->Top - page->Scroll;
        CaretHeight = nextRow->Height;
      } else {
        CaretX = g.Left + g.Width;
        CaretY = row.Top - page->Scroll;
        CaretHeight = row.Height;
      }
      if (g.Type == TGlyphType::Event && EventsEnabled) {
        const auto& event = static_cast<const TWdOpeEvent&>(g);
        if (!page->PendingEvents.empty()) page->PendingEvents += '\t';
        if (event.IsEnd) page->PendingEvents += '\x01';
        page->PendingEvents += event.Value;
        page->JustPassedEvent = true;
        if (!next || next->Type != TGlyphType::Event) break;
      }
      if (g.Type == TGlyphType::Char) AppendCharCode(shown, static_cast<const TWdChar&>(g).Code);
      if (g.Type == TGlyphType::Img) shown += '*';
    }
  }
  // Fade in what has been revealed.
  page->FadeAccumulator += int64_t{t} * 256;
  const int64_t step = FadeTime <= 0 ? 255 : page->FadeAccumulator / FadeTime;
  page->FadeAccumulator %= std::max(FadeTime, 1);
  if (step > 0) {
    for (const TFadingGlyph& f : page->Fading) {
      f.Glyph->Alpha = static_cast<int32_t>(std::min<int64_t>(255, f.Glyph->Alpha + step));
      Invalidate(*f.Glyph, *page, f.RowTop);
    }
    std::erase_if(page->Fading, [](const TFadingGlyph& f) { return f.Glyph->Alpha > 254; });
  }
  for (const TFadingGlyph& a : page->Animated)
    if (static_cast<TWdImg*>(a.Glyph)->Picture->Advance(tickMs)) Invalidate(*a.Glyph, *page, a.RowTop);
  if (!page->PendingEvents.empty() && page->Fading.empty()) {
    std::string events;
    events.swap(page->PendingEvents);
    size_t start = 0;
    while (start <= events.size()) {
      size_t tab = events.find('\t', start);
      if (tab == std::string::npos) tab = events.size();
      if (OnEvent) OnEvent(events.substr(start, tab - start));
      start = tab + 1;
    }
  }
  if (!page->RowsRemain() && page->Fading.empty() && !page->Finished) {
    page->Finished = true;
    finished = true;
  }
}

void TKvWord::RejoinAfterLoad() {
  TWdPage* page = CurrentPagePtr();
  if (!page) return;
  page->Fading.clear();
  page->Animated.clear();
  page->Hovered = nullptr;
  MakeLayers();
  for (size_t r = 0; r < page->Rows.size(); ++r) {
    const TWdRow& row = *page->Rows[r];
    for (size_t i = 0; i < row.Glyphs.size(); ++i) {
      TWdGlyph& g = *row.Glyphs[i];
      if (!IsReal(g)) continue;
      auto& real = static_cast<TWdReal&>(g);
      const bool revealed = r < page->CurrentRow || (r == page->CurrentRow && i < page->CurrentGlyph);
      real.Alpha = revealed ? 255 : 0;
      real.Hover = false;
      if (!revealed) continue;
      RenderGlyph(real, g.Left, row.Top + g.Top);
      if (g.Type == TGlyphType::Img && static_cast<const TWdImg&>(g).IsAnimated()) page->Animated.push_back({&real, row.Top});
    }
  }
  page->StartDelay = 0;
}

bool TKvWord::IsDisplaying() const {
  const TWdPage* page = CurrentPagePtr();
  if (!page) return false;
  if (!page->Fading.empty()) return true;
  if (Paging) return page->RowsRemain() && !Paused;
  if (!page->RowsRemain()) return false;
  const TWdRow& row = *page->Rows[page->CurrentRow];
  return PageHeight <= 0 || row.Top + row.Height - page->Scroll <= PageHeight;
}

}  // namespace orba
