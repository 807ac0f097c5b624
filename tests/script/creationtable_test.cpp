// Every creation command a project may use has its row in the command table, naming the
// component kind it makes; each kind the player has makes a component that answers its own
// type code, its name and (for controls) its place. The kinds whose components come later
// are listed as such: the command passes without making anything, and a kind that arrives
// must move out of that list.
#include <gtest/gtest.h>

#include "authoring/source.h"
#include "components/baselist.h"
#include "components/propaccess.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

struct Row {
  uint8_t Command;
  const char* CommandClass;
  int32_t TypeCode;
  const char* Component;
  bool Control;   // a control (has a place) or a component without one
  bool Deferred;  // its component is not built yet
};

// Written out by hand: every creation command, its class, the component it makes and that component's type code.
constexpr Row kRows[] = {
    {8, "TComBoxNew", 2, "TOrbaBox", true, false},
    {9, "TComImgNew", 8, "TOrbaImages", true, false},
    {10, "TComMesNew", 13, "TOrbaMes", true, false},
    {11, "TComTimer", 15, "TOrbaTimer", false, false},
    {12, "TComMovie", 16, "TOrbaVideo", true, true},
    {23, "TComCinema", 4, "TOrbaCinema", true, true},
    {24, "TComCaption", 9, "TOrbaLabel", true, true},
    {25, "TComMenu", 12, "TOrbaMenu", true, true},
    {30, "TComBtnNew", 3, "TOrbaButton", true, false},
    {36, "TComParticleNew", 14, "TOrbaParticle", true, true},
    {37, "TComFireNew", 6, "TOrbaFire", true, true},
    {42, "TComSound", 17, "TOrbaSound", false, false},
    {43, "TComEditNew", 5, "TOrbaEdit", true, true},
    {44, "TComMemoNew", 11, "TOrbaMemo", true, true},
    {48, "TComMapImgNew", 18, "TOrbaMapImage", true, false},
    {49, "TComWaveNew", 19, "TOrbaWave", true, true},
    {50, "TComTileNew", 20, "TOrbaTile", true, false},
    {51, "TComSliderNew", 21, "TOrbaSlider", true, true},
    {52, "TComScrollbarNew", 22, "TOrbaScrollbar", true, true},
    {53, "TComGaugeNew", 23, "TOrbaGauge", true, true},
    {54, "TComCGCaption", 24, "TOrbaCGLabel", true, true},
    {56, "TComPrevMenuNew", 25, "TOrbaPrevMenu", true, true},
};

bool IsCreator(const TCommandHandler* h) {
  for (int32_t code = 0; code < 28; ++code)
    if (h == handlers::Create(code)) return true;
  return false;
}

TEST(CreationTable, EveryKindHasItsRowOrIsListedAsComingLater) {
  // No other command kind creates a component.
  for (int kind = 0; kind < kCommandKinds; ++kind) {
    const bool listed = std::any_of(std::begin(kRows), std::end(kRows), [&](const Row& r) { return r.Command == kind; });
    EXPECT_EQ(IsCreator(CommandLayouts()[static_cast<size_t>(kind)].Handler), listed) << kind;
  }
  TOrbaBaseList list;
  TParamCollection vars;
  TCallMan cm;
  SetComponentRoot(&list);
  SetVariables(&vars);
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.CommandClass);
    const TCommandLayout& layout = CommandLayouts()[r.Command];
    EXPECT_STREQ(layout.ClassName, r.CommandClass);
    EXPECT_EQ(layout.Handler, handlers::Create(r.TypeCode));
    ASSERT_EQ(layout.Fields.size(), 1u);
    EXPECT_EQ(layout.Fields[0].Kind, TFieldKind::Props);
    EXPECT_EQ(TOrbaBaseList::KindOf(r.TypeCode) == nullptr, r.Deferred) << r.Component;

    list.Clear();
    TPage page;
    CompilePage(std::string(layout.Keyword) + " name: \"x\"" + (r.Control ? "; parent: \"\"; left: 3" : "") + "\n",
                "c.rss", page);
    TPage* p = &page;
    int32_t pc = 0;
    page.Commands[0]->Start(cm);
    page.Commands[0]->Execute(cm, p, pc);
    EXPECT_EQ(pc, 1);
    TOrbaComponent* made = list.FindComponent("x");
    if (r.Deferred) {
      EXPECT_EQ(made, nullptr) << r.Component << " is built now: take it off the list of kinds to come";
      EXPECT_EQ(list.Count(), 0);
      continue;
    }
    ASSERT_NE(made, nullptr) << r.Component;
    EXPECT_EQ(made->GetCompoType(), r.TypeCode);
    EXPECT_EQ(PropInt(*made, PR_COMPOTYPE), r.TypeCode);
    EXPECT_EQ(PropStr(*made, PR_NAME), "x");
    EXPECT_EQ(made->AsControl() != nullptr, r.Control);
    if (r.Control) {
      EXPECT_EQ(PropInt(*made, PR_LEFT), 3);
      EXPECT_EQ(made->AsControl()->Parent(), &list.Current());
    }
  }
  SetComponentRoot(nullptr);
  SetVariables(nullptr);
}

}  // namespace
}  // namespace orba
