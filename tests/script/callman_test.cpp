#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <new>
#include <tuple>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/process.h"
#include "components/events.h"
#include "files/vrmanager.h"
#include "media/orbalib.h"
#include "script/callman.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"

namespace orba {
namespace {

using testing_support::Cmd;


// Pages live in the file manager's in-memory archive; variables and the event queue are fresh
// for each test.
// Components 7 and 8 exist (the senders of the posted events).
struct TestRoot : IComponentRoot {
  TTimerList events;
  TTimerList& Events() override { return events; }
  bool ComponentName(TComponentId id, std::string& name) override {
    if (id != 7 && id != 8) return false;
    name = "button" + std::to_string(id);
    return true;
  }
  void Reset() override {
    ++resets;
    IComponentRoot::Reset();
  }
  int resets = 0;
  TComponentId FindComponentId(const std::string& name) override {
    return name == "button7" ? 7 : name == "button8" ? 8 : 0;
  }
  // The component commands reach the list first: with noMemory set, that is where memory runs out.
  TOrbaBaseList* List() override {
    if (noMemory) throw std::bad_alloc();
    return nullptr;
  }
  bool noMemory = false;
};

// "@Result", "@ParamStr" and "@Sender" answer from the interpreter under test.
struct CallSource : ISystemVariableSource {
  TCallMan* cm = nullptr;
  TCustomParam* CallResult() override { return cm->CallResult(); }
  std::vector<std::string> CallArgs() override { return cm->Args.Items(); }
  std::string Sender() override {
    if (outOfMemory) throw std::bad_alloc();
    return cm->SenderName();
  }
  bool outOfMemory = false;
};

struct Script : ::testing::Test, IScriptHost {
  CallSource source;
  TParamCollection vars{&source};
  TestRoot root;
  TCallMan cm{this};
  std::vector<std::string> unavailable;

  void SetUp() override {
    source.cm = &cm;
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    SetVariables(&vars);
    SetComponentRoot(&root);
  }
  void TearDown() override {
    SetComponentRoot(nullptr);
    SetVariables(nullptr);
    FreeVrFileManager();
  }
  bool CheckFileAvailable(const std::string& name) override {
    return std::find(unavailable.begin(), unavailable.end(), name) == unavailable.end() && VrFileManager().HasFile(name);
  }
  void RequestSave(int32_t, const std::string&, int32_t, const std::string&) override {}
  void RequestLoad(int32_t) override {}
  void Terminate() override {}
  void StopWithWarning(const std::string& text) override { warnings.push_back(text); }
  void KeepResponsive() override {
    ++polls;
    if (polls == stopAfterPolls) Process().Terminating = true;
  }
  void ClearGameTables() override { cleared.push_back("tables"); }
  void ClearHistory() override { cleared.push_back("history"); }
  std::vector<std::string> cleared;
  std::vector<std::string> warnings;
  int polls = 0;
  int stopAfterPolls = -1;

  TPage& NewPage(uint8_t resultType = 1) {
    pages.push_back(std::make_unique<TPage>());
    pages.back()->Version = 110;
    pages.back()->ResultType = resultType;
    return *pages.back();
  }
  void Store(const TPage& page, const std::string& name) {
    TKvMemoryStream* content = VrFileManager().Archive(0)->AddMemoryEntry(name)->Content.get();
    page.SaveToStream(*content);
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      Process().FrameDelta = 16;
      Process().GameTime += 16;
      cm.Run();
    }
  }
  int32_t Int(const std::string& name) {
    auto* v = vars.FindVariable(name);
    return v ? v->AsInt() : -999;
  }
  std::string Str(const std::string& name) {
    auto* v = vars.FindVariable(name);
    return v ? v->AsString() : "<none>";
  }
  void Post(const std::string& handler, TComponentId sender = 7, std::vector<std::string> params = {}) {
    TTimerData item;
    item.Handler = handler;
    item.Sender = sender;
    for (auto& p : params) item.Params.Add(p);
    root.Events().Add(std::move(item));
  }

