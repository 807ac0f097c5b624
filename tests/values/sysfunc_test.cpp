#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "files/vrmanager.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"
#include "values/parser.h"
#include "values/sysfunc.h"

namespace orba {
namespace {

std::string U8(const char8_t* s) { return Sjis(s); }

class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    vars.AddVariable(PT_STR, "s")->Param()->SetString("abc");
    vars.AddVariable(PT_STR, "j")->Param()->SetString(U8(u8"日本語"));
    vars.AddVariable(PT_INT, "n")->Param()->SetInt(0);
    vars.AddVariable(PT_STR, "list")->Param()->SetString("");
    vars.AddVariable(PT_INT, "y")->Param()->SetInt(0);
    vars.AddVariable(PT_INT, "mo")->Param()->SetInt(0);
    vars.AddVariable(PT_INT, "d")->Param()->SetInt(0);
    auto* grid = vars.AddVariable(PT_INT, "grid");
    const int32_t dims[] = {3, 4};
    grid->Param()->SetDims(dims);
    auto* row = vars.AddVariable(PT_INT, "row");
    const int32_t three[] = {3};
    row->Param()->SetDims(three);
    for (int k = 0; k < 3; ++k) row->Param()->SetItemInt(k, k + 1);
  }
  // The value of the expression as UTF-8 text, or "error: " and the message.
  std::string Value(const std::u8string& text) {
    TOrbaParser p;
    try {
      CompileExpression(U8(text.c_str()), p);
    } catch (const EOrbaError& e) {
      return "compile: " + ToUtf8(e.Message());
    }
    p.Execute(vars);
    if (!p.LastError().empty()) return "error: " + ToUtf8(p.LastError());
    return p.Result() ? ToUtf8(p.Result()->AsString()) : "(none)";
  }
  TCustomParam& Var(const char* name) { return *vars.FindVariable(name)->Param(); }

  TParamCollection vars;
};

