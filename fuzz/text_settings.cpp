// Arbitrary bytes as the settings record of a word (first byte even) or a label (odd), at
// the version in the next two bytes (little-endian): every outcome is a loaded record or
// EOrbaError, and a loaded record writes back.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "base/stream.h"
#include "text/kvlabel.h"
#include "text/kvword.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool label = data[0] & 1;
  const int version = data[1] | data[2] << 8;
  orba::TKvViewStream stream({data + 3, size - 3});
  try {
    orba::TKvMemoryStream out;
    if (label) {
      orba::TKvLabelList list;
      list.LoadSettings(stream, version);
      list.SaveSettings(out);
    } else {
      orba::TKvWord word;
      word.LoadSettings(stream, version);
      word.SaveSettings(out, version);
    }
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