  std::vector<std::unique_ptr<TPage>> pages;
};

TEST_F(Script, BranchesFollowTheIndentation) {
  //   varnew r int 0 / varnew x int X
  //   if x == 1 : calc r = 1
  //   elseif x == 2 : calc r = 2
  //   else : calc r = 3
  //   calc r = r * 10
  for (auto [x, r] : {std::pair{1, 10}, {2, 20}, {3, 30}}) {
    TPage& p = NewPage();
    Cmd(p, cmd::kVarNew, 0, {"r", 1, "0", 0});
    Cmd(p, cmd::kVarNew, 0, {"x", 1, std::to_string(x), 0});
    Cmd(p, cmd::kIf, 0, {"x == 1"});
    Cmd(p, cmd::kCalc, 1, {"r = 1"});
    Cmd(p, cmd::kElseif, 0, {"x == 2"});
    Cmd(p, cmd::kCalc, 1, {"r = 2"});
    Cmd(p, cmd::kElse, 0);
    Cmd(p, cmd::kCalc, 1, {"r = 3"});
    Cmd(p, cmd::kCalc, 0, {"r = r * 10"});
    std::string name = "if" + std::to_string(x) + ".rsb";
    Store(p, name);
    vars.Clear();
    cm.StartPage(name);
    Tick();
    EXPECT_EQ(Int("r"), r) << x;
  }
  // A false If followed by a command of the same indent that is no branch goes on there.
  TPage& p = NewPage();
  Cmd(p, cmd::kVarNew, 0, {"r", 1, "0", 0});
  Cmd(p, cmd::kIf, 0, {"FALSE"});
  Cmd(p, cmd::kCalc, 1, {"r = 1"});
  Cmd(p, cmd::kCalc, 0, {"r = r + 5"});
  Store(p, "plain.rsb");
  cm.StartPage("plain.rsb");
  Tick();
  EXPECT_EQ(Int("r"), 5);
}

TEST_F(Script, CallsPassArgumentsAndResults) {
  //   sub.rsb (result string): calc @Result = @ParamStr[0] ++ "/" ++ @ParamStr[1] ++ "/" ++ IntToStr(@ParamCount)
  TPage& sub = NewPage(4);
  Cmd(sub, cmd::kCalc, 0, {"@Result = @ParamStr[0] ++ \"/\" ++ @ParamStr[1] ++ \"/\" ++ IntToStr(@ParamCount)"});
  Store(sub, "sub.rsb");
  //   main: varnew out string ""; call sub.rsb result=out args "x", (no value), "z"; calc after = 1
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"out", 4, "\"\"", 0});
  Cmd(main, cmd::kCall, 0, {"sub.rsb", 0, "out", "TRUE", {"\"x\"", "", "\"z\""}});
  Cmd(main, cmd::kVarNew, 0, {"after", 1, "1", 0});
  Store(main, "main.rsb");
  cm.StartPage("main.rsb");
  Tick();
  EXPECT_EQ(Str("out"), "x/z/2");
  EXPECT_EQ(Int("after"), 1);
  EXPECT_EQ(cm.Stack.Count(), 0);
}

TEST_F(Script, AMissingTargetPageChangesNothingButTheCounter) {
  TPage& main = NewPage();
  Cmd(main, cmd::kCall, 0, {"gone.rsb", 0, "", "TRUE", {}});
  Cmd(main, cmd::kJump, 0, {"gone.rsb", 0, "TRUE"});
  Cmd(main, cmd::kVarNew, 0, {"reached", 1, "1", 0});
  Store(main, "main.rsb");
  cm.StartPage("main.rsb");
  unavailable.clear();
  // Pretend the file exists, so the load itself is what fails.
  struct Lying : IScriptHost {
    bool CheckFileAvailable(const std::string&) override { return true; }
    void RequestSave(int32_t, const std::string&, int32_t, const std::string&) override {}
    void RequestLoad(int32_t) override {}
    void Terminate() override {}
  } lying;
  TCallMan lied(&lying);
  lied.StartPage("main.rsb");
  lied.Run();
  EXPECT_EQ(Int("reached"), 1);
  EXPECT_EQ(lied.Stack.Count(), 0);
  EXPECT_EQ(lied.ArgCount(), 0);
}

TEST_F(Script, ATickRunsUntilACommandEndsTheRun) {
  //   varnew n int 0
  //   calc n = n + 1          (no run-on: the tick ends here)
  //   calc n = n + 10         (disabled: passes on the run-on of the command before)
  //   calc n = n + 100
  //   while TRUE : (whileloop) back to itself, so it stays put and ends each tick
  TPage& p = NewPage();
  Cmd(p, cmd::kVarNew, 0, {"n", 1, "0", 0});
  Cmd(p, cmd::kCalc, 0, {"n = n + 1"}, false);
  Cmd(p, cmd::kCalc, 0, {"n = n + 10"}).Disabled = true;
  Cmd(p, cmd::kCalc, 0, {"n = n + 100"});
  Cmd(p, cmd::kWhileLoop, 0, {"", 4});
  Store(p, "runon.rsb");
  cm.StartPage("runon.rsb");
  for (auto [ticks, n, pc] : {std::tuple{1, 1, 2}, {2, 1, 3}, {3, 101, 4}, {4, 101, 4}}) {
    Tick();
    EXPECT_EQ(Int("n"), n) << ticks;
    EXPECT_EQ(cm.PC, pc) << ticks;
  }
  // With the trace on, the same page runs through the general step to the same results.
  vars.Clear();
  testing_support::TempDir dir;
  OrbaLog().Init(dir / "dbglog.txt");
  cm.StartPage("runon.rsb");
  for (auto [ticks, n, pc] : {std::tuple{1, 1, 2}, {2, 1, 3}, {3, 101, 4}, {4, 101, 4}}) {
    Tick();
    EXPECT_EQ(Int("n"), n) << "traced " << ticks;
    EXPECT_EQ(cm.PC, pc) << "traced " << ticks;
  }
  OrbaLog().Final();
}

