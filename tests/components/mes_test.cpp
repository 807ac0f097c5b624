// The message window as scripted tick sequences: when the page-start event holds the reveal,
// when a page enters the history and gets its read mark, what the history replays, and what a
// saved window, history and read list bring back (old layouts written out byte by byte here).
#include <gtest/gtest.h>

#include <map>

#include "authoring/source.h"
#include "base/binio.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/history.h"
#include "components/mes.h"
#include "components/propaccess.h"
#include "script/callman.h"
#include "script/savefile.h"
#include "support/block_fonts.h"
#include "support/fuzz_seeds.h"
#include "text/wordlayout.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

// Each row of a text is 10 pixels high, and a window 10 pixels high holds one row: a text of n
// rows is n pages.
struct Mes : WithBlockFonts {
  TOrbaBaseList list;
  TCompiledTextLoader previousLoader;
  std::map<std::pair<std::string, int32_t>, std::vector<std::string>> texts;

  void SetUp() override {
    WithBlockFonts::SetUp();
    list.SetSize(200, 100, 32);
    SetComponentRoot(&list);
    TOrbaNewHistory& h = MessageHistory();
    h.Clear();
    h.MaxCount = 0;
    h.SetSettings({});
    h.Word.PageWidth = 0;
    MessageReadList().ClearMarks();
    previousLoader = SetCompiledTextLoader([this](const std::string& page, int32_t command, TKvWord& word) {
      if (page != "a.rss" && page != "b.rss") return TTextLoad::NoPage;
      auto it = texts.find({page, command});
      if (it == texts.end()) return TTextLoad::NoCommand;
      TKvWord parsed;
      parsed.SetText(it->second);
      word.CopyGlyphs(parsed, 0, parsed.GlyphCount() - 1);
      return TTextLoad::Loaded;
    });
    texts[{"a.rss", 3}] = {"AB<BR>CD<BR>EF"};
    texts[{"a.rss", 7}] = {"GH"};
    texts[{"b.rss", 1}] = {"IJ<BR>KL"};
  }
  void TearDown() override {
    SetCompiledTextLoader(previousLoader);
    SetComponentRoot(nullptr);
    WithBlockFonts::TearDown();
  }
  TOrbaMes& Window(const std::string& name) {
    auto* m = static_cast<TOrbaMes*>(list.CreateByCode(13));
    m->SetParent(&list.Current());
    m->SetName(name);
    m->SetInt(PR_WIDTH, 40);
    m->SetInt(PR_HEIGHT, 10);
    m->SetInt(PR_FONTHEIGHT, 10);
    m->SetInt(PR_DELAY, 0);    // no fade: a revealed glyph is whole at once
    m->SetInt(PR_TEXTDELAY, -1);  // the whole page in one tick
    return *m;
  }
  // The codes (and first parameters) of the events queued since the last call; the queue is
  // emptied as if every handler had run.
  std::vector<std::string> TakeEvents() {
    std::vector<std::string> out;
    for (int i = 0; i < list.Events().Count(); ++i) {
      const TTimerData& e = list.Events()[i];
      out.push_back(std::to_string(e.Code) + (e.Params.Count() ? ":" + e.Params[0] : ""));
    }
    list.Events().Clear();
    return out;
  }
  using Events = std::vector<std::string>;
};

// A display change: the window's text layers are dropped and drawn again with what was
// revealed, so the page looks as before (block glyphs: "AB" covers x 0..19 of the first row,
// the rest of the window stays the page's colour).
TEST_F(Mes, TheShownTextIsDrawnAgainAfterADisplayChange) {
  TOrbaMes& m = Window("m");
  m.SetInt(PR_FONTCOLOR, 0x3060C0);
  m.SetStr(PR_TEXT, "AB");
  for (int i = 0; i < 3; ++i) m.Tick();
  ASSERT_EQ(m.GetStr(PR_TEXT), "AB");
  TDIBSurface& page = static_cast<TDIBX&>(list.Current().Surface()).Image();
  const uint32_t background = page.GetPixel(30, 5);
  auto check = [&](const char* when) {
    list.Paint();
    for (int x : {0, 9, 10, 19}) {
      const TRGB got = page.PixelToRGB(page.GetPixel(x, 5), true);
      EXPECT_EQ(got.Red, 0xC0) << when << ", x " << x;
      EXPECT_EQ(got.Green, 0x60) << when << ", x " << x;
      EXPECT_EQ(got.Blue, 0x30) << when << ", x " << x;
    }
    EXPECT_EQ(page.GetPixel(20, 5), background) << when;
    EXPECT_EQ(page.GetPixel(30, 5), background) << when;
  };
  check("before");
  for (int p : {0, 1}) list.Base(p).ReleaseSurfaces();
  list.Current().InvalidateAll();
  list.Paint();
  EXPECT_EQ(page.GetPixel(5, 5), background);  // nothing to draw between the two steps
  for (int p : {0, 1}) list.Base(p).RecreateSurfaces();
  check("after");
  EXPECT_FALSE(m.GetBool(PR_PLAYING));  // still shown whole
}

