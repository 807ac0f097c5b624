// The commands that act on components already made: closing menus (retried until the menu
// exists), moving components into and out of cabinets by the name lists, and starting
// property motions.
#include <gtest/gtest.h>

#include <algorithm>

#include "authoring/source.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/menuplay.h"
#include "components/sound.h"
#include "script/callman.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

// A menu stand-in: it records what it was asked.
struct FakeMenu : TOrbaComponent, IMenuPlay {
  using TOrbaComponent::TOrbaComponent;
  std::vector<TState> States;
  void SetMenuPlayState(TState state) override { States.push_back(state); }
};

struct Commands : ::testing::Test {
  TOrbaBaseList list;
  TParamCollection vars;
  TCallMan cm;
  TPage page;
  void SetUp() override {
    ResetProcessState();
    list.SetSize(32, 24, 32);
    SetComponentRoot(&list);
    SetVariables(&vars);
  }
  void TearDown() override {
    SetComponentRoot(nullptr);
    SetVariables(nullptr);
  }
  // Compiles the source; its first command is started.
  TCommand& Start(const std::string& source) {
    CompilePage(source, "t.rss", page);
    TCommand& c = *page.Commands.at(0);
    c.Start(cm);
    return c;
  }
  // One step of a command from pc; returns the pc it leaves.
  int32_t Step(TCommand& c, int32_t pc = 0) {
    TPage* p = &page;
    c.Execute(cm, p, pc);
    return pc;
  }
  TOrbaBox& Box(const std::string& name, TOrbaControl& parent) {
    auto* b = static_cast<TOrbaBox*>(list.Adopt(std::make_unique<TOrbaBox>(&list)));
    b->SetName(name);
    b->SetParent(&parent);
    return *b;
  }
  template <class T>
  T& Adopt(const std::string& name) {
    auto* o = static_cast<T*>(list.Adopt(std::make_unique<T>(&list)));
    o->SetName(name);
    return *o;
  }
};

// The close command stays on itself, tick after tick, until a component of its name exists;
// then the menu is asked to close and the command is done. A name that finds a component
// that is no menu ends the command without asking anything.
TEST_F(Commands, MenuCloseIsRetriedUntilTheMenuExists) {
  TCommand& c = Start("menuclose \"m\"\n");
  for (int tick = 0; tick < 3; ++tick) {
    EXPECT_EQ(Step(c), 0) << tick;
    list.Tick();
  }
  auto& menu = Adopt<FakeMenu>("m");
  EXPECT_EQ(Step(c), 1);
  EXPECT_EQ(menu.States, std::vector<IMenuPlay::TState>{IMenuPlay::kClosing});

  // An empty name never finds a menu (it is not taken as the page shown).
  TPage other;
  CompilePage("menuclose \"\"\nmenuclose \"box\"\n", "u.rss", other);
  TPage* p = &other;
  int32_t pc = 0;
  other.Commands[0]->Execute(cm, p, pc);
  EXPECT_EQ(pc, 0);
  Box("box", list.Current());
  pc = 1;
  other.Commands[1]->Execute(cm, p, pc);
  EXPECT_EQ(pc, 2);
  EXPECT_EQ(menu.States.size(), 1u);
}


// The names of the children of a control, sorted, without the cabinet itself.
std::vector<std::string> Sorted(const TOrbaControl* parent) {
  std::vector<std::string> names;
  if (parent)
    for (const TOrbaControl* child : parent->Children())
      if (child->Name() != "k") names.push_back(child->Name());
  std::sort(names.begin(), names.end());
  return names;
}

// CabinetSave takes the back page's children named in the lists (mode false) or all the
// others (mode true) into the cabinet, made on page 0 when missing; CabinetLoad moves them
// back by the same rule. An empty cabinet is freed, one that still holds children stays.
// The page shown is page 1 here, so the back page is page 0 and holds the new cabinet too:
// choosing "every other child" never puts the cabinet into itself.
TEST_F(Commands, CabinetsTakeAndGiveBackChildrenByTheNameLists) {
  using V = std::vector<std::string>;
  struct Case {
    const char* save;  // selection and names of the save
    V inCabinet, leftOnBack;
    const char* load;
    V backAfterLoad;
    V cabinetAfterLoad;  // empty: the cabinet was freed
  };
  const Case cases[] = {
      {"selection: FALSE; names: \"a\", \"c\"", {"a", "c"}, {"b"},
       "selection: FALSE; names: \"a\"", {"a", "b"}, {"c"}},
      {"selection: TRUE; names: \"a\", \"c\"", {"b"}, {"a", "c"},
       // nothing matches: the cabinet keeps its child and stays
       "selection: TRUE; names: \"b\"", {"a", "c"}, {"b"}},
      {"selection: FALSE; names: \"a\", \"b\", \"c\"", {"a", "b", "c"}, {},
       "selection: TRUE; names: \"zz\"", {"a", "b", "c"}, {}},
      // Names are matched whole: "a\nb" names neither a nor b; no selection reads as false.
      {"names: twoLines, \"c\"", {"c"}, {"a", "b"},
       "names: \"c\"", {"a", "b", "c"}, {}},
  };
  vars.AddVariable(PT_STR, "twoLines")->Param()->SetString("a\nb");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.save);
    list.Clear();
    list.BeginTransition(1, 0);
    for (const char* name : {"a", "b", "c"}) Box(name, list.Back());
    Box("shown", list.Current());
    TPage save;
    CompilePage(std::string("cabinetsave name: \"k\"; ") + k.save + "\ncabinetload name: \"k\"; " + k.load + "\n",
                "c.rss", save);
    TPage* p = &save;
    int32_t pc = 0;
    save.Commands[0]->Execute(cm, p, pc);
    EXPECT_EQ(pc, 1);
    auto* cabinet = dynamic_cast<TOrbaCabinet*>(list.FindComponent("k"));
    ASSERT_NE(cabinet, nullptr);
    EXPECT_EQ(cabinet->Parent(), &list.Base(0));
    EXPECT_EQ(Sorted(cabinet), k.inCabinet);
    EXPECT_EQ(Sorted(&list.Back()), k.leftOnBack);
    EXPECT_EQ(Sorted(&list.Current()), V{"shown"});
    for (const TOrbaControl* child : cabinet->Children()) EXPECT_FALSE(const_cast<TOrbaControl*>(child)->IsShowing());
    save.Commands[1]->Execute(cm, p, pc);
    EXPECT_EQ(pc, 2);
    list.Tick();
    cabinet = dynamic_cast<TOrbaCabinet*>(list.FindComponent("k"));
    EXPECT_EQ(Sorted(&list.Back()), k.backAfterLoad);
    EXPECT_EQ(Sorted(cabinet), k.cabinetAfterLoad);
    EXPECT_EQ(cabinet == nullptr, k.cabinetAfterLoad.empty());
  }
}

