// orbacalc: compiles an expression with the player's own compiler, prints its operation
// list, then evaluates it and prints its value, for people writing projects and for tests.
//   orbacalc [--hex] [--var NAME=VALUE]... EXPRESSION
// A variable's type follows its value: an integer, a float, TRUE or FALSE, else a string
// ("NAME=\"12\"" makes the string 12). Text on the command line and in the output is UTF-8.
// Exit status: 0 evaluated, 1 the expression does not compile, 2 usage.
#include <cstdio>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "values/convert.h"
#include "values/paramcollection.h"
#include "values/parser.h"
#include "values/sysfunc.h"

namespace {

using namespace orba;

int Usage() {
  std::fputs("usage: orbacalc [--hex] [--var NAME=VALUE]... EXPRESSION\n", stderr);
  return 2;
}

void AddVariable(TParamCollection& vars, const std::string& definition) {
  size_t eq = definition.find('=');
  std::string name = definition.substr(0, eq);
  std::string value = eq == std::string::npos ? std::string() : definition.substr(eq + 1);
  int32_t i = 0;
  TExtended x = 0;
  TParamCollectionItem* v;
  if (TryTextToInt(value, i)) {
    v = vars.AddVariable(PT_INT, name);
    v->Param()->SetInt(i);
  } else if (TryTextToFloat(value, x)) {
    v = vars.AddVariable(PT_FLOAT, name);
    v->Param()->SetFloat(x);
  } else if (value == "TRUE" || value == "FALSE") {
    v = vars.AddVariable(PT_BOOL, name);
    v->Param()->SetFlag(value == "TRUE");
  } else {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    v = vars.AddVariable(PT_STR, name);
    v->Param()->SetString(value);
  }
}

std::string Show(const TCustomParam& p) {
  switch (p.ValueType()) {
    case PT_STR: return "\"" + ToUtf8(p.AsString()) + "\"";
    case PT_NONE: return "(reference)";
    default: return ToUtf8(p.AsString());
  }
}

std::string OperandText(const TOperand& o) {
  if (o.IsName) return ToUtf8(static_cast<const TParamVar&>(*o.Value).TargetName());
  return Show(*o.Value);
}

void PrintOps(const TOrbaParser& parser) {
  for (const TOpeData& op : parser.Ops()) {
    std::string line = OpeCodeName(op.OpCode) + " " + ToUtf8(op.Target);
    if (op.OpCode == ocFunc)
      line += " " + std::string(op.FuncNo < kSysFuncCount ? SysFuncInfo(op.FuncNo).Name : "?") + "#" + std::to_string(op.FuncNo);
    for (size_t k = 0; k < op.Operands.size(); ++k) line += (k ? ", " : " : ") + OperandText(op.Operands[k]);
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool hex = false;
  std::vector<std::string> definitions;
  std::string expression;
  bool haveExpression = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--hex") {
      hex = true;
    } else if (a == "--var" && i + 1 < argc) {
      definitions.push_back(FromUtf8(argv[++i]));
    } else if (!haveExpression) {
      expression = FromUtf8(a);
      haveExpression = true;
    } else {
      return Usage();
    }
  }
  if (!haveExpression) return Usage();

  TParamCollection vars;
  try {
    for (const auto& definition : definitions) AddVariable(vars, definition);
  } catch (const EOrbaError& e) {
    std::fprintf(stderr, "orbacalc: %s\n", ToUtf8(e.Message()).c_str());
    return 2;
  }

  TOrbaParser parser;
  TKvMemoryStream stored;
  try {
    TBuildOrbaParser build;
    build.Parse(expression);
    build.WriteOps(stored);
    stored.SetPosition(0);
    parser.ReadOps(stored);
  } catch (const EOrbaError& e) {
    std::printf("error: %s\n", ToUtf8(e.Message()).c_str());
    return 1;
  }
  PrintOps(parser);
  if (hex) {
    std::string line = "bytes:";
    char buf[4];
    for (uint8_t b : stored.Bytes()) {
      std::snprintf(buf, sizeof buf, " %02X", b);
      line += buf;
    }
    std::printf("%s\n", line.c_str());
  }

  parser.Execute(vars);
  if (!parser.LastError().empty()) {
    std::printf("error: %s\n", ToUtf8(parser.LastError()).c_str());
  } else if (const TCustomParam* r = parser.Result()) {
    std::printf("value: %s\n", Show(*r).c_str());
  } else if (!parser.Ops().empty()) {
    const std::string& target = parser.Ops().back().Target;
    if (TParamCollectionItem* v = vars.FindVariable(target))
      std::printf("%s = %s\n", ToUtf8(target).c_str(), Show(*v->Param()).c_str());
  }
  return 0;
}