TEST_F(Mes, TheRevealWaitsForThePageStartEventAndOneTickMore) {
  TOrbaMes& m = Window("m");
  m.SetStr(PR_ONPLAYSTART, "start.rsb");
  m.SetStr(PR_ONPLAYEND, "end.rsb");
  m.SetStr(PR_TEXT, "AB<BR>CD");
  EXPECT_EQ(m.GetInt(PR_COUNT), 2);
  EXPECT_EQ(m.GetInt(PR_INDEX), 0);
  ASSERT_EQ(list.Events().Count(), 1);
  EXPECT_EQ(list.Events()[0].Params[0], "0");  // text set by property is never read before
  m.Tick();  // the tick skipped after queueing
  m.Tick();  // the event still waits
  list.Events()[0].RunningId = 1;
  m.Tick();  // and now runs
  EXPECT_EQ(m.GetStr(PR_TEXT), "");
  EXPECT_TRUE(m.GetBool(PR_PLAYING));
  list.Events().Clear();
  m.Tick();
  EXPECT_EQ(m.GetStr(PR_TEXT), "AB\r\n");
  EXPECT_EQ(TakeEvents(), Events{"43"});
  // Not the last page: still playing. The last page once shown whole is not.
  EXPECT_TRUE(m.GetBool(PR_PLAYING));
  m.SetInt(PR_INDEX, 1);
  EXPECT_EQ(TakeEvents(), Events{"101:0"});
  for (int i = 0; i < 2; ++i) m.Tick();
  EXPECT_EQ(m.GetStr(PR_TEXT), "CD");
  EXPECT_FALSE(m.GetBool(PR_PLAYING));
}

TEST_F(Mes, IndexAndEmptyTextChangeNothingWhenTheyShouldNot) {
  TOrbaMes& m = Window("m");
  m.SetStr(PR_ONPLAYSTART, "start.rsb");
  m.SetStr(PR_TEXT, "AB<BR>CD");
  TakeEvents();
  for (int32_t index : {0, -1, 2, 99}) {
    m.SetInt(PR_INDEX, index);
    EXPECT_EQ(m.GetInt(PR_INDEX), 0) << index;
  }
  EXPECT_TRUE(TakeEvents().empty());
  m.SetStr(PR_TEXT, "");
  EXPECT_EQ(m.GetInt(PR_COUNT), 0);
  EXPECT_TRUE(TakeEvents().empty());
  EXPECT_FALSE(m.GetBool(PR_PLAYING));
  EXPECT_EQ(m.PlayState(), 2);
}

TEST_F(Mes, TextDelayScalesTheWaits) {
  // Two characters of the default 50 ms wait at 16 ms a tick: the first shows at once, the
  // second when 50 × ratio / 256 ms have passed.
  struct Case {
    int32_t ratio;
    int ticksForBoth;
  } cases[] = {{256, 5}, {512, 8}, {0, 1}, {-1, 1}};
  for (const Case& c : cases) {
    TOrbaMes& m = Window("m" + std::to_string(c.ratio));
    m.SetInt(PR_TEXTDELAY, c.ratio);
    EXPECT_EQ(m.Word.SpeedRatio, c.ratio);
    m.SetStr(PR_TEXT, "AB");
    int ticks = 0;
    while (m.GetStr(PR_TEXT) != "AB" && ticks < 50) {
      m.Tick();
      ++ticks;
    }
    EXPECT_EQ(ticks, c.ticksForBoth) << c.ratio;
  }
}

TEST_F(Mes, NotifyAndLinkEvents) {
  TOrbaMes& m = Window("m");
  m.SetInt(PR_WIDTH, 100);
  m.SetStr(PR_ONLINK, "link.rsb");
  m.SetStr(PR_ONLBTNDOWN, "down.rsb");
  // Without a notify handler, EVENT tags are not collected.
  m.SetStr(PR_TEXT, "A<EVENT VALUE=\"x\">B");
  m.Tick();
  EXPECT_TRUE(TakeEvents().empty());
  m.SetStr(PR_ONNOTIFY, "n.rsb");
  m.SetStr(PR_TEXT, "A<EVENT VALUE=\"x\">B<A HREF=\"go\">CD</A>");
  for (int i = 0; i < 3; ++i) m.Tick();
  EXPECT_EQ(TakeEvents(), Events{"33:x"});
  // Through the input step: hovering the link (its glyphs are 10 pixels wide from x 20) raises
  // no mouse-move event; a click on it is the link event and nothing else; a second click while
  // that still waits is a plain press.
  m.SetStr(PR_ONMOUSEMOVE, "move.rsb");
  TBaseInput& in = list.Input(0);
  in.SetMouse(25, 5);
  list.InputStep(16);
  EXPECT_TRUE(TakeEvents().empty());
  in.LeftPressed = in.LeftHeld = true;
  list.InputStep(16);
  ASSERT_EQ(list.Events().Count(), 1);
  EXPECT_EQ(list.Events()[0].Code, PR_ONLINK);
  EXPECT_EQ(list.Events()[0].Params.Items(), (std::vector<std::string>{"CD", "go"}));
  EXPECT_EQ(list.Current().Capture, 0);  // the link click captures nothing
  in.LeftHeld = false;
  list.InputStep(16);
  in.LeftPressed = in.LeftHeld = true;
  list.InputStep(16);
  ASSERT_EQ(list.Events().Count(), 2);
  EXPECT_EQ(list.Events()[1].Code, PR_ONLBTNDOWN);
  EXPECT_EQ(list.Events()[1].Params.Items(), (std::vector<std::string>{"25", "5"}));
  // With CaptureLink only link text takes the mouse; elsewhere the page below is found.
  m.CaptureLink = true;
  EXPECT_EQ(list.Current().HitTest({25, 5}, kHoverMask), &m);
  EXPECT_EQ(list.Current().HitTest({5, 5}, kHoverMask), &list.Current());
  m.CaptureLink = false;
  EXPECT_EQ(list.Current().HitTest({5, 5}, kHoverMask), &m);
}