TEST_F(Script, WaitsCountFrameTime) {
  //   wait time=1000 ; varnew done int 1
  TPage& p = NewPage();
  Cmd(p, cmd::kWait, 0, {"", "1000", ""}, false);
  Cmd(p, cmd::kVarNew, 0, {"done", 1, "1", 0});
  Store(p, "wait.rsb");
  cm.StartPage("wait.rsb");
  Tick();  // the first step only clears the first-step flag
  EXPECT_EQ(cm.PC, 0);
  Tick(62);  // 62 x 16 = 992 ms
  EXPECT_EQ(Int("done"), -999);
  Tick();  // 1008 ms
  Tick();
  EXPECT_EQ(Int("done"), 1);
}

// main: varnew hits int 0; wait time=100000 (interrupted by the click)
// handler.rsb: label Start; calc hits = hits + 1
TEST_F(Script, EventsRunTheirHandlerAndTheWaitResumes) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"hits", 1, "0", 0});
  Cmd(main, cmd::kWait, 0, {"", "160", ""}, false);
  Cmd(main, cmd::kVarNew, 0, {"done", 1, "1", 0});
  Store(main, "main.rsb");
  TPage& handler = NewPage();
  Cmd(handler, cmd::kCalc, 0, {"hits = 100"});
  Cmd(handler, cmd::kLabel, 0, {"Start"});
  Cmd(handler, cmd::kCalc, 0, {"hits = hits + 1"});
  Store(handler, "handler.rsb");
  cm.StartPage("main.rsb");
  Tick(3);  // the wait has 160 - 2 x 16 = 128 ms left
  Post("handler.abc:Start", 7, {"a"});
  Tick();
  EXPECT_EQ(Int("hits"), 1);  // from the label, not from the page's start
  EXPECT_EQ(root.Events().Count(), 0);
  EXPECT_EQ(cm.Mode, 0);
  EXPECT_EQ(cm.PC, 1);  // back in the wait, with its remaining time
  Tick(7);
  EXPECT_EQ(Int("done"), -999);
  Tick(2);
  EXPECT_EQ(Int("done"), 1);
}

// A nested handler that calls a page: the call's return is not the end of the handler.
TEST_F(Script, ACallInsideANestedHandlerReturnsToIt) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"trail", 4, "\"\"", 0});
  Cmd(main, cmd::kWait, 0, {"", "0", ""}, false);
  Store(main, "main.rsb");
  TPage& first = NewPage();  // yields in its wait: nested events may run
  Cmd(first, cmd::kCalc, 0, {"trail = trail ++ \"1\""});
  Cmd(first, cmd::kWait, 0, {"", "64", ""}, false);
  Cmd(first, cmd::kCalc, 0, {"trail = trail ++ \"4\""});
  Store(first, "first.rsb");
  TPage& nested = NewPage();
  Cmd(nested, cmd::kCall, 0, {"helper.rsb", 0, "", "TRUE", {}});
  Cmd(nested, cmd::kCalc, 0, {"trail = trail ++ \"3\""});
  Store(nested, "nested.rsb");
  TPage& helper = NewPage();
  Cmd(helper, cmd::kCalc, 0, {"trail = trail ++ \"2\""});
  Store(helper, "helper.rsb");
  cm.StartPage("main.rsb");
  Tick();
  Post("first.rss");
  Tick();  // first handler starts and yields in its wait
  Post("nested.rss", 8);
  Tick(8);
  EXPECT_EQ(Str("trail"), "1234");
  EXPECT_EQ(root.Events().Count(), 0);  // each handler's end removed its item
  EXPECT_EQ(cm.Mode, 0);
}

TEST_F(Script, SavedStateResumesAWait) {
  TPage& p = NewPage();
  Cmd(p, cmd::kWait, 0, {"", "100", ""}, false);
  Cmd(p, cmd::kVarNew, 0, {"done", 1, "1", 0});
  Store(p, "w.rsb");
  cm.StartPage("w.rsb");
  Tick(3);  // 100 - 32 left
  TKvMemoryStream saved;
  cm.SaveToStream(saved);
  Tick(10);
  EXPECT_EQ(Int("done"), 1);
  vars.Clear();
  TCallMan again(this);
  saved.SetPosition(0);
  again.LoadFromStream(saved, 120);
  EXPECT_EQ(again.PC, 0);
  EXPECT_TRUE(again.Started);
  for (int i = 0; i < 4; ++i) {
    Process().FrameDelta = 16;
    again.Run();
  }
  EXPECT_EQ(Int("done"), -999);  // 68 - 64 = 4 ms still to wait
  Process().FrameDelta = 16;
  again.Run();
  again.Run();
  EXPECT_EQ(Int("done"), 1);
}

