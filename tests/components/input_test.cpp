// The player's hand as tick sequences: which control a press or the hover finds, the events
// the mouse step queues and their parameters, capturing, key repeat timing and the focus.
#include <gtest/gtest.h>

#include <utility>

#include "components/baselist.h"
#include "components/box.h"

namespace orba {
namespace {

// An event as the queue holds it: the sender's name, the code and the parameters.
struct TSeen {
  std::string Sender;
  int32_t Code;
  std::vector<std::string> Params;
  friend bool operator==(const TSeen&, const TSeen&) = default;
};

std::ostream& operator<<(std::ostream& os, const TSeen& e) {
  os << e.Sender << ":" << e.Code;
  for (auto& p : e.Params) os << "," << p;
  return os;
}

struct Input : ::testing::Test {
  TOrbaBaseList list;
  TBaseInput& in = list.Input(0);
  void SetUp() override { list.SetSize(100, 100, 32); }

  TOrbaBox& Box(const std::string& name, TRect r, TOrbaControl* parent = nullptr) {
    auto& box = static_cast<TOrbaBox&>(*list.CreateByCode(2));
    box.SetName(name);
    box.SetParent(parent ? parent : &list.Current());
    box.SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    // Every handler set, so that every event the step raises shows in the queue.
    for (int32_t code : {PR_ONMOUSEMOVE, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP,
                         PR_ONWHEELDOWN, PR_ONWHEELUP, PR_ONMOUSEIN, PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT,
                         PR_ONFOCUSIN, PR_ONFOCUSOUT})
      box.SetStr(code, name + ".rss");
    return box;
  }
  // One tick of input; answers the events it queued and empties the queue, as the
  // interpreter would by running them.
  std::vector<TSeen> Tick(int32_t delta = 16) {
    list.InputStep(delta);
    return Drain();
  }
  std::vector<TSeen> Drain() {
    std::vector<TSeen> seen;
    TTimerList& q = list.Events();
    for (int i = 0; i < q.Count(); ++i) {
      std::string name;
      list.ComponentName(q[i].Sender, name);
      seen.push_back({name, q[i].Code, q[i].Params.Items()});
    }
    q.Clear();
    return seen;
  }
  void Move(int32_t x, int32_t y) { in.SetMouse(x, y); }
  void PressLeft() { in.LeftPressed = in.LeftHeld = true; }
  void ReleaseLeft() { in.LeftHeld = false; }
};

using V = std::vector<TSeen>;

// Two boxes on the same place; the upper one has the mode of the row. Which one do the hover,
// a left press and a right press find?
TEST_F(Input, HitTestMasksLetPressesThroughByMode) {
  struct Row {
    uint8_t mode;
    const char* hover;
    const char* left;
    const char* right;
  };
  const Row rows[] = {
      {IM_NONE, "upper", "upper", "upper"},   {IM_ALL, "lower", "lower", "lower"},
      {IM_CLICK, "upper", "lower", "lower"},  {IM_LCLICK, "upper", "lower", "upper"},
      {IM_RCLICK, "upper", "upper", "lower"}, {9, "lower", "lower", "lower"},  // above 7: never
  };
  TOrbaBox& lower = Box("lower", {10, 10, 50, 50});
  TOrbaBox& upper = Box("upper", {10, 10, 50, 50});
  upper.SetPriority(1);
  for (const Row& r : rows) {
    upper.IgnoreMouse = r.mode;
    auto name = [&](uint32_t mask) {
      TOrbaControl* hit = list.Current().HitTest({20, 20}, mask);
      return hit ? hit->Name() : std::string("none");
    };
    EXPECT_EQ(name(29), r.hover) << int(r.mode);
    EXPECT_EQ(name(17), r.left) << int(r.mode);
    EXPECT_EQ(name(9), r.right) << int(r.mode);
  }
  // A control that is never hit still lets its children be hit; an invisible one hides them.
  upper.IgnoreMouse = IM_ALL;
  TOrbaBox& child = Box("child", {0, 0, 5, 5}, &upper);
  EXPECT_EQ(list.Current().HitTest({12, 12}, 29), &child);
  upper.SetVisible(false);
  EXPECT_EQ(list.Current().HitTest({12, 12}, 29), &lower);
  // Outside everything the page itself is found.
  EXPECT_EQ(list.Current().HitTest({90, 90}, 29), &list.Current());
  EXPECT_EQ(list.Current().HitTest({100, 5}, 29), nullptr);
}

TEST_F(Input, HoverEventsCarryPositionsRelativeToTheControl) {
  Box("a", {10, 20, 40, 60});
  Move(15, 30);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONMOUSEIN, {}}, {"a", PR_ONMOUSEMOVE, {"5", "10"}}}));
  EXPECT_EQ(Tick(), V{});  // no movement, nothing new
  // A move while the first move event still waits queues nothing more.
  Move(16, 30);
  list.InputStep(16);
  Move(17, 31);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONMOUSEMOVE, {"6", "10"}}}));
  Move(80, 80);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONMOUSEOUT, {}}}));
  in.WheelDown = 2;
  Move(11, 21);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONWHEELDOWN, {}}, {"a", PR_ONMOUSEIN, {}}, {"a", PR_ONMOUSEMOVE, {"1", "1"}}}));
}

