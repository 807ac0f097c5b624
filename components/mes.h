// The message window: styled text laid out into pages, each page revealed glyph by glyph,
// with events to the script when a page starts, while it is revealed, when it ends, at text
// events and on link clicks. It never turns a page by itself: the script sets the index, sets
// new text or waits on the text insertion command.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/historydata.h"
#include "components/orbaobject.h"
#include "text/kvword.h"

namespace orba {

// Loads the stored glyph list of the text insertion command at index command of the script
// page named page into word. The script subsystem installs it; without one, inserted text
// shows nothing.
enum class TTextLoad : uint8_t { Loaded, NoPage, NoCommand };
using TCompiledTextLoader = std::function<TTextLoad(const std::string& page, int32_t command, TKvWord& word)>;
TTextLoad LoadCompiledText(const std::string& page, int32_t command, TKvWord& word);
// Installs a loader and answers the one it replaces.
TCompiledTextLoader SetCompiledTextLoader(TCompiledTextLoader loader);

// Told the whole text of every message page as it starts to show: code page 932, tags gone,
// rows ending in CR LF. The player's text hook listens here; no script sees it. Installing
// answers the listener it replaces.
using TMessagePageListener = std::function<void(const std::string& text)>;
TMessagePageListener SetMessagePageListener(TMessagePageListener listener);

// Compiled texts by (page, command): at most 4 pages, most recently used first, each with at
// most 16 texts, so paging through history does not reload page files.
class TMesDataCacheList {
 public:
  static constexpr size_t kPages = 4, kWordsPerPage = 16;
  // The word holding the command's glyphs, or null.
  const TKvWord* GetCachedWord(const std::string& page, int32_t command);
  void Clear() { pages_.clear(); }

 private:
  struct TCacheWord {
    int32_t Command;
    std::unique_ptr<TKvWord> Word;  // null: no such text
  };
  struct TCachePage {
    std::string Name;
    std::list<TCacheWord> Words;
  };
  std::list<TCachePage> pages_;
};

// What a window shows when its text comes from compiled texts: rows (inserted text or new-form
// history) or else the old-form history entries.
struct TOldEntry {
  std::string Page;
  int32_t Command = 0;
  int32_t PageIndex = 0;
  int32_t Width = 0, Height = 0;
};

struct TOrbaNewMesData {
  TMesDataCacheList Cache;
  TOrbaHistData Rows;
  std::vector<TOldEntry> Entries;
  bool Empty() const { return Rows.Empty() && Entries.empty(); }
};

class TOrbaMes : public TOrbaControl {
 public:
  explicit TOrbaMes(TOrbaBaseList* owner);
  ~TOrbaMes() override;
  int32_t GetCompoType() const override { return 13; }

  TKvWord Word;  // its pages are the window's pages
  int32_t CurrentPage = -1;
  int32_t Scroll = 0;
  int32_t Reserved = 0;
  std::string ReservedText1, ReservedText2, ReservedText3;
  std::string OnPlaying, OnPlayStart, OnPlayEnd, OnLink, OnNotify, OnIdle;
  bool Paused = false, TextPaused = false;
  int32_t TextDelay = 0;
  uint8_t ReadMode = 0;  // 0 untracked, 1 inserted text tracked, 2 history shown
  std::string MessagePage;
  int32_t MessageCommand = 0;
  std::string SourceText;
  TOrbaNewMesData MesData;
  bool PackHistory = false;
  int32_t HistoryOffset = 0;
  int32_t StartDelayTicks = 0;
  bool NeedsRender = false, RenderFresh = false;
  bool CaptureLink = false;
  // The page display states read by a load, applied by RestoreAfterLoad.
  std::optional<std::string> PendingPageStates;

  int32_t PageCount() const { return static_cast<int32_t>(Word.Pages.size()); }
  bool PageShown() const { return CurrentPage >= 0 && CurrentPage < PageCount(); }

  // Replaces the text with tagged source text (lines split at CR LF) and shows its first page.
  void SetText(const std::string& source);
  // What the text insertion command does to the window: shows the compiled text of command
  // index command in page, tracked for history and read marks when track.
  void InsertText(const std::string& page, int32_t command, bool track);
  // Shows what MesData describes; the page-start event only when raiseStart.
  void NextMessage(bool raiseStart);
  void SetIndex(int32_t index);
  void PlayStart();
  // After a game load: the text built again, the shown page's state and every page's reveal
  // state restored.
  void RestoreAfterLoad();
  // The text revealed so far on the shown page (line breaks as CR LF).
  std::string RevealedText() const;
  // The text of a page up to a glyph of a row (line breaks as CR LF); the whole page by default.
  static std::string PageText(const TWdPage& page, size_t lastRow = SIZE_MAX, size_t glyphsOfLastRow = SIZE_MAX);
  // The mouse over the window at a base position (paused or revealing: no hover); a left click
  // on a hovered link queues the link event and answers true.
  void HoverAt(TPoint basePoint);
  bool ClickLink();
  // The window takes the mouse as any control, with CaptureLink only over link text.
  TOrbaControl* HitTest(TPoint p, uint32_t mask) override;
  // While a page is shown the mouse hovers links and a click on one raises the link event;
  // without a page the window answers the mouse as any control.
  void MouseMove() override;
  void MouseOut(TOrbaControl* next) override;
  void LButtonDown() override;
  // 0 while the shown page is revealing, else 2.
  int32_t PlayState() const { return Word.IsDisplaying() ? 0 : 2; }

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;
  TPoint GetCaretPos() const override { return {Word.CaretX, Word.CaretY}; }

  bool Tick() override;
  void Paint(TPaintContext& ctx) override;
  void Transfer(TTreeIO& io) override;

 private:
  void ChangeWordInt(int32_t& field, int32_t v);
  void RestartWait();
  void Render();
  void TrackShownPage();
  // The name=value lines of the shown page's variables, and its first and last stored glyph.
  std::string ShownPageFrozen(int32_t& first, int32_t& last) const;
  void BuildPages();
  void InvalidateWord();
  // The word on the shown page, placed at the window's page position.
  void PlaceWord();
  std::string PageStates();
  void ApplyPageStates(const std::string& states);
};

// After a game was loaded, every message window of the list, in list order, builds its text
// again and takes back its page states. Their text may show variables and come from page
// files, and the page shown when the game was saved is the history's pending entry, so this
// runs only once the whole game (tree, history, interpreter, variables) has been read.
void RestoreMessageWindows(TOrbaBaseList& list);

}  // namespace orba