// Inserted text: a page enters the history only when left, and is marked read only when it
// was shown to its end.
TEST_F(Mes, HistoryEntryWhenLeftReadMarkWhenFinished) {
  TOrbaMes& m = Window("m");
  m.SetStr(PR_ONPLAYSTART, "start.rsb");
  m.InsertText("a.rss", 3, true);
  EXPECT_EQ(m.GetInt(PR_COUNT), 3);
  EXPECT_EQ(TakeEvents(), Events{"101:0"});
  TOrbaNewHistory& h = MessageHistory();
  EXPECT_TRUE(h.OldEntries.empty());
  EXPECT_EQ(h.PendingPage, "a.rss");
  // Page 0 left before it was revealed: a history entry, no read mark.
  m.SetInt(PR_INDEX, 1);
  ASSERT_EQ(h.OldEntries.size(), 1u);
  EXPECT_EQ(h.OldEntries[0].PageIndex, 0);
  EXPECT_EQ(h.OldEntries[0].Width, 40);
  EXPECT_FALSE(MessageReadList().IsRead("a.rss", 3, 0));
  TakeEvents();
  for (int i = 0; i < 2; ++i) m.Tick();
  EXPECT_EQ(m.GetStr(PR_TEXT), "CD\r\n");
  EXPECT_TRUE(MessageReadList().IsRead("A.RSS", 3, 1));
  EXPECT_EQ(h.OldEntries.size(), 1u);  // still on it
  // Back to it: the page start says "read".
  m.SetInt(PR_INDEX, 0);
  m.SetInt(PR_INDEX, 1);
  EXPECT_EQ(TakeEvents(), (Events{"101:0", "101:1"}));
  ASSERT_EQ(h.OldEntries.size(), 3u);
  EXPECT_EQ(h.OldEntries[1].Page, "");  // the same page name is stored once
  // Text set by property is not tracked, and takes the pending entry along.
  m.SetStr(PR_TEXT, "XY");
  EXPECT_EQ(h.OldEntries.size(), 4u);
  EXPECT_EQ(h.PendingPage, "");
  m.SetInt(PR_INDEX, 0);
  EXPECT_EQ(h.PendingPage, "");
}

TEST_F(Mes, OldFormHistoryReplaysAndTrimmingKeepsTheName) {
  TOrbaMes& m = Window("m");
  m.InsertText("a.rss", 3, true);
  m.SetInt(PR_INDEX, 2);
  m.InsertText("b.rss", 1, true);  // commits a.rss page 2
  m.SetInt(PR_INDEX, 1);
  m.InsertText("a.rss", 7, true);
  TOrbaNewHistory& h = MessageHistory();
  ASSERT_EQ(h.Count(), 4);
  EXPECT_EQ(h.OldEntries[1].Page, "");
  // Entries: a.rss 3 page 0, page 2, b.rss 1 page 0, page 1, and with the clear a.rss 7.
  // Dropping the oldest three gives the next one the name it resolved to.
  h.MaxCount = 2;
  m.SetStr(PR_TEXT, "");
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h.OldEntries[0].Page, "b.rss");
  EXPECT_EQ(h.OldEntries[0].PageIndex, 1);
  EXPECT_EQ(h.OldEntries[1].Page, "a.rss");
  // Replay two entries into another window: their pages' rows one under another, 10 apart.
  TOrbaMes& v = Window("view");
  v.SetInt(PR_HEIGHT, 100);
  v.SetStr(PR_ONPLAYSTART, "start.rsb");
  TakeEvents();
  h.Show(0, 2, v);
  EXPECT_EQ(v.ReadMode, 2);
  EXPECT_EQ(TakeEvents(), (Events{"101:0", "101:0"}));  // queued twice
  ASSERT_EQ(v.GetInt(PR_COUNT), 1);
  v.SetInt(PR_TEXTDELAY, -1);
  for (int i = 0; i < 3; ++i) v.Tick();
  EXPECT_EQ(v.GetStr(PR_TEXT), "KLGH");
  ASSERT_EQ(v.Word.Pages[0]->Rows.size(), 2u);
  EXPECT_EQ(v.Word.Pages[0]->Rows.back()->Top, 10);  // a window height apart, unpacked
  // An entry whose page the text no longer lays out into (the page file changed) is skipped.
  h.OldEntries[0].PageIndex = 9;
  h.Show(0, 2, v);
  TakeEvents();
  for (int i = 0; i < 3; ++i) v.Tick();
  EXPECT_EQ(v.GetStr(PR_TEXT), "GH");
}

