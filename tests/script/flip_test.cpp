// The screen change: its steps tick by tick (snapshot on top, children moved by the name lists,
// the old page cleaned up, Abort), a real transition ending on the new page, and the length of
// a transition in game time whatever the tick length.
#include <gtest/gtest.h>

#include "authoring/source.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/box.h"
#include "script/callman.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

constexpr int32_t kW = 32, kH = 24;

struct Flip : ::testing::Test {
  TDIBX screen;
  TOrbaBaseList list;
  TParamCollection vars;
  TCallMan cm;
  TPage page;
  int32_t pc = 0;
  void SetUp() override {
    ResetProcessState();
    screen.SetSize(kW, kH, 32);
    list.SetSize(kW, kH, 32);
    list.SetScreenTarget(&screen);
    SetComponentRoot(&list);
    SetVariables(&vars);
  }
  void TearDown() override {
    SetComponentRoot(nullptr);
    SetVariables(nullptr);
  }
  TOrbaBox& Box(const std::string& name, TOrbaControl& parent, TRect r, int32_t colour) {
    auto* b = static_cast<TOrbaBox*>(list.Adopt(std::make_unique<TOrbaBox>(&list)));
    b->SetName(name);
    b->SetParent(&parent);
    b->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    b->SetColor(colour);
    return *b;
  }
  // Compiles one flip command and starts it.
  TCommand& Start(const std::string& source) {
    CompilePage(source, "t.rss", page);
    TCommand& c = *page.Commands.at(0);
    pc = 0;
    c.Start(cm);
    return c;
  }
  // One tick: the command runs, then the frame is composed.
  void Tick(TCommand& c, int32_t ms) {
    Process().GameTime += ms;
    TPage* p = &page;
    c.Execute(cm, p, pc);
    list.Tick();
    list.Paint();
  }
  std::vector<std::string> Names(TOrbaControl& parent) {
    std::vector<std::string> names;
    for (TOrbaControl* child : parent.Children()) names.push_back(child->Name());
    return names;
  }
  bool ScreenIs(uint32_t pixel) {
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x)
        if (screen.GetPixel(x, y) != pixel) return false;
    return true;
  }
};

const std::string kShot(kSnapshotName);

TEST_F(Flip, StepsTickByTickMovingByTheNameListsInBothModes) {
  struct Case {
    const char* selection;
    std::vector<std::string> stay, moved;  // on the old page besides the snapshot, on the back page
  };
  const Case cases[] = {
      {"0", {"a", "c"}, {"b"}},  // mode 0: the children named on no line move
      {"1", {"b"}, {"a", "c"}},  // mode 1: the children named on a line move
      {"5", {"a", "b", "c"}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.selection);
    list.Clear();
    list.SetScreenTarget(&screen);
    Box("a", list.Current(), {0, 0, 10, 24}, 0x0000FF);
    Box("b", list.Current(), {10, 0, 20, 24}, 0x00FF00);
    Box("c", list.Current(), {20, 0, 32, 24}, 0xFF0000);
    list.Paint();
    const int old = list.CurrentBase();  // Clear keeps the page shown
    const uint32_t red = screen.GetPixel(1, 1);
    TCommand& c = Start(std::string("flip kind: 1; time: 100; selection: ") + k.selection +
                        "; names: \"a\", \"c\"; clearold: 1");
    EXPECT_TRUE(c.Yields());
    // The snapshot: on top of the old page, the screen's size, a copy of what was shown.
    ASSERT_FALSE(list.Current().Children().empty());
    TOrbaControl& shot = *list.Current().Children().back();
    EXPECT_EQ(shot.Name(), kShot);
    EXPECT_EQ(shot.AbsoluteRect(), Bounds(0, 0, kW, kH));
    EXPECT_EQ(shot.IgnoreMouse, IM_ALL);
    std::vector<std::string> stay = k.stay;
    stay.push_back(kShot);
    EXPECT_EQ(Names(list.Current()), stay);
    EXPECT_EQ(Names(list.Back()), k.moved);
    ASSERT_TRUE(list.TransitionActive);
    EXPECT_EQ(list.Transition()->Duration, 100);
    // Two ticks pass before the clock starts; then the elapsed game time goes to the effect.
    Tick(c, 16);
    Tick(c, 16);
    EXPECT_EQ(pc, 0);
    Tick(c, 40);
    EXPECT_EQ(pc, 0);
    EXPECT_EQ(list.Transition()->Elapsed, 40);
    EXPECT_EQ(list.CurrentBase(), old);
    Tick(c, 59);
    EXPECT_EQ(pc, 0);
    EXPECT_EQ(list.Transition()->Elapsed, 99);
    Tick(c, 1);
    EXPECT_EQ(pc, 1);
    // Switched, the snapshot gone, the old page cleared, the moved ones shown.
    EXPECT_EQ(list.CurrentBase(), old ^ 1);
    EXPECT_FALSE(list.TransitionActive);
    EXPECT_EQ(list.Transition(), nullptr);
    EXPECT_EQ(list.FindComponent(kShot), nullptr);
    EXPECT_TRUE(list.Base(old).Children().empty());
    EXPECT_EQ(Names(list.Current()), k.moved);
    // The screen shows the new page: the pixel of a box that moved, or the page colour.
    const uint32_t expected = k.moved.empty() || k.moved[0] != "a" ? screen.ColorToPixel(0) : red;
    EXPECT_EQ(screen.GetPixel(1, 1), expected);
  }
}