TEST_F(Functions, PureFunctions) {
  struct Case {
    const char8_t* text;
    const char8_t* value;
  } cases[] = {
      {u8"IntToStr(7, 3)", u8"007"},
      {u8"IntToStr(-7, 3)", u8"-007"},
      {u8"IntToStr(-2147483648, 12)", u8"-002147483648"},
      {u8"IntToStr(5, -1)", u8"5"},
      {u8"IntToStr(5, \"%s%s%n\")", u8"error: '%s%s%n' は有効な整数値ではありません"},
      {u8"IntToStr(5, 100000000)", u8"error: 文字列が長すぎます"},
      {u8"IntToHex(255, 4)", u8"00FF"},
      {u8"IntToHex(-1, 2)", u8"FFFFFFFF"},
      {u8"Length(j)", u8"6"},
      {u8"JLength(j)", u8"3"},
      {u8"Copy(\"abcdef\", 3)", u8"cdef"},
      {u8"Copy(\"abcdef\", 0, 2)", u8"ab"},
      {u8"Copy(\"abc\", 4)", u8""},
      {u8"JCopy(j, 2, 1)", u8"本"},
      {u8"JCopy(\"aソb\", 2)", u8"ソb"},
      {u8"CompareStr(\"a\", \"b\")", u8"-1"},
      {u8"CompareStr(\"ab\", \"a\")", u8"1"},
      {u8"CompareText(\"abc\", \"ABC\")", u8"0"},
      {u8"Pos(\"\", \"abc\")", u8"0"},
      {u8"Pos(\"c\", \"abc\")", u8"3"},
      {u8"JPos(\"語\", j)", u8"3"},
      {u8"JPos(\"\\\\\", \"ソ\\\\\")", u8"2"},
      {u8"Trim(\"  a b \")", u8"a b"},
      {u8"JTrim(\"　 a　\")", u8"a"},
      {u8"Not(FALSE)", u8"TRUE"},
      {u8"FixStr(Copy(j, 1, 3))", u8"日"},
      {u8"FixStr(j)", u8"日本語"},
      {u8"LowerCase(\"AbＡ\")", u8"abＡ"},
      {u8"UpperCase(\"ab\")", u8"AB"},
      {u8"StringOfChar(\"ab\", 3)", u8"ababab"},
      {u8"StringOfChar(\"ab\", -1)", u8""},
      {u8"StringOfChar(\"ab\", 100000000)", u8"error: 文字列が長すぎます"},
      {u8"StringReplace(\"aAa\", \"a\", \"x\")", u8"xAa"},
      {u8"StringReplace(\"aAa\", \"a\", \"x\", TRUE)", u8"xAx"},
      {u8"StringReplace(\"aAa\", \"a\", \"x\", TRUE, TRUE)", u8"xxx"},
      {u8"AddDelimiter(\",\", \"\")", u8""},
      {u8"AddDelimiter(\",\", \"a\")", u8"a,"},
      {u8"StrToIntDef(\"x\", 5)", u8"5"},
      {u8"StrToIntDef(\"$10\", 5)", u8"16"},
      {u8"StrToFloatDef(\"1.5\", 0)", u8"1.5"},
      {u8"HanToZen(\"ｶﾞｳﾞA1\\n\")", u8"ガウ゛Ａ１"},
      {u8"HanToZen(\"ﾊﾟﾊ\")", u8"パハ"},
      {u8"ZenToHan(\"日本ＡＢＣ\")", u8"ABC"},
      {u8"ZenToHan(\"ガ“\")", u8"ｶﾞ\""},
      {u8"ExtractFilePath(\"a\\b.c\\d.txt\")", u8"a\\b.c\\"},
      {u8"ExtractFileName(\"a\\b.c\\d.txt\")", u8"d.txt"},
      {u8"ExtractFileExt(\"a\\b.c\\d\")", u8""},
      {u8"ChangeFileExt(\"ソ.trn\", \".png\")", u8"ソ.png"},
      {u8"AddBackSlash(\"ソ\")", u8"ソ\\"},
      {u8"AddBackSlash(\"a\\\")", u8"a\\"},
      {u8"IsPathDelimiter(\"ソ\", 2)", u8"FALSE"},
      {u8"IsDelimiter(\",;\", \"a;b\", 2)", u8"TRUE"},
      {u8"Random(1)", u8"0"},
      {u8"Int(-2.7)", u8"-2"},
      {u8"Float(3)", u8"3"},
      {u8"Abs(-5)", u8"5"},
      {u8"Fabs(0.0 - 0.5)", u8"0.5"},
      {u8"Min(3, -2) ++ Max(3, -2)", u8"-23"},
      {u8"Fmin(1.5, 2) ++ Fmax(1.5, 2)", u8"1.52"},
      {u8"ArcTan2(1, 0) * 2", u8"3.14159265358979"},
      {u8"Hypot(3, 4)", u8"5"},
      {u8"GetWeekStr(EncodeDate(2000, 1, 1))", u8"Saturday"},
      {u8"GetWeekJStr(EncodeDate(2000, 1, 2))", u8"日"},
      {u8"GetWeek(EncodeDate(1899, 12, 30))", u8"7"},
      {u8"EncodeDate(2000, 2, 29)", u8"36585"},
      {u8"EncodeDate(1900, 2, 29)", u8"error: 日付のエンコードに対する引数が無効です"},
      {u8"EncodeTime(12, 0, 0)", u8"0.5"},
      {u8"EncodeTime(24, 0, 0)", u8"error: 時刻のエンコードに対する引数が無効です"},
      {u8"GetHour(EncodeDate(2024, 3, 1) + EncodeTime(13, 5, 59)) ++ GetMin(0.5451) ++ GetSec(0.75)", u8"1340"},
      {u8"GetYear(36585.9) ++ GetMonth(36585.9) ++ GetDay(36585.9)", u8"2000229"},
      {u8"GetVarType(j) ++ GetVarType(1.5)", u8"42"},
      {u8"VarExists(\"grid\") ++ VarExists(\"nothing\")", u8"TRUEFALSE"},
      {u8"GetArraySize(grid, 0) ++ GetArraySize(grid, 1) ++ GetArraySize(grid)", u8"4312"},
      {u8"GetArraySize(5)", u8"error: GetArraySize:変数が見つかりません"},
      {u8"IndexOfStr(row, \"2\")", u8"1"},
      {u8"Exists(\"a\") ++ ToClientX(\"a\", 7) ++ IndexOfMenu(\"a\", \"b\")", u8"FALSE7-1"},
      // GetProp's temporary takes the kind of the property named by the code's low byte.
      {u8"GetVarType(GetProp(\"a\", 0)) ++ GetVarType(GetProp(\"a\", 259))", u8"41"},
      {u8"GetVarType(GetProp(\"a\", 95)) ++ GetVarType(GetProp(\"a\", 25))", u8"23"},
      {u8"GetProp(\"a\", 162)", u8"error: GetPropの引数が違います"},
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.text), ToUtf8(U8(c.value))) << ToUtf8(U8(c.text));
}

