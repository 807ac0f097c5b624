#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "values/convert.h"
#include "values/paramcollection.h"
#include "values/params.h"

namespace orba {
namespace {

// The message of the error fn raises, converted to UTF-8 for readable failures; empty when
// nothing is raised.
std::string ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EOrbaError& e) {
    return ToUtf8(e.Message());
  }
  return {};
}

TEST(Values, ConversionTable) {
  using Set = std::function<void(TCustomParam&)>;
  struct Case {
    const char* label;
    uint8_t type;
    Set set;
    int32_t i;
    double x;
    bool b;
    std::string s;
  } cases[] = {
      {"new integer", PT_INT, [](TCustomParam&) {}, 0, 0.0, false, "0"},
      {"new float", PT_FLOAT, [](TCustomParam&) {}, 0, 0.0, false, "0"},
      {"new flag", PT_BOOL, [](TCustomParam&) {}, 0, 0.0, false, "FALSE"},
      {"new string", PT_STR, [](TCustomParam&) {}, 0, 0.0, false, ""},
      {"int -5", PT_INT, [](TCustomParam& p) { p.SetInt(-5); }, -5, -5.0, true, "-5"},
      {"int from 2.9", PT_INT, [](TCustomParam& p) { p.SetFloat(2.9); }, 2, 2.0, true, "2"},
      {"int from -2.9", PT_INT, [](TCustomParam& p) { p.SetFloat(-2.9); }, -2, -2.0, true, "-2"},
      {"int keeps low 32 bits", PT_INT, [](TCustomParam& p) { p.SetFloat(4294967298.5); }, 2, 2.0, true, "2"},
      {"int from 2^31", PT_INT, [](TCustomParam& p) { p.SetFloat(2147483648.0); }, INT32_MIN, -2147483648.0, true, "-2147483648"},
      {"int from 2^40 + 7", PT_INT, [](TCustomParam& p) { p.SetFloat(1099511627783.0); }, 7, 7.0, true, "7"},
      {"int from NaN", PT_INT, [](TCustomParam& p) { p.SetFloat(std::nan("")); }, 0, 0.0, false, "0"},
      {"int from flag", PT_INT, [](TCustomParam& p) { p.SetFlag(true); }, 1, 1.0, true, "1"},
      {"int from $FF", PT_INT, [](TCustomParam& p) { p.SetString("$FF"); }, 255, 255.0, true, "255"},
      {"int from $FFFFFFFF", PT_INT, [](TCustomParam& p) { p.SetString("$FFFFFFFF"); }, -1, -1.0, true, "-1"},
      {"int from $1FFFFFFFF", PT_INT, [](TCustomParam& p) { p.SetString("$1FFFFFFFF"); }, 0, 0.0, false, "0"},
      {"int from -2147483648", PT_INT, [](TCustomParam& p) { p.SetString("-2147483648"); }, INT32_MIN, -2147483648.0, true, "-2147483648"},
      {"int from 2147483648", PT_INT, [](TCustomParam& p) { p.SetString("2147483648"); }, 0, 0.0, false, "0"},
      {"int from 12abc", PT_INT, [](TCustomParam& p) { p.SetString("12abc"); }, 0, 0.0, false, "0"},
      {"int from 2.5 text", PT_INT, [](TCustomParam& p) { p.SetString("2.5"); }, 0, 0.0, false, "0"},
      {"float 2.5", PT_FLOAT, [](TCustomParam& p) { p.SetFloat(2.5); }, 2, 2.5, true, "2.5"},
      {"float from int", PT_FLOAT, [](TCustomParam& p) { p.SetInt(3); }, 3, 3.0, true, "3"},
      {"float 1e20", PT_FLOAT, [](TCustomParam& p) { p.SetFloat(1e20); }, FloatToInt(1e20), 1e20, true, "1E20"},
      {"float 1e-5", PT_FLOAT, [](TCustomParam& p) { p.SetFloat(1e-5); }, 0, 1e-5, true, "1E-5"},
      {"float 1/3", PT_FLOAT, [](TCustomParam& p) { p.SetFloat(1.0 / 3); }, 0, 1.0 / 3, true, "0.333333333333333"},
      {"float from 1e3 text", PT_FLOAT, [](TCustomParam& p) { p.SetString(" 1e3 "); }, 1000, 1000.0, true, "1000"},
      {"float from inf text", PT_FLOAT, [](TCustomParam& p) { p.SetString("inf"); }, 0, 0.0, false, "0"},
      {"float from 0x10 text", PT_FLOAT, [](TCustomParam& p) { p.SetString("0x10"); }, 0, 0.0, false, "0"},
      {"flag from TRUE", PT_BOOL, [](TCustomParam& p) { p.SetString("TRUE"); }, 1, 1.0, true, "TRUE"},
      {"flag from True", PT_BOOL, [](TCustomParam& p) { p.SetString("True"); }, 0, 0.0, false, "FALSE"},
      {"flag from true", PT_BOOL, [](TCustomParam& p) { p.SetString("true"); }, 0, 0.0, false, "FALSE"},
      {"flag from 1 text", PT_BOOL, [](TCustomParam& p) { p.SetString("1"); }, 0, 0.0, false, "FALSE"},
      {"flag from 5", PT_BOOL, [](TCustomParam& p) { p.SetInt(5); }, 1, 1.0, true, "TRUE"},
      {"flag from 0.0", PT_BOOL, [](TCustomParam& p) { p.SetFloat(0.0); }, 0, 0.0, false, "FALSE"},
      {"string from 2.5", PT_STR, [](TCustomParam& p) { p.SetFloat(2.5); }, 0, 2.5, false, "2.5"},
      {"string from flag", PT_STR, [](TCustomParam& p) { p.SetFlag(true); }, 0, 0.0, true, "TRUE"},
      {"string from -7", PT_STR, [](TCustomParam& p) { p.SetInt(-7); }, -7, -7.0, false, "-7"},
  };
  for (const auto& c : cases) {
    auto p = CreateParam(c.type);
    c.set(*p);
    EXPECT_EQ(p->AsInt(), c.i) << c.label;
    EXPECT_EQ(p->AsFloat(), c.x) << c.label;
    EXPECT_EQ(p->AsFlag(), c.b) << c.label;
    EXPECT_EQ(p->AsString(), c.s) << c.label;
    EXPECT_EQ(p->ValueType(), c.type) << c.label;
  }
  EXPECT_EQ(CreateParam(5), nullptr);
  EXPECT_EQ(CreateParam(0x81)->ValueType(), PT_INT) << "only the low 7 bits count";
}

