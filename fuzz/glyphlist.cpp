// Arbitrary bytes as a stored glyph list, appended to a word that already holds text: every
// outcome is a loaded list or EOrbaError, and a loaded list writes back.
#include <cstddef>
#include <cstdint>

#include "base/error.h"
#include "base/stream.h"
#include "text/kvword.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TKvViewStream stream({data, size});
  orba::TKvWord word;
  word.SetText({"<B>x</B>y"});
  try {
    word.LoadGlyphs(stream);
    orba::TKvMemoryStream out;
    word.SaveGlyphs(out);
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
