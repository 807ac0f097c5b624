// Feeds arbitrary bytes to the bounded reader through the string-array stream form and the
// 10-byte float: every outcome must be a value or EReadError, never a crash or a huge allocation.
#include <cstddef>
#include <cstdint>

#include "base/binio.h"
#include "base/lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TKvViewStream stream({data, size});
  orba::TBinaryReader reader(stream);
  try {
    orba::TArrayString strings;
    strings.ReadFrom(reader);
    reader.Extended();
    reader.Count(8);
  } catch (const orba::EReadError&) {
  }
  return 0;
}
