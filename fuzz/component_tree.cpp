// Arbitrary bytes as a saved component tree: the first byte picks the version (100 + byte %
// 40), the rest is the tree, loaded over a list that already holds a component. Every
// outcome is a loaded tree or EOrbaError that left the list as it was; a loaded tree writes
// back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/error.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/mes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t version = 100 + data[0] % 40;
  orba::TKvMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  orba::TOrbaBaseList list;
  list.CreateByCode(2)->SetName("kept");
  try {
    list.LoadTree(stream, version);
    orba::RestoreMessageWindows(list);
    orba::TKvMemoryStream out;
    list.SaveTree(out, version);
  } catch (const orba::EOrbaError&) {
    if (!list.FindComponent("kept") || list.Count() != 1) std::abort();
  }
  return 0;
}
