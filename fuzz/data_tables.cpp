// Arbitrary bytes as the stored data tables of a saved game and of the status data. What
// was read must write and read again to the same bytes.
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
    TKvMemoryStream first;
    db.SaveToStream(first, kind);
    first.SetPosition(0);
    TDBManager again;
    again.LoadFromStream(first, kind);
    TKvMemoryStream second;
    again.SaveToStream(second, kind);
    if (first.Bytes().size() != second.Bytes().size() ||
        !std::equal(first.Bytes().begin(), first.Bytes().end(), second.Bytes().begin()))
      std::abort();
  }
  return 0;
}