// A game saved while a handler waits: after loading, the handler's end still ends its event
// (the saved frames do not say which one event dispatch pushed), and the main script goes
// on to its end.
//   main.rsb:    varnew done int 0; wait time=160; calc done = 1
//   handler.rsb: varnew h int 1; wait time=48; calc h = 2
TEST_F(Script, ASaveDuringAWaitingHandlerLoadsWithTheHandlersEnd) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"done", 1, "0", 0});
  Cmd(main, cmd::kWait, 0, {"", "160", ""}, false);
  Cmd(main, cmd::kCalc, 0, {"done = 1"});
  Store(main, "main.rsb");
  TPage& handler = NewPage();
  Cmd(handler, cmd::kVarNew, 0, {"h", 1, "1", 0});
  Cmd(handler, cmd::kWait, 0, {"", "48", ""}, false);
  Cmd(handler, cmd::kCalc, 0, {"h = 2"});
  Store(handler, "handler.rsb");
  cm.StartPage("main.rsb");
  Tick();
  Post("handler.rss");
  Tick();  // the handler starts and waits
  ASSERT_EQ(cm.Mode, 2);
  TKvMemoryStream saved;
  cm.SaveToStream(saved);
  saved.SetPosition(0);
  TCallMan loaded(this);
  source.cm = &loaded;
  loaded.LoadFromStream(saved, 120);
  auto tick = [&] {
    Process().FrameDelta = 16;
    loaded.Run();
  };
  for (int i = 0; i < 4; ++i) tick();
  EXPECT_EQ(Int("h"), 2);
  ASSERT_EQ(loaded.Mode, 0) << "the handler's end did not end its event";
  EXPECT_EQ(root.Events().Count(), 0);
  for (int i = 0; i < 10; ++i) tick();
  EXPECT_EQ(Int("done"), 1);
  EXPECT_EQ(loaded.Mode, 0);
  source.cm = &cm;
}

// A state whose frames cannot all be told apart: the frames with a result are calls, the
// others end their event when the return leaves no sender; a handler mode with no frame
// left falls back to the main script.
TEST_F(Script, SavedFramesOfUnknownOriginFollowTheSenderRule) {
  TPage& main = NewPage();
  Cmd(main, cmd::kWait, 0, {"", "0", ""}, false);
  Store(main, "main.rsb");
  TPage& handler = NewPage();
  Cmd(handler, cmd::kCalc, 0, {"1"});
  Store(handler, "handler.rsb");
  struct Case { const char* name; int32_t mode, frames; int32_t modeAfter; } cases[] = {
      {"handler mode, empty stack", 1, 0, 0},
      {"nested mode, empty stack", 3, 0, 0},
      {"two frames without result for one event", 1, 2, 0},
  };
  for (const auto& c : cases) {
    TKvMemoryStream s;
    {
      TBinaryWriter w(s);
      w.String("handler.rsb");
      w.I32(0);        // PC
      w.Bool(true);    // Continue
      w.Bool(false);   // Started
      w.I32(c.mode);
      w.String("");    // sender
      w.I32(0);        // arguments
      auto frame = [&](const std::string& page) {
        w.String(page);
        w.I32(0);
        w.Bool(false);
        w.Bool(false);
        w.String("");
        w.I32(0);
        w.String("");
        w.I32(0);  // no state
        w.U8(0);   // no result
      };
      frame("");  // the spare frame
      w.I32(c.frames);
      for (int32_t i = 0; i < c.frames; ++i) frame("main.rsb");
      w.I32(2);
    }
    s.SetPosition(0);
    TCallMan loaded(this);
    loaded.LoadFromStream(s, 120);
    for (int i = 0; i < 3; ++i) loaded.Run();  // ends: a handler that never returns would loop for ever
    EXPECT_EQ(loaded.Mode, c.modeAfter) << c.name;
  }
}