TEST_F(Flip, WithoutTimeOrSelection) {
  Box("a", list.Current(), {0, 0, 10, 24}, 0x0000FF);
  Box("b", list.Back(), {0, 0, 10, 24}, 0x00FF00);
  {
    // Time 0 with a selection: no snapshot, the children move, the next step switches.
    TCommand& c = Start("flip kind: 1; time: 0; selection: 0");
    EXPECT_FALSE(c.Yields());
    EXPECT_FALSE(list.TransitionActive);
    EXPECT_EQ(list.FindComponent(kShot), nullptr);
    EXPECT_EQ(Names(list.Back()), (std::vector<std::string>{"a", "b"}));
    Tick(c, 16);
    EXPECT_EQ(pc, 1);
    EXPECT_EQ(list.CurrentBase(), 1);
  }
  page.Commands.clear();
  {
    // No selection: a transition between the pages as they are, nothing moved.
    TCommand& c = Start("flip kind: 2; time: 50");
    EXPECT_EQ(list.FindComponent(kShot), nullptr);
    EXPECT_TRUE(list.TransitionActive);
    EXPECT_EQ(Names(list.Current()), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(list.Base(0).Children().empty());
    for (int i = 0; i < 5; ++i) Tick(c, 16);
    EXPECT_EQ(pc, 0);  // two ticks, then 16, 32 and 48 ms of the 50
    Tick(c, 16);
    EXPECT_EQ(pc, 1);
    EXPECT_EQ(list.CurrentBase(), 0);
  }
  page.Commands.clear();
  {
    // Kind 0 (or above 38): no effect, the pages switch at the third step.
    TCommand& c = Start("flip kind: 39; time: 500");
    EXPECT_FALSE(list.TransitionActive);
    Tick(c, 16);
    Tick(c, 16);
    EXPECT_EQ(pc, 0);
    Tick(c, 16);
    EXPECT_EQ(pc, 1);
    EXPECT_EQ(list.CurrentBase(), 1);
  }
}

TEST_F(Flip, FinishKeepsCabinetsAbortScrapsThem) {
  for (bool abort : {false, true}) {
    SCOPED_TRACE(abort);
    list.Clear();
    list.SetScreenTarget(&screen);
    Box("a", list.Current(), {0, 0, 10, 24}, 0x0000FF);
    const int old = list.CurrentBase();
    TOrbaObject* cabinet = list.Adopt(std::make_unique<TOrbaCabinet>(&list));
    cabinet->SetName("cab");
    cabinet->AsControl()->SetParent(&list.Current());
    TCommand& c = Start("flip kind: 1; time: 100; selection: 2; clearold: 1");
    Tick(c, 16);
    if (abort) {
      c.Abort();
    } else {
      Tick(c, 16);
      Tick(c, 100);
      EXPECT_EQ(pc, 1);
    }
    EXPECT_EQ(list.CurrentBase(), old ^ 1);
    EXPECT_FALSE(list.TransitionActive);
    EXPECT_EQ(list.FindComponent(kShot), nullptr);
    EXPECT_EQ(list.FindComponent("a"), nullptr);
    EXPECT_EQ(list.FindComponent("cab") != nullptr, !abort);
    page.Commands.clear();
  }
}

TEST_F(Flip, ARealTransitionEndsOnTheNewPageAndOnlyItsRectangleIsPresented) {
  Box("old", list.Current(), {0, 0, kW, kH}, 0x0000FF);
  Box("new", list.Back(), {0, 0, kW, kH}, 0x00FF00);
  list.Paint();
  list.Current().Dirty().Clear();
  const uint32_t red = screen.ColorToPixel(0x0000FF), green = screen.ColorToPixel(0x00FF00);
  ASSERT_TRUE(ScreenIs(red));
  TCommand& c = Start("flip kind: 1; time: 160");
  bool sawMix = false;
  while (pc == 0) {
    Tick(c, 16);
    const TRect drawn = list.TakeTransitionRect();
    if (list.TransitionActive) {
      EXPECT_EQ(drawn, Bounds(0, 0, kW, kH));
      const uint32_t p = screen.GetPixel(5, 5);
      sawMix |= p != red && p != green;
    }
  }
  EXPECT_TRUE(sawMix);
  EXPECT_EQ(list.CurrentBase(), 1);
  list.Paint();
  EXPECT_TRUE(ScreenIs(green));
}

TEST_F(Flip, LastsTheSameGameTimeAtAnyTickLength) {
  for (int32_t tick : {7, 16, 33, 50}) {
    SCOPED_TRACE(tick);
    page.Commands.clear();
    TCommand& c = Start("flip kind: 11; time: 300");
    Tick(c, tick);
    Tick(c, tick);
    const int32_t start = Process().GameTime;
    while (pc == 0) {
      Tick(c, tick);
      if (pc == 0) {
        EXPECT_EQ(list.Transition()->Elapsed, Process().GameTime - start);
      }
    }
    const int32_t lasted = Process().GameTime - start;
    EXPECT_GE(lasted, 300);
    EXPECT_LT(lasted, 300 + tick);
  }
}

}  // namespace
}  // namespace orba
