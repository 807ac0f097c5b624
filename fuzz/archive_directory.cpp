// Arbitrary bytes as an archive directory: the reader must accept them or raise, never read
// out of bounds or allocate what a count claims. Accepted directories are read entry by
// entry with a small inflate cap.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "files/vrfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TVrFileCollection archive;
  try {
    archive.OpenArchiveStream(std::make_unique<orba::TKvMemoryStream>(std::vector<uint8_t>(data, data + size)));
  } catch (const orba::EOrbaError&) {
    return 0;
  }
  for (int32_t i = 0; i < archive.EntryCount(); ++i) {
    orba::TKvMemoryStream out;
    try {
      archive.ReadEntry(*archive.Entry(i), out, 1 << 20);
    } catch (const orba::EOrbaError&) {
    }
  }
  return 0;
}