TEST_F(Functions, FunctionsWritingThroughVariables) {
  EXPECT_EQ(Value(u8"n = Delete(s, 2, 1)"), "(none)");
  EXPECT_EQ(Var("s").AsString(), "ac");
  EXPECT_EQ(Var("n").AsInt(), 0);  // the target keeps its value
  Value(u8"JInsert(\"ソ\", j, 2)");
  EXPECT_EQ(Var("j").AsString(), U8(u8"日ソ本語"));
  Value(u8"JDelete(j, 1, 2)");
  EXPECT_EQ(Var("j").AsString(), U8(u8"本語"));
  // A literal operand is never written: the stored list stays as it was read.
  TOrbaParser p;
  CompileExpression("Delete(12345, 1, 1) ++ Insert(9, 12345, 1)", p);
  p.Execute(vars);
  p.Execute(vars);
  // The rightmost call compiles first: Insert is operation 0, Delete operation 1.
  EXPECT_EQ(p.Ops()[0].Operands[1].Value->AsInt(), 12345);
  EXPECT_EQ(p.Ops()[1].Operands[0].Value->AsInt(), 12345);

  Value(u8"StringToArray(\"a,b;c\", list, \",;\")");
  EXPECT_EQ(Var("list").Count(), 3);
  EXPECT_EQ(Var("list").ItemString(2), "c");
  EXPECT_EQ(Value(u8"ArrayToString(list, \"-\")"), "a-b-c");
  Value(u8"StringToArray(\"x\\ny\\n\", list)");
  EXPECT_EQ(Value(u8"ArrayToString(list, \"|\")"), "x|y");
  Value(u8"StringToArray(\"\", list)");
  EXPECT_EQ(Var("list").Count(), 1);

  Value(u8"DecodeDate(EncodeDate(2024, 2, 29), y, mo, d)");
  EXPECT_EQ(Var("y").AsInt() * 10000 + Var("mo").AsInt() * 100 + Var("d").AsInt(), 20240229);

  EXPECT_EQ(Value(u8"AddArray(row, row)"), "6");
  EXPECT_EQ(Value(u8"ArrayToString(row, \",\")"), "1,2,3,1,2,3");
  EXPECT_EQ(Value(u8"InsertArray(row, 1, grid)"), "6");  // two dimensions: unchanged
  EXPECT_EQ(Value(u8"InsertArray(row, 1, row)"), "12");
  EXPECT_EQ(Value(u8"ArrayToString(row, \"\")"), "112312323123");
  EXPECT_EQ(Value(u8"DeleteArray(row, 1, 6)"), "6");
  EXPECT_EQ(Value(u8"DeleteArray(row, 5, 9)"), "5");
  EXPECT_EQ(Value(u8"ArrayToString(row, \",\")"), "1,2,3,1,2");
  EXPECT_EQ(Value(u8"DeleteArray(row, 0, 5)"), ToUtf8(U8(u8"error: 配列の要素数[0]が不正です")));
  EXPECT_EQ(Value(u8"AddArray(grid, row)"), "12");  // two dimensions: unchanged

  Value(u8"SetArray(list, 2, 2)");
  Value(u8"FillMem(list, 7)");
  EXPECT_EQ(Value(u8"ArrayToString(list, \"\")"), "7777");
  EXPECT_EQ(Value(u8"CopyMem(list, row)"), ToUtf8(U8(u8"error: CopyMem:変数の型があいません")));
  EXPECT_EQ(Value(u8"CopyArray(list, row)"), "TRUE");
  EXPECT_EQ(Value(u8"GetArraySize(list)"), "5");
  Value(u8"SortStr(list)");
  EXPECT_EQ(Value(u8"ArrayToString(list, \"\")"), "11223");

  EXPECT_EQ(Value(u8"AssignTemp(\"row\") ++ AssignTemp(\"none\")"), "TRUEFALSE");
  EXPECT_EQ(vars.TempVarName, "row");
}

