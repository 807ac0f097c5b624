// Reads arbitrary bytes as a stored operation list, runs what was accepted against a few
// variables, and checks that writing it back and reading again gives the same bytes.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "base/stream.h"
#include "values/paramcollection.h"
#include "values/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  TOrbaParser parser;
  try {
    TKvViewStream in(std::span<const uint8_t>(data, size));
    parser.ReadOps(in);
  } catch (const EOrbaError&) {
    if (!parser.Ops().empty()) __builtin_trap();  // a failed read leaves no list
    return 0;
  }
  TKvMemoryStream first;
  parser.WriteOps(first);
  first.SetPosition(0);
  TOrbaParser again;
  again.ReadOps(first);
  TKvMemoryStream second;
  again.WriteOps(second);
  if (second.Bytes() != first.Bytes()) __builtin_trap();

  // SetArray may ask for arrays of millions of elements, which is allowed but only slows
  // the search down.
  for (const TOpeData& op : parser.Ops())
    if (op.OpCode == ocFunc && op.FuncNo == 21) return 0;
  TParamCollection vars;
  vars.AddVariable(PT_INT, "a")->Param()->SetInt(3);
  vars.AddVariable(PT_STR, "s")->Param()->SetString("a = a + 1");
  const int32_t dims[] = {2, 3};
  vars.AddVariable(PT_INT, "arr")->Param()->SetDims(dims);
  parser.Execute(vars);
  if (const TCustomParam* r = parser.Result()) (void)r->AsString();
  return 0;
}
