// The expression functions that reach components answer from the real component tree: a
// small tree on both pages, a cabinet, an invisible component and a menu stand-in, and the
// answers worked out by hand from its geometry and its list order.
#include <gtest/gtest.h>

#include "base/error.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/listitems.h"
#include "components/sound.h"
#include "values/paramcollection.h"
#include "values/parser.h"

namespace orba {
namespace {

// A menu's lines as its text reads them (type code 12, so it answers PR_TEXT), and their
// check marks.
struct FakeMenu : TOrbaComponent, ILineChecks {
  using TOrbaComponent::TOrbaComponent;
  int32_t GetCompoType() const override { return 12; }
  std::string GetStr(int32_t code) const override { return code == PR_TEXT ? "  One\r\n two \nThree  \n" : ""; }
  std::vector<bool> Checked = std::vector<bool>(3);
  bool GetChecked(int32_t line) const override { return line >= 0 && line < 3 && Checked[static_cast<size_t>(line)]; }
  void SetChecked(int32_t line, bool checked) override {
    if (line >= 0 && line < 3) Checked[static_cast<size_t>(line)] = checked;
  }
};

// A preview menu's buttons: one is named "0", so a text that reads as a number shows
// whether it was taken as a position or as a name.
struct FakePreviewMenu : TOrbaComponent, IButtonStates {
  using TOrbaComponent::TOrbaComponent;
  int32_t GetCompoType() const override { return 25; }
  std::vector<std::string> Names{"yes", "no", "0"};
  std::vector<bool> Enabled = std::vector<bool>(3, true), Shown = std::vector<bool>(3, true);
  int32_t IndexOfButton(const std::string& name) const override {
    for (size_t i = 0; i < Names.size(); ++i)
      if (Names[i] == name) return static_cast<int32_t>(i);
    return -1;
  }
  static bool In(int32_t b) { return b >= 0 && b < 3; }
  bool GetEnabled(int32_t b) const override { return In(b) && Enabled[static_cast<size_t>(b)]; }
  void SetEnabled(int32_t b, bool v) override {
    if (In(b)) Enabled[static_cast<size_t>(b)] = v;
  }
  bool GetShown(int32_t b) const override { return In(b) && Shown[static_cast<size_t>(b)]; }
  void SetShown(int32_t b, bool v) override {
    if (In(b)) Shown[static_cast<size_t>(b)] = v;
  }
};

struct TreeFunctions : ::testing::Test {
  TOrbaBaseList list;
  TParamCollection vars;
  void SetUp() override {
    list.SetSize(64, 48, 32);
    SetComponentRoot(&list);
    vars.AddVariable(PT_STR, "names")->Param()->SetString("");
  }
  void TearDown() override { SetComponentRoot(nullptr); }
  TOrbaBox& Box(const char* name, TOrbaControl& parent, int32_t left, int32_t top) {
    auto* b = static_cast<TOrbaBox*>(list.Adopt(std::make_unique<TOrbaBox>(&list)));
    b->SetName(name);
    b->SetParent(&parent);
    b->SetBounds(left, top, 30, 20);
    return *b;
  }
  std::string Value(const std::string& text) {
    TOrbaParser p;
    CompileExpression(text, p);
    p.Execute(vars);
    if (!p.LastError().empty()) return "error";
    return p.Result() ? p.Result()->AsString() : "(none)";
  }
};

TEST_F(TreeFunctions, AnswerFromTheTree) {
  // List order: p c q k h t m pm. The page shown is page 0.
  TOrbaBox& p = Box("p", list.Current(), 10, 5);
  Box("c", p, 4, 3);  // at (14, 8) on the screen
  Box("q", list.Back(), 7, 2);
  auto* k = list.Adopt(std::make_unique<TOrbaCabinet>(&list))->AsControl();
  k->SetName("k");
  k->SetParent(&list.Current());
  Box("h", *k, 1, 1);
  list.Adopt(std::make_unique<TOrbaTimer>(&list))->SetName("t");
  list.Adopt(std::make_unique<FakeMenu>(&list))->SetName("m");
  list.Adopt(std::make_unique<FakePreviewMenu>(&list))->SetName("pm");

  struct Case {
    const char* expression;
    const char* value;
    const char* names = nullptr;  // what ListCompo left in names
  };
  const Case cases[] = {
      {"ListCompo(names)", "8", "p,c,q,k,h,t,m,pm"},
      {"ListCompo(names, 28)", "8", "p,c,q,k,h,t,m,pm"},  // 28 and above: every type
      {"ListCompo(names, 2)", "4", "p,c,q,h"},
      {"ListCompo(names, 2, \"p\")", "1", "c"},
      {"ListCompo(names, 0, \"\")", "2", "p,k"},  // the page shown
      {"ListCompo(names, 27)", "1", "k"},
      {"ListCompo(names, 0, \"nobody\")", "0", ""},
      {"ListCompo(names, 0, \"t\")", "0", ""},  // a timer is no parent
      {"ToClientX(\"c\", 20) ++ \",\" ++ ToClientY(\"c\", 20)", "6,12"},
      {"ToScreenX(\"c\", 1) ++ \",\" ++ ToScreenY(\"c\", 1)", "15,9"},
      {"ToScreenX(\"q\", 0) ++ \",\" ++ ToScreenY(\"h\", 0)", "7,1"},
      {"ToScreenX(\"nobody\", 5) ++ \",\" ++ ToClientY(\"t\", 5) ++ \",\" ++ ToClientX(\"\", 5)", "5,5,5"},
      {"InPrimary(\"c\") ++ InPrimary(\"q\") ++ InPrimary(\"h\") ++ InPrimary(\"t\") ++ InPrimary(\"nobody\")",
       "TRUEFALSEFALSEFALSEFALSE"},
      {"Exists(\"t\") ++ Exists(\"h\") ++ Exists(\"\") ++ Exists(\"nobody\")", "TRUETRUEFALSEFALSE"},
      {"GetProp(\"c\", 3) ++ \",\" ++ GetProp(\"p\", 5) ++ \",\" ++ GetProp(\"nobody\", 3)", "4,30,0"},
      {"SetProp(\"c\", 259, 9)", ""},  // the low byte: left
      {"ToScreenX(\"c\", 0) ++ \",\" ++ GetProp(\"c\", 3)", "19,9"},
      {"GetProp(\"t\", 26)", "0"},
      {"SetProp(\"t\", 26, 250)", ""},
      {"GetProp(\"t\", 26)", "250"},
      // The text is trimmed as a whole, the lines are not; case does not count.
      {"IndexOfMenu(\"m\", \"ONE\") ++ IndexOfMenu(\"m\", \" TWO \") ++ IndexOfMenu(\"m\", \"three\")", "012"},
      // Check marks of a menu's lines; a box has none.
      {"SetCheck(\"m\", 1, TRUE)", "0"},
      {"GetCheck(\"m\", 0) ++ GetCheck(\"m\", 1) ++ GetCheck(\"p\", 1)", "FALSETRUEFALSE"},
      // A preview menu's buttons by position, by name, and by a text that is a number.
      {"SetEnabled(\"pm\", \"no\", FALSE) ++ SetEnabled(\"pm\", 2, FALSE)", "00"},
      {"GetEnabled(\"pm\", 0) ++ GetEnabled(\"pm\", \"no\") ++ GetEnabled(\"pm\", \"0\") ++ GetEnabled(\"pm\", \"zz\")",
       "TRUEFALSETRUEFALSE"},
      {"SetVisible(\"pm\", \"yes\", FALSE)", "FALSE"},
      {"GetVisible(\"pm\", 0) ++ GetVisible(\"pm\", \"no\") ++ GetVisible(\"m\", 0)", "FALSETRUEFALSE"},
      {"IndexOfMenu(\"m\", \"two\") ++ IndexOfMenu(\"m\", \"\") ++ IndexOfMenu(\"p\", \"\") ++ IndexOfMenu(\"x\", \"One\")",
       "-1-1-1-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(Value(c.expression), c.value);
    if (c.names) {
      EXPECT_EQ(Value("ArrayToString(names, \",\")"), c.names);
    }
  }
}

}  // namespace
}  // namespace orba