// Without saved games the lists become one empty element each: an array cannot be empty.
TEST_F(Functions, SaveCaptionsWithoutSavedGames) {
  Value(u8"SetArray(list, 3)");
  Value(u8"SetArray(row, 2)");
  EXPECT_EQ(Value(u8"ListSaveCaption(list, row)"), "0");
  EXPECT_EQ(Value(u8"GetArraySize(list) ++ GetArraySize(row)"), "11");
  EXPECT_EQ(Value(u8"\"[\" ++ list ++ row ++ GetSaveCaption(1) ++ \"]\""), "[0]");
  EXPECT_EQ(Value(u8"ListSaveCaption()"), "0");
}

// FileExists and LoadTextFile read through the virtual file manager; LoadTextFile asks the
// project first whether the file may be used.
TEST(FileFunctions, ReadThroughTheVirtualFiles) {
  testing_support::TempDir dir;
  std::ofstream(dir / "lines.txt", std::ios::binary) << "one\r\ntwo\nthree";
  std::ofstream(dir / "empty.txt", std::ios::binary) << "";
  FreeVrFileManager();
  VrFileManager().SetBaseFolder(dir.path.string());
  struct Source : ISystemVariableSource {
    bool FileAvailable(const std::string& name) override { return name != "lines.txt" || allow; }
    bool allow = true;
  } source;
  TParamCollection vars(&source);
  vars.AddVariable(PT_STR, "list")->Param()->SetString("kept");
  auto value = [&](const std::string& text) {
    TOrbaParser p;
    CompileExpression(text, p);
    p.Execute(vars);
    return p.Result() ? p.Result()->AsString() : "error: " + p.LastError();
  };
  EXPECT_EQ(value("FileExists(\"LINES.TXT\")"), "TRUE");
  EXPECT_EQ(value("FileExists(\"empty.txt\")"), "TRUE");
  EXPECT_EQ(value("FileExists(\"nope.txt\")"), "FALSE");
  EXPECT_EQ(value("FileExists(\"\")"), "FALSE");

  for (const char* name : {"empty.txt", "nope.txt"}) EXPECT_EQ(value("LoadTextFile(\"" + std::string(name) + "\", list)"), "FALSE") << name;
  source.allow = false;
  EXPECT_EQ(value("LoadTextFile(\"lines.txt\", list)"), "FALSE");
  EXPECT_EQ(vars.FindVariable("list")->Param()->AsString(), "kept");
  source.allow = true;
  EXPECT_EQ(value("LoadTextFile(\"lines.txt\", list)"), "TRUE");
  const TCustomParam& list = *vars.FindVariable("list")->Param();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.ItemString(0) + "|" + list.ItemString(1) + "|" + list.ItemString(2), "one|two|three");
  FreeVrFileManager();
}