TEST_F(Mes, NewFormHistoryRowsByPixelRange) {
  TOrbaNewHistory& h = MessageHistory();
  h.SetSettings({10, 0, 0, 40, 25, 2});  // rows of 12 pixels, two to a screen of 25
  TOrbaMes& m = Window("m");
  m.InsertText("a.rss", 3, true);
  m.SetInt(PR_HEIGHT, 30);
  for (int32_t page : {1, 2}) m.SetInt(PR_INDEX, page);
  m.InsertText("b.rss", 1, true);
  ASSERT_TRUE(h.NewForm());
  // a.rss pages 0 and 1 (one row each), then page 2 on a new screen.
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h.Total(), 36);
  EXPECT_EQ(h.Screens[0].Rows[1].Page, "");
  EXPECT_EQ(h.Screens[0].Rows[1].First, 3);  // "AB" and a line break before it
  struct Case {
    int32_t a, height;
    size_t rows;
    int32_t offset, firstSource;
  } cases[] = {
      {0, 12, 1, 0, 0},     // exactly the first row
      {5, 12, 2, -5, 0},    // starts inside the first row
      {12, 24, 2, 0, 3},    // across the screens
      {30, 5, 1, -6, 6},    // inside the last row
      {100, 10, 1, -76, 6}, // beyond the end: the last row
  };
  for (const Case& c : cases) {
    TOrbaHistData rows;
    int32_t offset = 1;
    h.SelectRows(c.a, c.height, rows, offset);
    ASSERT_EQ(rows.Rows.size(), c.rows) << c.a;
    EXPECT_EQ(offset, c.offset) << c.a;
    EXPECT_EQ(rows.Rows[0].First, c.firstSource) << c.a;
    EXPECT_EQ(rows.Rows[0].Page, "a.rss") << c.a;  // resolved
  }
  TOrbaMes& v = Window("view");
  v.SetInt(PR_HEIGHT, 30);
  h.Show(5, 20, v);
  EXPECT_EQ(v.HistoryOffset, -5);
  ASSERT_EQ(v.GetInt(PR_COUNT), 1);
  ASSERT_FALSE(v.Word.Pages[0]->Rows.empty());
  EXPECT_EQ(v.Word.Pages[0]->Rows.front()->Top, -5);
}

// The text commands run from a compiled page: the text insertion's text is stored as a glyph
// list, which the window fetches through the loader by page name and command index.
TEST_F(Mes, TextCommandsFromACompiledPage) {
  TParamCollection vars;
  SetVariables(&vars);
  TCallMan cm;
  TPage page;
  CompilePage("mesnew name: \"m\"; width: 40; height: 10; fontheight: 10; textdelay: -1; delay: 0\n"
              "mesnew name: \"h\"; width: 40; height: 30; fontheight: 10; linespace: 2\n"
              "textins \"AB<BR>CD\"; window: \"m\"; markread: TRUE; waitend: TRUE\n"
              "textins \"EF\"; window: \"nowhere\"; waitend: TRUE\n",
              "t.rss", page);
  page.Name = "t.rss";
  // Stored as a glyph list (it loads below), printed back as the tagged text.
  EXPECT_NE(page.Commands[2]->Text(0).substr(0, 6), "AB<BR>");
  EXPECT_NE(DecompilePage(page).find("textins \"AB<BR>CD\"; window: \"m\""), std::string::npos) << DecompilePage(page);
  SetCompiledTextLoader([&](const std::string& name, int32_t command, TKvWord& word) {
    if (name != "t.rss") return TTextLoad::NoPage;
    TKvMemoryStream glyphs;
    const std::string& block = page.Commands[static_cast<size_t>(command)]->Text(0);
    glyphs.Write(block.data(), block.size());
    glyphs.SetPosition(0);
    word.LoadGlyphs(glyphs);
    return TTextLoad::Loaded;
  });
  auto run = [&](TCommand& c) {
    TPage* p = &page;
    int32_t pc = 0;
    c.Start(cm);
    c.Execute(cm, p, pc);
    return pc;
  };
  for (int i = 0; i < 2; ++i) run(*page.Commands[static_cast<size_t>(i)]);
  auto& m = dynamic_cast<TOrbaMes&>(*list.FindComponent("m"));
  TCommand& insert = *page.Commands[2];
  EXPECT_EQ(run(insert), 0);  // waits while the window has pages
  EXPECT_TRUE(insert.Yields());
  EXPECT_EQ(m.GetInt(PR_COUNT), 2);
  EXPECT_EQ(m.ReadMode, 1);
  EXPECT_EQ(m.MessageCommand, 2);
  m.Tick();
  EXPECT_EQ(m.GetStr(PR_TEXT), "AB\r\n");
  EXPECT_TRUE(MessageReadList().IsRead("t.rss", 2, 0));
  EXPECT_EQ(run(*page.Commands[3]), 1);  // no such window: goes on at once
  auto step = [&](const std::string& source) {
    TPage commands;
    CompilePage(source, "u.rss", commands);
    for (auto& c : commands.Commands) run(*c);
  };
  step("textclr \"m\"\n");
  EXPECT_EQ(m.GetInt(PR_COUNT), 0);
  TPage* p = &page;
  int32_t pc = 0;
  insert.Execute(cm, p, pc);
  EXPECT_EQ(pc, 1);  // the cleared window lets the insertion go on
  ASSERT_EQ(MessageHistory().Count(), 1);  // the page left, in the old form
  step("callhist \"h\"; first: 0; count: 5\n");
  auto& h = dynamic_cast<TOrbaMes&>(*list.FindComponent("h"));
  EXPECT_EQ(h.ReadMode, 2);
  EXPECT_EQ(h.MesData.Entries.size(), 1u);  // the count clipped to the history
  step("entryhist \"h\"\nclrhist\nclrread\n");
  const THistorySettings entered = MessageHistory().Settings();
  EXPECT_EQ(entered.FontHeight, 10);
  EXPECT_EQ(entered.Height, 30);
  EXPECT_EQ(entered.LineSpace, 2);
  EXPECT_EQ(MessageHistory().Count(), 0);
  EXPECT_FALSE(MessageReadList().IsRead("t.rss", 2, 0));
  // The settings are the game variables' six history integers, in the stored order (font
  // height, border, shadow, width, height, line space): saved with the game, cleared by a
  // game reset, back with the load.
  EXPECT_EQ(vars.HistoryInts[0], 10);
  EXPECT_EQ(vars.HistoryInts[3], 40);
  EXPECT_EQ(vars.HistoryInts[4], 30);
  EXPECT_EQ(vars.HistoryInts[5], 2);
  TKvMemoryStream game;
  vars.SaveGame(game);
  vars.ClearGame();
  EXPECT_EQ(MessageHistory().Settings(), THistorySettings{});
  game.SetPosition(0);
  vars.LoadGame(game, TGameEntry::kWriteVersion);
  EXPECT_EQ(MessageHistory().Settings(), entered);
  SetVariables(nullptr);
}

