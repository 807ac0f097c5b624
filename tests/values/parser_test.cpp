#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "values/convert.h"
#include "values/paramcollection.h"
#include "values/parser.h"

namespace orba {
namespace {

std::string U8(const char8_t* s) { return Sjis(s); }

// "target=ocName(operand,...)" for each operation, joined by "; ", in UTF-8.
std::string Render(const std::vector<TBuildOpeData>& ops) {
  std::string out;
  for (const auto& op : ops) {
    if (!out.empty()) out += "; ";
    out += ToUtf8(op.Target) + "=" + OpeCodeName(op.OpCode) + "(";
    for (size_t k = 0; k < op.Operands.size(); ++k) out += (k ? "," : "") + ToUtf8(op.Operands[k]);
    out += ")";
  }
  return out;
}

std::string CompileError(const std::string& text) {
  try {
    TBuildOrbaParser b;
    b.Parse(text);
    TKvMemoryStream s;
    b.WriteOps(s);
  } catch (const EOrbaError& e) {
    return ToUtf8(e.Message());
  }
  return {};
}

struct Outcome {
  bool has = false;
  uint8_t type = PT_NONE;
  std::string text;   // UTF-8
  std::string error;  // UTF-8, the error that ended the evaluation
};

Outcome Evaluate(TOrbaParser& p, TParamCollection& vars) {
  p.Execute(vars);
  Outcome o;
  o.error = ToUtf8(p.LastError());
  if (const TCustomParam* r = p.Result()) {
    o.has = true;
    o.type = r->ValueType();
    o.text = ToUtf8(r->AsString());
  }
  return o;
}

Outcome Eval(TParamCollection& vars, const std::string& text) {
  TOrbaParser p;
  CompileExpression(text, p);
  return Evaluate(p, vars);
}

// Little-endian builder for stored lists written by hand.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& U8(uint8_t v) { b.push_back(v); return *this; }
  Bytes& I32(int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
    return *this;
  }
  Bytes& Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& Raw(std::initializer_list<uint8_t> raw) { b.insert(b.end(), raw); return *this; }
};

class Expressions : public ::testing::Test {
 protected:
  void SetUp() override {
    Int("a", 1);
    Int("b", 2);
    Int("i", 1);
    Int("zero", 0);
    Int("m", INT32_MIN);
    Int("n", 4);
    Int("x", 0);
    Float("f", 0.0);
    Float("nan", std::nan(""));
    Float("huge", 1e300);
    Str("s", "x");
    Str("t", "1");
    Str("u", "1");
    Str("str", "");
    auto* arr = vars.AddVariable(PT_INT, "arr");
    const int32_t dims[] = {3, 4};
    arr->Param()->SetDims(dims);
    for (int k = 0; k < 12; ++k) arr->Param()->SetItemInt(k, k * 10);
  }
  void Int(const char* name, int32_t v) { vars.AddVariable(PT_INT, name)->Param()->SetInt(v); }
  void Float(const char* name, double v) { vars.AddVariable(PT_FLOAT, name)->Param()->SetFloat(v); }
  void Str(const std::string& name, const std::string& v) { vars.AddVariable(PT_STR, name)->Param()->SetString(v); }
  TCustomParam& Var(const std::string& name) { return *vars.FindVariable(name)->Param(); }
  bool AnyTemporary() const {
    for (int32_t k = 0; k < vars.Count(); ++k)
      if (IsTempName(vars.Variable(k)->Name())) return true;
    return false;
  }

