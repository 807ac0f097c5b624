// Arbitrary bytes as the stored data tables of a saved game and of the status data. What
// was read must write and read again, and settle on the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/error.h"
#include "values/dbtables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orba;
  for (uint8_t kind : {uint8_t{0}, uint8_t{1}}) {
    TKvViewStream in(std::span<const uint8_t>(data, size));
    TDBManager db;
    try {
      db.LoadFromStream(in, kind);
    } catch (const EOrbaError&) {
      continue;
    }
    // The active table's name is written as it is found, whatever its kind, so a first
    // write may name a table the next load does not make active; from the second write on
    // the bytes stay the same.
    std::vector<uint8_t> previous;
    for (int round = 0; round < 3; ++round) {
      TKvMemoryStream out;
      db.SaveToStream(out, kind);
      if (round == 2 && out.Bytes() != previous) std::abort();
      previous = out.Bytes();
      out.SetPosition(0);
      db = TDBManager();
      db.LoadFromStream(out, kind);
    }
  }
  return 0;
}