// A page of version 102 or older must be compiled again: wherever the run enters one, the
// player stops with the page's name and the request to rebuild, and nothing after it runs.
TEST_F(Script, APageTooOldToRunStopsThePlayerWhereverItIsEntered) {
  TPage& old = NewPage();
  old.Version = 102;
  Cmd(old, cmd::kLabel, 0, {"x"});
  Store(old, "old.rsb");
  struct Case { const char* name; std::function<void(TPage&)> enter; bool byEvent; } cases[] = {
      {"jump", [](TPage& p) { Cmd(p, cmd::kJump, 0, {"old.rsb", 0, "TRUE"}); }, false},
      {"call", [](TPage& p) { Cmd(p, cmd::kCall, 0, {"old.rsb", 0, "", "TRUE", {}}); }, false},
      {"program reset", [](TPage& p) { Cmd(p, cmd::kPCReset, 0, {"old.rsb", 0, 0}); }, false},
      {"event handler", [](TPage& p) { Cmd(p, cmd::kWait, 0, {"", "0", ""}, false); }, true},
  };
  for (const auto& c : cases) {
    TPage& main = NewPage();
    c.enter(main);
    Cmd(main, cmd::kVarNew, 0, {"after", 1, "1", 0});
    Store(main, std::string(c.name) + ".rsb");
    vars.Clear();
    warnings.clear();
    root.Events().Clear();
    Process().Terminating = false;
    cm.StartPage(std::string(c.name) + ".rsb");
    if (c.byEvent) {
      Tick();
      Post("old.rss");
    }
    Tick();
    EXPECT_TRUE(Process().Terminating) << c.name;
    EXPECT_EQ(warnings, std::vector<std::string>{"old.rsb\r\n" + Sjis(u8"リビルドしてください")}) << c.name;
    EXPECT_EQ(Int("after"), -999) << c.name;
  }
  Process().Terminating = false;
}

// Calls that never return keep a frame each: beyond the deepest stack a call fails with
// "スタックエラー" (passed over like any command's error), so the run goes on after it and
// every frame returns.
//   self.rsb: label a; call self.rsb target 0; calc n = n + 1
TEST_F(Script, CallsBeyondTheDeepestStackFail) {
  vars.AddVariable(1, "n");
  TPage& p = NewPage();
  Cmd(p, cmd::kLabel, 0, {"a"});
  Cmd(p, cmd::kCall, 0, {"self.rsb", 0, "", "TRUE", {}});
  Cmd(p, cmd::kCalc, 0, {"n = n + 1"});
  Store(p, "self.rsb");
  cm.StartPage("self.rsb");
  Tick();
  EXPECT_EQ(Int("n"), TStackList::kMaxFrames + 1);
  EXPECT_EQ(cm.Stack.Count(), 0);
  TStackList full;
  EXPECT_THROW(
      {
        for (int32_t i = 0; i <= TStackList::kMaxFrames; ++i) full.Push();
      },
      EOrbaError);
  EXPECT_EQ(full.Count(), TStackList::kMaxFrames);
}

// A loop without a wait never ends its tick, but the host is asked every so many commands
// whether the player must stop, on the short path and (with the trace on) on the general
// step; the trace shows the loop's lines.
//   varnew i int 0; while i < LIMIT; calc i = i + 1; whileloop
TEST_F(Script, ALoopWithoutAWaitLetsThePlayerStop) {
  testing_support::TempDir dir;
  for (bool traced : {false, true}) {
    TPage& p = NewPage();
    Cmd(p, cmd::kVarNew, 0, {"i", 1, "0", 0});
    Cmd(p, cmd::kWhile, 0, {"i < 2000000", 4});
    Cmd(p, cmd::kCalc, 1, {"i = i + 1"});
    Cmd(p, cmd::kWhileLoop, 0, {"", 1});
    Store(p, "spin.rsb");
    vars.Clear();
    polls = 0;
    stopAfterPolls = 3;
    Process().Terminating = false;
    if (traced) OrbaLog().Init(dir / "dbglog.txt");
    cm.StartPage("spin.rsb");
    Tick();
    if (traced) OrbaLog().Final();
    EXPECT_EQ(polls, 3) << traced;
    EXPECT_GT(Int("i"), 0) << traced;
    EXPECT_LT(Int("i"), 2000000) << traced;
  }
  std::ifstream log(dir / "dbglog.txt");
  std::string line, last;
  while (std::getline(log, line)) last = line;
  bool inLoop = false;
  for (const char* at : {"spin.rsb(2)", "spin.rsb(3)", "spin.rsb(4)"}) inLoop |= last.find(at) != std::string::npos;
  EXPECT_TRUE(inLoop) << last;
  Process().Terminating = false;
}

// Memory running out is never passed over: the run ends with a warning and the player stops,
// whether a command or an expression found it.
TEST_F(Script, ExhaustedMemoryStopsThePlayer) {
  struct Case { const char* name; uint8_t kind; const char* field; bool inExpression; } cases[] = {
      {"command", cmd::kObjDel, "\"no memory\"", false},
      {"expression", cmd::kCalc, "@Sender ++ \"\"", true},
  };
  for (const auto& c : cases) {
    TPage& p = NewPage();
    Cmd(p, c.kind, 0, {c.field});
    Cmd(p, cmd::kVarNew, 0, {"after", 1, "1", 0});
    Store(p, std::string(c.name) + ".rsb");
    warnings.clear();
    Process().Terminating = false;
    source.outOfMemory = c.inExpression;
    root.noMemory = !c.inExpression;
    cm.StartPage(std::string(c.name) + ".rsb");
    Tick();
    source.outOfMemory = root.noMemory = false;
    EXPECT_TRUE(Process().Terminating) << c.name;
    EXPECT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_EQ(Int("after"), -999) << c.name;
  }
  Process().Terminating = false;
}