// ---- stored forms ---------------------------------------------------------------------------

std::vector<uint8_t> SavedTree(TOrbaBaseList& list, int32_t version) {
  TKvMemoryStream s;
  list.SaveTree(s, version);
  return s.Bytes();
}

TEST_F(Mes, WindowSavedAtEachLayoutComesBackWithItsPageStates) {
  for (int32_t version : {112, 113, 123, 124, kTreeVersion}) {
    list.Clear();
    TOrbaMes& m = Window("m");
    m.SetStr(PR_ONIDLE, "idle.rsb");
    m.SetBool(PR_CAPTURELINK, true);
    m.InsertText("a.rss", 3, true);
    m.SetInt(PR_INDEX, 1);
    m.Tick();  // page 1 shown whole
    m.SetStr(PR_ONPLAYSTART, "start.rsb");
    const std::vector<uint8_t> bytes = SavedTree(list, version);
    TOrbaBaseList loaded;
    SetComponentRoot(&loaded);
    TKvMemoryStream s(bytes);
    loaded.LoadTree(s, version);
    RestoreMessageWindows(loaded);
    EXPECT_EQ(s.Remaining(), 0) << version;
    auto* l = dynamic_cast<TOrbaMes*>(loaded.FindComponent("m"));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->OnIdle, version > 103 ? "idle.rsb" : "");
    EXPECT_EQ(l->CaptureLink, version >= 120) << version;
    // Rows are stored from 113 on: before that the inserted text cannot be built again.
    EXPECT_EQ(l->GetInt(PR_COUNT), version > 112 ? 3 : 0) << version;
    EXPECT_EQ(l->GetInt(PR_INDEX), 1);
    EXPECT_EQ(l->MessagePage, "a.rss");
    if (version > 112) {
      EXPECT_EQ(l->GetStr(PR_TEXT), "CD\r\n") << version;
      EXPECT_EQ(SavedTree(loaded, version), bytes) << version;
    }
    SetComponentRoot(&list);
  }
}

// A saved game in the order it is stored and read: the tree, then the history. The windows
// are built again only when the whole game has been read, so the page the reader was on (the
// history's pending entry when saved) is committed into the saved history, not into the
// history the running game had. Read into the tree alone, a window shows nothing yet.
TEST_F(Mes, WindowsComeBackAfterTheHistoryOfTheSavedGame) {
  struct TreePart : IGameEntryPart {
    TOrbaBaseList& tree;
    explicit TreePart(TOrbaBaseList& t) : tree(t) {}
    void SaveGamePart(TKvBigStream& s) const override { tree.SaveTree(s); }
    void LoadGamePart(TKvBigStream& s, int32_t version) override { tree.LoadTree(s, version); }
    void AfterGameLoaded() override { RestoreMessageWindows(tree); }
  } tree(list);
  struct HistoryPart : IGameEntryPart {
    void SaveGamePart(TKvBigStream& s) const override { MessageHistory().SaveToStream(s); }
    void LoadGamePart(TKvBigStream& s, int32_t version) override { MessageHistory().LoadFromStream(s, version); }
  } history;
  TCallMan interpreter;
  TParamCollection vars;
  TDBManager tables;
  const TGameEntry::TParts parts{&tree, &history, &interpreter, &vars, &tables};

  TOrbaMes& m = Window("m");
  m.InsertText("a.rss", 3, true);
  m.SetInt(PR_INDEX, 1);  // page 0 in the history, page 1 shown (pending)
  m.Tick();
  TKvMemoryStream saved;
  TGameEntry{}.Save(saved, parts);
  // The game goes on: page 1 is left for page 2, then other text.
  m.SetInt(PR_INDEX, 2);
  m.InsertText("b.rss", 1, true);
  TOrbaNewHistory& h = MessageHistory();
  ASSERT_EQ(h.OldEntries.size(), 3u);

  saved.SetPosition(0);
  TGameEntry::Load(saved, parts);
  auto* l = dynamic_cast<TOrbaMes*>(list.FindComponent("m"));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->GetInt(PR_COUNT), 0);  // not built while the game is read
  ASSERT_EQ(h.OldEntries.size(), 1u);
  EXPECT_EQ(h.PendingPage, "a.rss");
  tree.AfterGameLoaded();
  EXPECT_EQ(l->GetInt(PR_COUNT), 3);
  EXPECT_EQ(l->GetInt(PR_INDEX), 1);
  EXPECT_EQ(l->GetStr(PR_TEXT), "CD\r\n");
  // The saved history with the page shown at the save committed: pages 0 and 1 of a.rss.
  ASSERT_EQ(h.OldEntries.size(), 2u);
  EXPECT_EQ(h.OldEntries[0].PageIndex, 0);
  EXPECT_EQ(h.OldEntries[1].PageIndex, 1);
  EXPECT_EQ(h.OldEntries[1].Command, 3);
  EXPECT_EQ(h.PendingPage, "");
}