  TParamCollection vars;
};

TEST(Compile, OperationListsOfTexts) {
  struct Case {
    const char8_t* text;
    const char* ops;
  } cases[] = {
      {u8"x = (a + 1) * 2", "____1=ocPlus(a,1); ____2=ocMul(____1,2); x=ocTo(____2)"},
      {u8"a[i] > 3", "____d_0=ocDimTo(a,i); ____1=ocBig(____d_0,3); ____arg=ocTo(____1)"},
      {u8"x = -5", "____0=ocMinus(0,5); x=ocTo(____0)"},
      {u8"a - -b", "____0=ocMinus(0,b); ____1=ocMinus(a,____0); ____arg=ocTo(____1)"},
      {u8"-a * 2", "____0=ocMul(a,2); ____1=ocMinus(0,____0); ____arg=ocTo(____1)"},
      {u8"a * +b", "____0=ocMul(a,b); ____arg=ocTo(____0)"},
      {u8"8 - 3 - 2", "____0=ocMinus(8,3); ____1=ocMinus(____0,2); ____arg=ocTo(____1)"},
      {u8"a == 1 & b == 2", "____0=ocEqual(a,1); ____1=ocEqual(b,2); ____2=ocAnd(____0,____1); ____arg=ocTo(____2)"},
      {u8"s ++ t == u", "____0=ocEqual(t,u); ____1=ocComboStr(s,____0); ____arg=ocTo(____1)"},
      {u8"a | b ^ c & d", "____0=ocAnd(c,d); ____1=ocXor(b,____0); ____2=ocOr(a,____1); ____arg=ocTo(____2)"},
      {u8"a << 1 + 2 <> b >= c", "____0=ocPlus(1,2); ____1=ocShiftL(a,____0); ____2=ocNEqual(____1,b); ____3=ocEBig(____2,c); ____arg=ocTo(____3)"},
      // A group of a plain name stays a copy; merging joins temporaries only.
      {u8"f((a)+(b))", "____2=ocTo(b); ____3=ocTo(a); ____4=ocPlus(____3,____2); ____0=ocFunc(f,____4); ____arg=ocTo(____0)"},
      {u8"f(((a)+(b)))", "____2=ocTo(b); ____3=ocTo(a); ____4=ocPlus(____3,____2); ____0=ocFunc(f,____4); ____arg=ocTo(____0)"},
      {u8"f(a[1,2], b)", "____d_2=ocDimTo(a,1,2); ____1=ocTo(____d_2); ____0=ocFunc(f,____1,b); ____arg=ocTo(____0)"},
      {u8"f(g(1, 2), )", "____0=ocFunc(g,1,2); ____1=ocFunc(f,____0,); ____arg=ocTo(____1)"},
      {u8"f()", "____0=ocFunc(f); ____arg=ocTo(____0)"},
      {u8"x (a)", "____0=ocFunc(x,a); ____arg=ocTo(____0)"},
      {u8"a[b[1]]", "____d_0=ocDimTo(b,1); ____d_1=ocDimTo(a,____d_0); ____arg=ocTo(____d_1)"},
      {u8"1E-5", "____0=ocMinus(1E,5); ____arg=ocTo(____0)"},
      {u8"\"a\\\"b\"", "____0=ocTo(\"a\"b\"); ____arg=ocTo(____0)"},
      {u8"\"a\\\\\" ++ \"\\n\"", "____0=ocTo(\"a\\\"); ____1=ocTo(\"\r\n\"); ____2=ocComboStr(____0,____1); ____arg=ocTo(____2)"},
      {u8"\"1+2\"", "____0=ocTo(\"1+2\"); ____arg=ocTo(____0)"},
      {u8"", "____arg=ocTo()"},
      // Second bytes \ [ ] ^ | of double-byte characters never act as syntax.
      {u8"ソ十 = ーゼ + ゾ", "____0=ocPlus(ーゼ,ゾ); ソ十=ocTo(____0)"},
      {u8"タ ++ ポ", "____0=ocComboStr(タ,ポ); ____arg=ocTo(____0)"},
      {u8"\"ソ\" ++ 表[1]", "____0=ocTo(\"ソ\"); ____d_1=ocDimTo(表,1); ____2=ocComboStr(____0,____d_1); ____arg=ocTo(____2)"},
  };
  for (const auto& c : cases) {
    TBuildOrbaParser b;
    b.Parse(U8(c.text));
    EXPECT_EQ(Render(b.Ops()), c.ops) << ToUtf8(U8(c.text));
  }
}

TEST(Compile, Errors) {
  struct Case {
    const char8_t* text;
    const char8_t* message;
  } cases[] = {
      {u8"a = b = c", u8"構文エラー"},
      {u8"(a", u8"構文エラー"},
      {u8"a)", u8"構文エラー"},
      {u8"f(a))(", u8"構文エラー"},
      {u8"a[1", u8"構文エラー"},
      {u8"a]1[", u8"構文エラー"},
      {u8"+[1]", u8"構文エラー"},
      {u8"* a", u8"構文エラー"},
      {u8"a +", u8"構文エラー"},
      {u8"x =", u8"構文エラー"},
      {u8"= 1", u8"構文エラー"},
      {u8"a * * b", u8"構文エラー"},
      {u8"a[]", u8"配列の添え字が不正です"},
      {u8"inttostr(5)", u8"\"inttostr\" 関数名がありません"},
      {u8"IntToStr()", u8"IntToStr 引数の数が不正です"},
      {u8"IntToStr(1, 2, 3)", u8"IntToStr 引数の数が不正です"},
      {u8"x = Copy(s)", u8"Copy 引数の数が不正です"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompileError(U8(c.text)), ToUtf8(U8(c.message))) << ToUtf8(U8(c.text));
  // The function table's variable argument counts.
  EXPECT_EQ(CompileError("SetArray(a, 1, 2, 3, 4, 5)"), "");
  EXPECT_EQ(CompileError("DBInsert()"), "");
}

TEST(Compile, StoredBytes) {
  TBuildOrbaParser b;
  b.Parse("x = IntToStr(1.5, $FF) ++ \"s\" ++ TRUE ++ y");
  TKvMemoryStream out;
  b.WriteOps(out);
  // 1.5 as a 10-byte extended float: mantissa 0xC000000000000000, exponent 0x3FFF.
  const std::initializer_list<uint8_t> onePointFive = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F};
  Bytes want;
  want.I32(6);
  want.U8(ocTo).Str("____0").I32(1).U8(4).Str("s");
  want.U8(ocFunc).Str("____1").I32(2).U8(0).U8(2).Raw(onePointFive).U8(1).I32(255);
  want.U8(ocComboStr).Str("____2").I32(2).U8(0).Str("____1").U8(0).Str("____0");
  want.U8(ocComboStr).Str("____3").I32(2).U8(0).Str("____2").U8(3).U8(1);
  want.U8(ocComboStr).Str("____4").I32(2).U8(0).Str("____3").U8(0).Str("y");
  want.U8(ocTo).Str("x").I32(1).U8(0).Str("____4");
  EXPECT_EQ(out.Bytes(), want.b);
}

TEST(Compile, OperandClassification) {
  struct Case {
    const char* text;
    std::vector<uint8_t> stored;  // tag and value
  } cases[] = {
      {"12", {1, 12, 0, 0, 0}},
      {"007", {1, 7, 0, 0, 0}},
      {"$FF", {1, 0xFF, 0, 0, 0}},
      {"$FFFFFFFF", {1, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"2147483648", {2, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x1E, 0x40}},  // beyond 32 bits: a float
      {"2E3", {2, 0, 0, 0, 0, 0, 0, 0, 0xFA, 0x09, 0x40}},
      {"TRUE", {3, 1}},
      {"FALSE", {3, 0}},
      {"True", {0, 4, 0, 0, 0, 'T', 'r', 'u', 'e'}},
      {"$1FFFFFFFF", {0, 10, 0, 0, 0, '$', '1', 'F', 'F', 'F', 'F', 'F', 'F', 'F', 'F'}},
      {"1E", {0, 2, 0, 0, 0, '1', 'E'}},
  };
  for (const auto& c : cases) {
    TBuildOrbaParser b;
    b.Parse(std::string("x = ") + c.text);
    TKvMemoryStream out;
    b.WriteOps(out);
    // count, op code, target "x", operand count: 14 bytes before the operand.
    std::vector<uint8_t> operand(out.Bytes().begin() + 14, out.Bytes().end());
    EXPECT_EQ(operand, c.stored) << c.text;
  }
}

TEST_F(Expressions, Values) {
  struct Case {
    const char8_t* text;
    uint8_t type;
    const char8_t* value;
  } cases[] = {
      {u8"1 + 2 * 3", PT_INT, u8"7"},
      {u8"(1 + 2) * 3", PT_INT, u8"9"},
      {u8"8 - 3 - 2", PT_INT, u8"3"},
      {u8"1 + 2.5", PT_INT, u8"3"},
      {u8"2.5 + 1", PT_FLOAT, u8"3.5"},
      {u8"\"12\" + \"3\"", PT_STR, u8"15"},
      {u8"-2.5", PT_INT, u8"-2"},
      {u8"7 / 2", PT_INT, u8"3"},
      {u8"-7 / 2", PT_INT, u8"-3"},
      {u8"-7 % 2", PT_INT, u8"-1"},
      {u8"7.0 / 2", PT_FLOAT, u8"3.5"},
      {u8"2147483647 + 1", PT_INT, u8"-2147483648"},
      {u8"m / -1", PT_INT, u8"-2147483648"},
      {u8"m % -1", PT_INT, u8"0"},
      {u8"m * -1", PT_INT, u8"-2147483648"},
      {u8"1 << 33", PT_INT, u8"2"},
      {u8"-1 >> 28", PT_INT, u8"15"},
      {u8"1 << -1", PT_INT, u8"-2147483648"},
      {u8"6 & 3 | 8 ^ 1", PT_INT, u8"11"},
      {u8"a == 1 & b == 2", PT_INT, u8"1"},
      {u8"s ++ t == u", PT_STR, u8"xTRUE"},
      {u8"\"b\" > \"a\"", PT_BOOL, u8"TRUE"},
      {u8"\"B\" < \"a\"", PT_BOOL, u8"TRUE"},
      {u8"\"ab\" <> \"ab\"", PT_BOOL, u8"FALSE"},
      {u8"\"10\" < 9", PT_BOOL, u8"TRUE"},
      {u8"10 < \"9\"", PT_BOOL, u8"FALSE"},
      {u8"2.5 > 2", PT_BOOL, u8"TRUE"},
      {u8"TRUE > FALSE", PT_BOOL, u8"TRUE"},
      {u8"nan + 1", PT_FLOAT, u8"NAN"},
      {u8"x = nan", PT_NONE, nullptr},
      {u8"\"a\\\"b\"", PT_STR, u8"a\"b"},
      {u8"\"ソ\" ++ \"表\"", PT_STR, u8"ソ表"},
      {u8"arr[1, 2]", PT_INT, u8"60"},
      {u8"arr[i + 1, 3] + arr[0, 0]", PT_INT, u8"110"},
      {u8"arr[0, 5]", PT_INT, u8"50"},
      {u8"$10 + 1", PT_INT, u8"17"},
      {u8"2E3 + 0.5", PT_FLOAT, u8"2000.5"},
  };
  for (const auto& c : cases) {
    Outcome o = Eval(vars, U8(c.text));
    const std::string label = ToUtf8(U8(c.text));
    EXPECT_EQ(o.error, "") << label;
    EXPECT_EQ(o.has, c.value != nullptr) << label;
    if (!c.value) continue;
    EXPECT_EQ(o.type, c.type) << label;
    EXPECT_EQ(o.text, ToUtf8(U8(c.value))) << label;
  }
  EXPECT_FALSE(AnyTemporary());
}

TEST_F(Expressions, FailuresEndTheEvaluationSilently) {
  struct Case {
    const char8_t* text;
    const char8_t* error;
  } cases[] = {
      {u8"zz + 1", u8"\"zz\" 変数がありません"},
      {u8"zz = 1", u8"\"zz\" 変数がありません"},
      {u8"1 / zero", u8"0 で除算しました"},
      {u8"1 % zero", u8"0 で除算しました"},
      {u8"1.5 / zero", u8"0 で除算しました"},
      {u8"arr[2, 4]", u8"arr[2,4]\r\n要素数を超えています"},
      {u8"arr[1]", u8"arr[1]\r\n添え字が不正です"},
      {u8"arr[-1, 0]", u8"配列の添字が不正です"},
      {u8"1E-5", u8"\"1E\" 変数がありません"},
  };
  for (const auto& c : cases) {
    Outcome o = Eval(vars, U8(c.text));
    EXPECT_FALSE(o.has) << ToUtf8(U8(c.text));
    EXPECT_EQ(o.error, ToUtf8(U8(c.error))) << ToUtf8(U8(c.text));
  }
  // Operations before the failure have run; the rest have not.
  Eval(vars, "x = 5 + (zz * 0)");
  EXPECT_EQ(Var("x").AsInt(), 0);
  EXPECT_FALSE(AnyTemporary());
}

TEST_F(Expressions, AssignmentsConvertToTheTargetsType) {
  Eval(vars, "f = 7 / 2");  // the integer temporary divides, not the float target
  EXPECT_EQ(Var("f").AsFloat(), 3.0);
  Eval(vars, "x = 2.9 * 2");  // 2.9 * 2 into a float temporary, then truncated into x
  EXPECT_EQ(Var("x").AsInt(), 5);
  Eval(vars, "x = huge");  // out of range: the low 32 bits of the truncated value
  EXPECT_EQ(Var("x").AsInt(), FloatToInt(1e300));
  Eval(vars, "str = 1 == 1");
  EXPECT_EQ(Var("str").AsString(), "TRUE");
  Eval(vars, "str = 2.5 * 2");
  EXPECT_EQ(Var("str").AsString(), "5");
  vars.AddVariable(PT_BOOL, "flag");
  Eval(vars, "flag = 0.5 + 0");  // a float temporary of 0.5 is true
  EXPECT_TRUE(Var("flag").AsFlag());
  Eval(vars, "flag = 1 - 1");
  EXPECT_FALSE(Var("flag").AsFlag());
  // Through a reference the value lands in the variable referred to.
  auto& ref = static_cast<TParamVar&>(*vars.AddVariable(PT_NONE, "ref")->Param());
  ref.SetTargetName("x");
  ref.Resolve();
  Eval(vars, "ref = 2 * 3");
  EXPECT_EQ(Var("x").AsInt(), 6);
  Eval(vars, "arr[2, 3] = n * 10");
  EXPECT_EQ(Var("arr").ItemInt(11), 40);
  EXPECT_EQ(Var("arr").Count(), 12);
}

TEST(StoredLists, NamesFollowTheVariablesAsTheyChange) {
  // A list keeps what its names found last time; every change of the variables must show.
  TParamCollection vars;
  vars.AddVariable(PT_INT, "a")->Param()->SetInt(1);
  TOrbaParser p;
  CompileExpression("a * 10", p);
  auto value = [&] {
    p.Execute(vars);
    return p.Result() ? p.Result()->AsString() : std::string("(none)");
  };
  EXPECT_EQ(value(), "10");
  auto* local = vars.AddVariable(PT_INT, "A");
  local->Param()->SetInt(2);
  vars.CurrentLevel = 1;
  vars.SetScope(*local, SC_LOCAL);
  EXPECT_EQ(value(), "20");  // a local of the current call hides the global
  vars.CurrentLevel = 2;
  EXPECT_EQ(value(), "10");  // a caller's local is invisible
  vars.CurrentLevel = 1;
  vars.FreeLevel(1);
  EXPECT_EQ(value(), "10");
  vars.Delete(vars.IndexOf("a"));
  EXPECT_EQ(value(), "(none)");
  vars.AddVariable(PT_FLOAT, "a")->Param()->SetFloat(0.5);
  EXPECT_EQ(value(), "5");
  vars.FindVariable("a")->SetName("b");
  EXPECT_EQ(value(), "(none)");
  // The same list against another collection finds that collection's variables.
  TParamCollection other;
  other.AddVariable(PT_INT, "a")->Param()->SetInt(7);
  p.Execute(other);
  EXPECT_EQ(p.Result()->AsString(), "70");
}

TEST_F(Expressions, StoredListWrittenByHand) {
  // f = 1.5 * n; ____arg = f, with n under an operand tag the reader does not know.
  Bytes in;
  in.I32(2);
  in.U8(ocMul).Str("f").I32(2).U8(2).Raw({0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}).U8(9).Str("n");
  in.U8(ocTo).Str("____arg").I32(1).U8(0).Str("f");
  TKvMemoryStream s(in.b);
  TOrbaParser p;
  p.ReadOps(s);
  ASSERT_EQ(p.Ops().size(), 2u);
  EXPECT_TRUE(p.Ops()[0].Operands[1].IsName);
  Outcome o = Evaluate(p, vars);
  EXPECT_EQ(o.text, "6");
  EXPECT_EQ(o.type, PT_FLOAT);

  // Written back, the unknown tag becomes a name (tag 0); everything else is as read.
  TKvMemoryStream out;
  p.WriteOps(out);
  in.b[4 + 1 + 4 + 1 + 4 + 1 + 10] = 0;
  EXPECT_EQ(out.Bytes(), in.b);
}

TEST_F(Expressions, InvalidOperationCode) {
  Bytes in;
  in.I32(1).U8(64).Str("t").I32(2).U8(1).I32(5).U8(0).Str("s");
  TKvMemoryStream s(in.b);
  TOrbaParser p;
  p.ReadOps(s);
  Outcome o = Evaluate(p, vars);
  EXPECT_FALSE(o.has);
  EXPECT_EQ(o.error, ToUtf8(U8(u8"不正な式\r\n\r\n代入先:t演算タイプ:64\r\n5\r\nx")));
}

TEST(StoredLists, TruncatedOrHostileDataRaisesAndLeavesTheListEmpty) {
  std::vector<std::vector<uint8_t>> inputs = {
      Bytes().I32(1).b,                                     // no operation
      Bytes().I32(0x7FFFFFFF).U8(1).Str("x").I32(0).b,      // count beyond the data
      Bytes().I32(1).U8(1).I32(-5).b,                       // negative target length
      Bytes().I32(1).U8(1).Str("x").I32(1000).U8(1).I32(1).b,  // operand count beyond the data
      Bytes().I32(1).U8(1).Str("x").I32(1).U8(2).Raw({0, 0, 0}).b,  // short float
      Bytes().I32(1).U8(ocFunc).Str("x").I32(0).b,          // function number missing
  };
  for (size_t k = 0; k < inputs.size(); ++k) {
    TOrbaParser p;
    TKvMemoryStream good(Bytes().I32(1).U8(1).Str("x").I32(1).U8(1).I32(1).b);
    p.ReadOps(good);
    TKvMemoryStream s(inputs[k]);
    EXPECT_THROW(p.ReadOps(s), EReadError) << k;
    EXPECT_TRUE(p.Ops().empty()) << k;
  }
}

TEST_F(Expressions, RoundTripThroughWriteOpsAndReadOps) {
  const char8_t* texts[] = {u8"x = (a + 1) * 2", u8"IntToStr(arr[1, 2], 5) ++ \"表\\\\\"",
                            u8"f = 1.25 * -a + $7FFFFFFF", u8"TRUE <> FALSE", u8"StringOfChar(\"ab\", 3)"};
  for (const char8_t* text : texts) {
    TBuildOrbaParser b;
    b.Parse(U8(text));
    TKvMemoryStream first;
    b.WriteOps(first);
    first.SetPosition(0);
    TOrbaParser p;
    p.ReadOps(first);
    TKvMemoryStream second;
    p.WriteOps(second);
    EXPECT_EQ(second.Bytes(), first.Bytes()) << ToUtf8(U8(text));

    // A copy evaluates like the original, and running does not change the stored list.
    TOrbaParser copy;
    copy.AssignOps(p);
    Outcome a = Evaluate(p, vars), c = Evaluate(copy, vars);
    EXPECT_EQ(a.text, c.text) << ToUtf8(U8(text));
    EXPECT_EQ(a.error, "") << ToUtf8(U8(text));
    TKvMemoryStream third;
    copy.WriteOps(third);
    EXPECT_EQ(third.Bytes(), first.Bytes()) << ToUtf8(U8(text));
  }
}

TEST(NestedEvaluation, KeepsTheTemporariesOfTheOuterOne) {
  // IntToStr(a+1) runs first and leaves "1" in a temporary; the expression Calc compiles
  // numbers its temporaries from 0 as well and must not write into the outer one.
  TParamCollection vars;
  vars.AddVariable(PT_STR, "x");
  vars.AddVariable(PT_STR, "s")->Param()->SetString("v = 7*6");
  vars.AddVariable(PT_INT, "a")->Param()->SetInt(0);
  vars.AddVariable(PT_INT, "v");
  Outcome o = Eval(vars, "x = Calc(s) ++ IntToStr(a+1)");
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(vars.FindVariable("x")->AsString(), "TRUE1");
  EXPECT_EQ(vars.FindVariable("v")->AsInt(), 42);
}

TEST_F(Expressions, TemporariesStartFreshInEveryEvaluation) {

  // The same list run many times gives the same value: temporaries start fresh each time.
  TOrbaParser p;
  CompileExpression("IntToStr(a) ++ Copy(s, 1, 2)", p);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Evaluate(p, vars).text, "1x");
  EXPECT_FALSE(AnyTemporary());
}

TEST_F(Expressions, CalcLimitsItsDepthAndReportsCompileErrors) {
  Str("self", "x = x + 1 + Calc(self)");
  Outcome o = Eval(vars, "Calc(self)");
  EXPECT_EQ(o.text, "TRUE");
  EXPECT_GT(Var("x").AsInt(), 0);
  EXPECT_LE(Var("x").AsInt(), kMaxEvaluationDepth);

  Str("bad", "a = = 1");
  o = Eval(vars, "Calc(bad)");
  EXPECT_FALSE(o.has);
  EXPECT_EQ(o.error, ToUtf8(U8(u8"構文エラー")));
  Str("missing", "zz + 1");
  EXPECT_EQ(Eval(vars, "Calc(missing)").text, "TRUE");
  EXPECT_EQ(Eval(vars, "Calc(\"  \") ++ \"\"").text, "");
}

// Float literals and arithmetic are 80-bit extended where the platform has the format: in
// it, 0.1 + 0.2 is 0.3 and 1.1 * 1.1 is 1.21 (in doubles neither holds).
TEST(ExtendedFloats, LiteralsAndArithmetic) {
  if (!kNativeExtended) GTEST_SKIP() << "floats are doubles on this platform";
  TParamCollection vars;
  for (const char* text : {"0.1 + 0.2 == 0.3", "1.1 * 1.1 == 1.21"})
    EXPECT_EQ(Eval(vars, text).text, "TRUE") << text;
}

// The command-line tool prints the stored list and the value; its output is what project
// authors read, so its form is checked here.
TEST(Tool, PrintsTheOperationListAndTheValue) {
  const std::string tool = std::string(ORBA_BINARY_DIR) + "/orbacalc";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "orbacalc is not built";
  auto run = [&](const std::string& args, int& status) {
    std::string out;
    FILE* p = popen((tool + " " + args + " 2>&1").c_str(), "r");
    char buf[256];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    status = p ? pclose(p) : -1;
    return out;
  };
  int status = 0;
  EXPECT_EQ(run("--var a=4 --var x=0 'x = (a + 1) * 2'", status),
            "ocPlus ____1 : a, 1\nocMul ____2 : ____1, 2\nocTo x : ____2\nx = 10\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run("--hex 'IntToStr(7, 3)'", status),
            "ocFunc ____0 IntToStr#0 : 7, 3\nocTo ____arg : ____0\n"
            "bytes: 02 00 00 00 0B 05 00 00 00 5F 5F 5F 5F 30 02 00 00 00 00 01 07 00 00 00 01 03 00 00 00 "
            "01 07 00 00 00 5F 5F 5F 5F 61 72 67 01 00 00 00 00 05 00 00 00 5F 5F 5F 5F 30\nvalue: \"007\"\n");
  EXPECT_EQ(run("'a = b = c'", status), "error: 構文エラー\n");
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace orba
