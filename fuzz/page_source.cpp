// Arbitrary text as a page source: it compiles or raises EOrbaError, and a page that compiles
// prints as source that compiles to the same bytes. The same holds for a compiled page read
// from the bytes, so the printer is also tried on pages no source wrote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "authoring/source.h"

namespace {

std::vector<uint8_t> Bytes(const orba::TPage& page) {
  orba::TKvMemoryStream s;
  page.SaveToStream(s);
  return s.TakeBytes();
}

void CheckPrintsBack(const orba::TPage& page) {
  std::vector<uint8_t> bytes = Bytes(page);
  orba::TPage again;
  again.Name = page.Name;
  orba::CompilePage(orba::DecompilePage(page), "fuzz.rss", again);
  if (Bytes(again) != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orba::TPage page;
  page.Name = "fuzz.rsb";
  try {
    orba::CompilePage(std::string(reinterpret_cast<const char*>(data), size), "fuzz.rss", page);
  } catch (const orba::EOrbaError&) {
    page.Commands.clear();
  }
  if (!page.Commands.empty()) CheckPrintsBack(page);

  orba::TPage loaded;
  loaded.Name = "fuzz.rsb";
  try {
    loaded.LoadFromBytes({data, size});
  } catch (const orba::EOrbaError&) {
    return 0;
  }
  if (loaded.Version >= orba::TPage::kOldestVersion && loaded.Version <= orba::TPage::kMaxVersion) CheckPrintsBack(loaded);
  return 0;
}
