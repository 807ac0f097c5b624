// Compiles arbitrary text as an expression. What compiles and writes must read back into
// the same stored bytes, and must evaluate without harm against a few variables.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "base/stream.h"
#include "values/paramcollection.h"
#include "values/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  TKvMemoryStream first;
  try {
    TBuildOrbaParser build;
    build.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    build.WriteOps(first);
  } catch (const EOrbaError&) {
    return 0;
  }
  first.SetPosition(0);
  TOrbaParser parser;
  parser.ReadOps(first);  // what we wrote must read
  TKvMemoryStream second;
  parser.WriteOps(second);
  if (second.Bytes() != first.Bytes()) __builtin_trap();

  TParamCollection vars;
  vars.AddVariable(PT_INT, "a")->Param()->SetInt(3);
  vars.AddVariable(PT_FLOAT, "f")->Param()->SetFloat(-2.5);
  vars.AddVariable(PT_STR, "s")->Param()->SetString("x = a * 2");
  const int32_t dims[] = {2, 3};
  vars.AddVariable(PT_INT, "arr")->Param()->SetDims(dims);
  parser.Execute(vars);
  if (const TCustomParam* r = parser.Result()) (void)r->AsString();
  return 0;
}