// A saved tree holding one message window, written field by field in the stored order of the
// object, control, word-settings and window records at version v (not by the player's writer).
// The window shows page 1 of "AB|CD|EF" (one row per page) half revealed: C shown, D not.
std::vector<uint8_t> OldWindowTree(int32_t v) {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  auto object = [&](const std::string& name, int32_t priority) {
    w.String(name);
    w.I32(priority);
    if (v > 103) w.I32(0);           // SubPriority
    if (v >= 120) w.String("tag");  // Tag
  };
  auto control = [&](int32_t left, int32_t top, int32_t width, int32_t height) {
    for (int32_t f : {left, top, width, height, 0, 0}) w.I32(f);  // ... OffsetX, OffsetY
    w.U8(0);                                                      // PosZoomed
    if (v >= 130)
      for (int32_t f : {0, 0, 0, 0}) w.I32(f);  // MotionX, MotionY, PlusX, PlusY
    if (v > 103) {
      for (int32_t f : {0, 0, 0, 0}) w.I32(f);  // the clip window
      w.U8(0);                                  // AniPaused
    }
    w.U8(1);                                     // Visible
    w.I32(-1);                                   // Color
    for (int32_t f : {0, 0, 1, 1}) w.I32(f);     // DesignRect
    w.U8(2);                                     // IgnoreMouse
    w.String("");                                // Cursor
    w.String("move.rsb");
    if (v > 101) w.String("in.rsb");
    for (const char* h : {"out.rsb", "down.rsb", "", "", "", "", ""}) w.String(h);
    if (v > 117) {
      w.U8(0);  // HandleKey
      for (int i = 0; i < 5; ++i) w.String(i == 0 ? "key.rsb" : "");
    }
  };
  w.I32(200), w.I32(100), w.I32(0);  // the list's size and page
  object("\x01" "BASE0", 0);
  control(0, 0, 200, 100);
  w.I32(1);  // one child: the window
  w.U8(13);
  object("m", 5);
  control(5, 6, 40, 10);
  w.I32(0);  // no children
  // Word settings.
  w.I32(0), w.I32(0), w.I32(10);  // ClipX, ClipY, DefaultSize
  w.String("");                   // DefaultFontName
  for (int32_t f : {0x0000FF, 10, 40, 3, 0}) w.I32(f);  // colour, page height/width, quality, line space
  w.U8(1);                                              // Paging
  for (int32_t f : {0xFF0000, 0x008000, 1, 0x808080, 255}) w.I32(f);  // link, hover, fade, border, alpha
  w.U8(0);                                                             // Paused
  w.I32(0), w.I32(0), w.I32(-1);                                       // Caret, SpeedRatio
  w.U8(1);                                                             // EventsEnabled
  if (v >= 110) w.I32(0x123456);                                       // DefaultShadowColor
  if (v > 110) w.I32(0), w.I32(0);                                     // DefaultBorderWidth, DefaultShadow
  // Message data: the entries column by column, then (from 113) the rows.
  if (v > 112) {
    w.I32(2);
    w.String("b.rss"), w.String("a.rss");
    w.I32(1), w.I32(7);
    w.I32(0), w.I32(-1);
    w.I32(40), w.I32(10), w.I32(30), w.I32(20);
    w.I32(1);  // one row: the whole of a.rss command 3
    w.String("a.rss"), w.I32(3), w.I32(0), w.I32(-1), w.I32(0);
    if (v > 123) w.String("");  // RowFrozen
    w.I32(0);                   // Total
  } else {
    w.I32(0);
  }
  w.U8(0);                // PackHistory
  if (v > 112) w.I32(0);  // HistoryOffset
  // Before 113 the text comes back from its source; inserted text has none.
  w.String(v > 112 ? "" : "AB<BR>CD<BR>EF");
  w.I32(1), w.I32(0), w.I32(7);  // CurrentPage, Scroll, Reserved
  for (const char* t : {"r1", "r2", "r3", "", "start.rsb", "end.rsb", "link.rsb", "notify.rsb"}) w.String(t);
  w.U8(0), w.U8(0);  // Paused, TextPaused
  w.I32(-1);         // TextDelay
  w.U8(1);           // ReadMode
  w.String("a.rss");
  w.I32(3);
  if (v > 103) w.String("idle.rsb");
  if (v >= 120) w.U8(1);  // CaptureLink
  // Page states: page 0 untouched, page 1 revealed up to D with an event pending, page 2
  // untouched; a line-break glyph stores nothing.
  TKvMemoryStream states;
  {
    TBinaryWriter p(states);
    auto page = [&](int32_t glyph, const std::string& events, std::initializer_list<int32_t> alphas) {
      p.I32(0), p.I32(0), p.I32(glyph), p.U8(0), p.String(events);
      for (int32_t a : alphas) p.I32(a);
    };
    page(0, "", {0, 0});
    page(1, "ev", {255, 0});
    page(0, "", {0, 0});
  }
  w.I32(static_cast<int32_t>(states.Bytes().size()));
  w.Write(states.Bytes().data(), static_cast<int64_t>(states.Bytes().size()));
  // The second page, no loose components, no events, the focus.
  object("\x01" "BASE1", 0);
  control(0, 0, 200, 100);
  w.I32(0);
  w.I32(0), w.I32(0);
  if (v > 118) w.String("");
  return s.Bytes();
}