// A press captures the button: the moves and the release go to the pressed control even
// outside it, and only the tick after the release finds what lies under the mouse.
TEST_F(Input, LeftPressCapturesUntilReleasedOutside) {
  Box("a", {10, 10, 30, 30});
  Box("b", {50, 50, 70, 70});
  Move(12, 13);
  Tick();
  PressLeft();
  EXPECT_EQ(Tick(), (V{{"a", PR_ONLBTNDOWN, {"2", "3"}}}));
  EXPECT_FALSE(in.LeftClick);  // swallowed: nothing else reacts
  EXPECT_EQ(list.Current().Capture, 4);
  Move(55, 55);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONMOUSEMOVE, {"45", "45"}}}));
  ReleaseLeft();
  EXPECT_EQ(Tick(), (V{{"a", PR_ONLBTNUP, {"45", "45"}}}));
  EXPECT_EQ(list.Current().Capture, 0);
  EXPECT_EQ(Tick(), (V{{"a", PR_ONMOUSEOUT, {}}, {"b", PR_ONMOUSEIN, {}}, {"b", PR_ONMOUSEMOVE, {"5", "5"}}}));
}

// A paused control takes the click silently: the control below hears nothing either.
TEST_F(Input, PausedControlSwallowsALeftClick) {
  Box("below", {0, 0, 50, 50});
  TOrbaBox& top = Box("top", {0, 0, 50, 50});
  top.SetPriority(1);
  top.SetBool(PR_PAUSED, true);
  Move(5, 5);
  Tick();
  PressLeft();
  EXPECT_EQ(Tick(), V{});
  EXPECT_FALSE(in.LeftClick);
  EXPECT_EQ(list.Current().Capture, 0);
  // Right presses are swallowed the same way; a left press on IM_LCLICK goes below.
  in.RightPressed = true;
  EXPECT_EQ(Tick(), V{});
  top.SetBool(PR_PAUSED, false);
  top.IgnoreMouse = IM_LCLICK;
  ReleaseLeft();
  PressLeft();
  // For that tick the hover is the control below.
  EXPECT_EQ(Tick(), (V{{"below", PR_ONLBTNDOWN, {"5", "5"}},
                       {"top", PR_ONMOUSEOUT, {}},
                       {"below", PR_ONMOUSEIN, {}},
                       {"below", PR_ONMOUSEMOVE, {"5", "5"}}}));
}

// A control freed while it is under the mouse is forgotten: no event goes to it.
TEST_F(Input, FreedHoverIsForgotten) {
  TOrbaBox& a = Box("a", {0, 0, 50, 50});
  Move(5, 5);
  Tick();
  list.Free(&a);
  Move(6, 6);
  EXPECT_EQ(Tick(), V{});
  EXPECT_EQ(list.Current().Hover, &list.Current());
}