TEST(FunctionTable, NamesNumbersAndShapes) {
  // Every row in number order: name, fewest and most arguments (-1: no limit), result type.
  constexpr uint8_t I = PT_INT, F = PT_FLOAT, B = PT_BOOL, S = PT_STR;
  struct Row {
    const char* name;
    int8_t min, max;
    uint8_t type;
  } rows[] = {
      {"IntToStr", 1, 2, S}, {"IntToHex", 2, 2, S}, {"GetProp", 2, 2, S}, {"SetProp", 3, 3, S},
      {"GetArraySize", 1, 2, I}, {"Length", 1, 1, I}, {"JLength", 1, 1, I}, {"Copy", 2, 3, S},
      {"JCopy", 2, 3, S}, {"Delete", 2, 3, S}, {"JDelete", 2, 3, S}, {"Insert", 3, 3, S}, {"JInsert", 3, 3, S},
      {"CompareStr", 2, 2, I}, {"CompareText", 2, 2, I}, {"Pos", 2, 2, I}, {"JPos", 2, 2, I},
      {"Trim", 1, 1, S}, {"JTrim", 1, 1, S}, {"Exists", 1, 1, B}, {"Not", 1, 1, B}, {"SetArray", 2, -1, I},
      {"FillMem", 2, 2, I}, {"CopyMem", 2, 2, I}, {"GetCheck", 2, 2, B}, {"SetCheck", 3, 3, I},
      {"Random", 1, 1, I}, {"GetSaveCaption", 1, 1, S}, {"ArrayToString", 1, 2, S}, {"StringToArray", 2, 3, I},
      {"IndexOfStr", 2, 4, I}, {"SortStr", 1, 1, I}, {"ListCompo", 1, 3, I}, {"ToClientX", 2, 2, I},
      {"ToClientY", 2, 2, I}, {"ToScreenX", 2, 2, I}, {"ToScreenY", 2, 2, I}, {"Int", 1, 1, I},
      {"Float", 1, 1, F}, {"Sin", 1, 1, F}, {"Cos", 1, 1, F}, {"Tan", 1, 1, F}, {"ArcSin", 1, 1, F},
      {"ArcCos", 1, 1, F}, {"ArcTan", 1, 1, F}, {"ArcTan2", 2, 2, F}, {"Hypot", 2, 2, F},
      {"IndexOfMenu", 2, 2, I}, {"Abs", 1, 1, I}, {"Fabs", 1, 1, F}, {"VarExists", 1, 1, B},
      {"EncodeDate", 3, 3, F}, {"EncodeTime", 3, 3, F}, {"DecodeDate", 4, 4, I}, {"DecodeTime", 4, 4, I},
      {"GetYear", 1, 1, I}, {"GetMonth", 1, 1, I}, {"GetDay", 1, 1, I}, {"GetHour", 1, 1, I},
      {"GetMin", 1, 1, I}, {"GetSec", 1, 1, I}, {"GetWeek", 1, 1, I}, {"GetWeekStr", 1, 1, S},
      {"GetWeekJStr", 1, 1, S}, {"FixStr", 1, 1, S}, {"GetDisplayMode", 5, 5, B}, {"AddArray", 2, 2, I},
      {"InsertArray", 3, 3, I}, {"DeleteArray", 3, 3, I}, {"InPrimary", 1, 1, B}, {"CopyArray", 2, 2, B},
      {"FileExists", 1, 1, B}, {"LoadTextFile", 2, 2, B}, {"LowerCase", 1, 1, S}, {"UpperCase", 1, 1, S},
      {"ExtractFilePath", 1, 1, S}, {"ExtractFileName", 1, 1, S}, {"ExtractFileExt", 1, 1, S},
      {"IsPathDelimiter", 2, 2, B}, {"AddBackSlash", 1, 1, S}, {"ChangeFileExt", 2, 2, S},
      {"IsDelimiter", 3, 3, B}, {"StringOfChar", 2, 2, S}, {"StringReplace", 3, 5, S}, {"AssignTemp", 1, 1, B},
      {"HanToZen", 1, 1, S}, {"ZenToHan", 1, 1, S}, {"DBCreateTable", 2, 2, B}, {"DBSetActive", 1, 1, B},
      {"DBAddField", 2, 3, B}, {"DBSetRecNo", 1, 1, B}, {"DBInsert", 0, -1, B}, {"DBDelete", 0, 0, B},
      {"DBGetInt", 1, 1, I}, {"DBSetInt", 2, 2, B}, {"DBGetFloat", 1, 1, F}, {"DBSetFloat", 2, 2, B},
      {"DBGetBool", 1, 1, B}, {"DBSetBool", 2, 2, B}, {"DBGetStr", 1, 1, S}, {"DBSetStr", 2, 2, B},
      {"DBRecordCount", 0, 1, I}, {"DBFindFirst", 0, 0, B}, {"DBFindLast", 0, 0, B}, {"DBFindNext", 0, 0, B},
      {"DBFindPrior", 0, 0, B}, {"DBLocate", 2, 4, B}, {"DBLoadTsvFile", 1, 1, B}, {"DBDirectGetInt", 7, 7, I},
      {"DBDirectSetInt", 7, 7, B}, {"DBDirectGetFloat", 7, 7, F}, {"DBDirectSetFloat", 7, 7, B},
      {"DBDirectGetBool", 7, 7, B}, {"DBDirectSetBool", 7, 7, B}, {"DBDirectGetStr", 7, 7, S},
      {"DBDirectSetStr", 7, 7, B}, {"DBCopyTable", 1, 5, B}, {"DBDeleteTable", 0, 1, B},
      {"DBInsertTable", 1, 5, B}, {"DBCopy", 1, 1, B}, {"DBClearTable", 0, 0, B}, {"DBSort", 2, 2, B},
      {"DBGetActive", 0, 0, S}, {"DBGetRecNo", 0, 1, I}, {"DBClearRecord", 0, 1, B}, {"SetWallPaper", 2, 2, B},
      {"Min", 2, 2, I}, {"Max", 2, 2, I}, {"Fmin", 2, 2, F}, {"Fmax", 2, 2, F}, {"GetVarType", 1, 1, I},
      {"GetEnabled", 2, 2, B}, {"SetEnabled", 3, 3, I}, {"AddDelimiter", 2, 2, S},
      {"ListSaveCaption", 0, 2, I}, {"OpenUrl", 1, 1, B}, {"Calc", 1, 1, S}, {"SaveScreen", 1, 5, B},
      {"StrToIntDef", 2, 2, I}, {"StrToFloatDef", 2, 2, F}, {"GetVisible", 2, 2, B}, {"SetVisible", 3, 3, B},
  };
  static_assert(std::size(rows) == kSysFuncCount);
  for (int32_t k = 0; k < kSysFuncCount; ++k) {
    const Row& r = rows[k];
    const TSysFuncInfo& f = SysFuncInfo(k);
    EXPECT_STREQ(f.Name, r.name) << k;
    EXPECT_EQ(f.MinArgs, r.min) << r.name;
    EXPECT_EQ(f.MaxArgs, r.max) << r.name;
    EXPECT_EQ(f.ResultType, r.type) << r.name;
    EXPECT_EQ(FindSysFunc(r.name), k) << r.name;
  }
  EXPECT_EQ(FindSysFunc("inttostr"), -1);
}

TEST(RandomFunction, FollowsTheGeneratorOfTheRuntime) {
  Randomize(12345);
  TParamCollection vars;
  TOrbaParser p;
  CompileExpression("Random(1000)", p);
  p.Execute(vars);
  uint32_t seed = 12345u * 134775813u + 1u;
  EXPECT_EQ(p.Result()->AsInt(), static_cast<int32_t>((uint64_t{seed} * 1000u) >> 32));
}

}  // namespace
}  // namespace orba