TEST(Values, ArrayShapeAndElements) {
  TParamCollection vars;
  auto* map = vars.AddVariable(PT_INT, "map");
  TCustomParam& p = *map->Param();
  const int32_t shape[] = {3, 4};
  p.SetDims(shape);
  EXPECT_EQ(p.Count(), 12);
  EXPECT_EQ(p.DimCount(), 2);
  EXPECT_EQ(p.DimSize(1), 4);
  EXPECT_EQ(p.DimSize(2), 1);
  p.SetItemInt(11, 7);

  struct Bind { std::vector<int32_t> at; int32_t flat; std::string error; } binds[] = {
      {{2, 3}, 11, ""},
      {{1, 5}, 9, ""},  // a single index beyond its dimension is accepted
      {{3, 0}, 0, "map[3,0]\r\n要素数を超えています"},
      {{1}, 0, "map[1]\r\n添え字が不正です"},
      {{0, -1}, -1, ""},  // negative flat index: caught by the access that follows
  };
  for (const auto& b : binds) {
    TParamVar ref(&vars);
    std::string err = ErrorOf([&] { ref.BindElement(*map, b.at); });
    EXPECT_EQ(err, b.error);
    if (err.empty()) {
      EXPECT_EQ(ref.ElementIndex(), b.flat);
    }
  }
  TParamVar last(&vars);
  const int32_t at23[] = {2, 3};
  last.BindElement(*map, at23);
  EXPECT_EQ(last.AsInt(), 7);
  TParamVar negative(&vars);
  const int32_t atNeg[] = {0, -1};
  negative.BindElement(*map, atNeg);
  EXPECT_EQ(ErrorOf([&] { negative.AsInt(); }), "配列の添字が不正です");

  // A bad or oversized shape raises before anything changes.
  const int32_t bad[] = {3, 0};
  EXPECT_EQ(ErrorOf([&] { p.SetDims(bad); }), "配列の要素数[3,0]が不正です");
  const int32_t huge[] = {65536, 65536, 65536};
  EXPECT_EQ(ErrorOf([&] { p.SetDims(huge); }), "配列の要素数[65536,65536,65536]が不正です");
  EXPECT_EQ(p.Count(), 12);
  EXPECT_EQ(ErrorOf([&] { p.ItemInt(12); }), "配列の添字が不正です");

  // Reading an array as a scalar gives element 0; assigning a scalar leaves one element.
  p.SetItemInt(0, 42);
  EXPECT_EQ(p.AsString(), "42");
  p.SetInt(5);
  EXPECT_EQ(p.Count(), 1);
  EXPECT_EQ(p.DimCount(), 1);
  EXPECT_EQ(p.AsInt(), 5);
}

