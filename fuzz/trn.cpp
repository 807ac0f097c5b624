// Arbitrary bytes as a layered image: read whole, with conversion; every outcome is a list of
// frames or EOrbaError.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "render/trn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TKvViewStream stream({data, size});
  orba::TTarnFrameList list(size > 0 ? data[0] : 0);
  try {
    list.LoadFromStream(stream, false, true);
  } catch (const orba::EOrbaError&) {
  }
  for (int i = 0; i < list.Count(); ++i) list[i].Trim();
  return 0;
}
