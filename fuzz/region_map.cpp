// Arbitrary bytes as a region map file: every outcome is a list of regions or EOrbaError, and
// every region read can be asked about points.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "components/imagemap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    for (const orba::TMapRegion& region : orba::ReadRegionMap({data, size})) {
      region.Contains(region.Box.Left, region.Box.Top);
      region.Contains(0, 0);
    }
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