TEST(Values, ConvertCopyAndSearch) {
  TParamStr src;
  const int32_t shape[] = {2, 2};
  src.SetDims(shape);
  std::string kanji = Sjis(u8"表示");
  src.SetItemString(0, "10");
  src.SetItemString(1, "Apple pie");
  src.SetItemString(2, kanji);
  src.SetItemString(3, "TRUE");

  TParamInt ints;
  ints.ConvertFrom(src);
  EXPECT_EQ(ints.Dims(), (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(ints.Items(), (std::vector<int32_t>{10, 0, 0, 0}));
  TParamFlag flags;
  flags.ConvertFrom(src);
  EXPECT_EQ(flags.Items(), (std::vector<uint8_t>{0, 0, 0, 1}));

  EXPECT_EQ(ErrorOf([&] { ints.CopyFrom(src); }), "CopyMem:変数の型があいません");
  TParamStr copy;
  copy.CopyFrom(src);
  EXPECT_EQ(copy.Items(), src.Items());

  struct Search { std::string text; bool caseSensitive, partial; int32_t index; } searches[] = {
      {"apple pie", false, false, 1}, {"apple pie", true, false, -1}, {"Apple pie", true, false, 1},
      {"PIE", false, true, 1}, {"PIE", true, true, -1}, {"0", true, true, 0},
      {"\x5C", true, true, -1},  // the second byte of a kanji is not a backslash
      {Sjis(u8"示"), true, true, 2}, {"true", false, false, 3}, {"nothing", false, true, -1},
  };
  for (const auto& s : searches)
    EXPECT_EQ(src.IndexOfValue(s.text, s.caseSensitive, s.partial), s.index) << ToUtf8(s.text);
}

TEST(Variables, InvalidNamesAreNeverAdded) {
  TParamCollection vars;
  const int32_t before = vars.Count();
  for (std::string name : {std::string(), std::string("a b"), std::string("9lives"), std::string(" x")}) {
    EXPECT_EQ(ErrorOf([&] { vars.AddVariable(PT_INT, name); }), "\"" + name + "\"：変数名が不正です");
  }
  EXPECT_EQ(vars.Count(), before);
  EXPECT_EQ(ErrorOf([&] { vars.AddVariable(9, "x"); }), "内部エラー");
  EXPECT_EQ(vars.Count(), before);

  auto* v = vars.AddVariable(PT_STR, "name");
  EXPECT_EQ(ErrorOf([&] { v->SetName("1st"); }), "\"1st\"：変数名が不正です");
  EXPECT_EQ(v->Name(), "name");
  EXPECT_NE(vars.AddVariable(PT_STR, Sjis(u8"名前")), nullptr);
}

TEST(Variables, ScopesDecideWhichOfEqualNamesIsSeen) {
  TParamCollection vars;
  auto* first = vars.AddVariable(PT_INT, "n");
  first->SetInt(1);
  auto* second = vars.AddVariable(PT_INT, "N");
  second->SetInt(2);
  EXPECT_EQ(vars.FindVariable("n"), first) << "two globals: the first created";

  vars.CurrentLevel = 1;
  auto* local = vars.AddVariable(PT_INT, "n");
  vars.SetScope(*local, SC_LOCAL);
  local->SetInt(3);
  auto* autoVar = vars.AddVariable(PT_INT, "temp");
  vars.SetScope(*autoVar, SC_AUTO);
  EXPECT_EQ(vars.FindVariable("n"), local);
  EXPECT_EQ(vars.FindInScope("n", true), local);
  EXPECT_EQ(vars.FindInScope("n", false), second) << "the first of the chain that is not local";

  vars.CurrentLevel = 2;  // a deeper call: the caller's local is invisible
  EXPECT_EQ(vars.FindVariable("n"), first);
  EXPECT_EQ(vars.FindInScope("n", true), nullptr);
  EXPECT_EQ(vars.FindVariable("temp"), autoVar) << "automatic variables are seen everywhere";

  vars.CurrentLevel = 1;
  vars.FreeLevel(1);
  vars.CurrentLevel = 0;
  EXPECT_EQ(vars.FindVariable("n"), first);
  EXPECT_EQ(vars.FindVariable("temp"), nullptr);
  EXPECT_EQ(vars.Count(), TParamCollection::kSystemCount + 2);
}

TEST(Variables, ReferencesFollowTheirTargetAndEndLoops) {
  TParamCollection vars;
  auto* arr = vars.AddVariable(PT_STR, "arr");
  const int32_t three[] = {3};
  arr->Param()->SetDims(three);
  arr->Param()->SetItemString(2, "two");

  auto* elem = vars.AddVariable(PT_NONE, "elem");
  auto& elemRef = static_cast<TParamVar&>(*elem->Param());
  const int32_t at2[] = {2};
  elemRef.BindElement(*arr, at2);
  EXPECT_EQ(elemRef.AsString(), "two");
  EXPECT_EQ(elemRef.ValueType(), PT_STR);
  EXPECT_EQ(elemRef.Count(), 3) << "element operations act on the whole target";

  // A reference to an element reference addresses the same element.
  TParamVar viaRef(&vars);
  viaRef.SetTargetName("ELEM");
  viaRef.Resolve();
  EXPECT_EQ(viaRef.ElementIndex(), 2);
  viaRef.SetString("changed");
  EXPECT_EQ(arr->Param()->ItemString(2), "changed");

  TParamVar missing(&vars);
  missing.SetTargetName("nowhere");
  EXPECT_EQ(ErrorOf([&] { missing.Resolve(); }), "\"nowhere\" 変数がありません");
  EXPECT_EQ(missing.Count(), 0);
  missing.SetInt(5);  // ignored
  EXPECT_EQ(missing.AsString(), "");
  EXPECT_EQ(missing.IndexOfValue("", true, true), -1);

  // Freeing the target leaves the reference unresolved instead of dangling.
  vars.Delete(arr->Index());
  EXPECT_EQ(elemRef.Target(), nullptr);
  EXPECT_EQ(elemRef.AsString(), "");

  // A reference to itself raises instead of recursing.
  auto* self = vars.AddVariable(PT_NONE, "self");
  auto& selfRef = static_cast<TParamVar&>(*self->Param());
  selfRef.SetTargetName("self");
  selfRef.Resolve();
  EXPECT_EQ(ErrorOf([&] { selfRef.AsInt(); }), "\"self\" 変数の参照が循環しています");

  vars.AddVariable(PT_NONE, "unbound");
  EXPECT_EQ(ErrorOf([&] { vars.CopyValue("unbound"); }), "unbound:不正な変数です");
  EXPECT_EQ(vars.CopyValue("nobody"), nullptr);
}

}  // namespace
}  // namespace orba