// A save that takes nothing frees the cabinet it made; a second save by the same name adds to
// the cabinet there is; a load by a name that finds no cabinet does nothing.
TEST_F(Commands, CabinetSaveAddsToTheCabinetThereIsAndFreesAnEmptyOne) {
  Box("a", list.Back());
  Box("b", list.Back());
  CompilePage("cabinetsave name: \"k\"; names: \"zz\"\n"
              "cabinetsave name: \"k\"; names: \"a\"\n"
              "cabinetsave name: \"k\"; names: \"b\"\n"
              "cabinetload name: \"a\"; selection: TRUE\n",
              "c.rss", page);
  TPage* p = &page;
  for (int32_t i = 0; i < 4; ++i) {
    int32_t pc = i;
    page.Commands[static_cast<size_t>(i)]->Execute(cm, p, pc);
    EXPECT_EQ(pc, i + 1);
    if (i == 0) {
      list.Tick();
      EXPECT_EQ(list.FindComponent("k"), nullptr);
      EXPECT_EQ(list.Count(), 2);
    }
  }
  auto* cabinet = dynamic_cast<TOrbaCabinet*>(list.FindComponent("k"));
  ASSERT_NE(cabinet, nullptr);
  EXPECT_EQ(Sorted(cabinet), (std::vector<std::string>{"a", "b"}));
  std::vector<std::string> cabinets;
  EXPECT_EQ(list.ListNames(cabinets, 27, nullptr), 1);
}

// PropMotion makes a motion from its fields, which then moves the target's property from its
// value now to the end value; a paused one waits; one without a property code raises the
// property error after the motion was made (it then ends by itself).
TEST_F(Commands, PropMotionMovesTheNamedProperty) {
  Process().FrameDelta = 25;
  TOrbaBox& b = Box("b", list.Current());
  b.SetLeft(20);
  CompilePage("propmotion \"mv\"; component: \"b\"; property: 3; end: 120; time: 100; curve: 0\n"
              "propmotion \"held\"; component: \"b\"; property: 4; end: 50; time: 100; curve: 2; paused: TRUE\n"
              "propmotion \"\"; component: \"b\"\n",
              "m.rss", page);
  TPage* p = &page;
  int32_t pc = 0;
  page.Commands[0]->Execute(cm, p, pc);
  page.Commands[1]->Execute(cm, p, pc);
  EXPECT_EQ(pc, 2);
  auto* mv = dynamic_cast<TOrbaPropMotion*>(list.FindComponent("mv"));
  auto* held = dynamic_cast<TOrbaPropMotion*>(list.FindComponent("held"));
  ASSERT_TRUE(mv && held);
  EXPECT_EQ(mv->TargetName, "b");
  EXPECT_EQ(mv->Property, PR_LEFT);
  EXPECT_EQ(mv->Duration, 100);
  EXPECT_EQ(held->Easing, TOrbaPropMotion::kSlowEnd);
  EXPECT_TRUE(held->Paused);
  // 20 to 120 in 100 ms, a tick of 25 ms: a quarter of the way each tick, then the end.
  for (int32_t left : {20, 45, 70, 95, 120}) {
    list.Tick();
    EXPECT_EQ(b.Left, left);
    EXPECT_EQ(b.Top, 0);  // the paused motion writes nothing
  }
  list.Tick();
  EXPECT_EQ(list.FindComponent("mv"), nullptr);
  EXPECT_NE(list.FindComponent("held"), nullptr);

  const int32_t before = list.Count();
  try {
    page.Commands[2]->Execute(cm, p, pc);
    ADD_FAILURE() << "no error";
  } catch (const EOrbaError& e) {
    EXPECT_EQ(std::string(e.what()), Sjis(u8"プロパティ指定が不正です"));
  }
  EXPECT_EQ(pc, 3);
  ASSERT_EQ(list.Count(), before + 1);
  auto& unnamed = dynamic_cast<TOrbaPropMotion&>(list.Item(before));
  EXPECT_EQ(unnamed.Property, 255);
  EXPECT_FALSE(unnamed.Name().empty());  // an automatic name
  list.Tick();
  EXPECT_EQ(list.Count(), before);
}

}  // namespace
}  // namespace orba
