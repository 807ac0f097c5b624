// Loads arbitrary bytes as a saved game and as status data into a variable collection,
// then saves and reloads what was accepted and reads every loaded value, so references and
// loops read from a file are exercised as well as the reader.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "base/stream.h"
#include "values/paramcollection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  if (size < 1) return 0;
  const int32_t version = 100 + data[0] % 30;  // around the gates 102, 112 and 120
  TParamCollection vars;
  try {
    TKvViewStream in(std::span<const uint8_t>(data + 1, size - 1));
    if (data[0] & 0x80)
      vars.LoadStatus(in, version);
    else
      vars.LoadGame(in, version);
  } catch (const EOrbaError&) {
    return 0;
  }
  for (int32_t i = TParamCollection::kSystemCount; i < vars.Count(); ++i) {
    TCustomParam* p = vars.Variable(i)->Param();
    try {
      (void)p->AsString();
      (void)p->Count();
      (void)p->IndexOfValue("a", false, true);
    } catch (const EOrbaError&) {
    }
  }
  TKvMemoryStream out;
  vars.SaveGame(out);
  vars.SaveStatus(out);
  out.SetPosition(0);
  TParamCollection again;
  again.LoadGame(out, 130);  // what we wrote must load
  again.LoadStatus(out, 130);
  return 0;
}