TEST_F(Mes, WindowInOldLayoutsWrittenByHandComesBackWithItsPageStates) {
  for (int32_t version : {112, 113, 123, kTreeVersion}) {
    SCOPED_TRACE(version);
    const std::vector<uint8_t> bytes = OldWindowTree(version);
    TOrbaBaseList loaded;
    SetComponentRoot(&loaded);
    TKvMemoryStream s(bytes);
    loaded.LoadTree(s, version);
    EXPECT_EQ(s.Remaining(), 0);
    RestoreMessageWindows(loaded);
    auto* l = dynamic_cast<TOrbaMes*>(loaded.FindComponent("m"));
    ASSERT_NE(l, nullptr);
    // The control part.
    EXPECT_EQ(l->Left, 5);
    EXPECT_EQ(l->Top, 6);
    EXPECT_EQ(l->Priority, 5);
    EXPECT_EQ(l->IgnoreMouse, 2);
    EXPECT_EQ(l->Handlers[static_cast<size_t>(THandler::MouseIn)], version > 101 ? "in.rsb" : "");
    EXPECT_EQ(l->Handlers[static_cast<size_t>(THandler::LBtnDown)], "down.rsb");
    EXPECT_EQ(l->Handlers[static_cast<size_t>(THandler::KeyDown)], version > 117 ? "key.rsb" : "");
    EXPECT_EQ(l->Tag, version >= 120 ? "tag" : "");
    // The word settings and the window's own fields, with their gates.
    EXPECT_EQ(l->Word.DefaultColor, 0x0000FF);
    EXPECT_EQ(l->Word.DefaultShadowColor, 0x123456);
    EXPECT_EQ(l->Reserved, 7);
    EXPECT_EQ(l->ReservedText3, "r3");
    EXPECT_EQ(l->OnPlayEnd, "end.rsb");
    EXPECT_EQ(l->OnNotify, "notify.rsb");
    EXPECT_EQ(l->TextDelay, -1);
    EXPECT_EQ(l->ReadMode, 1);
    EXPECT_EQ(l->MessagePage, "a.rss");
    EXPECT_EQ(l->MessageCommand, 3);
    EXPECT_EQ(l->OnIdle, version > 103 ? "idle.rsb" : "");
    EXPECT_EQ(l->CaptureLink, version >= 120);
    EXPECT_EQ(l->MesData.Rows.Rows.size(), version > 112 ? 1u : 0u);
    ASSERT_EQ(l->MesData.Entries.size(), version > 112 ? 2u : 0u);
    if (version > 112) {
      EXPECT_EQ(l->MesData.Entries[1].Page, "a.rss");
      EXPECT_EQ(l->MesData.Entries[1].Command, 7);
      EXPECT_EQ(l->MesData.Entries[1].PageIndex, -1);
      EXPECT_EQ(l->MesData.Entries[1].Width, 30);
      EXPECT_EQ(l->MesData.Entries[1].Height, 20);
    }
    // The pages are built again (from the rows, or before 113 from the source text) and take
    // their stored reveal states: C shown, D still to come, the event still pending.
    ASSERT_EQ(l->GetInt(PR_COUNT), 3);
    EXPECT_EQ(l->GetInt(PR_INDEX), 1);
    EXPECT_EQ(l->GetStr(PR_TEXT), "C");
    const TWdPage& page = *l->Word.Pages[1];
    EXPECT_EQ(page.PendingEvents, "ev");
    EXPECT_FALSE(page.Finished);
    EXPECT_EQ(static_cast<const TWdReal&>(*page.Rows[0]->Glyphs[0]).Alpha, 255);
    EXPECT_EQ(static_cast<const TWdReal&>(*page.Rows[0]->Glyphs[1]).Alpha, 0);
    EXPECT_EQ(l->PlayState(), 0);  // still revealing
    SetComponentRoot(&list);
  }
}

TEST_F(Mes, PageStatesThatNoLongerFitThePagesAreDropped) {
  TOrbaMes& m = Window("m");
  m.InsertText("a.rss", 3, false);
  m.SetInt(PR_INDEX, 2);
  m.Tick();
  const std::vector<uint8_t> bytes = SavedTree(list, kTreeVersion);
  texts[{"a.rss", 3}] = {"ABCDEFGH"};  // the page file changed: one page of one long row
  TOrbaBaseList loaded;
  SetComponentRoot(&loaded);
  TKvMemoryStream s(bytes);
  loaded.LoadTree(s, kTreeVersion);
  RestoreMessageWindows(loaded);
  auto* l = dynamic_cast<TOrbaMes*>(loaded.FindComponent("m"));
  ASSERT_NE(l, nullptr);
  EXPECT_FALSE(l->PageShown());
  EXPECT_EQ(l->GetStr(PR_TEXT), "");
  SetComponentRoot(&list);
}