// Reset starts a new game: the component root, the game variables, the game's data tables
// and the message history go back to their start, and the run goes on at the page and index.
//   main.rsb: varnew g int 5 global; varnew s int 6 status; reset fresh.rsb 1
//   fresh.rsb: calc g = 1; varnew after int 1
TEST_F(Script, ResetStartsANewGame) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"g", 1, "5", 1});
  Cmd(main, cmd::kVarNew, 0, {"s", 1, "6", 3});
  Cmd(main, cmd::kReset, 0, {"fresh.rsb", 1, 0});
  Store(main, "main.rsb");
  TPage& fresh = NewPage();
  Cmd(fresh, cmd::kCalc, 0, {"g = 1"});
  Cmd(fresh, cmd::kVarNew, 0, {"after", 1, "1", 0});
  Store(fresh, "fresh.rsb");
  cm.StartPage("main.rsb");
  Post("main.rss");
  root.Events()[0].RunningId = 5;  // an event the reset ends
  Tick();
  EXPECT_EQ(root.resets, 1);
  EXPECT_EQ(root.Events().Count(), 0);
  EXPECT_EQ(cleared, (std::vector<std::string>{"tables", "history"}));
  EXPECT_EQ(Int("g"), -999);  // cleared, and the page's first command was passed over
  EXPECT_EQ(Int("s"), 6);
  EXPECT_EQ(Int("after"), 1);
  EXPECT_EQ(cm.CurrentPage->Name, "fresh.rsb");
}

// Abort finishes nothing for the kinds built so far: a wait in progress keeps its state.
TEST_F(Script, AbortLeavesAWaitAsItWas) {
  TPage& p = NewPage();
  TCommand& wait = Cmd(p, cmd::kWait, 0, {"", "100", "TRUE"}, false);
  wait.Start(cm);
  TKvMemoryStream before, after;
  wait.SaveState(before);
  wait.Abort();
  wait.SaveState(after);
  EXPECT_EQ(before.Bytes(), after.Bytes());
  EXPECT_TRUE(wait.BlocksEvents());
}

// The text insertion and the movie stop keep the same state block: the awaited name, the wait
// flag and (from version 100) the block-events flag, read from bytes written out here.
TEST_F(Script, AwaitingCommandsReadTheirStateBlockAtEachVersion) {
  auto block = [](std::string bytes, bool withBlockFlag) {
    bytes += std::string("\x04\0\0\0mes1\x01", 9);  // the name, then waiting
    if (withBlockFlag) bytes += '\x01';
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  };
  for (uint8_t kind : {cmd::kTextIns, cmd::kMovieStop}) {
    TPage& p = NewPage();
    TCommand& c = Cmd(p, kind, 0, {}, false);
    TKvMemoryStream old(block("orba099", false));
    c.LoadState(old);
    EXPECT_TRUE(c.Yields()) << int(kind);
    EXPECT_FALSE(c.BlocksEvents()) << int(kind);
    TKvMemoryStream current(block("orba100", true));
    c.LoadState(current);
    EXPECT_TRUE(c.BlocksEvents()) << int(kind);
    TKvMemoryStream saved;
    c.SaveState(saved);
    EXPECT_EQ(saved.Bytes(), block("orba100", true)) << int(kind);
  }
}

// Leaving and skipping: each case is a page whose commands append to "trail"; sub.rsb
// appends "s" after an Exit that holds, so only a failing Exit lets it through.
TEST_F(Script, BreakAndExitMoveTheCounterOrLeaveThePage) {
  TPage& sub = NewPage();
  Cmd(sub, cmd::kExit, 0, {"TRUE"});
  Cmd(sub, cmd::kCalc, 0, {"trail = trail ++ \"s\""});
  Store(sub, "sub.rsb");
  struct Case { const char* name; std::function<void(TPage&)> body; const char* trail; } cases[] = {
      {"break false goes on", [](TPage& p) { Cmd(p, cmd::kBreak, 0, {"FALSE", 3}); }, "ab"},
      {"break true jumps", [](TPage& p) { Cmd(p, cmd::kBreak, 0, {"TRUE", 3}); }, "b"},
      {"break true with no target leaves", [](TPage& p) { Cmd(p, cmd::kBreak, 0, {"TRUE", -1}); }, ""},
      {"exit false goes on", [](TPage& p) { Cmd(p, cmd::kExit, 0, {"FALSE"}); }, "ab"},
      {"exit true returns from a call", [](TPage& p) { Cmd(p, cmd::kCall, 0, {"sub.rsb", 0, "", "TRUE", {}}); }, "ab"},
  };
  for (const auto& c : cases) {
    TPage& p = NewPage();
    Cmd(p, cmd::kVarNew, 0, {"trail", 4, "\"\"", 0});
    c.body(p);
    Cmd(p, cmd::kCalc, 0, {"trail = trail ++ \"a\""});
    Cmd(p, cmd::kCalc, 0, {"trail = trail ++ \"b\""});
    const std::string name = std::string(c.name) + ".rsb";
    Store(p, name);
    cm.StartPage(name);
    Tick(2);
    EXPECT_EQ(Str("trail"), c.trail) << c.name;
  }
}

