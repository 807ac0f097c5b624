// Arbitrary bytes as the message history (first byte even) or the read marks (odd), at the
// version 100 + the second byte % 40: every outcome is a loaded record or EOrbaError, and a
// loaded record writes back.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "base/stream.h"
#include "components/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t version = 100 + data[1] % 40;
  orba::TKvViewStream stream({data + 2, size - 2});
  try {
    orba::TKvMemoryStream out;
    if (data[0] & 1) {
      orba::TOrbaReadList list;
      list.LoadFromStream(stream, version);
      list.SaveToStream(out);
    } else {
      orba::TOrbaNewHistory history;
      history.LoadFromStream(stream, version);
      history.SaveToStream(out);
    }
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
