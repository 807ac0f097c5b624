// Styled text is held as a flat, ordered list of glyphs built from the tag language: one
// glyph a character, plus operation glyphs for line breaks, alignment, indentation, events,
// variables and images. Character styles are interned, so a page of text in three styles
// holds three style records. Layout, display and painting build on this list elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"

namespace orba {

class TDIBSurface;
class TKvBigStream;
struct TWdPage;
class TOrbaParser;
class TParamCollection;

// Style flags of a character.
enum : uint8_t { DF_BOLD = 1, DF_ITALIC = 2, DF_UNDERLINE = 4, DF_STRIKEOUT = 8 };

// Alignment of rows (DIV) and images (IMG).
enum : uint8_t { AL_NONE = 0, AL_LEFT = 1, AL_RIGHT = 2, AL_CENTER = 3, AL_TOP = 4, AL_BOTTOM = 5 };

// An interned character style; −1 colours and widths and size 0 mean the word's default.
struct TDecorate {
  int32_t RefCount = 0;
  int32_t Color = -1;
  int32_t BorderColor = -1;
  int32_t ShadowColor = -1;
  int32_t Size = 0;
  uint8_t Flags = 0;
  std::string FontName;
  uint8_t NoBreak = 0;
  std::string Ruby;
  int32_t BorderWidth = -1;
  int32_t Shadow = -1;

  // All values but the reference count (strings compared case-sensitively).
  bool SameValues(const TDecorate& other) const;
};

// The styles of one word. Records keep their addresses while the list lives.
class TDecorateList {
 public:
  // The record holding exactly these values, shared (RefCount + 1) or appended.
  TDecorate* Acquire(const TDecorate& values);
  // Drops one reference; the record is freed at 0.
  void Release(TDecorate* style);
  // A record appended as it stands (stored lists carry their own reference counts).
  TDecorate* Append(const TDecorate& values);
  // Takes a record made elsewhere (a loaded list) as it stands.
  void Adopt(std::unique_ptr<TDecorate> style) { styles_.push_back(std::move(style)); }
  void Clear() { styles_.clear(); }
  size_t Count() const { return styles_.size(); }
  TDecorate* At(size_t index) const { return styles_[index].get(); }
  // Position of the record, or -1.
  int32_t IndexOf(const TDecorate* style) const;

 private:
  std::vector<std::unique_ptr<TDecorate>> styles_;
};

// Stored glyph types.
enum class TGlyphType : uint8_t { Space = 0, Char = 1, Align = 2, Return = 3, Indent = 4, Undent = 5, Event = 6,
                                  Var = 7, Img = 9 };

class TKvWord;

// One element of a word's glyph list. Position fields belong to layout.
struct TWdGlyph {
  explicit TWdGlyph(TGlyphType type) : Type(type) {}
  virtual ~TWdGlyph() = default;
  TGlyphType Type;
  // True for glyphs made from a variable's value: never stored, not counted by SourceIndex.
  bool Generated = false;
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

// Glyphs that are shown and can be part of a link.
struct TWdReal : TWdGlyph {
  using TWdGlyph::TWdGlyph;
  std::string Link;
  int32_t Wait = 0;
  int32_t Alpha = 255;
  bool Hover = false;
};

struct TWdChar : TWdReal {
  TWdChar() : TWdReal(TGlyphType::Char) {}
  uint16_t Code = 0;  // one byte, or lead * 256 + trail
  TDecorate* Style = nullptr;
};

// The picture of an image in text: one frame, or several shown in turn (in the player the
// image components' frame list stands behind it).
class TTextImage {
 public:
  virtual ~TTextImage() = default;
  virtual size_t FrameCount() const = 0;
  virtual const TDIBSurface& Frame(size_t index) const = 0;
  virtual size_t CurrentIndex() const { return 0; }
  // Moves the frames on by ms; true when another frame became current.
  virtual bool Advance(int32_t /*ms*/) { return false; }
};

// A picture of one frame.
class TTextStillImage : public TTextImage {
 public:
  explicit TTextStillImage(std::shared_ptr<const TDIBSurface> picture) : picture_(std::move(picture)) {}
  size_t FrameCount() const override { return 1; }
  const TDIBSurface& Frame(size_t) const override { return *picture_; }