// Held key: one key-down (with a repeat, as a press arms one) in the tick after the press, then
// repeats when 300 ms have gone by and every 50 ms after, and one key-up after the release.
TEST_F(Input, KeyRepeatTimingAndEvents) {
  TOrbaBox& f = Box("f", {0, 0, 10, 10});
  f.HandleKey = true;
  list.RefocusPending = true;
  Move(90, 90);
  EXPECT_EQ(Tick(10), (V{{"f", PR_ONFOCUSIN, {}}}));
  list.Keys.SetKey(65, true);
  list.Keys.SetKeyClicked(65);
  std::vector<int> clickTicks, repeatTicks;
  std::vector<std::pair<int, int32_t>> events;
  for (int t = 0; t < 45; ++t) {
    if (t == 42) list.Keys.SetKey(65, false);
    for (const TSeen& e : Tick(10)) events.push_back({t, e.Code});
    if (list.Keys.KeyClickedTick[65]) clickTicks.push_back(t);
    if (list.Keys.KeyRepeatTick[65]) repeatTicks.push_back(t);
  }
  EXPECT_EQ(clickTicks, std::vector<int>{0});
  // 30 ticks of 10 ms reach 300 ms at the end of tick 29; 5 ticks make 50 ms.
  EXPECT_EQ(repeatTicks, (std::vector<int>{0, 30, 35, 40}));
  EXPECT_EQ(events, (std::vector<std::pair<int, int32_t>>{{0, PR_ONKEYDOWN},
                                                          {0, PR_ONKEYREPEAT},
                                                          {30, PR_ONKEYREPEAT},
                                                          {35, PR_ONKEYREPEAT},
                                                          {40, PR_ONKEYREPEAT},
                                                          {42, PR_ONKEYUP}}));
  // A second press while the first key-down still waits queues no second one.
  list.Keys.SetKey(66, true);
  list.InputStep(10);
  list.Keys.SetKey(66, false);
  list.Keys.SetKey(67, true);
  list.InputStep(10);
  int downs = 0;
  for (const TSeen& e : Drain()) downs += e.Code == PR_ONKEYDOWN;
  EXPECT_EQ(downs, 1);
}

TEST_F(Input, FocusMovesWithItsEventsInOrder) {
  TOrbaBox& a = Box("a", {0, 0, 10, 10});
  TOrbaBox& b = Box("b", {20, 0, 30, 10});
  TOrbaBox& inner = Box("inner", {0, 0, 5, 5}, &b);
  a.HandleKey = b.HandleKey = true;
  list.RefocusPending = true;
  Move(90, 90);
  // The topmost focusable control first: b's child is not focusable, b is.
  EXPECT_EQ(Tick(), (V{{"b", PR_ONFOCUSIN, {}}}));
  EXPECT_EQ(list.Focus, &b);
  // A click on a focusable control: its press first, then the focus moves.
  Move(5, 5);
  PressLeft();
  EXPECT_EQ(Tick(), (V{{"a", PR_ONLBTNDOWN, {"5", "5"}},
                       {"b", PR_ONFOCUSOUT, {}},
                       {"a", PR_ONFOCUSIN, {}},
                       {"a", PR_ONMOUSEIN, {}},
                       {"a", PR_ONMOUSEMOVE, {"5", "5"}}}));
  ReleaseLeft();
  Tick();
  Drain();
  // Hiding the focus clears it without an out event; the next step finds the next one.
  a.SetVisible(false);
  EXPECT_EQ(list.Focus, nullptr);
  EXPECT_TRUE(list.RefocusPending);
  inner.HandleKey = true;
  V seen = Tick();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0], (TSeen{"inner", PR_ONFOCUSIN, {}}));
  EXPECT_EQ(list.Focus, &inner);
}

}  // namespace
}  // namespace orba
