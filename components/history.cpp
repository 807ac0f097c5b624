#include "components/history.h"

#include <algorithm>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/stream.h"
#include "components/picturecache.h"
#include "text/wordlayout.h"
#include "values/paramcollection.h"

namespace orba {

TOrbaNewHistory& MessageHistory() {
  static TOrbaNewHistory history;
  return history;
}

TOrbaReadList& MessageReadList() {
  static TOrbaReadList list;
  return list;
}

// ---- history ------------------------------------------------------------------------------

// Pictures in text take their place in the history's rows as in the windows.
TOrbaNewHistory::TOrbaNewHistory() { Word.ImageLoader = TextPicture; }

std::array<int32_t, 6>& TOrbaNewHistory::SettingsStore() const {
  static_assert(TParamCollection::kHistoryInts == 6);
  if (TParamCollection* vars = Variables()) return vars->HistoryInts;
  return ownSettings_;
}

THistorySettings TOrbaNewHistory::Settings() const {
  const auto& v = SettingsStore();
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

void TOrbaNewHistory::SetSettings(const THistorySettings& s) {
  SettingsStore() = {s.FontHeight, s.FontBorder, s.FontShadow, s.Width, s.Height, s.LineSpace};
}

void TOrbaNewHistory::SetPending(const TOrbaMes& window, const std::string& page, const std::string& frozen,
                                 int32_t pageIndex, int32_t last, int32_t first, int32_t command) {
  PendingPage = page;
  PendingCommand = command;
  PendingFirst = first;
  PendingLast = last;
  PendingFrozen = frozen;
  PendingWindow = window.Name();
  const THistorySettings settings = Settings();
  if (settings.FontHeight == 0) {
    PendingWidth = window.Width;
    PendingHeight = window.Height;
    PendingPageIndex = pageIndex;
  }
  if (Screens.empty()) {
    Word.DefaultSize = settings.FontHeight;
    Word.DefaultBorderWidth = settings.FontBorder;
    Word.DefaultShadow = settings.FontShadow;
    Word.PageWidth = settings.Width;
    Word.PageHeight = settings.Height;
    Word.LineSpace = settings.LineSpace;
  }
}

void TOrbaNewHistory::Trim() {
  // Names are stored only where they change, so the oldest kept entry takes the name it
  // resolved to before the ones above it go.
  if (NewForm()) {
    if (MaxCount <= 0 || Screens.size() <= static_cast<size_t>(MaxCount)) return;
    const size_t drop = Screens.size() - static_cast<size_t>(MaxCount);
    Screens.erase(Screens.begin(), Screens.begin() + static_cast<std::ptrdiff_t>(drop));
    return;
  }
  if (MaxCount <= 0 || OldEntries.size() <= static_cast<size_t>(MaxCount)) return;
  const size_t drop = OldEntries.size() - static_cast<size_t>(MaxCount);
  std::string name;
  for (size_t i = 0; i <= drop; ++i)
    if (!OldEntries[i].Page.empty()) name = OldEntries[i].Page;
  OldEntries.erase(OldEntries.begin(), OldEntries.begin() + static_cast<std::ptrdiff_t>(drop));
  OldEntries.front().Page = name;
}

void TOrbaNewHistory::Commit(const std::string& windowName) {
  if (PendingPage.empty() || PendingWindow != windowName) return;
  if (!NewForm()) {
    std::string resolved;
    for (const TOldEntry& e : OldEntries)
      if (!e.Page.empty()) resolved = e.Page;
    const bool same = !OldEntries.empty() && SameText(resolved, PendingPage);
    OldEntries.push_back({same ? std::string() : PendingPage, PendingCommand, PendingPageIndex, PendingWidth,
                          PendingHeight});
    Trim();
    PendingPage.clear();
    return;
  }
  if (loadedCommand_ != PendingCommand || !SameText(loadedPage_, PendingPage)) {
    Word.Clear();
    loadedCommand_ = -1;
    const TTextLoad load = LoadCompiledText(PendingPage, PendingCommand, Word);
    if (load == TTextLoad::NoPage) PendingPage.clear();
    if (load != TTextLoad::Loaded) return;
    loadedPage_ = PendingPage;
    loadedCommand_ = PendingCommand;
  }
  const size_t first = Word.ListIndex(static_cast<size_t>(std::max(0, PendingFirst)));
  const size_t lastList = PendingLast < 0 ? Word.GlyphCount() : Word.ListIndex(static_cast<size_t>(PendingLast));
  Word.FrozenValues.clear();
  for (size_t start = 0; start <= PendingFrozen.size();) {
    size_t end = PendingFrozen.find("\r\n", start);
    if (end == std::string::npos) end = PendingFrozen.size();
    if (end > start) Word.FrozenValues.push_back(PendingFrozen.substr(start, end - start));
    start = end + 2;
  }
  Word.UpdateVariables(first, lastList);
  Word.Layout(first, PendingLast);
  for (const auto& page : Word.Pages) {
    if (page->Rows.empty()) continue;
    const int32_t h = page->Height + Word.LineSpace;
    int32_t rowFirst = 0, rowLast = 0;
    for (const auto& row : page->Rows)
      for (TWdGlyph* g : row->Glyphs)
        if (!g->Generated && g->Type != TGlyphType::Space) {
          rowFirst = static_cast<int32_t>(Word.SourceIndex(static_cast<size_t>(Word.IndexOf(g))));
          goto found;
        }
  found:
    for (auto it = page->Rows.back()->Glyphs.rbegin(); it != page->Rows.back()->Glyphs.rend(); ++it)
      if ((*it)->Type != TGlyphType::Space) {
        rowLast = static_cast<int32_t>(Word.SourceIndex(static_cast<size_t>(Word.IndexOf(*it))));
        break;
      }
    if (!Screens.empty() && Word.PageHeight >= h + Screens.back().Total)
      Screens.back().Add(PendingPage, PendingCommand, PendingFrozen, h, rowLast, rowFirst);
    else
      Screens.emplace_back().Add(PendingPage, PendingCommand, PendingFrozen, h, rowLast, rowFirst);
  }
  Trim();
  Word.Pages.clear();
  for (size_t i = Word.GlyphCount(); i-- > 0;)
    if (Word.Glyph(i)->Generated) Word.DeleteGlyph(i);
  PendingPage.clear();
}

void TOrbaNewHistory::Clear() {
  Word.Pages.clear();
  Screens.clear();
  OldEntries.clear();
  PendingPage.clear();
  PendingFrozen.clear();
  loadedPage_.clear();
  loadedCommand_ = -1;
}

int32_t TOrbaNewHistory::Count() const {
  return static_cast<int32_t>(NewForm() ? Screens.size() : OldEntries.size());
}

int32_t TOrbaNewHistory::Total() const {
  if (!NewForm()) return static_cast<int32_t>(OldEntries.size());
  int64_t total = 0;
  for (const TOrbaHistData& s : Screens) total += s.Total;
  return SaturateI32(total);
}

void TOrbaNewHistory::SelectRows(int32_t a, int32_t h, TOrbaHistData& into, int32_t& offset) const {
  into.Clear();
  offset = 0;
  if (Screens.empty()) return;
  const int64_t end = int64_t{a} + h;
  // s: the first screen whose cumulative total exceeds a (else the last).
  size_t s = 0;
  int64_t top = 0;  // top of screen s in the history
  while (s + 1 < Screens.size() && top + Screens[s].Total <= a) top += Screens[s++].Total;
  size_t r0 = 0;
  int64_t rowTop = top;
  const auto& rows0 = Screens[s].Rows;
  while (r0 + 1 < rows0.size() && rowTop + rows0[r0].Height <= a) rowTop += rows0[r0++].Height;
  offset = static_cast<int32_t>(rowTop - a);
  // e, r1: the first screen (from s on) and row whose bottom reaches a + h.
  size_t e = s;
  int64_t eTop = top;
  while (e + 1 < Screens.size() && eTop + Screens[e].Total < end) eTop += Screens[e++].Total;
  size_t r1 = 0;
  int64_t bottom = eTop;
  const auto& rows1 = Screens[e].Rows;
  while (r1 + 1 < rows1.size() && (bottom += rows1[r1].Height) < end) ++r1;
  for (size_t k = s; k <= e; ++k) {
    const TOrbaHistData& screen = Screens[k];
    const size_t from = k == s ? r0 : 0, to = k == e ? r1 : screen.Rows.size() - 1;
    for (size_t r = from; r <= to && r < screen.Rows.size(); ++r) {
      const THistRow& row = screen.Rows[r];
      into.Add(screen.ResolvedPage(r), row.Command, row.Frozen, row.Height, row.Last, row.First);
    }
  }
}

void TOrbaNewHistory::Show(int32_t start, int32_t count, TOrbaMes& window) {
  window.ReadMode = 2;
  if (!NewForm()) {
    window.MesData.Entries.clear();
    std::string resolved;
    for (int32_t k = 0; k < static_cast<int32_t>(OldEntries.size()) && k < int64_t{start} + count; ++k) {
      const TOldEntry& e = OldEntries[static_cast<size_t>(k)];
      if (!e.Page.empty()) resolved = e.Page;
      if (k < start) continue;
      TOldEntry copy = e;
      copy.Page = resolved;
      window.MesData.Entries.push_back(copy);
    }
    window.SetOffsetY(0);
  } else {
    SelectRows(start, count, window.MesData.Rows, window.HistoryOffset);
  }
  window.NextMessage(true);
  window.CurrentPage = -1;
  window.SetIndex(0);
}

// ---- the stored form ----------------------------------------------------------------------

namespace {

struct THistStreamIO : TTreeIO {
  THistStreamIO(TKvBigStream& stream, TMode mode, int32_t version) : TTreeIO(mode, version), w(stream), r(stream) {}
  TBinaryWriter w;
  TBinaryReader r;
  void I32(int32_t& v) override { Mode == TMode::Write ? w.I32(v) : void(v = r.I32()); }
  void Byte(uint8_t& v) override { Mode == TMode::Write ? w.U8(v) : void(v = r.U8()); }
  void Str(std::string& v) override { Mode == TMode::Write ? w.String(v) : void(v = r.String()); }
  void Ext(TExtended& v) override { Mode == TMode::Write ? w.Extended(v) : void(v = r.Extended()); }
  void Children(TOrbaControl&) override {}
};

}  // namespace

void TOrbaNewHistory::SaveToStream(TKvBigStream& stream) const {
  auto& self = const_cast<TOrbaNewHistory&>(*this);
  THistStreamIO io(stream, TTreeIO::TMode::Write, kTreeVersion);
  TBinaryWriter& w = io.w;
  w.I32(static_cast<int32_t>(OldEntries.size()));
  for (const TOldEntry& e : OldEntries) {
    w.String(e.Page);
    w.I32(e.Command);
    w.I32(e.PageIndex);
    w.I32(e.Width);
    w.I32(e.Height);
  }
  w.String(PendingPage);
  for (int32_t v : {PendingCommand, PendingPageIndex, PendingWidth, PendingHeight}) w.I32(v);
  w.String(PendingWindow);
  for (int32_t v : {MaxCount, Word.DefaultSize, Word.DefaultBorderWidth, Word.DefaultShadow, Word.PageWidth,
                    Word.PageHeight, Word.LineSpace, PendingFirst, PendingLast})
    w.I32(v);
  w.I32(static_cast<int32_t>(Screens.size()));
  for (TOrbaHistData& s : self.Screens) s.Transfer(io);
  w.String(PendingFrozen);
}

void TOrbaNewHistory::LoadFromStream(TKvBigStream& stream, int32_t version) {
  THistStreamIO io(stream, TTreeIO::TMode::Read, version);
  TBinaryReader& r = io.r;
  // Read whole into a fresh history first, so a damaged stream leaves this one as it was.
  TOrbaNewHistory h;
  if (version < 113) (void)r.String();
  const int32_t count = r.Count(4);
  h.OldEntries.resize(static_cast<size_t>(count));
  if (version > 112) {
    for (TOldEntry& e : h.OldEntries) {
      e.Page = r.String();
      e.Command = r.I32();
      e.PageIndex = r.I32();
      e.Width = r.I32();
      e.Height = r.I32();
    }
  } else {
    for (TOldEntry& e : h.OldEntries) e.Page = r.String();
    for (TOldEntry& e : h.OldEntries) e.Command = r.I32();
    for (TOldEntry& e : h.OldEntries) e.PageIndex = r.I32();
    for (TOldEntry& e : h.OldEntries) {
      e.Width = r.I32();
      e.Height = r.I32();
    }
  }
  h.PendingPage = r.String();
  h.PendingCommand = r.I32();
  h.PendingPageIndex = r.I32();
  h.PendingWidth = r.I32();
  h.PendingHeight = r.I32();
  h.PendingWindow = r.String();
  if (version > 112) {
    for (int32_t* v : {&h.MaxCount, &h.Word.DefaultSize, &h.Word.DefaultBorderWidth, &h.Word.DefaultShadow,
                       &h.Word.PageWidth, &h.Word.PageHeight, &h.Word.LineSpace, &h.PendingFirst, &h.PendingLast})
      *v = r.I32();
    const int32_t screens = r.Count(8);
    for (int32_t i = 0; i < screens; ++i) h.Screens.emplace_back().Transfer(io);
  }
  if (version > 123) h.PendingFrozen = r.String();
  OldEntries = std::move(h.OldEntries);
  Screens = std::move(h.Screens);
  PendingPage = std::move(h.PendingPage);
  PendingCommand = h.PendingCommand;
  PendingPageIndex = h.PendingPageIndex;
  PendingWidth = h.PendingWidth;
  PendingHeight = h.PendingHeight;
  PendingWindow = std::move(h.PendingWindow);
  if (version > 112) {
    MaxCount = h.MaxCount;
    Word.DefaultSize = h.Word.DefaultSize;
    Word.DefaultBorderWidth = h.Word.DefaultBorderWidth;
    Word.DefaultShadow = h.Word.DefaultShadow;
    Word.PageWidth = h.Word.PageWidth;
    Word.PageHeight = h.Word.PageHeight;
    Word.LineSpace = h.Word.LineSpace;
    PendingFirst = h.PendingFirst;
    PendingLast = h.PendingLast;
  }
  PendingFrozen = std::move(h.PendingFrozen);
  loadedPage_.clear();
  loadedCommand_ = -1;
}

// ---- read marks ---------------------------------------------------------------------------

bool TOrbaRead::Holds(int32_t command, int32_t pageIndex) const {
  for (size_t i = 0; i < ReadCommand.size(); ++i)
    if (ReadCommand[i] == command && ReadPageIndex[i] == pageIndex) return true;
  return false;
}

bool TOrbaReadList::IsRead(const std::string& page, int32_t command, int32_t pageIndex) const {
  const auto* item = static_cast<const TOrbaRead*>(Find(page));
  return item && item->Holds(command, pageIndex);
}

void TOrbaReadList::SetPendingMark(const std::string& window, const std::string& page, int32_t pageIndex,
                                   int32_t command) {
  PendingWindow = window;
  PendingPage = page;
  PendingPageIndex = pageIndex;
  PendingCommand = command;
}

void TOrbaReadList::CommitMark(const std::string& windowName) {
  if (PendingPage.empty() || PendingWindow != windowName) return;
  auto* item = static_cast<TOrbaRead*>(Find(PendingPage));
  if (!item) item = static_cast<TOrbaRead*>(Add(PendingPage));
  if (item->Holds(PendingCommand, PendingPageIndex)) return;
  item->ReadCommand.push_back(PendingCommand);
  item->ReadPageIndex.push_back(PendingPageIndex);
  PendingPage.clear();
}

void TOrbaReadList::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.I32(Count());
  for (int32_t i = 0; i < Count(); ++i) {
    const auto& item = static_cast<const TOrbaRead&>(*Item(i));
    w.String(item.Name());
    w.I32(static_cast<int32_t>(item.ReadCommand.size()));
    for (int32_t v : item.ReadCommand) w.I32(v);
    for (int32_t v : item.ReadPageIndex) w.I32(v);
  }
  w.String(PendingPage);
  w.I32(PendingCommand);
  w.I32(PendingPageIndex);
  w.String(PendingWindow);
}

void TOrbaReadList::LoadFromStream(TKvBigStream& stream, int32_t version) {
  ClearMarks();
  if (version < 100) return;
  TBinaryReader r(stream);
  const int32_t count = r.Count(8);
  for (int32_t i = 0; i < count; ++i) {
    auto& item = static_cast<TOrbaRead&>(*Add(r.String()));
    const int32_t pairs = r.Count(8);
    item.ReadCommand.resize(static_cast<size_t>(pairs));
    item.ReadPageIndex.resize(static_cast<size_t>(pairs));
    for (int32_t& v : item.ReadCommand) v = r.I32();
    for (int32_t& v : item.ReadPageIndex) v = r.I32();
  }
  PendingPage = r.String();
  PendingCommand = r.I32();
  PendingPageIndex = r.I32();
  PendingWindow = r.String();
}

}  // namespace orba