 private:
  std::shared_ptr<const TDIBSurface> picture_;
};

struct TWdImg : TWdReal {
  TWdImg() : TWdReal(TGlyphType::Img) {}
  std::string Src;
  uint8_t Align = AL_BOTTOM;
  bool NoBreak = false;
  std::string Ruby;
  // The picture, loaded through the word's image loader when first measured; null when the
  // project has no such file (the image then has size 0 and is skipped).
  std::shared_ptr<TTextImage> Picture;
  bool Loaded = false;
  // Whether the picture changes by itself (frames), so the reveal steps it every tick.
  bool IsAnimated() const { return Picture && Picture->FrameCount() > 1; }
};

struct TWdOpeReturn : TWdGlyph {
  TWdOpeReturn() : TWdGlyph(TGlyphType::Return) {}
  uint8_t Clear = 0;
};

struct TWdOpeAlign : TWdGlyph {
  TWdOpeAlign() : TWdGlyph(TGlyphType::Align) {}
  uint8_t Align = AL_LEFT;
};

struct TWdOpeIndent : TWdGlyph {
  TWdOpeIndent() : TWdGlyph(TGlyphType::Indent) {}
};

struct TWdOpeUndent : TWdGlyph {
  TWdOpeUndent() : TWdGlyph(TGlyphType::Undent) {}
};

struct TWdOpeEvent : TWdGlyph {
  TWdOpeEvent() : TWdGlyph(TGlyphType::Event) {}
  std::string Value;
  bool IsEnd = false;
};

struct TWdOpeVar : TWdGlyph {
  TWdOpeVar();
  ~TWdOpeVar() override;
  std::string Name;  // the expression text
  // Lists stored before expressions were kept as text hold the compiled form instead.
  std::unique_ptr<TOrbaParser> Compiled;
  TDecorate* Style = nullptr;
  int32_t Wait = 0;
  std::string Link;
};

// The style a character or a variable glyph uses; null for other glyphs.
inline TDecorate* StyleOf(const TWdGlyph& glyph) {
  if (glyph.Type == TGlyphType::Char) return static_cast<const TWdChar&>(glyph).Style;
  if (glyph.Type == TGlyphType::Var) return static_cast<const TWdOpeVar&>(glyph).Style;
  return nullptr;
}

class TKvWord {
 public:
  TKvWord();
  ~TKvWord();
  TKvWord(const TKvWord&) = delete;
  TKvWord& operator=(const TKvWord&) = delete;

  // Clears the word and builds its glyphs from tagged source lines. Raises EOrbaError with
  // the system's message for an A tag without HREF (glyphs built so far stay).
  void SetText(const std::vector<std::string>& lines);
  void Clear();

  size_t GlyphCount() const { return glyphs_.size(); }
  TWdGlyph* Glyph(size_t index) const { return glyphs_[index].get(); }
  TDecorateList& Styles() { return styles_; }
  const TDecorateList& Styles() const { return styles_; }
  void AppendGlyph(std::unique_ptr<TWdGlyph> glyph) { glyphs_.push_back(std::move(glyph)); }
  void InsertGlyph(size_t index, std::unique_ptr<TWdGlyph> glyph);
  // Frees the glyph and releases its style; the pages are dropped (lay out again).
  void DeleteGlyph(size_t index);
  // Appends copies of source's stored glyphs at list positions first..last (shown values of
  // variables are left out: UpdateVariables makes them anew). Styles are acquired here by
  // value, so the copies never point into the source word.
  void CopyGlyphs(const TKvWord& source, size_t first, size_t last);
  // List position of the glyph, or -1.
  int32_t IndexOf(const TWdGlyph* glyph) const;

  // Stored glyphs before the one at list position index: generated glyphs do not count, so
  // the number stays the same when variables are shown. ListIndex is the way back: the
  // first list position at which count stored glyphs have been passed.
  size_t SourceIndex(size_t index) const;
  size_t ListIndex(size_t count) const;

  // Rebuilds the shown characters of the variable glyphs between list positions first and
  // last, from the frozen values or else from evaluating the expression against vars (the
  // player's variables when null). A value that does not compile or evaluate shows nothing.
  void UpdateVariables(size_t first, size_t last, TParamCollection* vars = nullptr);
  // Appends NAME=shown text (line breaks as the byte 0x01) for each variable glyph whose
  // name is not in list yet, so history shows the values the message had.
  void FreezeVariables(std::vector<std::string>& list) const;

  // The stored glyph list: "KvWord" + three digits of the version, the styles, the glyphs.
  // Loading appends to the word (StyleBase becomes the style count before) and is all or
  // nothing: a short list, a count or style index that does not fit, or a glyph type we do
  // not know raises EReadError and leaves the word as it was.
  static constexpr int kGlyphListVersion = 102;
  void LoadGlyphs(TKvBigStream& stream);
  // Writes the word's stored glyphs at version (0..999; older versions drop the fields
  // they did not have). Raises the expression compiler's error for a variable whose text
  // does not compile when version < 102.
  void SaveGlyphs(TKvBigStream& stream, int version = kGlyphListVersion) const;

  // A new glyph of a stored type (1 char, 2 align, 3 return, 4 indent, 5 undent, 6 event,
  // 7 variable, 9 image); null for any other type.
  static std::unique_ptr<TWdGlyph> CreateGlyph(int type);