// The history at 112 (a string first, then the entries column by column), 113 (entries as
// records, the settings and screens), and 124 (frozen values).
TEST_F(Mes, HistoryLayoutsOfOldVersions) {
  TKvMemoryStream v112;
  {
    TBinaryWriter w(v112);
    w.String("ignored");
    w.I32(2);
    w.String("a.rss");
    w.String("");
    w.I32(3), w.I32(7);
    w.I32(0), w.I32(-1);
    w.I32(640), w.I32(100), w.I32(320), w.I32(50);
    w.String("b.rss"), w.I32(1), w.I32(2), w.I32(10), w.I32(20), w.String("m");
  }
  TOrbaNewHistory& h = MessageHistory();
  v112.SetPosition(0);
  h.LoadFromStream(v112, 112);
  EXPECT_EQ(v112.Remaining(), 0);
  ASSERT_EQ(h.OldEntries.size(), 2u);
  EXPECT_EQ(h.OldEntries[1].Command, 7);
  EXPECT_EQ(h.OldEntries[1].PageIndex, -1);
  EXPECT_EQ(h.OldEntries[1].Width, 320);
  EXPECT_EQ(h.PendingPage, "b.rss");
  EXPECT_EQ(h.PendingHeight, 20);
  EXPECT_EQ(h.PendingWindow, "m");

  auto v113 = [](bool frozen) {
    TKvMemoryStream s;
    TBinaryWriter w(s);
    w.I32(1), w.String("a.rss"), w.I32(3), w.I32(0), w.I32(640), w.I32(100);
    w.String(""), w.I32(0), w.I32(0), w.I32(0), w.I32(0), w.String("");
    for (int32_t v : {5, 10, 1, 2, 400, 300, 4, 0, 0}) w.I32(v);
    w.I32(1);                                                       // one screen
    w.I32(1), w.String("a.rss"), w.I32(3), w.I32(0), w.I32(-1), w.I32(14);
    if (frozen) w.String("$x=1\r\n");
    w.I32(14);                                                      // its total
    if (frozen) w.String("$y=2\r\n");
    s.SetPosition(0);
    return s.Bytes();
  };
  for (int32_t version : {113, 124}) {
    TKvMemoryStream s(v113(version > 123));
    h.LoadFromStream(s, version);
    EXPECT_EQ(s.Remaining(), 0) << version;
    EXPECT_EQ(h.MaxCount, 5);
    EXPECT_EQ(h.Word.PageWidth, 400);
    ASSERT_EQ(h.Screens.size(), 1u);
    EXPECT_EQ(h.Total(), 14);
    EXPECT_EQ(h.Screens[0].Rows[0].Frozen, version > 123 ? "$x=1\r\n" : "");
    EXPECT_EQ(h.PendingFrozen, version > 123 ? "$y=2\r\n" : "");
  }
  // Our writer's bytes are read back to the same history.
  TKvMemoryStream again;
  h.SaveToStream(again);
  TOrbaNewHistory copy;
  again.SetPosition(0);
  copy.LoadFromStream(again, kTreeVersion);
  EXPECT_EQ(again.Remaining(), 0);
  EXPECT_EQ(copy.Screens[0].Rows[0].Frozen, "$x=1\r\n");
  EXPECT_EQ(copy.OldEntries[0].Width, 640);
  // The fuzz target's seed: a history at this player's version (first byte even, version byte
  // 134 - 100).
  std::vector<uint8_t> seed = {0, static_cast<uint8_t>(kTreeVersion - 100)};
  seed.insert(seed.end(), again.Bytes().begin(), again.Bytes().end());
  testing_support::ExpectFuzzSeed("message_records", "history", seed);
  // A count beyond what remains is an error, and the history stays as it was.
  TKvMemoryStream bad;
  TBinaryWriter(bad).I32(1000000);
  bad.SetPosition(0);
  EXPECT_THROW(h.LoadFromStream(bad, kTreeVersion), EOrbaError);
  EXPECT_EQ(h.Screens.size(), 1u);
}

TEST_F(Mes, ReadMarksBelowStatusVersion100AndAt103) {
  TKvMemoryStream s;
  {
    TBinaryWriter w(s);
    w.I32(1), w.String("a.rss"), w.I32(2), w.I32(3), w.I32(3), w.I32(0), w.I32(1);
    w.String("b.rss"), w.I32(1), w.I32(0), w.String("m");
  }
  TOrbaReadList& r = MessageReadList();
  r.SetPendingMark("m", "x.rss", 0, 0);
  s.SetPosition(0);
  r.LoadFromStream(s, 99);  // nothing is read, the list is cleared
  EXPECT_EQ(s.GetPosition(), 0);
  EXPECT_EQ(r.Count(), 0);
  EXPECT_EQ(r.PendingPage, "");
  r.LoadFromStream(s, 103);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_TRUE(r.IsRead("a.rss", 3, 0));
  EXPECT_TRUE(r.IsRead("A.rss", 3, 1));
  EXPECT_FALSE(r.IsRead("a.rss", 1, 3));
  EXPECT_EQ(r.PendingPage, "b.rss");
  TKvMemoryStream again;
  r.SaveToStream(again);
  EXPECT_EQ(again.Bytes(), s.Bytes());
  std::vector<uint8_t> seed = {1, 3};
  seed.insert(seed.end(), again.Bytes().begin(), again.Bytes().end());
  testing_support::ExpectFuzzSeed("message_records", "readmarks", seed);
}

}  // namespace
}  // namespace orba
