// Components made by the script's creation commands: the kind's row, the fixed order in which
// the carried properties are applied, and the special cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "authoring/source.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/propaccess.h"
#include "files/vrmanager.h"
#include "values/sysvars.h"
#include "media/orbalib.h"
#include "script/callman.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

struct Create : ::testing::Test {
  TOrbaBaseList list;
  TParamCollection vars;
  TCallMan cm;
  void SetUp() override {
    list.SetSize(64, 48, 32);
    list.Current().Dirty().Clear();
    SetComponentRoot(&list);
    SetVariables(&vars);
  }
  void TearDown() override {
    SetComponentRoot(nullptr);
    SetVariables(nullptr);
  }
  // Compiles the source and runs its commands in order, once each.
  void Run(const std::string& source) {
    TPage page;
    CompilePage(source, "t.rss", page);
    for (auto& c : page.Commands) {
      TPage* p = &page;
      int32_t pc = 0;
      c->Start(cm);
      c->Execute(cm, p, pc);
    }
  }
  TOrbaBox& BoxNamed(const std::string& name) {
    auto* b = dynamic_cast<TOrbaBox*>(list.FindComponent(name));
    EXPECT_NE(b, nullptr) << name;
    return *b;
  }
};

TEST_F(Create, PropertiesAndTheirSpecialCases) {
  Run("boxnew name: \"p\"; left: 10; top: 5; width: 30; height: 20\n"
      "boxnew name: \"c\"; parent: \"p\"; offsetx: 2; left: 4; top: 3; width: 5; height: 6; poszoomed: TRUE; "
      "priority: 3; tag: \"t\"; plusx: 9; plusy: 9; compotype: 7; color: 255\n"
      // No name: an automatic one; a parent not found: the page shown.
      "boxnew name: \"\"; parent: \"nowhere\"; width: 2; height: 2\n");
  TOrbaBox& p = BoxNamed("p");
  TOrbaBox& c = BoxNamed("c");
  EXPECT_EQ(c.Parent(), &p);
  EXPECT_EQ(c.AbsoluteRect(), Bounds(10 + 4 - 2, 5 + 3, 5, 6));
  EXPECT_EQ(c.Priority, 3);
  EXPECT_EQ(c.Tag, "t");
  EXPECT_EQ(c.PlusX, 0);  // never applied at creation
  EXPECT_EQ(c.PlusY, 0);
  EXPECT_EQ(c.Color, 255);
  // "object0" was free again once the first two boxes took their names.
  auto* unnamed = dynamic_cast<TOrbaBox*>(list.FindComponent("object0"));
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(unnamed->Parent(), &list.Current());
  // The creation marked the new boxes dirty.
  ASSERT_EQ(list.Current().Dirty().Count(), 1);
  EXPECT_TRUE(list.Current().Dirty()[0].Contains(c.AbsoluteRect()));
  EXPECT_TRUE(list.Current().Dirty()[0].Contains(unnamed->AbsoluteRect()));
}

TEST_F(Create, PropertiesWithoutAValueTakeTheirDefaults) {
  // A carried property whose expression gives nothing (here: a variable that does not exist).
  Run("boxnew name: \"d\"; color: nothing; alpha: nothing; bordercolor: nothing; visible: nothing; left: nothing\n");
  TOrbaBox& d = BoxNamed("d");
  EXPECT_EQ(d.Color, -1);
  EXPECT_EQ(d.Alpha, 255);
  EXPECT_EQ(d.BorderColor, -1);
  EXPECT_TRUE(d.Visible);
  EXPECT_EQ(d.Left, 0);
}

TEST_F(Create, AKindThatIsNotBuiltIsSkippedWithATraceLine) {
  const std::filesystem::path log = std::filesystem::temp_directory_path() / "orba-create-trace.txt";
  OrbaLog().Init(log.string());
  Run("firenew name: \"m\"; width: 10\nboxnew name: \"b\"\n");
  OrbaLog().Final();
  EXPECT_EQ(list.FindComponent("m"), nullptr);
  EXPECT_NE(list.FindComponent("b"), nullptr);
  EXPECT_EQ(list.Count(), 1);
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(log);
  EXPECT_NE(text.find("<NoKind>TComFireNew(1)"), std::string::npos) << text;
}

TEST_F(Create, PropertyCommandsAndFunctionsReachTheComponents) {
  Run("boxnew name: \"b\"; parent: \"\"; left: 1; width: 4; height: 4\n"
      "varnew x; type: int; value: 0\n"
      "setprop \"b\"; property: 3; value: 20\n"
      "getprop \"b\"; property: 3; variable: x\n"
      "varnew y; type: int; value: GetProp(\"b\", 3) + ToClientX(\"b\", 25)\n"
      "calc SetProp(\"b\", 4, 7)\n"
      "varnew n; type: int; value: 0\n"
      "varnew names; type: string; value: \"\"\n"
      "calc n = ListCompo(names, 2)\n"
      "varnew there; type: flag; value: Exists(\"b\") & InPrimary(\"b\")\n"
      "objdel \"b\"\n"
      "varnew gone; type: flag; value: Exists(\"b\")\n");
  auto value = [&](const char* name) { return vars.FindVariable(name)->Param()->AsString(); };
  EXPECT_EQ(value("x"), "20");
  EXPECT_EQ(value("y"), "25");
  EXPECT_EQ(value("n"), "1");
  EXPECT_EQ(value("names"), "b");
  EXPECT_EQ(value("there"), "TRUE");
  EXPECT_EQ(value("gone"), "FALSE");
  list.Tick();
  EXPECT_EQ(list.Count(), 0);
}

// "@Sender" answers from the interpreter under test.
struct SenderSource : ISystemVariableSource {
  TCallMan* cm = nullptr;
  std::string Sender() override { return cm->SenderName(); }
};

// A handler that removes its own sender: the component is gone at the end of the tick, and
// its name can be taken again at once, in the same handler.
TEST(Handler, ScrapsItsOwnSenderAndReusesTheName) {
  TOrbaBaseList list;
  SenderSource source;
  TParamCollection vars(&source);
  TCallMan cm;
  source.cm = &cm;
  FreeVrFileManager();
  VrFileManager().AddArchive("");
  SetVariables(&vars);
  SetComponentRoot(&list);
  auto store = [](const std::string& text, const std::string& name) {
    TPage page;
    CompilePage(text, name, page);
    page.SaveToStream(*VrFileManager().Archive(0)->AddMemoryEntry(CompiledPageName(name))->Content);
  };
  store("boxnew name: \"btn\"; parent: \"\"; onidle: \"idle.rsb\"\nwait time: 100000\n", "start.rss");
  store("objdel @Sender\nboxnew name: \"btn\"; parent: \"\"; left: 5\n", "idle.rss");
  cm.StartPage("start.rsb");
  cm.Run();
  TOrbaObject* first = list.FindComponent("btn");
  ASSERT_NE(first, nullptr);
  list.Tick();  // queues the idle event
  cm.Run();     // runs the handler
  TOrbaControl* second = list.FindControl("btn");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->Left, 5);
  EXPECT_EQ(list.Count(), 2);  // the first is freed at the end of the tick
  list.Tick();
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.FindControl("btn"), second);
  SetComponentRoot(nullptr);
  SetVariables(nullptr);
  FreeVrFileManager();
}

}  // namespace
}  // namespace orba
