#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/input_state.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"

namespace orba {
namespace {

// A call frame as the interpreter will provide it.
class FrameSource : public ISystemVariableSource {
 public:
  TCustomParam* CallResult() override { return &result; }
  std::vector<std::string> CallArgs() override { return {"first", "second"}; }
  TParamStr result;
};

TEST(SystemVariables, ReadFromThePlayerState) {
  TBaseInput mouse;
  TKeyboardState keys;
  FrameSource source;
  source.AttachInput(&mouse, &keys);
  TParamCollection vars(&source);
  ASSERT_GE(vars.Count(), TParamCollection::kSystemCount);
  for (int32_t n = 0; n < TParamCollection::kSystemCount; ++n) {
    EXPECT_EQ(vars.Variable(n)->Name(), SystemVariableName(n));
    EXPECT_TRUE(vars.Variable(n)->IsSystem());
  }

  Process().GameTime = 123456;
  Process().UpdateCount = 77;
  mouse.SetMouse(10, 20);
  mouse.LeftHeld = true;
  mouse.WheelUpTick = 1;
  keys.KeyDown[65] = 1;
  keys.KeyClickedTick[13] = 1;
  vars.TextDelay = 35;
  vars.SelStr = "choice";
  source.result.SetString("done");

  struct Case { const char* name; std::string text; uint8_t type; } cases[] = {
      {"@tickcount", "123456", PT_INT},  // names ignore ASCII case like every variable
      {"@UpdateCount", "77", PT_INT},
      {"@MouseX", "10", PT_INT},
      {"@MouseY", "20", PT_INT},
      {"@LPush", "TRUE", PT_BOOL},
      {"@RPush", "FALSE", PT_BOOL},
      {"@WheelUp", "TRUE", PT_BOOL},
      {"@TextDelay", "35", PT_INT},
      {"@SelStr", "choice", PT_STR},
      {"@ParamCount", "2", PT_INT},
      {"@ParamStr", "first", PT_STR},
      {"@Result", "done", PT_STR},
      {"@Temp", "", PT_NONE},  // no variable named by TempVarName
      {"@Pi", "3.14159265358979", PT_FLOAT},
      {"@1Hour", "0.0416666666666667", PT_FLOAT},
      {"@SoundON", "TRUE", PT_BOOL},
      {"@HistoryMaxCount", "0", PT_INT},
      {"@ScrWidth", "640", PT_INT},
      {"@MidiPort", Sjis(u8"MIDIマッパー"), PT_STR},
  };
  for (const auto& c : cases) {
    TParamCollectionItem* v = vars.FindVariable(c.name);
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->AsString(), c.text) << c.name;
    EXPECT_EQ(v->Param()->ValueType(), c.type) << c.name;
  }

  TCustomParam& keyPush = *vars.FindVariable("@KeyPush")->Param();
  EXPECT_EQ(keyPush.Count(), 258);
  EXPECT_TRUE(keyPush.ItemFlag(65));
  EXPECT_FALSE(keyPush.ItemFlag(66));
  EXPECT_TRUE(keyPush.ItemFlag(257)) << "wheel up";
  EXPECT_FALSE(keyPush.ItemFlag(300));
  EXPECT_FALSE(keyPush.AsFlag());
  EXPECT_TRUE(vars.FindVariable("@KeyClick")->Param()->ItemFlag(13));
  EXPECT_EQ(vars.FindVariable("@ParamStr")->Param()->ItemString(1), "second");

  int32_t year = vars.FindVariable("@Year")->AsInt();
  EXPECT_GE(year, 2000);
  int32_t week = vars.FindVariable("@Week")->AsInt();
  EXPECT_TRUE(week >= 1 && week <= 7);
}

// The mouse variables read the page shown: after a screen change the clicks and the position
// come from the other page.
TEST(SystemVariables, MouseFollowsThePageShown) {
  std::array<TBaseInput, 2> pages;
  TKeyboardState keys;
  int shown = 0;
  ISystemVariableSource source;
  source.AttachInput(&pages, [&] { return shown; }, &keys);
  TParamCollection vars(&source);
  pages[0].SetMouse(1, 2);
  pages[1].SetMouse(30, 40);
  pages[1].LeftClick = true;
  EXPECT_EQ(vars.FindVariable("@LClick")->AsString(), "FALSE");
  EXPECT_EQ(vars.FindVariable("@MouseX")->AsString(), "1");
  shown = 1;
  EXPECT_EQ(vars.FindVariable("@LClick")->AsString(), "TRUE");
  EXPECT_EQ(vars.FindVariable("@MouseY")->AsString(), "40");
}

TEST(SystemVariables, WritesGoToTheirOwnerOrAreIgnored) {
  TBaseInput mouse;
  TKeyboardState keys;
  ISystemVariableSource source;
  source.AttachInput(&mouse, &keys);
  TParamCollection vars(&source);

  vars.FindVariable("@MouseX")->SetString("12");
  EXPECT_EQ(mouse.MouseX, 12);
  vars.FindVariable("@LClick")->SetString("TRUE");
  EXPECT_TRUE(mouse.LeftClick);
  vars.FindVariable("@Cursor")->SetString("hand");
  EXPECT_EQ(vars.CursorName, "hand");
  vars.FindVariable("@SoundON")->SetString("FALSE");
  EXPECT_FALSE(source.SoundOn());
  vars.FindVariable("@TextDelay")->Param()->SetFloat(20.7);
  EXPECT_EQ(vars.TextDelay, 20);

  Process().GameTime = 5;
  vars.FindVariable("@TickCount")->SetInt(999);  // read-only: ignored
  EXPECT_EQ(vars.FindVariable("@TickCount")->AsInt(), 5);
  vars.FindVariable("@KeyPush")->Param()->SetItemFlag(3, true);
  EXPECT_FALSE(vars.FindVariable("@KeyPush")->Param()->ItemFlag(3));

  const int32_t shape[] = {2};
  EXPECT_THROW(vars.FindVariable("@MouseX")->Param()->SetDims(shape), EOrbaError);
  EXPECT_THROW(vars.FindVariable("@MouseX")->Param()->ItemInt(1), EOrbaError);

  // A call result converted into a system variable goes to its owner.
  TParamInt five;
  five.SetInt(5);
  vars.FindVariable("@SelStr")->Param()->ConvertFrom(five);
  EXPECT_EQ(vars.SelStr, "5");

  // "@Temp" stands for the variable TempVarName names, shape and all.
  auto* table = vars.AddVariable(PT_INT, "table");
  vars.TempVarName = "TABLE";
  TCustomParam& temp = *vars.FindVariable("@Temp")->Param();
  temp.SetDims(shape);
  temp.SetItemInt(1, 8);
  EXPECT_EQ(table->Param()->Count(), 2);
  EXPECT_EQ(table->Param()->ItemInt(1), 8);
  EXPECT_EQ(temp.ValueType(), PT_INT);
  // ... and a "@Temp" naming itself ends with an error, not a crash.
  vars.TempVarName = "@Temp";
  EXPECT_THROW(temp.AsInt(), EOrbaError);

  // System variables survive clearing, freeing levels and loading games.
  vars.ClearGame();
  vars.FreeLevel(-1);
  EXPECT_EQ(vars.Count(), TParamCollection::kSystemCount);
  auto copy = vars.CopyValue("@MouseX");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->ValueType(), PT_INT);
  EXPECT_EQ(copy->AsInt(), 12);
}

}  // namespace
}  // namespace orba