// DoEvent ends the tick after moving on, so a waiting event runs before the next command.
//   main.rsb: varnew n int 0; calc n = n + 1; doevent; calc n = n + 10; wait
//   h.rsb:    calc n = n * 100
TEST_F(Script, DoEventEndsTheTickAndLetsAnEventIn) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"n", 1, "0", 0});
  Cmd(main, cmd::kCalc, 0, {"n = n + 1"});
  Cmd(main, cmd::kDoEvent, 0, {}, true);  // its record's run-on does not count
  Cmd(main, cmd::kCalc, 0, {"n = n + 10"});
  Cmd(main, cmd::kWait, 0, {"", "0", ""}, false);
  Store(main, "main.rsb");
  TPage& h = NewPage();
  Cmd(h, cmd::kCalc, 0, {"n = n * 100"});
  Store(h, "h.rsb");
  cm.StartPage("main.rsb");
  Tick();
  EXPECT_EQ(Int("n"), 1);
  EXPECT_EQ(cm.PC, 3);
  Post("h.rss");
  Tick();
  EXPECT_EQ(Int("n"), 110);
}

// Variables and calls: a called page's level-bound and local variables go when it returns,
// a local one hides a game variable of the same name only inside the call, and VarDel frees.
//   main.rsb: varnew b int 7; varnew gone int 1; vardel gone; call sub.rsb; calc back = b
//   sub.rsb:  varnew a int 1 (call level); varnew b int 2 (local); varnew c int 3; calc inside = b
TEST_F(Script, ACallsVariablesGoWithIt) {
  TPage& sub = NewPage();
  Cmd(sub, cmd::kVarNew, 0, {"a", 1, "1", 1});
  Cmd(sub, cmd::kVarNew, 0, {"b", 1, "2", 2});
  Cmd(sub, cmd::kVarNew, 0, {"c", 1, "3", 0});
  Cmd(sub, cmd::kCalc, 0, {"inside = b"});
  Store(sub, "sub.rsb");
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"inside", 1, "0", 0});
  Cmd(main, cmd::kVarNew, 0, {"back", 1, "0", 0});
  Cmd(main, cmd::kVarNew, 0, {"b", 1, "7", 0});
  Cmd(main, cmd::kVarNew, 0, {"gone", 1, "1", 0});
  Cmd(main, cmd::kVarDel, 0, {"gone"});
  Cmd(main, cmd::kCall, 0, {"sub.rsb", 0, "", "TRUE", {}});
  Cmd(main, cmd::kCalc, 0, {"back = b"});
  Store(main, "main.rsb");
  cm.StartPage("main.rsb");
  Tick();
  EXPECT_EQ(Int("gone"), -999);
  EXPECT_EQ(Int("inside"), 2);
  EXPECT_EQ(Int("back"), 7);
  EXPECT_EQ(Int("a"), -999);
  EXPECT_EQ(Int("c"), 3);
  EXPECT_EQ(Int("b"), 7);
}

// When a waiting event may start: not while the command in progress blocks events, not
// while its handler page is unavailable (it stays queued and is tried again).
//   main.rsb: wait time=48 blockevents; wait
//   h.rsb:    varnew hit int 1
TEST_F(Script, EventsWaitForABlockingCommandAndAnAvailablePage) {
  TPage& main = NewPage();
  Cmd(main, cmd::kWait, 0, {"", "48", "TRUE"}, false);
  Cmd(main, cmd::kWait, 0, {"", "0", ""}, false);
  Store(main, "main.rsb");
  TPage& h = NewPage();
  Cmd(h, cmd::kVarNew, 0, {"hit", 1, "1", 0});
  Store(h, "h.rsb");
  cm.StartPage("main.rsb");
  Tick();
  Post("h.rss");
  Tick(2);
  EXPECT_EQ(Int("hit"), -999);  // the first wait blocks events
  unavailable = {"h.rsb"};
  Tick(3);
  EXPECT_EQ(cm.PC, 1);
  EXPECT_EQ(Int("hit"), -999);  // the page is not available: the item waits
  ASSERT_EQ(root.Events().Count(), 1);
  EXPECT_EQ(root.Events()[0].RunningId, 0);
  unavailable.clear();
  Tick();
  EXPECT_EQ(Int("hit"), 1);
  EXPECT_EQ(root.Events().Count(), 0);
}

