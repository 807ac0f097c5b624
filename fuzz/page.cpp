// Arbitrary bytes as a compiled page: every outcome is a page or EOrbaError, and a page that
// loads writes back and loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/error.h"
#include "script/page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TPage page;
  try {
    page.LoadFromBytes({data, size});
  } catch (const orba::EOrbaError&) {
    return 0;
  }
  orba::TKvMemoryStream first;
  page.SaveToStream(first);
  orba::TPage again;
  again.LoadFromBytes(first.Bytes());
  orba::TKvMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) std::abort();
  return 0;
}
