// What layout makes of a word's glyph list: pages of rows, each row a run of glyphs placed
// side by side on a shared baseline, plus the rules that decide where a row may break. The
// reveal and painting state of a page lives here too, since it walks the same rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/kvword.h"

namespace orba {

// The fixed indentation at the start of a row; made by layout, never stored.
struct TWdSpace : TWdGlyph {
  TWdSpace() : TWdGlyph(TGlyphType::Space) {}
};

// One row of a page. Glyphs point into the word's list (and at the row's own indentation);
// their Left is the x within the page, their Top relative to the row.
struct TWdRow {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Align = AL_LEFT;
  int32_t RowLeft = 0, RowRight = 0;  // the free span beside the floats
  int32_t Baseline = 0;               // height of the band characters stand in
  int32_t Above = 0, Below = 0;       // extra height taken by images aligned off the baseline
  std::vector<TWdGlyph*> Glyphs;
  std::unique_ptr<TWdSpace> Indent;
  // Where layout started the row, so an overflowing row can start again on a new page.
  size_t FirstIndex = 0;
  int32_t StartIndent = 0;
  // Heights of the row's images aligned off the baseline, by alignment.
  int32_t CenterImage = 0, TopImage = 0, BottomImage = 0;
};

// A revealed glyph still fading in, with the top of its row.
struct TFadingGlyph {
  TWdReal* Glyph = nullptr;
  int32_t RowTop = 0;
};

struct TWdPage {
  std::vector<std::unique_ptr<TWdRow>> Rows;
  int32_t Width = 0, Height = 0;
  int32_t Scroll = 0;
  // The reveal position: the next glyph to show.
  size_t CurrentRow = 0, CurrentGlyph = 0;
  int32_t WaitRemaining = 0;
  int64_t FadeAccumulator = 0;
  int32_t StartDelay = 0;
  std::vector<TFadingGlyph> Fading;
  std::vector<TFadingGlyph> Animated;
  std::string PendingEvents;  // tab-separated
  bool JustPassedEvent = false;
  bool Finished = false;
  TWdReal* Hovered = nullptr;  // first glyph of the link run under the mouse

  bool RowsRemain() const { return CurrentRow < Rows.size(); }
};

// Break rules. A row may break before glyph a that follows glyph b unless both are no-break,
// they share a ruby, both are single-byte letters, or a is a space after a non-space; a
// character that may not start a row ("。、」" and the like) never takes a break before it.
bool BreakAllowedBefore(const TWdGlyph& b, const TWdGlyph& a);
bool IsLineStartForbidden(uint16_t code);
bool IsLineEndForbidden(uint16_t code);
// The list position after the unit that starts at begin and must stay on one row: every
// following glyph before which no break is allowed, up to and including a line break, and
// after an opening bracket alone the glyph that follows with its own unit. Stops at end.
size_t UnitEnd(const TKvWord& word, size_t begin, size_t end);

// Glyph decoration in the colour layer (32 bits) and the coverage layer (8 bits): stamps a
// coverage mask of w × h at (x, y) with a colour (0x00BBGGRR), within clip. Coverage adds as
// a + k(255 − a)/255; the colour moves toward the new one by k × 255 / new coverage (a pixel
// that stays uncovered keeps its colour).
void StampCoverage(TDIBSurface& colour, TDIBSurface& coverage, const uint8_t* mask, int32_t w, int32_t h, int32_t x,
                   int32_t y, int32_t bgr, const TRect& clip);
// Shadow (the outlined shape offset by shadow), outline (the mask stamped at every offset of a
// square of the border width around the glyph but its centre), then the face.
struct TGlyphDecoration {
  int32_t Face = 0, Border = 0, BorderColor = 0, Shadow = 0, ShadowColor = 0;
};
void DrawDecoratedGlyph(TDIBSurface& colour, TDIBSurface& coverage, const uint8_t* mask, int32_t w, int32_t h,
                        int32_t x, int32_t y, const TGlyphDecoration& d, const TRect& clip);

// Paints coverage (with its top-left at x, y in the target) within area: each pixel's colour
// (from the 32-bit colour surface, or bgr when there is none) blended by coverage × glyphAlpha
// × alpha, or added when alpha is 256..511 with strength (alpha − 256) / 256.
void PaintCoverage(TDIBSurface& target, const TRect& area, int32_t x, int32_t y, const TDIBSurface& coverage,
                   const TDIBSurface* colour, int32_t bgr, int32_t glyphAlpha, int32_t alpha);

}  // namespace orba
