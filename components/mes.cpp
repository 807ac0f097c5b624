#include "components/mes.h"

#include <algorithm>
#include <utility>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/history.h"
#include "components/picturecache.h"
#include "render/dibx.h"
#include "text/wordlayout.h"

namespace orba {
namespace {

TCompiledTextLoader& Loader() {
  static TCompiledTextLoader loader;
  return loader;
}

TMessagePageListener& PageListener() {
  static TMessagePageListener listener;
  return listener;
}

constexpr int32_t kTickMs = 16;

bool IsReal(const TWdGlyph& g) { return g.Type == TGlyphType::Char || g.Type == TGlyphType::Img; }

// Source lines: CR LF or LF end a line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

TArrayString LinesOf(const std::string& text) {
  TArrayString out;
  for (std::string& line : SplitLines(text)) out.Add(std::move(line));
  return out;
}

// Moves the rows of a scratch layout onto page P, y added to their tops; the next y.
int32_t MoveRows(TWdPage& from, TWdPage& to, int32_t y, int32_t lineSpace, bool packed, int32_t entryHeight) {
  if (from.Rows.empty()) return y;
  int32_t next = y;
  for (auto& row : from.Rows) {
    row->Top += y;
    next = row->Top + row->Height + lineSpace;
    to.Height = std::max(to.Height, row->Top + row->Height);
    to.Width = std::max(to.Width, from.Width);
    to.Rows.push_back(std::move(row));
  }
  from.Rows.clear();
  return packed ? next : y + entryHeight;
}

}  // namespace

TCompiledTextLoader SetCompiledTextLoader(TCompiledTextLoader loader) { return std::exchange(Loader(), std::move(loader)); }

TMessagePageListener SetMessagePageListener(TMessagePageListener listener) {
  return std::exchange(PageListener(), std::move(listener));
}

TTextLoad LoadCompiledText(const std::string& page, int32_t command, TKvWord& word) {
  return Loader() ? Loader()(page, command, word) : TTextLoad::NoPage;
}

const TKvWord* TMesDataCacheList::GetCachedWord(const std::string& page, int32_t command) {
  auto p = std::find_if(pages_.begin(), pages_.end(), [&](const TCachePage& c) { return SameText(c.Name, page); });
  if (p == pages_.end()) {
    pages_.push_front({page, {}});
    while (pages_.size() > kPages) pages_.pop_back();
  } else {
    pages_.splice(pages_.begin(), pages_, p);
  }
  auto& words = pages_.front().Words;
  auto w = std::find_if(words.begin(), words.end(), [&](const TCacheWord& c) { return c.Command == command; });
  if (w != words.end()) {
    words.splice(words.begin(), words, w);
    return words.front().Word.get();
  }
  auto word = std::make_unique<TKvWord>();
  if (LoadCompiledText(page, command, *word) != TTextLoad::Loaded) word.reset();
  words.push_front({command, std::move(word)});
  while (words.size() > kWordsPerPage) words.pop_back();
  return words.front().Word.get();
}

TOrbaMes::TOrbaMes(TOrbaBaseList* owner) : TOrbaControl(owner) {
  Word.Quality = 3;
  Word.Paging = true;
  Word.PageWidth = Width;
  Word.PageHeight = Height;
  Word.EventsEnabled = false;
  Word.ImageLoader = TextPicture;
  Word.OnEvent = [this](const std::string& text) {
    if (!OnNotify.empty()) QueueEvent(PR_ONNOTIFY, LinesOf(text));
  };
}

TOrbaMes::~TOrbaMes() { Invalidate(); }

// ---- text and pages -----------------------------------------------------------------------

void TOrbaMes::SetText(const std::string& source) {
  Invalidate();
  MesData.Rows.Clear();
  SourceText = source;
  MessageHistory().Commit(Name());
  HistoryOffset = 0;
  Word.SetText(source.empty() ? std::vector<std::string>{} : SplitLines(source));
  Word.UpdateVariables(0, Word.GlyphCount());
  Word.Layout(0, -1);
  if (Word.GlyphCount() == 0) Word.Pages.clear();
  CurrentPage = 0;
  Scroll = 0;
  Word.CurrentPage = 0;
  if (!Word.Pages.empty()) {
    NeedsRender = RenderFresh = true;
    PlayStart();
  }
}

void TOrbaMes::InsertText(const std::string& page, int32_t command, bool track) {
  HistoryOffset = 0;
  MesData.Rows.Clear();
  MesData.Rows.Add(page, command, {}, 0, -1, 0);
  PackHistory = false;
  // The page shown so far is tracked and committed under its own text's name before the new
  // text takes the window.
  NextMessage(false);
  ReadMode = track ? 1 : 0;
  if (track) {
    MessagePage = page;
    MessageCommand = command;
  }
  if (!Word.Pages.empty()) SetIndex(0);
}

void TOrbaMes::NextMessage(bool raiseStart) {
  Invalidate();
  SourceText.clear();
  // Tracked before the commit, so the page shown enters the history once, not again later.
  TrackShownPage();
  MessageHistory().Commit(Name());
  Word.Pages.clear();
  CurrentPage = -1;
  BuildPages();
  if (!Word.Pages.empty()) {
    if (raiseStart) PlayStart();
    NeedsRender = RenderFresh = true;
  }
}

void TOrbaMes::SetIndex(int32_t index) {
  if (index < 0 || index >= PageCount() || index == CurrentPage) return;
  if (CurrentPage >= 0) MessageHistory().Commit(Name());
  CurrentPage = index;
  Word.CurrentPage = static_cast<size_t>(index);
  Scroll = 0;
  PlayStart();
  TrackShownPage();
  Word.ResetDisplay();
  NeedsRender = RenderFresh = true;
  Invalidate();
}

void TOrbaMes::PlayStart() {
  if (PageListener() && PageShown()) PageListener()(PageText(*Word.Pages[static_cast<size_t>(CurrentPage)]));
  if (OnPlayStart.empty()) return;
  const bool read = ReadMode == 1 && !MessagePage.empty() &&
                    MessageReadList().IsRead(MessagePage, MessageCommand, CurrentPage);
  TArrayString params;
  params.Add(read ? "1" : "0");
  QueueEvent(PR_ONPLAYSTART, std::move(params));
  StartDelayTicks = 1;
}

std::string TOrbaMes::ShownPageFrozen(int32_t& first, int32_t& last) const {
  first = last = 0;
  if (!PageShown()) return {};
  const TWdPage& page = *Word.Pages[static_cast<size_t>(CurrentPage)];
  std::vector<std::string> frozen;
  std::vector<TWdGlyph*> stored;
  for (const auto& row : page.Rows)
    for (TWdGlyph* g : row->Glyphs)
      if (!g->Generated && g->Type != TGlyphType::Space) stored.push_back(g);
  // The page's own variables, each once, with the text shown for it (line breaks as 0x01).
  for (TWdGlyph* g : stored)
    if (g->Type == TGlyphType::Var) {
      const auto& var = static_cast<const TWdOpeVar&>(*g);
      std::string shown;
      const int32_t at = Word.IndexOf(g);
      for (size_t i = static_cast<size_t>(at) + 1; at >= 0 && i < Word.GlyphCount() && Word.Glyph(i)->Generated; ++i) {
        const TWdGlyph* v = Word.Glyph(i);
        if (v->Type == TGlyphType::Char) AppendCharCode(shown, static_cast<const TWdChar*>(v)->Code);
        else if (v->Type == TGlyphType::Return) shown += '\x01';
      }
      const std::string line = var.Name + "=" + shown;
      if (std::none_of(frozen.begin(), frozen.end(),
                       [&](const std::string& l) { return l.compare(0, var.Name.size() + 1, var.Name + "=") == 0; }))
        frozen.push_back(line);
    }
  std::string frozenText;
  for (const std::string& line : frozen) frozenText += line + "\r\n";
  if (!stored.empty()) {
    first = static_cast<int32_t>(Word.SourceIndex(static_cast<size_t>(Word.IndexOf(stored.front()))));
    last = static_cast<int32_t>(Word.SourceIndex(static_cast<size_t>(Word.IndexOf(stored.back()))));
  }
  return frozenText;
}

void TOrbaMes::TrackShownPage() {
  if (ReadMode != 1 || MessagePage.empty() || !PageShown()) return;
  int32_t first = 0, last = 0;
  const std::string frozenText = ShownPageFrozen(first, last);
  MessageHistory().SetPending(*this, MessagePage, frozenText, CurrentPage, last, first, MessageCommand);
  MessageReadList().SetPendingMark(Name(), MessagePage, CurrentPage, MessageCommand);
}

void TOrbaMes::BuildPages() {
  Word.Clear();
  Word.Pages.clear();
  const TOrbaHistData& rows = MesData.Rows;
  if (!rows.Empty()) {
    if (rows.Rows.size() == 1 && rows.Total == 0) {
      const THistRow& r = rows.Rows[0];
      const TKvWord* cached = MesData.Cache.GetCachedWord(r.Page, r.Command);
      if (!cached) return;
      Word.CopyGlyphs(*cached, cached->ListIndex(static_cast<size_t>(std::max(0, r.First))),
                      r.Last < 0 ? cached->GlyphCount() - 1 : cached->ListIndex(static_cast<size_t>(r.Last)));
      Word.FrozenValues = SplitLines(r.Frozen);
      Word.UpdateVariables(0, Word.GlyphCount());
      Word.Layout(0, -1);
      if (Word.GlyphCount() == 0) Word.Pages.clear();
      return;
    }
    auto target = std::make_unique<TWdPage>();
    int32_t y = HistoryOffset;
    for (size_t k = 0; k < rows.Rows.size(); ++k) {
      const THistRow& r = rows.Rows[k];
      const TKvWord* cached = MesData.Cache.GetCachedWord(rows.ResolvedPage(k), r.Command);
      if (!cached) continue;
      const size_t start = Word.GlyphCount();
      Word.CopyGlyphs(*cached, cached->ListIndex(static_cast<size_t>(std::max(0, r.First))),
                      r.Last < 0 ? cached->GlyphCount() - 1 : cached->ListIndex(static_cast<size_t>(r.Last)));
      Word.FrozenValues = SplitLines(r.Frozen);
      Word.UpdateVariables(start, Word.GlyphCount());
      Word.Layout(start, -1);
      Word.StyleBase = static_cast<int32_t>(Word.Styles().Count());
      if (!Word.Pages.empty()) y = MoveRows(*Word.Pages[0], *target, y, Word.LineSpace, true, 0);
    }
    Word.Pages.clear();
    Word.Pages.push_back(std::move(target));
    return;
  }
  if (MesData.Entries.empty()) return;
  const int32_t width = Word.PageWidth, height = Word.PageHeight;
  const auto& entries = MesData.Entries;
  if (entries.size() == 1 && entries[0].PageIndex < 0) {
    if (const TKvWord* cached = MesData.Cache.GetCachedWord(entries[0].Page, entries[0].Command)) {
      Word.CopyGlyphs(*cached, 0, cached->GlyphCount() - 1);
      Word.PageWidth = entries[0].Width;
      Word.PageHeight = entries[0].Height;
      Word.UpdateVariables(0, Word.GlyphCount());
      Word.Layout(0, -1);
    }
  } else {
    auto target = std::make_unique<TWdPage>();
    int32_t y = 0;
    for (const TOldEntry& e : entries) {
      const TKvWord* cached = MesData.Cache.GetCachedWord(e.Page, e.Command);
      if (!cached) continue;
      const size_t start = Word.GlyphCount();
      Word.CopyGlyphs(*cached, 0, cached->GlyphCount() - 1);
      Word.PageWidth = e.Width;
      Word.PageHeight = e.Height;
      Word.UpdateVariables(start, Word.GlyphCount());
      Word.Layout(start, -1);
      Word.StyleBase = static_cast<int32_t>(Word.Styles().Count());
      // A page index the text no longer lays out into (the page file changed) is skipped.
      if (e.PageIndex >= 0 && static_cast<size_t>(e.PageIndex) < Word.Pages.size())
        y = MoveRows(*Word.Pages[static_cast<size_t>(e.PageIndex)], *target, y, Word.LineSpace, PackHistory, e.Height);
    }
    Word.Pages.clear();
    Word.Pages.push_back(std::move(target));
  }
  Word.PageWidth = width;
  Word.PageHeight = height;
}

// ---- ticks, painting, the mouse -----------------------------------------------------------

void TOrbaMes::InvalidateWord() {
  TOrbaBase* base = GetBase();
  std::vector<TRect> rects = Word.TakeInvalid();
  if (!base || !IsVisible()) return;
  for (const TRect& r : rects) base->InvalidateRect(r);
}

void TOrbaMes::Render() {
  if (!PageShown()) return;
  PlaceWord();
  if (RenderFresh) {
    Word.ResetDisplay();
  } else {
    Word.RejoinAfterLoad();
  }
  Invalidate();
}

bool TOrbaMes::Tick() {
  if (StartDelayTicks >= 1) {
    --StartDelayTicks;
    return false;
  }
  if (Owner && Owner->Events().Has(Id, PR_ONPLAYSTART)) return false;
  if (NeedsRender) {
    Render();
    NeedsRender = RenderFresh = false;
  }
  if (PageShown()) {
    Word.ClipX = AbsoluteLeft();
    Word.ClipY = AbsoluteTop();
    bool finished = false;
    std::string shown;
    Word.RevealStep(kTickMs, finished, shown);
    if (!shown.empty() && !OnPlaying.empty()) {
      TArrayString params;
      params.Add(shown);
      QueueEvent(PR_ONPLAYING, std::move(params));
    }
    if (finished) {
      MessageReadList().CommitMark(Name());
      if (!OnPlayEnd.empty()) QueueEvent(PR_ONPLAYEND);
    }
    InvalidateWord();
  }
  return false;
}

void TOrbaMes::Paint(TPaintContext& ctx) {
  auto* dib = dynamic_cast<TDIBX*>(&ctx.Surface);
  if (!ctx.Hidden && dib && IsVisible() && GetBase() && PageShown()) {
    PlaceWord();
    const TRect area = ctx.Surface.ClipState().value_or(TRect{0, 0, ctx.Surface.Width(), ctx.Surface.Height()});
    Word.Paint(dib->Image(), area);
  }
  PaintChildren(ctx);
}

void TOrbaMes::HoverAt(TPoint p) {
  if (!IsVisible() || !GetBase() || !PageShown()) return;
  if (Paused || Word.IsDisplaying()) p = {-1, -1};
  PlaceWord();
  Word.HoverAt(p.X, p.Y);
  InvalidateWord();
}

bool TOrbaMes::ClickLink() {
  if (OnLink.empty() || !PageShown() || !Owner) return false;
  const TWdPage& page = *Word.Pages[static_cast<size_t>(CurrentPage)];
  if (!page.Hovered || Owner->Events().Has(Id, PR_ONLINK)) return false;
  TArrayString params;
  params.Add(Word.HoveredText());
  for (std::string& line : SplitLines(page.Hovered->Link)) params.Add(std::move(line));
  QueueEvent(PR_ONLINK, std::move(params));
  return true;
}

void TOrbaMes::PlaceWord() {
  Word.CurrentPage = static_cast<size_t>(CurrentPage);
  Word.ClipX = AbsoluteLeft();
  Word.ClipY = AbsoluteTop();
}

TOrbaControl* TOrbaMes::HitTest(TPoint p, uint32_t modes) {
  const TRect client = GetClientRect();
  if (!IsVisible() || p.X < client.Left || p.X >= client.Right || p.Y < client.Top || p.Y >= client.Bottom)
    return nullptr;
  for (size_t i = Children().size(); i-- > 0;)
    if (TOrbaControl* hit = Children()[i]->HitTest(p, modes)) return hit;
  if (!Admits(modes)) return nullptr;
  if (!CaptureLink) return this;
  // Only link text takes the mouse.
  if (!PageShown()) return nullptr;
  PlaceWord();
  const TWdReal* g = Word.HitTest(p.X, p.Y);
  return g && !g->Link.empty() ? this : nullptr;
}

void TOrbaMes::MouseMove() {
  // While a page is shown the mouse only hovers its links; no mouse-move event.
  if (PageShown()) HoverAt(MouseInPage());
  else TOrbaControl::MouseMove();
}

void TOrbaMes::MouseOut(TOrbaControl* next) {
  if (PageShown()) HoverAt({-1, -1});
  else TOrbaControl::MouseOut(next);
}

void TOrbaMes::LButtonDown() {
  // A click on a hovered link is the link event, and nothing else sees it.
  if (ClickLink()) {
    if (TOrbaBase* base = GetBase()) base->Input().LeftClick = false;
    return;
  }
  TOrbaControl::LButtonDown();
}

std::string TOrbaMes::RevealedText() const {
  if (!PageShown()) return {};
  const TWdPage& page = *Word.Pages[static_cast<size_t>(CurrentPage)];
  return PageText(page, page.CurrentRow, page.CurrentGlyph);
}

std::string TOrbaMes::PageText(const TWdPage& page, size_t lastRow, size_t glyphsOfLastRow) {
  std::string out;
  for (size_t r = 0; r < page.Rows.size() && r <= lastRow; ++r) {
    const auto& glyphs = page.Rows[r]->Glyphs;
    const size_t end = r < lastRow ? glyphs.size() : std::min(glyphsOfLastRow, glyphs.size());
    for (size_t i = 0; i < end; ++i) {
      const TWdGlyph& g = *glyphs[i];
      if (g.Type == TGlyphType::Char) AppendCharCode(out, static_cast<const TWdChar&>(g).Code);
      else if (g.Type == TGlyphType::Return) out += "\r\n";
    }
  }
  return out;
}

// ---- properties ---------------------------------------------------------------------------

void TOrbaMes::RestartWait() {
  if (!PageShown()) return;
  TWdPage& page = *Word.Pages[static_cast<size_t>(CurrentPage)];
  page.WaitRemaining = 0;
  page.FadeAccumulator = 0;
  page.StartDelay = Word.FadeTime > 0 ? 1 : 0;
}

void TOrbaMes::ChangeWordInt(int32_t& field, int32_t v) {
  if (field == v) return;
  Invalidate();
  field = v;
  NeedsRender = true;
  Invalidate();
}

int32_t TOrbaMes::GetInt(int32_t code) const {
  switch (code) {
    case PR_INDEX: return CurrentPage;
    case PR_COUNT: return PageCount();
    case PR_SCROLLY: return Scroll;
    case PR_FONTHEIGHT: return Word.DefaultSize;
    case PR_FONTBORDER: return Word.DefaultBorderWidth;
    case PR_FONTSHADOW: return Word.DefaultShadow;
    case PR_LINESPACE: return Word.LineSpace;
    case PR_FONTCOLOR: return Word.DefaultColor;
    case PR_FONTLINKCOLOR: return Word.LinkColor;
    case PR_FONTHOVERCOLOR: return Word.HoverColor;
    case PR_FONTBORDERCOLOR: return Word.DefaultBorderColor;
    case PR_FONTSHADOWCOLOR: return Word.DefaultShadowColor;
    case PR_ALPHA: return Word.Alpha;
    case PR_DELAY: return Word.FadeTime;
    case PR_TEXTDELAY: return TextDelay;
    case PR_CARETX: return Word.CaretX;
    case PR_CARETY: return Word.CaretY;
    case PR_CARETHEIGHT: return Word.CaretHeight;
    default: return TOrbaControl::GetInt(code);
  }
}

void TOrbaMes::SetInt(int32_t code, int32_t v) {
  switch (code) {
    case PR_INDEX: SetIndex(v); break;
    case PR_SCROLLY:
      if (v == Scroll) break;
      Scroll = v;
      if (PageShown()) Word.Pages[static_cast<size_t>(CurrentPage)]->Scroll = v;
      RestartWait();
      Invalidate();
      break;
    case PR_WIDTH:
    case PR_HEIGHT:
      TOrbaControl::SetInt(code, v);
      Word.PageWidth = Width;
      Word.PageHeight = Height;
      break;
    case PR_FONTHEIGHT: ChangeWordInt(Word.DefaultSize, v); break;
    case PR_FONTBORDER: ChangeWordInt(Word.DefaultBorderWidth, v); break;
    case PR_FONTSHADOW: ChangeWordInt(Word.DefaultShadow, v); break;
    case PR_LINESPACE: ChangeWordInt(Word.LineSpace, v); break;
    case PR_FONTCOLOR: ChangeWordInt(Word.DefaultColor, v); break;
    case PR_FONTLINKCOLOR: ChangeWordInt(Word.LinkColor, v); break;
    case PR_FONTHOVERCOLOR: ChangeWordInt(Word.HoverColor, v); break;
    case PR_FONTBORDERCOLOR: ChangeWordInt(Word.DefaultBorderColor, v); break;
    case PR_FONTSHADOWCOLOR: ChangeWordInt(Word.DefaultShadowColor, v); break;
    case PR_ALPHA:
      Word.Alpha = v;
      Invalidate();
      break;
    case PR_DELAY: Word.FadeTime = std::max(0, v); break;
    case PR_TEXTDELAY: TextDelay = Word.SpeedRatio = v; break;
    default: TOrbaControl::SetInt(code, v);
  }
}

bool TOrbaMes::GetBool(int32_t code) const {
  switch (code) {
    case PR_PLAYING:
      return PageShown() && (CurrentPage != PageCount() - 1 || Word.IsDisplaying());
    case PR_ANTIALIAS: return Word.Quality > 0;
    case PR_PAUSED: return Paused;
    case PR_TEXTPAUSED: return TextPaused;
    case PR_CAPTURELINK: return CaptureLink;
    default: return TOrbaControl::GetBool(code);
  }
}

void TOrbaMes::SetBool(int32_t code, bool v) {
  switch (code) {
    case PR_ANTIALIAS: {
      const int32_t q = v ? 3 : 0;
      if (q == Word.Quality) break;
      Word.Quality = q;
      if (PageShown()) NeedsRender = true;
      Invalidate();
      break;
    }
    case PR_PAUSED:
    case PR_TEXTPAUSED: {
      bool& field = code == PR_PAUSED ? Paused : TextPaused;
      if (field == v) break;
      field = v;
      Word.Paused = Paused || TextPaused;
      if (!Word.Paused) RestartWait();
      break;
    }
    case PR_CAPTURELINK: CaptureLink = v; break;
    default: TOrbaControl::SetBool(code, v);
  }
}

std::string TOrbaMes::GetStr(int32_t code) const {
  switch (code) {
    case PR_TEXT: return RevealedText();
    case PR_FONTNAME: return Word.DefaultFontName;
    case PR_ONPLAYING: return OnPlaying;
    case PR_ONPLAYSTART: return OnPlayStart;
    case PR_ONPLAYEND: return OnPlayEnd;
    case PR_ONLINK: return OnLink;
    case PR_ONNOTIFY: return OnNotify;
    case PR_ONIDLE: return OnIdle;
    default: return TOrbaControl::GetStr(code);
  }
}

void TOrbaMes::SetStr(int32_t code, const std::string& v) {
  switch (code) {
    case PR_TEXT:
      ReadMode = 0;
      SetText(v);
      break;
    case PR_FONTNAME:
      Word.DefaultFontName = v;
      if (PageShown()) NeedsRender = true;
      Invalidate();
      break;
    case PR_ONPLAYING: OnPlaying = v; break;
    case PR_ONPLAYSTART: OnPlayStart = v; break;
    case PR_ONPLAYEND: OnPlayEnd = v; break;
    case PR_ONLINK: OnLink = v; break;
    case PR_ONNOTIFY:
      OnNotify = v;
      Word.EventsEnabled = !v.empty();
      break;
    case PR_ONIDLE: OnIdle = v; break;
    default: TOrbaControl::SetStr(code, v);
  }
}

// ---- saving -------------------------------------------------------------------------------

std::string TOrbaMes::PageStates() {
  TKvMemoryStream stream;
  TBinaryWriter out(stream);
  for (size_t p = 0; p < Word.Pages.size(); ++p) {
    const TWdPage& page = *Word.Pages[p];
    out.I32(page.Scroll);
    out.I32(static_cast<int32_t>(page.CurrentRow));
    out.I32(static_cast<int32_t>(page.CurrentGlyph));
    out.Bool(page.Finished);
    out.String(page.PendingEvents);
    for (const auto& row : page.Rows)
      for (size_t i = 0; i < row->Glyphs.size(); ++i) {
        const TWdGlyph& g = *row->Glyphs[i];
        if (IsReal(g)) {
          const auto& real = static_cast<const TWdReal&>(g);
          // A glyph still fading comes back whole.
          const bool fading = std::any_of(page.Fading.begin(), page.Fading.end(),
                                          [&](const TFadingGlyph& f) { return f.Glyph == &real; });
          out.I32(fading ? 255 : real.Alpha);
        } else if (g.Type == TGlyphType::Var) {
          const TWdGlyph* next = i + 1 < row->Glyphs.size() ? row->Glyphs[i + 1] : nullptr;
          out.I32(next && next->Generated && IsReal(*next) ? static_cast<const TWdReal*>(next)->Alpha : 0);
        }
      }
  }
  const auto& bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

// Every count and position is checked against the pages built again after the load: the page
// files may have changed since the save, so a state that does not fit is dropped, not applied.
void TOrbaMes::ApplyPageStates(const std::string& states) {
  TKvMemoryStream stream;
  stream.Write(states.data(), states.size());
  stream.SetPosition(0);
  TBinaryReader in(stream);
  try {
    for (size_t p = 0; p < Word.Pages.size(); ++p) {
      TWdPage& page = *Word.Pages[p];
      const int32_t scroll = in.I32();
      const int32_t row = in.I32();
      const int32_t glyph = in.I32();
      const bool finished = in.Bool();
      std::string events = in.String();
      if (row < 0 || glyph < 0 || static_cast<size_t>(row) > page.Rows.size()) return;
      if (static_cast<size_t>(row) < page.Rows.size() && static_cast<size_t>(glyph) > page.Rows[row]->Glyphs.size())
        return;
      page.Scroll = scroll;
      page.CurrentRow = static_cast<size_t>(row);
      page.CurrentGlyph = static_cast<size_t>(glyph);
      page.Finished = finished;
      page.PendingEvents = std::move(events);
      int32_t varAlpha = -1;
      for (const auto& r : page.Rows)
        for (TWdGlyph* g : r->Glyphs) {
          if (g->Generated) {
            if (varAlpha >= 0 && IsReal(*g)) static_cast<TWdReal*>(g)->Alpha = varAlpha;
            continue;
          }
          varAlpha = -1;
          if (IsReal(*g)) static_cast<TWdReal*>(g)->Alpha = std::clamp(in.I32(), 0, 255);
          else if (g->Type == TGlyphType::Var) varAlpha = std::clamp(in.I32(), 0, 255);
        }
    }
  } catch (const EReadError&) {
    // A block shorter than the pages now built: what was read stays.
  }
}

void TOrbaMes::Transfer(TTreeIO& io) {
  TOrbaControl::Transfer(io);
  Word.VisitSettings(io.Version, [&](int32_t& v) { io.I32(v); }, [&](bool& v) { io.Flag(v); },
                     [&](std::string& v) { io.Str(v); });
  const bool writing = io.Mode == TTreeIO::TMode::Write;
  if (writing && PageShown() && !MesData.Rows.Empty()) {
    int32_t first = 0, last = 0;
    const std::string frozen = ShownPageFrozen(first, last);
    for (THistRow& row : MesData.Rows.Rows) row.Frozen = frozen;
  }
  int32_t count = static_cast<int32_t>(MesData.Entries.size());
  io.I32(count);
  if (count < 0) throw EReadError("message entries");
  if (!writing) MesData.Entries.clear();
  for (int32_t i = 0; i < count; ++i) {
    if (!writing) MesData.Entries.emplace_back();
    io.Str(MesData.Entries[static_cast<size_t>(i)].Page);
  }
  for (TOldEntry& e : MesData.Entries) io.I32(e.Command);
  for (TOldEntry& e : MesData.Entries) io.I32(e.PageIndex);
  for (TOldEntry& e : MesData.Entries) {
    io.I32(e.Width);
    io.I32(e.Height);
  }
  if (io.Version > 112) MesData.Rows.Transfer(io);
  io.Flag(PackHistory);
  if (io.Version > 112) io.I32(HistoryOffset);
  io.Str(SourceText);
  io.I32(CurrentPage);
  io.I32(Scroll);
  io.I32(Reserved);
  for (std::string* s : {&ReservedText1, &ReservedText2, &ReservedText3, &OnPlaying, &OnPlayStart, &OnPlayEnd,
                         &OnLink, &OnNotify})
    io.Str(*s);
  io.Flag(Paused);
  io.Flag(TextPaused);
  io.I32(TextDelay);
  io.Byte(ReadMode);
  io.Str(MessagePage);
  io.I32(MessageCommand);
  if (io.Version > 103) io.Str(OnIdle);
  if (io.Version >= 120) io.Flag(CaptureLink);
  std::string states = writing ? PageStates() : std::string();
  io.Str(states);
  if (!writing) PendingPageStates = std::move(states);
}

void TOrbaMes::RestoreAfterLoad() {
  const int32_t current = CurrentPage, scroll = Scroll, command = MessageCommand;
  const uint8_t mode = ReadMode;
  const std::string page = MessagePage;
  Word.Pages.clear();
  CurrentPage = -1;
  try {
    if (MesData.Empty()) {
      SetText(SourceText);
    } else {
      NextMessage(false);
    }
  } catch (const EOrbaError&) {
    // Text that no longer parses (or a page that no longer reads) shows nothing; the rest of
    // the game loads.
    Word.Pages.clear();
  }
  CurrentPage = current;
  Scroll = scroll;
  ReadMode = mode;
  MessagePage = page;
  MessageCommand = command;
  if (PendingPageStates) ApplyPageStates(*PendingPageStates);
  PendingPageStates.reset();
  if (PageShown()) {
    PlaceWord();
    Word.RejoinAfterLoad();
  }
  NeedsRender = RenderFresh = false;
}

void RestoreMessageWindows(TOrbaBaseList& list) {
  for (int32_t i = 0; i < list.Count(); ++i)
    if (auto* m = dynamic_cast<TOrbaMes*>(&list.Item(i))) m->RestoreAfterLoad();
}

}  // namespace orba