  // ---- layout (wordlayout.cpp) ----
  // Computes the size of the glyphs at list positions first..last: characters take square
  // cells of their size (wider when italic, taller with a ruby, both grown by outline and
  // shadow), images the size of their picture, everything else nothing.
  void Measure(size_t first, size_t last);
  // Measures and lays out the glyphs from list position first through the glyph at source
  // index last (−1 or beyond the list: to the end) into Pages, which it replaces. Every page
  // takes at least one row, so layout ends whatever the page height.
  void Layout(size_t first = 0, int32_t last = -1);

  // ---- progressive display (wordreveal.cpp) ----
  // Starts the current page's display again: nothing revealed, all glyphs transparent.
  void ResetDisplay();
  // One tick of tickMs milliseconds on the current page: reveals the glyphs whose waits have
  // passed, fades revealed glyphs in, raises events once fading ends. finished is true once,
  // in the tick in which the page has been shown whole; shown receives the revealed text.
  void RevealStep(int32_t tickMs, bool& finished, std::string& shown);
  bool IsDisplaying() const;
  // After the owner restored a page's Scroll, reveal position, Finished and PendingEvents
  // (a loaded game): shows everything before the position at once, and images with frames
  // among it are stepped again.
  void RejoinAfterLoad();
  // Drops the page's drawing layers (a display change); RejoinAfterLoad draws them again.
  void ReleaseSurfaces();
  TWdPage* CurrentPagePtr() const;

  // ---- painting and the mouse (wordpaint.cpp) ----
  // Paints the current page's revealed glyphs that meet area (target coordinates) onto target
  // (24 or 32 bits), clipped to the visible area. The caller has restored what lies below.
  void Paint(TDIBSurface& target, const TRect& area);
  // Rectangles of the target changed since the last call (glyphs revealed, faded, hovered).
  std::vector<TRect> TakeInvalid();
  // The fully revealed glyph under a point of the target, or null.
  TWdReal* HitTest(int32_t x, int32_t y) const;
  // Moves the hover to the link run under the point; true when it changed.
  bool HoverAt(int32_t x, int32_t y);
  std::string HoveredText() const;

  // The word-settings record, as message windows store it; version gates the newer fields.
  void LoadSettings(TKvBigStream& stream, int version);
  void SaveSettings(TKvBigStream& stream, int version) const;
  // The same record's fields in stored order, for owners that write it through their own
  // stream (a component's saved tree).
  void VisitSettings(int version, const std::function<void(int32_t&)>& integer, const std::function<void(bool&)>& flag,
                     const std::function<void(std::string&)>& text);

  // Code page 932 font name of characters whose style names none.
  std::string DefaultFontName;
  int32_t DefaultSize = 12;
  int32_t DefaultColor = 0;
  int32_t LinkColor = 0xFF0000;
  int32_t HoverColor = 0x008000;
  // The character wait of text outside WAIT tags (the owner sets it from the text delay).
  int32_t DefaultWait = 50;
  int32_t StyleBase = 0;
  std::vector<std::string> FrozenValues;

  // Layout and display settings.
  int32_t ClipX = 0, ClipY = 0;  // where the visible area lies in the target
  int32_t PageHeight = 0;        // height of the visible area (0: no limit)
  int32_t PageWidth = 0;         // width rows may take (0: no wrapping; layout sets the widest)
  int32_t Quality = 3;
  int32_t LineSpace = 0;
  bool Paging = true;
  int32_t FadeTime = 1;
  int32_t DefaultBorderColor = 0x808080;
  int32_t Alpha = 255;  // 0..255 blended, 256..511 added with strength (Alpha − 256) / 256
  bool Paused = false;
  int32_t CaretX = 0, CaretY = 0, CaretHeight = 0;
  int32_t SpeedRatio = 256;  // waits × SpeedRatio / 256; negative shows everything at once
  bool EventsEnabled = true;
  int32_t DefaultShadowColor = 0;
  int32_t DefaultBorderWidth = 0;
  int32_t DefaultShadow = 0;
  std::vector<std::unique_ptr<TWdPage>> Pages;
  size_t CurrentPage = 0;
  // Called with each event text (an end event's text begins with the byte 0x01).
  std::function<void(const std::string&)> OnEvent;
  // Loads the picture of an image in text; null when there is no such file.
  std::function<std::shared_ptr<TTextImage>(const std::string& src)> ImageLoader;

 private:
  // Draws a revealed or changed glyph of the current page into the layers.
  void RenderGlyph(const TWdReal& glyph, int32_t pageX, int32_t pageY);
  void Invalidate(const TWdGlyph& glyph, const TWdPage& page, int32_t rowTop);
  void MakeLayers();
  std::unique_ptr<TDIBSurface> colourLayer_;
  std::unique_ptr<TDIBSurface> coverageLayer_;
  std::vector<TRect> invalid_;

 private:
  std::vector<std::unique_ptr<TWdGlyph>> glyphs_;
  TDecorateList styles_;
};

}  // namespace orba
