// The evaluator runs most operations on short paths (operands read in place, a result written
// straight into the variable that the next operation would copy it to). They must change
// exactly what the plain step changes: random lists over every value type are run both ways.
#include <gtest/gtest.h>

#include <random>

#include "base/cp932.h"
#include "support/random_ops.h"
#include "values/parser.h"

namespace orba {
namespace {

using namespace testing_support;

std::string Dump(const TOrbaParser& p) {
  std::string out;
  for (const TOpeData& op : p.Ops()) {
    out += OpeCodeName(op.OpCode) + " " + ToUtf8(op.Target) + " :";
    for (const TOperand& o : op.Operands)
      out += " " + (o.IsName ? static_cast<const TParamVar&>(*o.Value).TargetName() : "'" + ToUtf8(o.Value->AsString()) + "'");
    out += "\n";
  }
  return out;
}

TEST(ShortPaths, GiveWhatThePlainStepGives) {
  // Cases that differed: "12" + "2" is the text "14" in the string temporary, which as a
  // flag is FALSE; a copy through a temporary ("(i)") read a second operand it has not.
  struct Case { const char* text; const char* var; const char* value; } cases[] = {
      {"b = s + \"2\"", "b", "FALSE"},
      {"i = (i)", "i", "-7"},
      {"s = (s)", "s", "12"},
  };
  for (const auto& c : cases) {
    TParamCollection vars;
    AddDiffVariables(vars);
    TOrbaParser p;
    CompileExpression(c.text, p);
    p.Execute(vars);
    EXPECT_EQ(vars.FindVariable(c.var)->Param()->AsString(), c.value) << c.text;
  }

  std::mt19937 gen(13);
  for (int n = 0; n < 20000; ++n) {
    std::vector<uint8_t> choices(64);
    for (auto& byte : choices) byte = static_cast<uint8_t>(gen());
    TChoices c(choices);
    const std::vector<uint8_t> list = RandomOpList(c);
    auto [fast, plain] = ShortPathDifference(list);
    if (fast != plain) {
      TOrbaParser p;
      TKvMemoryStream s(list);
      p.ReadOps(s);
      FAIL() << "list " << n << ":\n" << Dump(p) << "short paths:\n" << fast << "plain step:\n" << plain;
    }
  }
}

}  // namespace
}  // namespace orba