// A program reset of the whole stack ends every event, waiting ones too; one that keeps the
// stack, from the main script, is a jump: the call still returns where it was made.
//   main.rsb: varnew where str ""; call sub.rsb; calc where = where ++ "/main"
//   sub.rsb:  pcreset other.rsb 0       other.rsb: calc where = where ++ "other"
TEST_F(Script, ProgramResets) {
  TPage& other = NewPage();
  Cmd(other, cmd::kCalc, 0, {"where = where ++ \"other\""});
  Store(other, "other.rsb");
  TPage& sub = NewPage();
  Cmd(sub, cmd::kPCReset, 0, {"other.rsb", 0, 0});
  Store(sub, "sub.rsb");
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"where", 4, "\"\"", 0});
  Cmd(main, cmd::kCall, 0, {"sub.rsb", 0, "", "TRUE", {}});
  Cmd(main, cmd::kCalc, 0, {"where = where ++ \"/main\""});
  Store(main, "main.rsb");
  cm.StartPage("main.rsb");
  Tick();
  EXPECT_EQ(Str("where"), "other/main");
  EXPECT_EQ(cm.Stack.Count(), 0);

  TPage& whole = NewPage();
  Cmd(whole, cmd::kPCReset, 0, {"other.rsb", 0, 1});
  Store(whole, "whole.rsb");
  unavailable = {"h.rsb"};
  Post("h.rss");  // waits: its page is not available
  cm.StartPage("whole.rsb");
  Tick();
  EXPECT_EQ(root.Events().Count(), 0);
  EXPECT_EQ(cm.CurrentPage->Name, "other.rsb");
}

TEST_F(Script, TheCacheKeepsTenPagesAndTheCurrentOne) {
  for (int i = 0; i < 12; ++i) {
    TPage& p = NewPage();
    Cmd(p, cmd::kLabel, 0, {"x"});
    Store(p, "p" + std::to_string(i) + ".rsb");
  }
  cm.StartPage("p0.rsb");
  for (int i = 1; i <= 10; ++i) cm.LoadPage("p" + std::to_string(i) + ".rsb", true);
  EXPECT_EQ(cm.CachedPages(), 11);  // the oldest is the current page: it stays, and trimming stops
  cm.StartPage("p1.rsb");
  cm.LoadPage("p11.rsb", true);     // now the two least recently used go
  EXPECT_EQ(cm.CachedPages(), 10);
}

TEST_F(Script, HandlerTextsSplitIntoPageAndLabel) {
  struct Case { std::string handler, file, label; } cases[] = {
      {"title.abc:Start", "title.rsb", "Start"},
      {"title.rss", "title.rsb", ""},
      {"dir\\a:b.rss", "dir\\a:b.rsb", ""},     // the colon comes before a dot: no label
      {"c:\\x\\p.rss", "c:\\x\\p.rsb", ""},
      {"\x95\x5C.rss:L", "\x95\x5C.rsb", "L"},  // a 0x5C second byte is no delimiter
  };
  for (const auto& c : cases) {
    std::string file, label;
    TCallMan::SplitHandler(c.handler, file, label);
    EXPECT_EQ(file, c.file) << c.handler;
    EXPECT_EQ(label, c.label) << c.handler;
  }
}

TEST_F(Script, PCResetFromAHandlerMovesTheMainScript) {
  TPage& main = NewPage();
  Cmd(main, cmd::kVarNew, 0, {"where", 4, "\"main\"", 0});
  Cmd(main, cmd::kWait, 0, {"", "0", ""}, false);
  Store(main, "main.rsb");
  TPage& other = NewPage();
  Cmd(other, cmd::kCalc, 0, {"where = where ++ \"/other\""});
  Cmd(other, cmd::kWait, 0, {"", "0", ""}, false);
  Store(other, "other.rsb");
  TPage& button = NewPage();
  Cmd(button, cmd::kPCReset, 0, {"other.rsb", 0, 0});
  Cmd(button, cmd::kCalc, 0, {"where = where ++ \"/handler\""});
  Store(button, "button.rsb");
  cm.StartPage("main.rsb");
  Tick();
  Post("button.rss");
  Tick(3);
  EXPECT_EQ(Str("where"), "main/handler/other");
  EXPECT_EQ(cm.CurrentPage->Name, "other.rsb");
}

TEST_F(Script, StatusVariablesKeepTheirValue) {
  auto* v = vars.AddVariable(1, "seen");
  v->IsStatus = true;
  v->SetInt(5);
  TPage& p = NewPage();
  Cmd(p, cmd::kVarNew, 0, {"seen", 1, "9", 3});
  Store(p, "s.rsb");
  cm.StartPage("s.rsb");
  Tick();
  EXPECT_EQ(Int("seen"), 5);
}

}  // namespace
}  // namespace orba
