// Arbitrary bytes as the project file "orba.rpb": every outcome is a project or EOrbaError,
// and a project that loads writes back and loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/error.h"
#include "script/projectfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TProjectFile project;
  try {
    project.LoadFromBytes({data, size});
  } catch (const orba::EOrbaError&) {
    return 0;
  }
  orba::TKvMemoryStream first;
  project.SaveToStream(first);
  orba::TProjectFile again;
  again.LoadFromBytes(first.Bytes());
  orba::TKvMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) std::abort();
  return 0;
}
